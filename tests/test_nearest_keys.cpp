// The key array's fence lookup against std::lower_bound, and the key box test
// against the cell indices it stands for.
#include <algorithm>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "edog/search/nearest_keys.h"
#include "geo/geohash_int.h"

namespace {

// Arrays of every size up to a few blocks and large ones, keys with long
// runs of one value, crowded into one corner of the key space or spread over
// all of it with dense clusters (so that the directory's prefixes hold none,
// one or many fence entries), looked up at, between and beyond the stored
// keys.
TEST(NearestKeys, FenceLookupAgreesWithLowerBound) {
    std::mt19937_64 rng(3);
    std::vector<std::uint32_t> sizes;
    for (std::uint32_t n = 1; n <= 70; ++n) {
        sizes.push_back(n);
    }
    sizes.insert(sizes.end(), {5000, 5000, 100000});
    for (std::size_t c = 0; c < sizes.size() * 2; ++c) {
        const std::uint32_t n = sizes[c / 2];
        const bool spread = c % 2 == 1;
        const std::uint64_t wide = (std::uint64_t{1} << e_dog::kCodeBits) / (n + 1) * 2;
        std::vector<std::uint64_t> want(n);
        std::uint64_t k = 0;
        for (std::uint64_t& v : want) {
            const std::uint64_t gap = spread && rng() % 8 == 0 ? rng() % wide : rng() % 1000;
            k += (rng() % 4 == 0) ? 0 : gap << e_dog::kKeyShift;  // runs of one key
            v = k | (rng() & e_dog::kTakeable);
        }
        ASSERT_LT(want.back() >> e_dog::kKeyShift, std::uint64_t{1} << e_dog::kCodeBits);
        e_dog::KeyArray keys;
        ASSERT_TRUE(keys.allocate(n));
        for (std::uint32_t i = 0; i < n; ++i) {
            keys.set(i, want[i]);
        }
        keys.finish();
        ASSERT_EQ(keys.size(), n);
        // At most 8 bytes a key, and 7.5 without a directory (small fences).
        ASSERT_LE(keys.memory(), std::max<std::size_t>(8, n < 1024 ? std::size_t{n} * 15 / 2 + 1
                                                                   : std::size_t{n} * 8));
        for (std::uint32_t i = 0; i < n; ++i) {
            ASSERT_EQ(keys[i], want[i]);
        }
        for (int q = 0; q < 300; ++q) {
            const std::uint64_t base = want[rng() % n] & ~e_dog::kKeyLowBits;
            // The search looks keys up by code alone (low bits zero); a run of
            // one code may mix the low bits, so keys are ordered by code.
            const std::uint64_t step = std::uint64_t{1} << e_dog::kKeyShift;
            const std::uint64_t probe =
                q % 3 == 0 ? base : (q % 3 == 1 ? base + step : base - step);
            const auto by_code = [](std::uint64_t a, std::uint64_t b) {
                return (a >> e_dog::kKeyShift) < (b >> e_dog::kKeyShift);
            };
            const auto expected = static_cast<std::uint32_t>(
                std::lower_bound(want.begin(), want.end(), probe, by_code) - want.begin());
            ASSERT_EQ(keys.find_from(keys.block_of(probe), probe), expected)
                << "size " << n << " probe " << probe;
        }
        const std::uint64_t beyond = (want.back() | e_dog::kKeyLowBits) + 1;  // low bits zero
        ASSERT_EQ(keys.find_from(keys.block_of(beyond), beyond), n);
        ASSERT_EQ(keys.find_from(keys.block_of(0), 0), 0U);
    }
}

TEST(NearestKeys, KeyBoxHoldsExactlyTheKeysOfItsCells) {
    std::mt19937_64 rng(4);
    const int n_lat = geo::lat_bits(e_dog::kCodeBits);
    const int n_lng = geo::lng_bits(e_dog::kCodeBits);
    const auto max_lat = static_cast<std::int64_t>(geo::kPow2[static_cast<std::size_t>(n_lat)]) - 1;
    const auto max_lng = static_cast<std::int64_t>(geo::kPow2[static_cast<std::size_t>(n_lng)]) - 1;
    const auto pick = [&rng](std::int64_t max) {
        return static_cast<std::int64_t>(rng() % static_cast<std::uint64_t>(max + 1));
    };
    for (int b = 0; b < 500; ++b) {
        const std::int64_t la = pick(max_lat - 40);
        const std::int64_t lo = pick(max_lng - 40);
        const geo::IndexRange lat{la, la + pick(30)};
        const geo::IndexRange lng[2] = {{lo, lo + pick(30)}, {0, pick(20)}};
        const std::size_t count = 1 + static_cast<std::size_t>(b % 2);
        const e_dog::KeyBox box(lat, lng, count);
        for (int q = 0; q < 200; ++q) {
            const std::int64_t qa = std::clamp<std::int64_t>(la - 5 + pick(45), 0, max_lat);
            const std::int64_t qo =
                q % 4 == 0 ? pick(25) : std::clamp<std::int64_t>(lo - 5 + pick(45), 0, max_lng);
            const std::uint64_t key =
                (geo::interleave(static_cast<std::uint64_t>(qo), static_cast<std::uint64_t>(qa),
                                 e_dog::kCodeBits)
                 << e_dog::kKeyShift) |
                (rng() & e_dog::kTakeable);
            bool want = qa >= lat.lo && qa <= lat.hi && qo >= lng[0].lo && qo <= lng[0].hi;
            want = want || (count == 2 && qa >= lat.lo && qa <= lat.hi && qo >= lng[1].lo &&
                            qo <= lng[1].hi);
            ASSERT_EQ(box.holds(key), want) << qa << "," << qo;
        }
    }
}

}  // namespace
