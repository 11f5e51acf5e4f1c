// Average-speed zones in the warner: simulated drives through a zone
// (straight and curved, 1 to 20 km, speeds that keep, cross and recover the
// limit, position, speed and course noise, a tunnel gap, a drive that leaves
// the section midway, the reverse carriageway) against the truth of the
// simulation: one enter and one exit within two fixes of passing each
// camera, the average at the exit within 1 km/h or 1 %, over-speed exactly
// when the true average goes above limit + margin after 200 m.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "edog/builder/list_build.h"
#include "edog/datafile/zone_file.h"
#include "edog/e_dog_db.h"
#include "edog/e_dog_zones.h"
#include "tests/test_support.h"
#include "warner/e_dog_warn.h"
#include "warner/e_dog_warn_zones.h"

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kLead = 1500.0;  // metres of road before the entry camera
constexpr int kLimit = 80;
constexpr int kMargin = 5;

struct Point {
    double lat;
    double lng;
    double bearing_deg;
};

// A road: a point every metre from (50.0, 8.0), heading east, turning by
// `turn_deg_per_km`.
std::vector<Point> road(double length_m, double turn_deg_per_km) {
    std::vector<Point> pts;
    Point p{50.0, 8.0, 90.0};
    for (double s = 0.0; s <= length_m; s += 1.0) {
        pts.push_back(p);
        const auto [lat, lng] = test::destination(p.lat, p.lng, 1.0, p.bearing_deg * kPi / 180.0);
        p = {lat, lng, p.bearing_deg + turn_deg_per_km / 1000.0};
    }
    return pts;
}

Point along(const std::vector<Point>& r, double s) {
    const auto i = static_cast<std::size_t>(std::clamp(s, 0.0, static_cast<double>(r.size() - 2)));
    const double f = std::clamp(s - static_cast<double>(i), 0.0, 1.0);
    return {r[i].lat + f * (r[i + 1].lat - r[i].lat), r[i].lng + f * (r[i + 1].lng - r[i].lng),
            r[i].bearing_deg};
}

// A camera 8 m to the side of the road at `s`, watching the traffic going
// the road's way there (DirType 1).
E_DOG_DATA camera_at(const std::vector<Point>& r, double s, int idex, bool reverse) {
    const Point p = along(r, s);
    const double side = p.bearing_deg + (reverse ? -90.0 : 90.0);
    const auto [lat, lng] = test::destination(p.lat, p.lng, 8.0, side * kPi / 180.0);
    E_DOG_DATA d{};
    d.Idex = idex;
    d.Gps_lat = lat;
    d.Gps_lng = lng;
    d.Type = 4;
    d.Speed = kLimit;
    d.DirType = 1;
    d.Direction = static_cast<int>(std::lround(p.bearing_deg + (reverse ? 180.0 : 0.0))) % 360;
    EXPECT_TRUE(e_dog::set_code(d));
    return d;
}

struct Case {
    const char* name;
    double zone_m;
    double turn_deg_per_km;
    std::function<double(double s)> kmh;  // speed at road position s (from the entry camera)
    bool reverse = false;                 // driven on the other carriageway, the other way
    double gap_from_s = -1;               // no fixes for 40 s from this road position
    double leave_at = -1;                 // turns off the road here, 90 degrees right
};

struct Truth {
    double t_entry = NAN;
    double t_exit = NAN;
    int overspeeds = 0;
};

