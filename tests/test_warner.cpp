// The warner on simulated drives: straight and curved roads, 30 to 130 km/h,
// a few metres of position noise and a few degrees of course noise. Cameras
// along the way in the direction of travel are warned once, in time and in
// the order reached; cameras for the other direction, behind the start or of
// a kind not warned never are.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "edog/e_dog_source_date.h"
#include "geo/distance.h"
#include "geo/geohash.h"
#include "tests/test_support.h"
#include "warner/e_dog_warn.h"

namespace {

constexpr double kPi = 3.14159265358979;

struct Pose {
    double lat;
    double lng;
    double heading;  // degrees
};

struct Drive {
    const char* what;
    int speed_kmh;
    double turn_deg_s;  // constant turn rate: a curve of radius v / turn
    double spacing_m;   // between cameras along the way
};

// The true path, one pose per second, starting at (45, 7) heading north-east.
std::vector<Pose> path(const Drive& d, int seconds) {
    std::vector<Pose> out;
    Pose p{45.0, 7.0, 40.0};
    const double v = d.speed_kmh / 3.6;
    for (int t = 0; t < seconds; ++t) {
        out.push_back(p);
        for (int k = 0; k < 10; ++k) {  // in tenths of a second, so curves are curves
            const auto [lat, lng] = test::destination(p.lat, p.lng, v / 10, p.heading * kPi / 180);
            p = {lat, lng, std::fmod(p.heading + d.turn_deg_s / 10 + 360.0, 360.0)};
        }
    }
    return out;
}

enum class Expect { kWarned, kNever };

struct Placed {
    E_DOG_DATA cam;
    Expect expect;
    int order;           // along the way, for the warned ones
    double level_s = 0;  // when the vehicle comes level with it
};

E_DOG_DATA make_camera(double lat, double lng, int type, int dirtype, int direction, int idex) {
    E_DOG_DATA c{};
    c.Idex = idex;
    c.Gps_lat = lat;
    c.Gps_lng = lng;
    c.Type = type;
    c.Speed = 50 + 10 * (idex % 5);
    c.DirType = dirtype;
    c.Direction = direction;
    std::strncpy(c.encode_str, geohash_encode(lat, lng, 10), 10);
    return c;
}

// Cameras along the path, 6 m to the right, every `spacing_m` after the
// first 900 m, each of a kind chosen in turn; and cameras behind the start.
std::vector<Placed> place_cameras(const std::vector<Pose>& way, const Drive& d) {
    std::vector<Placed> out;
    const double v = d.speed_kmh / 3.6;
    int order = 0;
    int idex = 0;
    for (double s = 900.0; s < v * static_cast<double>(way.size() - 60); s += d.spacing_m) {
        const auto at = static_cast<std::size_t>(s / v);
        const Pose& p = way[at];
        const auto [lat, lng] = test::destination(p.lat, p.lng, 6.0, (p.heading + 90) * kPi / 180);
        const int dir = static_cast<int>(std::lround(p.heading)) % 360;
        const int back = (dir + 180) % 360;
        switch (idex % 6) {
        case 0:
            out.push_back({make_camera(lat, lng, 1, 1, dir, idex), Expect::kWarned, order++});
            break;
        case 1:
            out.push_back({make_camera(lat, lng, 2, 2, back, idex), Expect::kWarned, order++});
            break;
        case 2:
            out.push_back({make_camera(lat, lng, 3, 3, 777, idex), Expect::kWarned, order++});
            break;
        case 3:
            out.push_back({make_camera(lat, lng, 1, 1, back, idex), Expect::kNever, -1});
            break;
        case 4:
            out.push_back({make_camera(lat, lng, 1, 0, dir, idex), Expect::kNever, -1});
            break;
        default:
            out.push_back({make_camera(lat, lng, 6, 6, dir, idex), Expect::kNever, -1});
            break;
        }
        out.back().level_s = static_cast<double>(at);
        ++idex;
    }
    for (const double behind : {150.0, 400.0}) {
        const auto [lat, lng] =
            test::destination(way[0].lat, way[0].lng, behind, (way[0].heading + 180) * kPi / 180);
        out.push_back({make_camera(lat, lng, 1, 3, 0, idex++), Expect::kNever, -1});
    }
    return out;
}

void open_cameras(const std::vector<Placed>& placed) {
    std::vector<E_DOG_DATA> recs;
    for (const Placed& p : placed) {
        recs.push_back(p.cam);
    }
    std::stable_sort(recs.begin(), recs.end(), [](const E_DOG_DATA& a, const E_DOG_DATA& b) {
        return std::strncmp(a.encode_str, b.encode_str, 12) < 0;
    });
    test::write_records("DATA_T.BIN", recs);
    e_dog_exit();
    ASSERT_EQ(e_dog_init(), 0);
}

class Warner : public ::testing::Test {
protected:
    void TearDown() override { e_dog_exit(); }
    test::ScratchDir dir_;
};

const Drive kDrives[] = {
    {"town, straight", 30, 0.0, 500.0},     {"town, curve", 50, 0.25, 450.0},
    {"road, bends", 90, 0.3, 700.0},        {"motorway", 130, 0.0, 900.0},
    {"motorway, bend", 130, 0.2, 900.0},    {"cameras every 200 m", 130, 0.0, 200.0},
    {"slow, every 200 m", 40, 0.25, 200.0},
};

// The noise of a fix's position (each fix) and course, in metres and degrees.
constexpr double kNoiseM = 3.0;
// How far the true distance may stand from the fix's: the noise of two fixes.
constexpr double kTwoFixesM = 12.0;

// Drives `way` with noise through `w`, checking every event as it comes: a
// warning no earlier than at the warning distance D and no later than D less
// one second of travel; passing only after being warned and reaching the
// camera; the camera's source, where `source_of` gives one. Counts warnings
// and passings per camera and checks that every camera to be warned was,
// once, and in order.
void drive_and_check(EDOG_WARNER& w, const Drive& d, const std::vector<Pose>& way,
                     const std::vector<Placed>& placed, std::mt19937_64& rng,
                     const std::function<int(const E_DOG_DATA&)>& source_of = nullptr) {
    std::normal_distribution<double> pos_noise(0.0, kNoiseM);
    std::normal_distribution<double> course_noise(0.0, kNoiseM);
    std::uniform_real_distribution<double> angle(0.0, 2 * kPi);
    const double v = d.speed_kmh / 3.6;
    const double reach = std::clamp(v * 15.0, 150.0, 800.0);
    std::vector<int> warned(placed.size(), 0);
    std::vector<int> passed(placed.size(), 0);
    std::vector<int> warn_order;
    for (std::size_t t = 0; t < way.size(); ++t) {
        const Pose& truth = way[t];
        const auto [lat, lng] =
            test::destination(truth.lat, truth.lng, std::fabs(pos_noise(rng)), angle(rng));
        GPS_INFO_T fix{};
        fix.lati = lat;
        fix.longi = lng;
        fix.current_speed = d.speed_kmh;
        fix.degrees = std::fmod(truth.heading + course_noise(rng) + 360.0, 360.0);
        E_DOG_LCD lcd{};
        (void)e_dog_warn_update(&w, &fix, nullptr, &lcd);
        EXPECT_EQ(lcd.cur_speed, d.speed_kmh);
        EDOG_WARN_EVENT ev{};
        for (int e = 0; e_dog_warn_event(&w, e, &ev) == 1; ++e) {
            const auto it = std::find_if(placed.begin(), placed.end(), [&](const Placed& p) {
                return p.cam.Idex == ev.camera.data.Idex;
            });
            ASSERT_NE(it, placed.end());
            const auto i = static_cast<std::size_t>(it - placed.begin());
            if (source_of) {
                EXPECT_EQ(ev.source, source_of(it->cam)) << "camera " << it->cam.Idex;
            }
            if (ev.kind == EDOG_WARN_WARN) {
                ++warned[i];
                warn_order.push_back(it->order);
                const double true_d =
                    get_distance(truth.lat, truth.lng, it->cam.Gps_lat, it->cam.Gps_lng);
                EXPECT_LE(ev.camera.distance_m, reach) << "camera " << it->cam.Idex;
                EXPECT_LE(true_d, reach + kTwoFixesM) << "camera " << it->cam.Idex;
                EXPECT_GE(true_d, reach - v - kTwoFixesM) << "camera " << it->cam.Idex;
            } else if (ev.kind == EDOG_WARN_PASSED) {
                ++passed[i];
                EXPECT_EQ(warned[i], 1) << "passed before being warned";
                EXPECT_GE(static_cast<double>(t), it->level_s) << "passed before reaching it";
            }
        }
    }
    int expected = 0;
    for (std::size_t i = 0; i < placed.size(); ++i) {
        const bool want = placed[i].expect == Expect::kWarned;
        expected += want ? 1 : 0;
        EXPECT_EQ(warned[i], want ? 1 : 0) << "camera " << placed[i].cam.Idex;
        EXPECT_EQ(passed[i], want ? 1 : 0) << "camera " << placed[i].cam.Idex;
    }
    EXPECT_GT(expected, 3);
    EXPECT_TRUE(std::is_sorted(warn_order.begin(), warn_order.end()));
}

TEST_F(Warner, SimulatedDrivesWarnEachCameraAheadOnceAndInTime) {
    std::mt19937_64 rng(12);
    for (const Drive& d : kDrives) {
        SCOPED_TRACE(d.what);
        const std::vector<Pose> way = path(d, 600);
        const std::vector<Placed> placed = place_cameras(way, d);
        open_cameras(placed);
        EDOG_WARNER w;
        e_dog_warn_init(&w, nullptr);
        drive_and_check(w, d, way, placed, rng);
        // The texts handed over name the camera and the distance.
        EDOG_ALARM alarm{};
        e_dog_warn_init(&w, nullptr);
        std::string texts;
        for (const Pose& p : way) {
            GPS_INFO_T fix{};
            fix.lati = p.lat;
            fix.longi = p.lng;
            fix.current_speed = d.speed_kmh;
            fix.degrees = p.heading;
            for (int k = e_dog_warn_update(&w, &fix, &alarm, nullptr); k != EDOG_WARN_NONE;
                 k = e_dog_warn_next(&w, &alarm)) {
                texts += std::to_string(k) + ":" + alarm.str + "\n";
            }
        }
        EXPECT_NE(texts.find("1:speed camera "), std::string::npos) << texts;
        EXPECT_NE(texts.find("3:speed camera passed"), std::string::npos) << texts;
    }
}

// The maker's list and the driver's own list, open as two handles while the
// module has no file open: the same drives, every camera warned once from
// the source that holds it.
TEST_F(Warner, TwoSourcesWarnAsOneListWouldAndNameTheirSource) {
    std::mt19937_64 rng(13);
    for (const Drive& d : {kDrives[2], kDrives[5]}) {
        SCOPED_TRACE(d.what);
        const std::vector<Pose> way = path(d, 600);
        const std::vector<Placed> placed = place_cameras(way, d);
        std::vector<Placed> lists[2];
        for (const Placed& p : placed) {
            lists[p.cam.Idex % 2].push_back(p);
        }
        open_cameras(lists[0]);
        ASSERT_EQ(std::rename("DATA_T.BIN", "maker.bin"), 0);
        open_cameras(lists[1]);
        ASSERT_EQ(std::rename("DATA_T.BIN", "driver.bin"), 0);
        e_dog_exit();
        E_DOG_DB* sources[] = {e_dog_db_open("maker.bin", nullptr),
                               e_dog_db_open("driver.bin", nullptr)};
        ASSERT_NE(sources[0], nullptr);
        ASSERT_NE(sources[1], nullptr);
        EDOG_WARNER w;
        e_dog_warn_init(&w, nullptr);
        EXPECT_EQ(e_dog_warn_set_sources(&w, sources, EDOG_WARN_MAX_SOURCES + 1), -1);
        E_DOG_DB* with_null[] = {sources[0], nullptr};
        EXPECT_EQ(e_dog_warn_set_sources(&w, with_null, 2), -1);
        ASSERT_EQ(e_dog_warn_set_sources(&w, sources, 2), 0);
        drive_and_check(w, d, way, placed, rng, [](const E_DOG_DATA& cam) { return cam.Idex % 2; });
        e_dog_db_close(sources[0]);
        e_dog_db_close(sources[1]);
    }
}

// Over-speed: once per pass, again only after slowing below the limit; and
// nothing is warned below 5 km/h or without a course.
TEST_F(Warner, OverSpeedOncePerPassAndNoWarningWhenSlowOrWithoutCourse) {
    const Drive d{"straight", 60, 0.0, 1000.0};
    const std::vector<Pose> way = path(d, 120);
    std::vector<Placed> placed = {
        {make_camera(way[60].lat, way[60].lng, 1, 1, 40, 0), Expect::kWarned, 0}};
    placed[0].cam.Speed = 50;
    open_cameras(placed);
    EDOG_WARNER w;
    e_dog_warn_init(&w, nullptr);
    std::vector<int> kinds;
    const int speeds[] = {60, 56, 40, 70, 70};  // over, still over, under, over again
    for (std::size_t t = 0; t < way.size(); ++t) {
        GPS_INFO_T fix{};
        fix.lati = way[t].lat;
        fix.longi = way[t].lng;
        fix.current_speed = t < 45 ? 60 : speeds[std::min<std::size_t>((t - 45) / 3, 4)];
        fix.degrees = way[t].heading;
        for (int k = e_dog_warn_update(&w, &fix, nullptr, nullptr); k != EDOG_WARN_NONE;
             k = e_dog_warn_next(&w, nullptr)) {
            kinds.push_back(k);
        }
    }
    EXPECT_EQ(kinds, (std::vector<int>{EDOG_WARN_WARN, EDOG_WARN_OVERSPEED, EDOG_WARN_OVERSPEED,
                                       EDOG_WARN_PASSED}));

    for (const bool no_course : {false, true}) {
        e_dog_warn_init(&w, nullptr);
        int events = 0;
        for (const Pose& p : way) {
            GPS_INFO_T fix{};
            fix.lati = p.lat;
            fix.longi = p.lng;
            fix.current_speed = no_course ? 60 : 4;
            fix.degrees = no_course ? std::nan("") : p.heading;
            events += e_dog_warn_update(&w, &fix, nullptr, nullptr) != EDOG_WARN_NONE ? 1 : 0;
        }
        EXPECT_EQ(events, 0);
    }
}

}  // namespace
