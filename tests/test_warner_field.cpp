// The warner where a device lives: crowded areas (many cameras it must not
// warn of, the same camera listed many times, more events in one fix than
// cameras tracked) and files replaced under a drive. A vehicle drives north
// at 90 km/h along a meridian, one fix a second; cameras stand by the road.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "edog/e_dog_source_date.h"
#include "geo/geohash.h"
#include "tests/test_support.h"
#include "warner/e_dog_warn.h"

namespace {

constexpr double kLat0 = 45.0;
constexpr double kLng = 7.0;
constexpr double kMetresPerDegree = 111'195.0;  // along a meridian, the module's earth
constexpr int kSpeed = 90;
constexpr double kStep = kSpeed / 3.6;   // metres a second
constexpr double kReach = kStep * 15.0;  // 375 m

double lat_at(double metres) {
    return kLat0 + metres / kMetresPerDegree;
}

// A camera `metres` along the road, `side` metres east of it.
E_DOG_DATA camera(int idex, double metres, int dirtype, double side = 6.0, int speed = 60) {
    E_DOG_DATA c{};
    c.Idex = idex;
    c.Gps_lat = lat_at(metres);
    c.Gps_lng = kLng + side / (kMetresPerDegree * std::cos(kLat0 * 3.14159265358979 / 180.0));
    c.Type = 1;
    c.Speed = speed;
    c.DirType = dirtype;
    c.Direction = 0;  // watching the vehicles going north
    std::strncpy(c.encode_str, geohash_encode(c.Gps_lat, c.Gps_lng, 10), 10);
    return c;
}

void open_list(std::vector<E_DOG_DATA> recs) {
    std::stable_sort(recs.begin(), recs.end(), [](const E_DOG_DATA& a, const E_DOG_DATA& b) {
        return std::strncmp(a.encode_str, b.encode_str, 12) < 0;
    });
    test::write_records("DATA_T.BIN", recs);
    e_dog_exit();
    ASSERT_EQ(e_dog_init(), 0);
}

struct Seen {
    int warned = 0;
    int passed = 0;
    int overspeed = 0;
    double warned_at_m = -1;  // distance of the warning
    double passed_at = -1;    // where the vehicle was, metres along the road
};

class WarnerField : public ::testing::Test {
protected:
    void SetUp() override { e_dog_warn_init(&w_, nullptr); }
    void TearDown() override { e_dog_exit(); }

    // Drives from `from` to `to` metres along the road; the events by Idex.
    void drive(double from, double to, double speed_kmh = kSpeed) {
        for (double at = from; at <= to; at += kStep) {
            GPS_INFO_T fix{};
            fix.lati = lat_at(at);
            fix.longi = kLng;
            fix.current_speed = static_cast<int>(speed_kmh);
            fix.degrees = 0.0;
            EDOG_ALARM alarm{};
            int handed = 0;
            for (int k = e_dog_warn_update(&w_, &fix, &alarm, nullptr); k != EDOG_WARN_NONE;
                 k = e_dog_warn_next(&w_, &alarm)) {
                ++handed;
            }
            ASSERT_EQ(handed, e_dog_warn_event_count(&w_));
            EDOG_WARN_EVENT ev{};
            for (int e = 0; e_dog_warn_event(&w_, e, &ev) == 1; ++e) {
                Seen& s = seen_[ev.camera.data.Idex];
                if (ev.kind == EDOG_WARN_WARN) {
                    ++s.warned;
                    s.warned_at_m = ev.camera.distance_m;
                } else if (ev.kind == EDOG_WARN_PASSED) {
                    ++s.passed;
                    s.passed_at = at;
                } else {
                    ++s.overspeed;
                }
            }
        }
    }

