// The search's distance bounds against the distance formula itself: the reach
// box holds every position within the radius, and the floor of a fine cell is
// never above the distance to a position in it.
#include <algorithm>
#include <cmath>
#include <map>
#include <random>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "edog/search/nearest_bounds.h"
#include "edog/search/nearest_cover.h"
#include "geo/distance.h"
#include "geo/geohash.h"
#include "geo/geohash_int.h"
#include "tests/test_support.h"

namespace {

bool in_box(const e_dog::ReachBox& box, double lat, double lng) {
    if (lat < box.lat_lo || lat > box.lat_hi) {
        return false;
    }
    for (std::size_t i = 0; i < box.lng_count; ++i) {
        if (lng >= box.lng[i].first && lng <= box.lng[i].second) {
            return true;
        }
    }
    return false;
}

// Positions everywhere (near the poles and the antimeridian often), radii from
// metres to half the earth, points at and just beyond the radius in every
// direction.
TEST(NearestBounds, ReachBoxHoldsEveryPositionWithinTheRadius) {
    std::mt19937_64 rng(5);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    const double radii[] = {0.5, 15.0, 800.0, 800.0, 3000.0, 60000.0, 2.5e6, 1.5e7};
    int inside = 0;
    for (int i = 0; i < 40000; ++i) {
        double lat = -90.0 + 180.0 * unit(rng);
        double lng = -180.0 + 360.0 * unit(rng);
        if (i % 4 == 1) {
            lat = (i % 8 == 1 ? 1 : -1) * (90.0 - std::pow(10.0, -1 - 8 * unit(rng)));
        } else if (i % 4 == 2) {
            lng = (i % 8 == 2 ? 180.0 : -180.0) * (1 - 1e-5 * unit(rng));
        }
        const double radius = radii[static_cast<std::size_t>(i) % std::size(radii)];
        const auto [plat, plng] =
            test::destination(lat, lng, radius * (0.98 + 0.03 * unit(rng)), 6.2831852 * unit(rng));
        const double d = get_distance(lat, lng, plat, plng);
        if (!(d < radius)) {
            continue;
        }
        ++inside;
        const e_dog::ReachBox box = e_dog::reach_box(lat, lng, radius);
        ASSERT_TRUE(in_box(box, plat, plng))
            << lat << "," << lng << " r " << radius << " -> " << plat << "," << plng;
    }
    EXPECT_GT(inside, 20000);
}

// The table's cosine is a lower bound at every angle (at its own steps, just
// beside them and between them) and stays within one step's fall of the
// cosine.
TEST(NearestBounds, CosineFloorIsATightLowerBound) {
    std::mt19937_64 rng(7);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    for (int i = 0; i < 200000; ++i) {
        double x = 90.0 * unit(rng);
        if (i % 3 == 1) {
            x = std::round(x * 8) / 8;
        } else if (i % 3 == 2) {
            x = std::nextafter(std::round(x * 8) / 8, i % 2 == 0 ? 0.0 : 90.0);
        }
        const double c = std::cos(e_dog::to_radians(x));
        ASSERT_LE(e_dog::cos_floor(x), c) << x;
        ASSERT_GE(e_dog::cos_floor(x), c - 0.0022) << x;  // sin(x) * an eighth of a degree
    }
    EXPECT_EQ(e_dog::cos_floor(90.5), 0.0);
    EXPECT_EQ(e_dog::cos_floor(NAN), 0.0);
}

// limit(d) is the largest floor a cell holding a camera d metres away may
// have: the floor of a camera's own cell never exceeds the limit of its
// distance.
TEST(NearestBounds, FloorOfACellIsNeverAboveTheDistanceToItsCameras) {
    std::mt19937_64 rng(6);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    const double radii[] = {5.0, 800.0, 5000.0, 100000.0};
    int active = 0;
    for (int i = 0; i < 40000; ++i) {
        const double lat = -85.0 + 170.0 * unit(rng);
        const double lng = -179.0 + 358.0 * unit(rng);
        const double radius = radii[static_cast<std::size_t>(i) % std::size(radii)];
        const auto [clat, clng] =
            test::destination(lat, lng, radius * unit(rng), 6.2831852 * unit(rng));
        std::uint64_t value = 0;
        ASSERT_TRUE(geo::code_value(geohash_encode(clat, clng, 10), 10, value));
        const e_dog::ReachBox box = e_dog::reach_box(lat, lng, radius);
        const e_dog::DistanceFloor floor(box, lat, lng);
        const double d = get_distance(lat, lng, clat, clng);
        active += floor.sum(value) > 0.0 ? 1 : 0;
        ASSERT_LE(floor.sum(value), e_dog::DistanceFloor::limit(d))
            << lat << "," << lng << " camera " << clat << "," << clng << " at " << d;
    }
    EXPECT_GT(active, 30000);  // the bound does dismiss cells
}

}  // namespace