TEST(WarnerZones, SimulatedDrivesAgreeWithTheTruth) {
    const test::ScratchDir dir;
    const Case cases[] = {
        {"1 km straight at 78", 1000, 0, [](double) { return 78.0; }},
        {"5 km curved at 90", 5000, 40, [](double) { return 90.0; }},
        {"20 km straight at 45", 20000, 0, [](double) { return 45.0; }},
        {"3 km cross then recover", 3000, 10, [](double s) { return s < 1200 ? 110.0 : 55.0; }},
        {"8 km slow then fast", 8000, -15, [](double s) { return s < 4000 ? 70.0 : 120.0; }},
        {"6 km with a tunnel", 6000, 0, [](double) { return 95.0; }, false, 2500},
        {"10 km left midway", 10000, 0, [](double) { return 90.0; }, false, -1, 5000},
        {"4 km on the other carriageway", 4000, 20, [](double) { return 85.0; }, true},
    };
    std::mt19937 rng(11);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<Point> r = road(kLead + c.zone_m + 6000, c.turn_deg_per_km);
        // The zone's cameras watch the direction of the road, on its right.
        std::vector<E_DOG_DATA> cams = {camera_at(r, kLead, 11, false),
                                        camera_at(r, kLead + c.zone_m, 12, false)};
        std::sort(cams.begin(), cams.end(), [](const E_DOG_DATA& a, const E_DOG_DATA& b) {
            return std::strncmp(a.encode_str, b.encode_str, 12) < 0;
        });
        test::write_records("z.bin", cams);
        e_dog::ZoneRecord z{};
        z.zone_id = 7;
        z.speed_kmh = kLimit;
        for (std::uint32_t i = 0; i < 2; ++i) {
            const bool entry = cams[i].Idex == 11;
            (entry ? z.entry_record : z.exit_record) = i;
            (entry ? z.entry_idex : z.exit_idex) = static_cast<std::uint32_t>(cams[i].Idex);
            std::memcpy(entry ? z.entry_code : z.exit_code, cams[i].encode_str, 12);
        }
        test::write_file("z.bin.zones", e_dog::encode_zones({z}, 2 * 56));
        E_DOG_DB* db = e_dog_db_open("z.bin", nullptr);
        ASSERT_NE(db, nullptr);
        ASSERT_EQ(e_dog_db_zone_count(db), 1);
        EDOG_WARNER w;
        e_dog_warn_init(&w, nullptr);
        ASSERT_EQ(e_dog_warn_set_sources(&w, &db, 1), 0);

        // Drive, simulated in steps of 50 ms, a fix every second.
        std::normal_distribution<double> metre_noise(0.0, 3.0);
        std::uniform_real_distribution<double> kmh_noise(-2.8, 2.8);  // about 1.5 kn
        std::uniform_real_distribution<double> deg_noise(-2.0, 2.0);
        const double start = c.reverse ? kLead + c.zone_m + 1500 : 0.0;
        const double end = c.reverse ? 0.0 : kLead + c.zone_m + 1500;
        const double sign = c.reverse ? -1.0 : 1.0;
        double s = start;
        double off = 0.0;  // metres driven off the road after leaving it
        double t = 0.0;
        double next_fix = 0.0;
        double driven_in = 0.0;
        Truth truth;
        bool armed = true;
        std::vector<EDOG_ZONE_EVENT> events;
        int shown = 0;
        int on_lcd = 0;
        std::vector<double> event_t;
        const double day = 3 * 86400.0 - 600.0;  // ten minutes before midnight
        while ((c.reverse ? s > end : s < end) && off < 4000.0) {
            const double zs = s - kLead;
            const double v = c.kmh(std::clamp(zs, 0.0, c.zone_m)) / 3.6;
            const bool leaving = c.leave_at >= 0 && zs >= c.leave_at;
            const double ds = v * 0.05;
            if (leaving) {
                off += ds;
            } else {
                s += sign * ds;
            }
            t += 0.05;
            if (!c.reverse && std::isnan(truth.t_entry) && s >= kLead) {
                truth.t_entry = t;
            }
            if (!std::isnan(truth.t_entry) && std::isnan(truth.t_exit) && !leaving) {
                driven_in += ds;
                if (s >= kLead + c.zone_m) {
                    truth.t_exit = t;
                }
                const double avg = driven_in / (t - truth.t_entry) * 3.6;
                if (avg < kLimit) {
                    armed = true;
                } else if (armed && driven_in >= 200.0 && avg > kLimit + kMargin + 1.0) {
                    armed = false;
                    ++truth.overspeeds;
                }
            }
            if (t + 1e-9 < next_fix) {
                continue;
            }
            next_fix += 1.0;
            if (c.gap_from_s >= 0 && zs >= c.gap_from_s && zs < c.gap_from_s + 40 * v) {
                continue;  // in the tunnel
            }
            Point p = along(r, s);
            double bearing = c.reverse ? p.bearing_deg + 180.0 : p.bearing_deg;
            if (leaving) {
                const auto [lat, lng] =
                    test::destination(p.lat, p.lng, off, (p.bearing_deg + 90.0) * kPi / 180.0);
                p = {lat, lng, 0.0};
                bearing += 90.0;
            }
            const auto [lat, lng] = test::destination(p.lat, p.lng, std::fabs(metre_noise(rng)),
                                                      deg_noise(rng) * 90.0 * kPi / 180.0 * 2.0);
            GPS_INFO_T fix{};
            fix.lati = lat;
            fix.longi = lng;
            fix.current_speed = static_cast<s32>(std::lround(v * 3.6 + kmh_noise(rng)));
            fix.degrees = std::fmod(bearing + deg_noise(rng) + 360.0, 360.0);
            EDOG_ALARM alarm{};
            E_DOG_LCD lcd{};
            const int point = e_dog_warn_update_at(&w, &fix, day + t, &alarm, &lcd);
            EDOG_ZONE_STATUS inside{};
            if (e_dog_warn_zone_status(&w, &inside) == 1 && point == EDOG_WARN_NONE) {
                // The display shows the zone: limit, average, distance to go
                // (the lcd only while no camera is being warned).
                ++shown;
                EXPECT_EQ(std::string(alarm.str).rfind("section 80 km/h: average ", 0), 0U);
                EXPECT_EQ(lcd.result, 0);
                on_lcd += std::fabs(lcd.distance_val - inside.remaining_m) <= 1.0 ? 1 : 0;
                EXPECT_GE(inside.hold_kmh, 0.0);
            }
            EDOG_ZONE_EVENT ev{};
            for (int i = 0; e_dog_warn_zone_event(&w, i, &ev) == 1; ++i) {
                events.push_back(ev);
                event_t.push_back(t);
            }
        }
        e_dog_db_close(db);

        const auto count = [&](int kind) {
            return std::count_if(events.begin(), events.end(),
                                 [kind](const EDOG_ZONE_EVENT& e) { return e.kind == kind; });
        };
        if (c.reverse) {
            EXPECT_TRUE(events.empty());
            EXPECT_EQ(shown, 0);
            continue;
        }
        EXPECT_GT(shown, 0);
        EXPECT_GT(on_lcd, 0);
        ASSERT_EQ(count(EDOG_ZONE_ENTER), 1);
        ASSERT_FALSE(events.empty());
        EXPECT_EQ(events.front().kind, EDOG_ZONE_ENTER);
        EXPECT_LE(std::fabs(event_t.front() - truth.t_entry), 2.0);
        if (c.leave_at >= 0) {
            EXPECT_EQ(count(EDOG_ZONE_LEFT), 1);
            EXPECT_EQ(count(EDOG_ZONE_EXIT), 0);
            EXPECT_EQ(events.back().kind, EDOG_ZONE_LEFT);
            continue;
        }
        ASSERT_EQ(count(EDOG_ZONE_EXIT), 1);
        EXPECT_EQ(count(EDOG_ZONE_LEFT), 0);
        EXPECT_EQ(count(EDOG_ZONE_OVERSPEED), truth.overspeeds);
        const EDOG_ZONE_EVENT& exit = events.back();
        EXPECT_EQ(exit.kind, EDOG_ZONE_EXIT);
        EXPECT_LE(std::fabs(event_t.back() - truth.t_exit), 2.0);
        const double true_avg = c.zone_m / (truth.t_exit - truth.t_entry) * 3.6;
        EXPECT_NEAR(exit.average_kmh, true_avg, std::max(1.0, 0.01 * true_avg))
            << "elapsed " << exit.elapsed_s << " s, driven " << exit.driven_m << " m";
    }
}

}  // namespace
