// The OpenStreetMap tag rules of import-osm in-process: limits and
// directions as mappers write them, the bearing of a road at a node against
// the warner's bearing, and camera numbers that stay put as objects come
// and go.
#include <cstdint>
#include <random>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "geo/distance.h"
#include "tool/osm_mapping.h"

namespace {

using namespace edog_tool::osm;

TEST(OsmMapping, LimitsAsMappersWriteThem) {
    const struct {
        const char* tag;
        int kmh;
    } rows[] = {
        {"50", 50},        {" 80 ", 80},    {"50 mph", 80},   {"30mph", 48},   {"60 MPH", 97},
        {"100 km/h", 100}, {"70 kmh", 70},  {"10 knots", 19}, {"32.5", 33},    {"none", 0},
        {"signals", 0},    {"variable", 0}, {"walk", 0},      {"DE:urban", 0}, {"50;30", 0},
        {"fifty", 0},      {"", 0},         {"0", 0},         {"-50", 0},      {"501", 0},
        {"500", 500},      {"50 mi/h", 0},  {"1e3", 0},       {"nan", 0},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(limit_kmh(r.tag), r.kmh) << '"' << r.tag << '"';
    }
}

TEST(OsmMapping, DirectionsAsMappersWriteThem) {
    using Kind = DirectionTag::Kind;
    const struct {
        const char* tag;
        Kind kind;
        int degrees;
    } rows[] = {
        {"0", Kind::kDegrees, 0},         {"90", Kind::kDegrees, 90},
        {"359.6", Kind::kDegrees, 0},     {"-90", Kind::kDegrees, 270},
        {"720", Kind::kDegrees, 0},       {"N", Kind::kDegrees, 0},
        {"NNE", Kind::kDegrees, 23},      {"ene", Kind::kDegrees, 68},
        {"S", Kind::kDegrees, 180},       {"NNW", Kind::kDegrees, 338},
        {"forward", Kind::kForward, 0},   {"backward", Kind::kBackward, 0},
        {"both", Kind::kBoth, 0},         {"north", Kind::kUnreadable, 0},
        {"45-135", Kind::kUnreadable, 0}, {"0;180", Kind::kUnreadable, 0},
        {"", Kind::kUnreadable, 0},       {"1e300", Kind::kUnreadable, 0},
        {"inf", Kind::kUnreadable, 0},    {"90deg", Kind::kUnreadable, 0},
    };
    for (const auto& r : rows) {
        const DirectionTag d = direction_tag(r.tag);
        EXPECT_EQ(d.kind, r.kind) << '"' << r.tag << '"';
        EXPECT_EQ(d.degrees, r.degrees) << '"' << r.tag << '"';
    }
}

// At an end node the bearing is the warner's bearing along the one segment;
// inside a road it lies halfway between the two, whichever way it turns.
TEST(OsmMapping, BearingAtANodeAgreesWithTheWarnersBearing) {
    std::mt19937 rng(7);
    std::uniform_int_distribution<std::int32_t> lat(-800'000'000, 800'000'000);
    std::uniform_int_distribution<std::int32_t> lng(-1'790'000'000, 1'790'000'000);
    std::uniform_int_distribution<std::int32_t> step(-20'000, 20'000);  // up to 220 m
    const auto diff = [](double a, double b) { return std::remainder(a - b, 360.0); };
    for (int i = 0; i < 2000; ++i) {
        const Fixed at{lng(rng), lat(rng)};
        const Fixed before{at.x + step(rng), at.y + step(rng)};
        const Fixed after{at.x + step(rng), at.y + step(rng)};
        const double in = e_dog::bearing_deg(before.lat(), before.lng(), at.lat(), at.lng());
        const double out = e_dog::bearing_deg(at.lat(), at.lng(), after.lat(), after.lng());
        const auto end = bearing_at(at, std::nullopt, after);
        ASSERT_TRUE(end);
        EXPECT_NEAR(diff(*end, out), 0.0, 1e-9);
        EXPECT_GE(*end, 0.0);
        EXPECT_LT(*end, 360.0);
        const auto inside = bearing_at(at, before, after);
        ASSERT_TRUE(inside);
        if (std::fabs(diff(in, out)) < 179.0) {
            EXPECT_NEAR(diff(*inside, in), diff(out, in) / 2.0, 1e-6) << i;
        }
    }
    EXPECT_FALSE(bearing_at(Fixed{1, 1}, Fixed{1, 1}, std::nullopt));  // no length: no bearing
}

// The numbers are unique, each object keeps its id's low bits unless an
// object with a lower id has them, and an object added moves no other
// object unless its number was taken.
TEST(OsmMapping, CameraNumbersAreUniqueAndStayPut) {
    std::mt19937_64 rng(11);
    const std::int64_t wrap = std::int64_t{1} << 32;
    std::vector<std::int64_t> ids;
    for (int i = 0; i < 5000; ++i) {
        // Ids crowded into few low-bit values, ids beyond 32 bits and
        // negative ones (objects not yet uploaded), so that numbers collide.
        const std::int64_t low = static_cast<std::int64_t>(rng() % 3000);
        ids.push_back(low + wrap * static_cast<std::int64_t>(rng() % 4) -
                      (rng() % 7 == 0 ? wrap * 8 : 0));
    }
    std::sort(ids.begin(), ids.end());
    ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
    std::uint64_t moved = 0;
    const std::vector<std::uint32_t> numbers = stable_numbers(ids, std::nullopt, moved);
    EXPECT_EQ(std::set<std::uint32_t>(numbers.begin(), numbers.end()).size(), ids.size());
    std::uint64_t kept = 0;
    std::set<std::uint32_t> lows;
    for (std::size_t i = 0; i < ids.size(); ++i) {
        const auto low = static_cast<std::uint32_t>(static_cast<std::uint64_t>(ids[i]));
        // The ids are sorted: the first with these low bits keeps them.
        if (lows.insert(low).second) {
            EXPECT_EQ(numbers[i], low);
            ++kept;
        }
    }
    EXPECT_EQ(moved, ids.size() - kept);
    EXPECT_GT(moved, 0U);

    // A new object whose low bits nobody has leaves every number as it was.
    std::vector<std::int64_t> more = ids;
    more.push_back(wrap - 5);
    std::uint64_t moved_again = 0;
    const std::vector<std::uint32_t> again = stable_numbers(more, std::nullopt, moved_again);
    EXPECT_EQ(std::vector<std::uint32_t>(again.begin(), again.end() - 1), numbers);

    // Zone numbers never take 0.
    const std::vector<std::uint32_t> zones = stable_numbers({0, wrap}, 0U, moved);
    EXPECT_EQ(zones, (std::vector<std::uint32_t>{1, 2}));
}

}  // namespace
