// The build's number formatting against printf itself, on a million values
// of every kind: negative zero, exact ties at the rounding digit, huge and
// tiny values, infinities and NaNs of both signs, and random bit patterns.
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <string>

#include <gtest/gtest.h>

#include "edog/builder/text_out.h"

namespace {

// printf's "%lf" (precision 6) or "%.8f".
std::string printed(double v, int precision) {
    char buf[512];
    const int n = precision == 6 ? std::snprintf(buf, sizeof buf, "%lf", v)
                                 : std::snprintf(buf, sizeof buf, "%.8f", v);
    return {buf, static_cast<std::size_t>(n)};
}

// printf's "%lld", "%.4lld" or "%.8lld".
std::string printed(long long v, int digits) {
    char buf[64];
    const int n = digits == 1   ? std::snprintf(buf, sizeof buf, "%lld", v)
                  : digits == 4 ? std::snprintf(buf, sizeof buf, "%.4lld", v)
                                : std::snprintf(buf, sizeof buf, "%.8lld", v);
    return {buf, static_cast<std::size_t>(n)};
}

// The i-th value: a mix of the awkward kinds and random ones.
double value(std::mt19937_64& rng, int i) {
    std::uniform_int_distribution<std::int64_t> small(-2000000000, 2000000000);
    const double sign = (i & 1) != 0 ? -1.0 : 1.0;
    switch (i % 8) {
    case 0: {  // any bit pattern: subnormals, huge values, NaN payloads
        const std::uint64_t bits = rng();
        double v = 0.0;
        std::memcpy(&v, &bits, sizeof v);
        return v;
    }
    case 1:  // exact ties at the 6th decimal (odd multiples of 2^-7)
        return sign * static_cast<double>(2 * small(rng) + 1) / 128.0;
    case 2:  // exact ties at the 8th decimal (odd multiples of 2^-9)
        return sign * static_cast<double>(2 * small(rng) + 1) / 512.0;
    case 3:  // positions as lists write them
        return static_cast<double>(small(rng)) / 1e7;
    case 4: {  // huge and tiny powers of two and ten
        const int e = static_cast<int>(rng() % 600) - 300;
        return sign * ((i & 2) != 0 ? std::ldexp(1.0, e * 3) : std::pow(10.0, e));
    }
    case 5: {
        const double specials[] = {0.0,
                                   -0.0,
                                   INFINITY,
                                   -INFINITY,
                                   std::numeric_limits<double>::quiet_NaN(),
                                   -std::numeric_limits<double>::quiet_NaN(),
                                   DBL_MAX,
                                   -DBL_MAX,
                                   DBL_MIN,
                                   std::numeric_limits<double>::denorm_min(),
                                   0.5,
                                   -0.5,
                                   1.5,
                                   2.5,
                                   0.0000005,
                                   0.000000005,
                                   9.9999995,
                                   999999.9999999995};
        return specials[rng() % std::size(specials)];
    }
    default:  // next to a tie: a few units in the last place either side
        return std::nextafter(sign * static_cast<double>(2 * small(rng) + 1) / 128.0,
                              (i & 4) != 0 ? INFINITY : -INFINITY);
    }
}

TEST(LineOut, FixedFormatsAsPrintfOnAMillionValues) {
    std::mt19937_64 rng(15);
    for (int i = 0; i < 1000000; ++i) {
        const double v = value(rng, i);
        e_dog::LineOut six(stdout);
        six.fixed(v, 6);
        ASSERT_EQ(six.view(), printed(v, 6)) << i;
        e_dog::LineOut eight(stdout);
        eight.fixed(v, 8);
        ASSERT_EQ(eight.view(), printed(v, 8)) << i;
    }
}

TEST(LineOut, IntegersFormatAsPrintf) {
    std::mt19937_64 rng(16);
    const long long specials[] = {0,       1,       -1,        9,        -9,        10,
                                  9999,    -9999,   10000,     99999999, -99999999, 100000000,
                                  INT_MAX, INT_MIN, LLONG_MAX, LLONG_MIN};
    for (int i = 0; i < 20000; ++i) {
        const long long v = i < static_cast<int>(std::size(specials))
                                ? specials[i]
                                : static_cast<long long>(rng()) >> (rng() % 64);
        for (const int digits : {1, 4, 8}) {
            e_dog::LineOut out(stdout);
            out.integer(v, digits);
            ASSERT_EQ(out.view(), printed(v, digits)) << v << " digits " << digits;
        }
    }
}

// Text longer than the buffer goes out in parts, whole and in order.
TEST(LineOut, LongTextIsWrittenWhole) {
    std::FILE* f = std::tmpfile();
    ASSERT_NE(f, nullptr);
    std::string want;
    {
        e_dog::LineOut out(f);
        for (int i = 0; i < 40; ++i) {
            const std::string part(static_cast<std::size_t>(100 + 37 * i),
                                   static_cast<char>('a' + i % 26));
            out.text(part).fixed(-DBL_MAX, 8).integer(i, 8);
            want += part + printed(-DBL_MAX, 8) + printed(static_cast<long long>(i), 8);
        }
        out.write();
    }
    std::string got(want.size() + 1, '\0');
    std::rewind(f);
    got.resize(std::fread(got.data(), 1, got.size(), f));
    (void)std::fclose(f);
    EXPECT_EQ(got, want);
}

}  // namespace
