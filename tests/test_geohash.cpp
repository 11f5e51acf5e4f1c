#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>

#include <gtest/gtest.h>

#include "geo/geohash.h"
#include "geo/geohash_int.h"

namespace {

std::string encode(double lat, double lng, int precision) {
    const char* code = geohash_encode(lat, lng, precision);
    return code == nullptr ? std::string("<null>") : std::string(code);
}

std::string neighbor(const std::string& code, int direction) {
    std::string out(code.size() + 1, '?');
    return get_neighbor(code.c_str(), direction, out.data());
}

// The encoding by its definition: each axis interval halved bit by bit,
// longitude first, a position on the dividing line going to the lower half.
std::string bisect(double lat, double lng, int precision) {
    if (!(std::fabs(lat) <= 90.0 && std::fabs(lng) <= 180.0)) {
        return "<null>";
    }
    double low[2] = {-180.0, -90.0};
    double high[2] = {180.0, 90.0};
    const double v[2] = {lng, lat};
    std::string code;
    int k = 0;
    for (int c = 0; c < precision; ++c) {
        unsigned acc = 0;
        for (int b = 0; b < 5; ++b, k ^= 1) {
            const double mid = (low[k] + high[k]) / 2;
            const bool upper = v[k] > mid;
            (upper ? low[k] : high[k]) = mid;
            acc = (acc << 1U) | (upper ? 1U : 0U);
        }
        code += geo::kAlphabet[acc];
    }
    return code;
}

TEST(GeohashEncode, AgreesWithBisectionOnBordersAndEverywhere) {
    std::mt19937_64 rng(5);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    const auto check = [](double la, double lo, int precision) {
        ASSERT_EQ(encode(la, lo, precision), bisect(la, lo, precision))
            << std::hexfloat << la << "," << lo << " p" << precision;
    };
    constexpr double kInf = std::numeric_limits<double>::infinity();
    for (const double la : {-90.0, 90.0, 0.0, -0.0, 4.9e-324, -4.9e-324, 45.0, -45.0}) {
        for (const double lo : {-180.0, 180.0, 0.0, -0.0, 4.9e-324, 90.0, -90.0}) {
            for (int p = 1; p <= 12; ++p) {
                check(la, lo, p);
                check(std::nextafter(la, kInf), std::nextafter(lo, -kInf), p);
            }
        }
    }
    for (int i = 0; i < 300000; ++i) {
        const int p = 1 + i % 12;
        double la = -90.0 + 180.0 * unit(rng);
        double lo = -180.0 + 360.0 * unit(rng);
        if (i % 2 == 0) {  // on a border of the finest cells of some precision, or beside it
            const int bits = 5 * (1 + static_cast<int>(rng() % 12));
            const double lat_step = 180.0 / std::ldexp(1.0, bits / 2);
            const double lng_step = 360.0 / std::ldexp(1.0, (bits + 1) / 2);
            la = -90.0 + std::floor((la + 90.0) / lat_step) * lat_step;
            lo = -180.0 + std::floor((lo + 180.0) / lng_step) * lng_step;
            const int side = static_cast<int>(rng() % 3);
            la = side == 0 ? la : std::nextafter(la, side == 1 ? kInf : -kInf);
            lo = side == 2 ? lo : std::nextafter(lo, side == 1 ? -kInf : kInf);
            la = std::fmin(std::fmax(la, -90.0), 90.0);
            lo = std::fmin(std::fmax(lo, -180.0), 180.0);
        }
        check(la, lo, p);
    }
}

TEST(GeohashEncode, KnownCodes) {
    EXPECT_EQ(encode(0.0, 0.0, 6), "7zzzzz");  // midpoints fall to the lower half
    EXPECT_EQ(encode(90.0, 180.0, 6), "zzzzzz");
    EXPECT_EQ(encode(-90.0, -180.0, 6), "000000");
    EXPECT_EQ(encode(57.64911, 10.40744, 11), "u4pruydqqvj");
    EXPECT_EQ(encode(39.916527, 116.397128, 10), "wx4g0dtf9e");
    EXPECT_EQ(encode(0.0, 0.0, 10), "7zzzzzzzzz");
    EXPECT_EQ(encode(-2.1778, 50.683, 10), "mps597d1rk");
    EXPECT_EQ(encode(42.6, -5.6, 5), "ezs42");
}

TEST(GeohashEncode, PrecisionOutsideOneToTwelveMeansSix) {
    EXPECT_EQ(encode(57.64911, 10.40744, 0), "u4pruy");
    EXPECT_EQ(encode(57.64911, 10.40744, 13), "u4pruy");
    EXPECT_EQ(encode(57.64911, 10.40744, -5), "u4pruy");
    EXPECT_EQ(encode(57.64911, 10.40744, 12).size(), 12U);
    EXPECT_EQ(encode(57.64911, 10.40744, 1), "u");
}

TEST(GeohashEncode, RefusesOutOfRangeAndKeepsPreviousCode) {
    char* first = geohash_encode(57.64911, 10.40744, 11);
    ASSERT_NE(first, nullptr);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_EQ(geohash_encode(90.0000001, 0.0, 10), nullptr);
    EXPECT_EQ(geohash_encode(0.0, -180.5, 10), nullptr);
    EXPECT_EQ(geohash_encode(nan, 0.0, 10), nullptr);
    EXPECT_EQ(geohash_encode(0.0, nan, 10), nullptr);
    EXPECT_EQ(geohash_encode(inf, 0.0, 10), nullptr);
    EXPECT_EQ(geohash_encode(0.0, -inf, 10), nullptr);
    EXPECT_STREQ(first, "u4pruydqqvj");
}

TEST(GeohashEncode, ReturnsOneStaticBufferOverwrittenByTheNextCode) {
    char* a = geohash_encode(1.0, 1.0, 8);
    const std::string a_copy = a;
    char* b = geohash_encode(-1.0, -1.0, 8);
    EXPECT_EQ(a, b);
    EXPECT_NE(a_copy, std::string(b));
    // A shorter code after a longer one is terminated at its own length.
    EXPECT_EQ(std::strlen(geohash_encode(1.0, 1.0, 3)), 3U);
}

TEST(GeohashDecode, CellBoundsAndCentre) {
    const GeoCoord s = geohash_decode("s");
    EXPECT_EQ(s.north, 45.0);
    EXPECT_EQ(s.south, 0.0);
    EXPECT_EQ(s.east, 45.0);
    EXPECT_EQ(s.west, 0.0);
    EXPECT_EQ(s.latitude, 22.5);
    EXPECT_EQ(s.longitude, 22.5);
    EXPECT_EQ(s.dimension.height, 0.0);
    EXPECT_EQ(s.dimension.width, 0.0);
}

TEST(GeohashDecode, NullEmptyAndForeignCharacters) {
    for (const char* code : {static_cast<const char*>(nullptr), ""}) {
        const GeoCoord c = geohash_decode(code);
        EXPECT_EQ(c.latitude, 0.0);
        EXPECT_EQ(c.longitude, 0.0);
        EXPECT_EQ(c.north, 0.0);
        EXPECT_EQ(c.west, 0.0);
    }
    // Characters outside the alphabet count as 'z'.
    for (const char* foreign : {"S", "a", "i", "l", "o", " "}) {
        const GeoCoord c = geohash_decode(foreign);
        const GeoCoord z = geohash_decode("z");
        EXPECT_EQ(c.north, z.north) << foreign;
        EXPECT_EQ(c.west, z.west) << foreign;
    }
}

TEST(GeohashDecode, CellOfAnEncodedPositionContainsIt) {
    std::mt19937_64 rng(7);
    std::uniform_real_distribution<double> lat(-90.0, 90.0);
    std::uniform_real_distribution<double> lng(-180.0, 180.0);
    for (int i = 0; i < 2000; ++i) {
        const double la = lat(rng);
        const double lo = lng(rng);
        const int precision = 1 + i % 12;
        const GeoCoord c = geohash_decode(encode(la, lo, precision).c_str());
        ASSERT_LE(la, c.north);
        ASSERT_GT(la, c.south);
        ASSERT_LE(lo, c.east);
        ASSERT_GT(lo, c.west);
        const GeoBoxDimension d = geohash_dimensions_for_precision(precision);
        ASSERT_DOUBLE_EQ(c.north - c.south, d.height);
        ASSERT_DOUBLE_EQ(c.east - c.west, d.width);
    }
}

// The integer cell of an encoded position holds the position and has exactly
// the bounds that geohash_decode gives, at every precision the search uses,
// also for positions on cell borders and at the corners of the world.
TEST(GeohashInteger, CellOfAnEncodedPositionAgreesWithDecode) {
    std::mt19937_64 rng(11);
    std::uniform_real_distribution<double> lat(-90.0, 90.0);
    std::uniform_real_distribution<double> lng(-180.0, 180.0);
    for (int i = 0; i < 20000; ++i) {
        double la = lat(rng);
        double lo = lng(rng);
        const int precision = 1 + i % 10;
        if (i % 3 == 0) {  // on a border of a coarser cell
            const GeoCoord c = geohash_decode(encode(la, lo, 1 + i % precision).c_str());
            la = (i % 2 == 0) ? c.north : c.south;
            lo = (i % 4 < 2) ? c.east : c.west;
        }
        if (i < 4) {
            la = (i % 2 == 0) ? 90.0 : -90.0;
            lo = (i < 2) ? 180.0 : -180.0;
        }
        const std::string code = encode(la, lo, precision);
        std::uint64_t value = 0;
        ASSERT_TRUE(geo::code_value(code.c_str(), precision, value)) << code;
        const geo::CellBox cell(value, geo::kBitsPerChar * precision);
        const GeoCoord c = geohash_decode(code.c_str());
        ASSERT_EQ(cell.south, c.south) << code;
        ASSERT_EQ(cell.west, c.west) << code;
        ASSERT_EQ(cell.south + cell.height, c.north) << code;
        ASSERT_EQ(cell.west + cell.width, c.east) << code;
        ASSERT_TRUE(cell.holds(la, lo)) << code << " " << la << "," << lo;
        // The cell's indices give the value back.
        const int bits = geo::kBitsPerChar * precision;
        const std::uint64_t lat_idx = geo::compact(bits % 2 == 0 ? value : value >> 1U);
        const std::uint64_t lng_idx = geo::compact(bits % 2 == 0 ? value >> 1U : value);
        ASSERT_EQ(geo::interleave(lng_idx, lat_idx, bits), value) << code;
    }
}

TEST(GeohashInteger, CodeValueTakesOnlyWholeCodesOfTheAlphabet) {
    struct Case {
        const char* code;
        int chars;
        bool ok;
        std::uint64_t value;
    };
    const Case cases[] = {
        {"0000000000", 10, true, 0},
        {"zzzzzzzzzz", 10, true, (std::uint64_t{1} << 50U) - 1},
        {"b", 1, true, 10},
        {"wx4g0dtf9e", 10, true, 0},    // value checked against the codec below
        {"wx4g0dtf9", 10, false, 0},    // short
        {"wx4g0dtf9ee", 10, false, 0},  // long
        {"wx4g0dtfae", 10, false, 0},   // 'a' is not in the alphabet
        {"WX4G0DTF9E", 10, false, 0},   // nor are capitals
    };
    for (const Case& c : cases) {
        std::uint64_t v = 99;
        EXPECT_EQ(geo::code_value(c.code, c.chars, v), c.ok) << c.code;
        if (c.ok && c.value != 0) {
            EXPECT_EQ(v, c.value) << c.code;
        }
    }
    std::uint64_t v = 0;
    ASSERT_TRUE(geo::code_value("wx4g0dtf9e", 10, v));
    std::string back;
    for (int shift = 45; shift >= 0; shift -= 5) {
        back += geo::kAlphabet[(v >> static_cast<unsigned>(shift)) & 31U];
    }
    EXPECT_EQ(back, "wx4g0dtf9e");
}

TEST(GeohashDimensions, HalvingPerBit) {
    GeoBoxDimension d = geohash_dimensions_for_precision(1);
    EXPECT_EQ(d.height, 45.0);
    EXPECT_EQ(d.width, 45.0);
    d = geohash_dimensions_for_precision(5);
    EXPECT_EQ(d.height, 180.0 / 4096.0);
    EXPECT_EQ(d.width, 360.0 / 8192.0);
    d = geohash_dimensions_for_precision(6);
    EXPECT_EQ(d.height, 180.0 / 32768.0);
    EXPECT_EQ(d.width, 360.0 / 32768.0);
    for (int p : {0, -3, 1000, 429496730, std::numeric_limits<int>::max(),
                  std::numeric_limits<int>::min()}) {
        d = geohash_dimensions_for_precision(p);
        EXPECT_EQ(d.height, 0.0) << p;
        EXPECT_EQ(d.width, 0.0) << p;
    }
}

TEST(GeohashNeighbor, ShiftsTheCellByOneCellSize) {
    std::mt19937_64 rng(11);
    std::uniform_real_distribution<double> lat(-89.0, 89.0);
    std::uniform_real_distribution<double> lng(-180.0, 180.0);
    for (int i = 0; i < 3000; ++i) {
        const int precision = 1 + i % 12;
        const std::string code = encode(lat(rng), lng(rng), precision);
        const GeoCoord c = geohash_decode(code.c_str());
        const GeoBoxDimension d = geohash_dimensions_for_precision(precision);
        const double dlat[4] = {d.height, 0.0, -d.height, 0.0};
        const double dlng[4] = {0.0, d.width, 0.0, -d.width};
        for (int dir = 0; dir < 4; ++dir) {
            const bool beyond_pole = c.north + dlat[dir] > 90.0 || c.south + dlat[dir] < -90.0;
            if (beyond_pole) {
                continue;
            }
            const std::string n = neighbor(code, dir);
            ASSERT_EQ(n.size(), code.size());
            const GeoCoord nc = geohash_decode(n.c_str());
            double want_lng = c.longitude + dlng[dir];
            if (want_lng > 180.0) {
                want_lng -= 360.0;
            } else if (want_lng < -180.0) {
                want_lng += 360.0;
            }
            ASSERT_NEAR(nc.latitude, c.latitude + dlat[dir], 1e-9) << code << " dir " << dir;
            ASSERT_NEAR(nc.longitude, want_lng, 1e-9) << code << " dir " << dir;
        }
    }
}

TEST(GeohashNeighbor, BorderCasesAndUndefinedInput) {
    EXPECT_EQ(neighbor("gz", 1), "up");  // the prefix moves too
    EXPECT_EQ(neighbor("ezs42", 1), "ezs43");
    EXPECT_EQ(neighbor("z", 0), "p");  // one character wraps around the map
    EXPECT_EQ(neighbor("z", 1), "b");
    EXPECT_EQ(neighbor("0", 3), "p");
    EXPECT_EQ(neighbor("", 0), "");
    EXPECT_EQ(neighbor("ezsA", 0), "");
    EXPECT_EQ(neighbor("ezs42", 4), "");
}

TEST(GeohashNeighbors, EightSlotsInOrder) {
    char** n = geohash_neighbors("ezs42");
    const char* want[8] = {"ezs48", "ezs49", "ezs43", "ezs41", "ezs40", "ezefp", "ezefr", "ezefx"};
    for (int i = 0; i < 8; ++i) {
        EXPECT_STREQ(n[i], want[i]) << "slot " << i;
    }
    // A null code leaves the previous result in place.
    EXPECT_EQ(geohash_neighbors(nullptr), n);
    EXPECT_STREQ(n[0], "ezs48");
    // A code longer than the buffers is cut, never overflowing them.
    const std::string long_code(40, 'e');
    char** m = geohash_neighbors(long_code.c_str());
    EXPECT_EQ(std::strlen(m[0]), 23U);
}

TEST(GeohashIndexForChar, PositionOrAllOnes) {
    EXPECT_EQ(index_for_char('l', "hello"), 2U);
    EXPECT_EQ(index_for_char('x', "hello"), ~0U);
    EXPECT_EQ(static_cast<int>(index_for_char('\0', "hello")), -1);
}

}  // namespace