namespace {

// Cells of the box at a code length of `bits` bits.
std::uint64_t cells_at(const e_dog::CellRanges& fine, int bits) {
    const int lat_shift = geo::lat_bits(50) - geo::lat_bits(bits);
    const int lng_shift = geo::lng_bits(50) - geo::lng_bits(bits);
    std::uint64_t across = 0;
    for (std::size_t i = 0; i < fine.lng_count; ++i) {
        across += static_cast<std::uint64_t>((fine.lng[i].hi >> lng_shift) -
                                             (fine.lng[i].lo >> lng_shift) + 1);
    }
    return across *
           static_cast<std::uint64_t>((fine.lat.hi >> lat_shift) - (fine.lat.lo >> lat_shift) + 1);
}

// The cover's code length: the box in at most four cells of it, and the next
// finer length either more than four or cells less than half the box (where
// a few cells can never cover it); one character only where nothing covers
// the box in four. Its ranges then hold every fine cell of the box.
TEST(NearestCover, CodeLengthIsTheFinestWithAtMostFourCells) {
    std::mt19937_64 rng(7);
    std::uniform_real_distribution<double> lat(-89.9, 89.9);
    std::uniform_real_distribution<double> lng(-180.0, 180.0);
    std::uniform_real_distribution<double> log_radius(0.0, 6.0);  // 1 m to 1000 km
    int finest_seen = 0;
    int coarsest_seen = 50;
    for (int i = 0; i < 20000; ++i) {
        const double a = i % 10 == 0 ? std::copysign(89.0 + lat(rng) / 900.0, lat(rng)) : lat(rng);
        const double b = i % 7 == 0 ? std::copysign(179.999, lng(rng)) : lng(rng);
        const double r = std::pow(10.0, log_radius(rng));
        const e_dog::ReachBox box = e_dog::reach_box(a, b, r);
        const e_dog::CellRanges fine = e_dog::fine_cells(box);
        const int bits = e_dog::cover_bits(box, fine);
        ASSERT_EQ(bits % 5, 0);
        ASSERT_GE(bits, 5);
        ASSERT_LE(bits, 50);
        finest_seen = std::max(finest_seen, bits);
        coarsest_seen = std::min(coarsest_seen, bits);
        if (bits > 5) {
            ASSERT_LE(cells_at(fine, bits), 4U) << a << "," << b << " r " << r;
        }
        if (bits < 50) {
            const int finer = bits + 5;
            double width = 0.0;
            for (std::size_t k = 0; k < box.lng_count; ++k) {
                width += box.lng[k].second - box.lng[k].first;
            }
            const bool small =
                180.0 / geo::kPow2[static_cast<std::size_t>(geo::lat_bits(finer))] * 2 <
                    box.lat_hi - box.lat_lo ||
                360.0 / geo::kPow2[static_cast<std::size_t>(geo::lng_bits(finer))] * 2 < width;
            ASSERT_TRUE(small || cells_at(fine, finer) > 4U) << a << "," << b << " r " << r;
        }
        e_dog::Cover cover;
        ASSERT_TRUE(e_dog::cover_ranges(e_dog::KeyBox(fine.lat, fine.lng.data(), fine.lng_count),
                                        bits, cover));
        ASSERT_LE(cover.count, bits > 5 ? 8U : e_dog::Cover::kMaxRanges);
    }
    EXPECT_GE(finest_seen, 45);
    EXPECT_LE(coarsest_seen, 15);
}

// The cover's ranges against their definition, worked out cell by cell with
// indices: for every cell of `bits` bits that the fine cells touch, one
// range from the key of the south-west to the key of the north-east fine
// cell of the box's part in it (two longitude ranges in one cell make one
// part), sorted by first key. Boxes anywhere, at the axis ends, across the
// antimeridian, at every code length.
TEST(NearestCover, RangesAreTheCornersOfEachCellsPartOfTheBox) {
    std::mt19937_64 rng(8);
    const auto max_idx = [](int axis_bits) { return (std::int64_t{1} << axis_bits) - 1; };
    const std::int64_t lat_max = max_idx(geo::lat_bits(50));
    const std::int64_t lng_max = max_idx(geo::lng_bits(50));
    const auto key = [](std::int64_t lng, std::int64_t lat) {
        return geo::interleave(static_cast<std::uint64_t>(lng), static_cast<std::uint64_t>(lat), 50)
               << e_dog::kKeyShift;
    };
    for (int i = 0; i < 20000; ++i) {
        const int bits = 5 + static_cast<int>(rng() % 46);
        const int lat_shift = geo::lat_bits(50) - geo::lat_bits(bits);
        const int lng_shift = geo::lng_bits(50) - geo::lng_bits(bits);
        // Parts a few cells of `bits` wide at most, some at the axis ends.
        const std::int64_t span = std::int64_t{3} << std::max(lat_shift, lng_shift);
        const auto range = [&](std::int64_t max, bool at_end) {
            const std::int64_t width = static_cast<std::int64_t>(
                rng() % static_cast<std::uint64_t>(std::min(span, max) + 1));
            const std::int64_t lo = at_end
                                        ? max - width
                                        : static_cast<std::int64_t>(
                                              rng() % static_cast<std::uint64_t>(max - width + 1));
            return geo::IndexRange{lo, lo + width};
        };
        e_dog::CellRanges fine;
        fine.lat = range(lat_max, i % 5 == 0);
        fine.lng_count = i % 3 == 0 ? 2 : 1;
        fine.lng[0] = range(lng_max, fine.lng_count == 2);
        fine.lng[1] = {0, fine.lng[0].lo == 0 ? 0 : std::min(fine.lng[0].lo - 1, span)};
        std::vector<std::pair<std::uint64_t, std::uint64_t>> want;
        for (std::int64_t la = fine.lat.lo >> lat_shift; la <= fine.lat.hi >> lat_shift; ++la) {
            const std::int64_t a = std::max(fine.lat.lo, la << lat_shift);
            const std::int64_t b = std::min(fine.lat.hi, ((la + 1) << lat_shift) - 1);
            std::map<std::int64_t, geo::IndexRange> parts;  // by longitude cell
            for (std::size_t r = 0; r < fine.lng_count; ++r) {
                for (std::int64_t lo = fine.lng[r].lo >> lng_shift;
                     lo <= fine.lng[r].hi >> lng_shift; ++lo) {
                    const geo::IndexRange part{
                        std::max(fine.lng[r].lo, lo << lng_shift),
                        std::min(fine.lng[r].hi, ((lo + 1) << lng_shift) - 1)};
                    const auto [at, fresh] = parts.emplace(lo, part);
                    at->second = {std::min(at->second.lo, part.lo),
                                  std::max(at->second.hi, part.hi)};
                }
            }
            for (const auto& [lo, part] : parts) {
                want.emplace_back(key(part.lo, a), key(part.hi, b) | e_dog::kKeyLowBits);
            }
        }
        std::sort(want.begin(), want.end());
        e_dog::Cover cover;
        const bool fits = e_dog::cover_ranges(
            e_dog::KeyBox(fine.lat, fine.lng.data(), fine.lng_count), bits, cover);
        ASSERT_EQ(fits, want.size() <= e_dog::Cover::kMaxRanges) << i;
        if (!fits) {
            continue;
        }
        ASSERT_EQ(cover.count, want.size()) << i << " bits " << bits;
        for (std::size_t k = 0; k < want.size(); ++k) {
            ASSERT_EQ(cover.ranges[k].first, want[k].first) << i << " bits " << bits;
            ASSERT_EQ(cover.ranges[k].last, want[k].second) << i << " bits " << bits;
        }
    }
}

}  // namespace