    test::ScratchDir dir_;
    EDOG_WARNER w_{};
    std::map<int, Seen> seen_;
};

// 64 cameras for all directions (each with a limit of its own) 10 m before a
// speed camera, and a camera listed 100 times (some a metre apart): the
// speed camera is warned at the warning distance, the repeated one once, and
// none of the others ever.
TEST_F(WarnerField, CrowdsNeitherHideNorRepeatACamera) {
    std::vector<E_DOG_DATA> recs;
    for (int i = 0; i < 64; ++i) {
        recs.push_back(camera(1000 + i, 1990.0 + (i % 8), 0, 4.0 + i / 8, 20 + i));
    }
    recs.push_back(camera(1, 2000.0, 1));
    for (int i = 0; i < 100; ++i) {
        recs.push_back(camera(2000 + i, 3000.0 + (i % 2), 1, 6.0 + (i % 3)));
    }
    open_list(recs);
    drive(0.0, 4000.0, 100.0);
    ASSERT_EQ(seen_[1].warned, 1);
    EXPECT_GE(seen_[1].warned_at_m, kReach * 100 / kSpeed - 100 / 3.6 - 1.0);
    EXPECT_EQ(seen_[1].passed, 1);
    EXPECT_EQ(seen_[1].overspeed, 1);  // 100 km/h against 60
    int repeated_warned = 0;
    int repeated_passed = 0;
    int others = 0;
    for (const auto& [idex, s] : seen_) {
        repeated_warned += idex >= 2000 ? s.warned : 0;
        repeated_passed += idex >= 2000 ? s.passed : 0;
        others += idex >= 1000 && idex < 2000 ? s.warned + s.passed + s.overspeed : 0;
    }
    EXPECT_EQ(repeated_warned, 1);
    EXPECT_EQ(repeated_passed, 1);
    EXPECT_EQ(others, 0);
}

// The most events one fix can bring: 64 cameras warned are left behind by a
// jump onto 64 others, all warned at once above their limit (each its own,
// so that none is a repeat of another). All 192 are handed over.
TEST_F(WarnerField, EveryEventOfAFixIsHandedOverAtTheBound) {
    constexpr int kCams = EDOG_WARN_MAX_TRACKS;
    std::vector<E_DOG_DATA> recs;
    for (int i = 0; i < kCams; ++i) {
        recs.push_back(camera(i, 100.0 + i, 1, 5.0 + (i % 4) * 2, 20 + i));
        recs.push_back(camera(100 + i, 50'000.0 + 100.0 + i, 1, 5.0 + (i % 4) * 2, 20 + i));
    }
    open_list(recs);
    drive(0.0, 0.0);
    EXPECT_EQ(e_dog_warn_event_count(&w_), 2 * kCams);  // warned, and over-speed
    drive(50'000.0, 50'000.0);
    EXPECT_EQ(e_dog_warn_event_count(&w_), EDOG_WARN_MAX_EVENTS);
    for (int i = 0; i < kCams; ++i) {
        EXPECT_EQ(seen_[i].passed, 1) << i;
        EXPECT_EQ(seen_[100 + i].warned, 1) << i;
        EXPECT_EQ(seen_[100 + i].overspeed, 1) << i;
    }
}

// A new list opened mid-drive (e_dog_exit, e_dog_init): its records in
// another order, one camera removed and one added. The camera being warned
// is not warned again and is passed where it stands; the removed one goes
// without an event; the added one is warned once. While no file is open,
// fixes change nothing.
TEST_F(WarnerField, ANewListKeepsTheStateOfEveryCameraStillInIt) {
    std::vector<E_DOG_DATA> recs;
    for (int i = 0; i < 40; ++i) {
        recs.push_back(camera(i + 1, 1000.0 + 50.0 * i, i % 2 == 0 ? 1 : 0, 6.0 + i % 5));
    }
    recs.push_back(camera(500, 2100.0, 1, -6.0));  // to be removed
    open_list(recs);
    drive(0.0, 1800.0);
    ASSERT_EQ(seen_[500].warned, 1);
    e_dog_exit();
    const int tracked = e_dog_warn_track_count(&w_);
    drive(1800.0 + kStep, 1900.0);  // no file: nothing happens
    EXPECT_EQ(e_dog_warn_track_count(&w_), tracked);
    recs.pop_back();
    std::reverse(recs.begin(), recs.end());  // other record numbers
    for (E_DOG_DATA& r : recs) {
        r.Speed = 70;  // a camera's limit may change with a list
    }
    recs.push_back(camera(600, 2200.0, 1, -6.0));  // added
    open_list(recs);
    drive(1900.0 + kStep, 5000.0);
    for (const auto& [idex, s] : seen_) {
        const bool warnable = idex >= 500 || (idex - 1) % 2 == 0;
        EXPECT_EQ(s.warned, warnable && idex != 0 ? 1 : 0) << idex;
        EXPECT_EQ(s.passed, warnable && idex != 500 ? 1 : 0) << idex;
        if (idex < 500 && s.passed == 1) {
            EXPECT_GE(s.passed_at, 1000.0 + 50.0 * (idex - 1)) << idex << " passed ahead";
        }
    }
    EXPECT_EQ(seen_[600].warned, 1);
}

}  // namespace
