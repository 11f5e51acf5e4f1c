// The nearest search and the radius search against brute force: clustered
// and uniform files, drives, the edge of the radius, ties and bad arguments.

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "edog/e_dog_internal.h"
#include "edog/e_dog_source_date.h"
#include "edog/lookup/lookup.h"
#include "edog/reference/reference_scan.h"
#include "edog/search/search_trace.h"
#include "tests/nearest_fixture.h"
#include "tests/test_support.h"

namespace {

using namespace nearest_test;

TEST_F(Nearest, AgreesWithBruteForceOnClusteredData) {
    const std::vector<Camera> cams = clustered(4000);
    const std::vector<E_DOG_DATA> recs = open_file(cams);
    const int hits = expect_agreement(recs, queries_near(cams, 15000));
    EXPECT_GT(hits, 5000);  // the positions do reach cameras
}

TEST_F(Nearest, AgreesWithBruteForceOnUniformData) {
    std::vector<Camera> cams;
    for (int i = 0; i < 3000; ++i) {
        cams.push_back({uniform(-90, 90), uniform(-180, 180), dirtype()});
    }
    const std::vector<E_DOG_DATA> recs = open_file(cams);
    std::vector<Query> queries = queries_near(cams, 6000);
    for (int i = 0; i < 4000; ++i) {
        queries.push_back({uniform(-90, 90), uniform(-180, 180), radius()});
    }
    expect_agreement(recs, queries);
}

// Drives of fixes a few metres to 40 m apart (stops, turns, crossings of the
// antimeridian and a pole), with the radius changed and jumps elsewhere, and
// going on while the file is replaced by one with a camera where the drive
// is: searches answered from the list an earlier search kept agree with the
// scan as well.
TEST_F(Nearest, DrivesAgreeWithBruteForce) {
    std::vector<Camera> sparse;
    for (int i = 0; i < 3000; ++i) {
        sparse.push_back({uniform(-90, 90), uniform(-180, 180), dirtype()});
    }
    const std::vector<Camera> dense = clustered(4000);
    int from_nearby = 0;
    int fixes = 0;
    Query q{dense[0].lat, dense[0].lng, 800.0};
    double bearing = 0.0;
    for (int file = 0; file < 4; ++file) {
        std::vector<Camera> cams = file < 2 ? dense : sparse;
        if (file % 2 == 1) {
            cams.push_back({q.lat, q.lng, 1});
        }
        const std::vector<E_DOG_DATA> recs = open_file(cams);
        for (int d = 0; d < 30; ++d) {
            if (d > 0) {  // the first drive goes on from the last file's
                const Camera& c = cams[rng_() % cams.size()];
                q = {c.lat, c.lng, d % 5 == 4 ? 250.0 : 800.0};
                if (d % 8 == 1) {
                    q = {uniform(-60, 60), d % 16 == 1 ? 179.99 : -179.99, 800.0};
                } else if (d % 8 == 3) {
                    q = {d % 16 == 3 ? 89.99 : -89.99, uniform(-180, 180), 800.0};
                }
                bearing = uniform(0, 6.2831852);
            }
            for (int t = 0; t < 120; ++t) {
                expect_agreement(recs, {q});
                from_nearby += e_dog::last_nearest_trace().from_nearby ? 1 : 0;
                ++fixes;
                const double step = t % 30 < 3 ? 0.0 : uniform(3, 40);  // stops now and then
                std::tie(q.lat, q.lng) = test::destination(q.lat, q.lng, step, bearing);
                bearing += uniform(-0.1, 0.1);
                q.radius = t == 60 ? radius() : q.radius;
            }
        }
        ASSERT_FALSE(HasFailure()) << "file " << file;
    }
    EXPECT_GT(from_nearby, fixes / 3);  // the kept lists were used
}

TEST_F(Nearest, CamerasAtTheEdgeOfTheRadiusInEveryDirection) {
    // One camera per query, just inside or just outside its radius, mostly
    // due east or west where the reach in longitude is tightest.
    std::vector<Camera> cams;
    std::vector<Query> queries;
    for (int i = 0; i < 3000; ++i) {
        const double lat = (i % 5 == 0) ? uniform(-89.9, 89.9) : uniform(-70, 70);
        const double lng = (i % 7 == 0) ? (i % 2 == 0 ? 179.9999 : -179.9999) : uniform(-180, 180);
        const double r = (i % 3 == 0) ? radius() : 800.0;
        const double bearing =
            (i % 4 < 2) ? (i % 2 == 0 ? 1.5707963 : -1.5707963) : uniform(-3.1415926, 3.1415926);
        const double metres = r + uniform(-2.0, 0.5);
        const auto [clat, clng] = test::destination(lat, lng, metres, bearing);
        cams.push_back({clat, clng, 1 + i % 5});
        queries.push_back({lat, lng, r});
    }
    const std::vector<E_DOG_DATA> recs = open_file(cams);
    EXPECT_GT(expect_agreement(recs, queries), 1000);
}

TEST_F(Nearest, TiesKeepTheEarlierRecordAndNonQualifyingCamerasDoNotHide) {
    const double lat = 10.0;
    const double lng = 20.0;
    const double north = test::lat_at_distance(lat, lng, 300.0);
    const double south = test::lat_at_distance(lat, lng, -300.0);
    const std::vector<E_DOG_DATA> recs =
        open_file({{test::lat_at_distance(lat, lng, 100.0), lng, 0},  // nearer, DirType 0
                   {north, lng, 2},
                   {south, lng, 5}});
    // The southern camera sorts first in the file, so it wins the tie.
    E_DOG_LCD lcd{};
    const E_DOG_DATA got = e_dog_search_nearest(lat, lng, 800.0, &lcd);
    EXPECT_EQ(lcd.result, 0);
    EXPECT_EQ(got.Idex, 2);
    EXPECT_EQ(lcd.distance_val, 300);
    EXPECT_EQ(e_dog_search_nearest(lat, lng, 300.0, &lcd).Speed, -1);  // strictly closer
    EXPECT_EQ(e_dog_search_nearest(lat, lng, 300.05, &lcd).Idex, 2);
}

TEST_F(Nearest, RefusesBadArgumentsAndAClosedModule) {
    E_DOG_LCD lcd{1, 2, 3, 4};
    EXPECT_EQ(e_dog_search_nearest(0.0, 0.0, 800.0, &lcd).Speed, -1);  // not open
    EXPECT_EQ(lcd.result, -1);
    open_file({{0.0, 0.0, 1}});
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    for (const double r : {0.0, -5.0, nan, inf}) {
        EXPECT_EQ(e_dog_search_nearest(0.0, 0.0, r, &lcd).Speed, -1) << r;
    }
    for (const auto& [la, lo] : std::vector<std::pair<double, double>>{
             {90.5, 0.0}, {0.0, -180.1}, {nan, 0.0}, {0.0, inf}}) {
        EXPECT_EQ(e_dog_search_nearest(la, lo, 800.0, &lcd).Speed, -1);
    }
    EXPECT_EQ(lcd.limit_speed, 2);
    EXPECT_EQ(lcd.distance_val, 4);
    EXPECT_EQ(e_dog_search_nearest(0.0, 0.0, 800.0, &lcd).Idex, 0);
    EXPECT_EQ(lcd.result, 0);
    EXPECT_EQ(lcd.cur_speed, 3);
    e_dog_exit();
    EXPECT_EQ(e_dog_search_nearest(0.0, 0.0, 800.0, &lcd).Speed, -1);
}

TEST_F(Nearest, WithinAgreesWithBruteForce) {
    std::vector<Camera> uniform_cams;
    for (int i = 0; i < 1500; ++i) {
        uniform_cams.push_back({uniform(-90, 90), uniform(-180, 180), dirtype()});
    }
    const std::vector<Camera> clustered_cams = clustered(3000);
    std::vector<E_DOG_HIT> out(64);
    const std::vector<Camera>* const files[] = {&clustered_cams, &uniform_cams};
    for (const std::vector<Camera>* cams : files) {
        std::vector<E_DOG_DATA> recs = open_file(*cams);
        for (const bool damaged : {false, true}) {
            if (damaged) {  // one code off its position: no keys
                std::swap(recs[10].Gps_lat, recs[20].Gps_lat);
                test::write_records("DATA_T.BIN", recs);
                e_dog_exit();
                ASSERT_EQ(e_dog_init(), 0);
            }
            int answered = 0;
            for (const Query& q : queries_near(*cams, 1500)) {
                const std::vector<e_dog::reference::Answer> want =
                    e_dog::reference::within(recs, q.lat, q.lng, q.radius);
                const int max_out = static_cast<int>(want.size() % 3 == 0 ? 64 : want.size() / 2);
                out.resize(std::max<std::size_t>(64, static_cast<std::size_t>(max_out)));
                const int got = e_dog_search_within(q.lat, q.lng, q.radius, out.data(), max_out);
                ASSERT_EQ(got, static_cast<int>(want.size()))
                    << q.lat << "," << q.lng << " r " << q.radius;
                answered += got > 0 ? 1 : 0;
                for (int k = 0; k < std::min(got, max_out); ++k) {
                    const auto& w = want[static_cast<std::size_t>(k)];
                    ASSERT_EQ(out[static_cast<std::size_t>(k)].record, w.index) << k;
                    ASSERT_EQ(out[static_cast<std::size_t>(k)].distance_m, w.distance_m);
                    ASSERT_EQ(out[static_cast<std::size_t>(k)].data.Idex,
                              recs[static_cast<std::size_t>(w.index)].Idex);
                }
            }
            EXPECT_GT(answered, 500);
            (void)e_dog_search_nearest(0.0, 0.0, 1.0, nullptr);  // the trace of the file's keys
            EXPECT_EQ(e_dog::last_nearest_trace().indexed, !damaged);
        }
    }
    // Refused arguments and a closed module.
    EXPECT_EQ(e_dog_search_within(0.0, 0.0, 3e7, nullptr, 0), 1500);  // counted, none written
    for (const auto& [lat, radius, max_out, buffer] :
         std::vector<std::tuple<double, double, int, E_DOG_HIT*>>{
             {91.0, 800.0, 1, out.data()},
             {0.0, 0.0, 1, out.data()},
             {0.0, std::nan(""), 1, out.data()},
             {0.0, 800.0, -1, out.data()},
             {0.0, 800.0, 1, nullptr}}) {
        EXPECT_EQ(e_dog_search_within(lat, 0.0, radius, buffer, max_out), -1);
    }
    e_dog_exit();
    EXPECT_EQ(e_dog_search_within(0.0, 0.0, 800.0, out.data(), 1), -1);
}

}  // namespace
