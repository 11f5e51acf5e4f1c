// The key array's fence lookup against std::lower_bound, the key box test
// against the cell indices it stands for, and the occupancy bitmap against
// the keys it marks.
#include <algorithm>
#include <random>
#include <set>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "edog/search/nearest_cover.h"
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
        // At most 12 bytes a key beside the smallest occupancy bitmap.
        ASSERT_LE(keys.memory(), std::size_t{n} * 12 + 133);
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

// The occupancy bitmap, marked from two threads over the halves of the keys
// as the key build does, holds exactly the cells of the placed keys; and a
// box that may_hold_keys turns away holds no placed key (checked against
// every key) for boxes around keys, beside them and anywhere; nor does a
// cover range that drop_unoccupied removes. The test from a reach box's
// degrees agrees with the test from its fine cells.
TEST(NearestKeys, OccupancyMarksExactlyTheCellsOfPlacedKeys) {
    std::mt19937_64 rng(5);
    for (const std::uint32_t n : {1U, 100U, 5000U, 300000U}) {
        std::vector<std::uint64_t> want(n);
        for (std::uint64_t& v : want) {
            // Half the keys in one small corner of a region, half anywhere.
            const std::uint64_t code = rng() % 2 == 0
                                           ? (0x1234ULL << 36U) + rng() % (1ULL << 30U)
                                           : rng() % (std::uint64_t{1} << e_dog::kCodeBits);
            v = code << e_dog::kKeyShift | (rng() % 3 == 0 ? 0 : e_dog::kPlaced);
        }
        std::sort(want.begin(), want.end());
        e_dog::KeyArray keys;
        ASSERT_TRUE(keys.allocate(n));
        const auto mark = [&](std::uint32_t first, std::uint32_t last) {
            e_dog::KeyArray::OccupancyWriter occupied(keys);
            for (std::uint32_t i = first; i < last; ++i) {
                keys.set(i, want[i]);
                if ((want[i] & e_dog::kPlaced) != 0) {
                    occupied.add(want[i]);
                }
            }
        };
        std::thread upper(mark, n / 2, n);
        mark(0, n / 2);
        upper.join();
        keys.finish();

        const int bits = keys.occupancy_bits();
        std::set<std::uint64_t> cells;
        for (const std::uint64_t k : want) {
            if ((k & e_dog::kPlaced) != 0) {
                cells.insert(k >> (e_dog::kKeyBits - bits));
            }
        }
        std::size_t marked = 0;
        for (std::uint64_t c = 0; c < (std::uint64_t{1} << static_cast<unsigned>(bits)); ++c) {
            marked += keys.occupied(c) ? 1U : 0U;
        }
        ASSERT_EQ(marked, cells.size()) << n;
        for (const std::uint64_t c : cells) {
            ASSERT_TRUE(keys.occupied(c)) << n;
        }

        std::uniform_int_distribution<std::size_t> pick(0, want.size() - 1);
        // From a reach box's degrees, the same answer as from its fine cells,
        // at the antimeridian and the poles too.
        for (int b = 0; b < 300; ++b) {
            const geo::CellBox cell(want[pick(rng)] >> e_dog::kKeyShift, e_dog::kCodeBits);
            const double lat = b % 5 == 0 ? 89.99 : cell.south;
            const double lng = b % 7 == 0 ? 179.999 : cell.west;
            const e_dog::ReachBox box =
                e_dog::reach_box(lat, lng, 1.0 + static_cast<double>(rng() % 20000));
            ASSERT_EQ(e_dog::may_hold_keys(keys, box),
                      e_dog::may_hold_keys(keys, e_dog::fine_cells(box)))
                << n << " at " << lat << "," << lng;
        }

        const auto fine_of = [](std::uint64_t key, bool lng) {
            const std::uint64_t code = key >> e_dog::kKeyShift;
            return static_cast<std::int64_t>(geo::compact(lng ? code >> 1U : code));
        };
        const int boxes = n > 10000 ? 150 : 2000;  // each checked against every key
        for (int b = 0; b < boxes; ++b) {
            const std::uint64_t at = want[pick(rng)];
            // Most boxes within two bitmap cells a side, some across more.
            const std::int64_t reach =
                static_cast<std::int64_t>(rng() % (b % 4 == 3 ? 40000 : 3000));
            e_dog::CellRanges fine;
            const std::int64_t la = b % 3 == 2 ? static_cast<std::int64_t>(rng() % (1U << 25U))
                                               : fine_of(at, false) + (b % 3 == 1 ? 5000 : 0);
            const std::int64_t lo =
                b % 3 == 2 ? static_cast<std::int64_t>(rng() % (1U << 25U)) : fine_of(at, true);
            fine.lat = {std::max<std::int64_t>(0, la - reach), la + reach};
            fine.lng[0] = {std::max<std::int64_t>(0, lo - reach), lo + reach};
            fine.lng_count = 1;
            const e_dog::KeyBox box(fine.lat, fine.lng.data(), 1);
            if (!e_dog::may_hold_keys(keys, fine)) {
                for (const std::uint64_t k : want) {
                    ASSERT_FALSE((k & e_dog::kPlaced) != 0 && box.holds(k)) << n << " box " << b;
                }
                continue;
            }
            // The cover without its unoccupied ranges still holds every
            // placed key of the box, at the bitmap's cells and finer ones.
            e_dog::Cover cover;
            const int cover_at = bits + b % 6;
            if (!e_dog::cover_ranges(box, cover_at, cover)) {
                ASSERT_EQ(b % 4, 3);  // only a wide box has more cells than ranges
                continue;
            }
            e_dog::drop_unoccupied(keys, cover_at, cover);
            for (const std::uint64_t k : want) {
                if ((k & e_dog::kPlaced) == 0 || !box.holds(k)) {
                    continue;
                }
                ASSERT_TRUE(std::any_of(
                    cover.ranges.begin(), cover.ranges.begin() + cover.count,
                    [k](const e_dog::KeyRange& r) { return r.first <= k && k <= r.last; }))
                    << n << " box " << b;
            }
        }
    }
}

}  // namespace
