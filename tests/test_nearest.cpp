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

#include "edog/datafile/e_dog_record.h"
#include "edog/e_dog_internal.h"
#include "edog/e_dog_source_date.h"
#include "edog/lookup/lookup.h"
#include "edog/reference/reference_scan.h"
#include "edog/search/search_trace.h"
#include "geo/distance.h"
#include "geo/geohash.h"
#include "tests/test_support.h"

namespace {

struct Camera {
    double lat;
    double lng;
    int dirtype;
};

// Writes the cameras as a build would (codes from the positions, stable sort
// by code; Idex is the camera's position in `cams`) and opens the file.
std::vector<E_DOG_DATA> open_file(const std::vector<Camera>& cams) {
    std::vector<E_DOG_DATA> recs;
    for (std::size_t i = 0; i < cams.size(); ++i) {
        recs.push_back(test::camera(geohash_encode(cams[i].lat, cams[i].lng, 10), cams[i].lat,
                                    cams[i].lng, cams[i].dirtype, 10 + static_cast<int>(i % 90),
                                    static_cast<int>(i)));
    }
    std::stable_sort(recs.begin(), recs.end(), [](const E_DOG_DATA& a, const E_DOG_DATA& b) {
        return std::string(a.encode_str) < std::string(b.encode_str);
    });
    test::write_records("DATA_T.BIN", recs);
    e_dog_exit();
    EXPECT_EQ(e_dog_init(), 0);
    return recs;
}

struct Query {
    double lat;
    double lng;
    double radius;
};

// Checks every query against brute force; returns how many found a camera.
int expect_agreement(const std::vector<E_DOG_DATA>& recs, const std::vector<Query>& queries) {
    int hits = 0;
    for (const Query& q : queries) {
        const auto [want, want_d] = e_dog::reference::nearest(recs, q.lat, q.lng, q.radius);
        E_DOG_LCD lcd{5, 6, 7, 8};
        const E_DOG_DATA got = e_dog_search_nearest(q.lat, q.lng, q.radius, &lcd);
        EXPECT_EQ(lcd.cur_speed, 7);
        if (want < 0) {
            EXPECT_EQ(lcd.result, -1) << q.lat << "," << q.lng << " r " << q.radius;
            EXPECT_EQ(got.Speed, -1);
            EXPECT_EQ(lcd.limit_speed, 6);
            EXPECT_EQ(lcd.distance_val, 8);
        } else {
            ++hits;
            const E_DOG_DATA& w = recs[static_cast<std::size_t>(want)];
            EXPECT_EQ(lcd.result, 0) << q.lat << "," << q.lng << " r " << q.radius;
            EXPECT_EQ(got.Idex, w.Idex) << q.lat << "," << q.lng << " r " << q.radius;
            EXPECT_EQ(lcd.limit_speed, w.Speed);
            EXPECT_EQ(lcd.distance_val, static_cast<int>(want_d));
        }
        if (::testing::Test::HasFailure()) {
            break;  // one reported disagreement is enough
        }
    }
    return hits;
}

class Nearest : public ::testing::Test {
protected:
    void SetUp() override { e_dog_exit(); }
    void TearDown() override { e_dog_exit(); }

    test::ScratchDir dir_;
    std::mt19937_64 rng_{20261209};

    double uniform(double lo, double hi) {
        return std::uniform_real_distribution<double>(lo, hi)(rng_);
    }
    int dirtype() { return std::uniform_int_distribution<int>(0, 6)(rng_); }
    double radius() {
        const double radii[] = {800.0, 800.0,  800.0,   800.0, 15.0,
                                250.0, 3000.0, 60000.0, 2.5e6, 3e7};
        return radii[std::uniform_int_distribution<std::size_t>(0, 9)(rng_)];
    }

    // Cameras in dense towns, near both poles, along the antimeridian, on
    // cell borders, and some exactly on top of each other.
    std::vector<Camera> clustered(int count) {
        std::vector<Camera> cams;
        std::vector<std::pair<double, double>> towns = {
            {89.995, 10.0}, {-89.995, -40.0}, {0.0, 179.995}, {-30.0, -179.995}, {0.0, 0.0}};
        for (int i = 0; i < 25; ++i) {
            towns.emplace_back(uniform(-80, 80), uniform(-179, 179));
        }
        std::normal_distribution<double> spread(0.0, 0.01);
        for (int i = 0; i < count; ++i) {
            const auto& t = towns[static_cast<std::size_t>(i) % towns.size()];
            double lat = std::clamp(t.first + spread(rng_), -90.0, 90.0);
            double lng = t.second + spread(rng_);
            lng = lng > 180.0 ? lng - 360.0 : (lng < -180.0 ? lng + 360.0 : lng);
            if (i % 50 == 0 && !cams.empty()) {
                lat = cams.back().lat;  // the same place twice
                lng = cams.back().lng;
            } else if (i % 37 == 0) {
                const int p = 1 + i % 10;  // on a cell border of that precision
                const GeoCoord c = geohash_decode(std::string(geohash_encode(lat, lng, p)).c_str());
                lat = (i % 2 == 0) ? c.north : c.south;
                lng = (i % 3 == 0) ? c.east : c.west;
            }
            cams.push_back({lat, lng, dirtype()});
        }
        cams.push_back({90.0, 180.0, 1});
        cams.push_back({-90.0, -180.0, 2});
        cams.push_back({0.0, 180.0, 3});
        cams.push_back({0.0, -180.0, 4});
        return cams;
    }

    std::vector<Query> queries_near(const std::vector<Camera>& cams, int count) {
        std::vector<Query> out;
        std::uniform_int_distribution<std::size_t> pick(0, cams.size() - 1);
        for (int i = 0; i < count; ++i) {
            const Camera& c = cams[pick(rng_)];
            const double r = radius();
            Query q{c.lat, c.lng, r};
            switch (i % 6) {
            case 0:  // exactly at a camera
                break;
            case 1:
            case 2: {  // within about the radius of a camera
                const double deg = std::min(r * 1.5 / 111319.5, 30.0);
                q.lat = std::clamp(c.lat + uniform(-deg, deg), -90.0, 90.0);
                q.lng = std::clamp(c.lng + uniform(-deg, deg), -180.0, 180.0);
                break;
            }
            case 3: {  // on or just beside a cell border of some precision
                const int p = 1 + i % 10;
                const GeoCoord cell =
                    geohash_decode(std::string(geohash_encode(c.lat, c.lng, p)).c_str());
                const double nudges[] = {0.0, 1e-12, -1e-12, 3e-7, -3e-7};
                const double n = nudges[static_cast<std::size_t>(i / 6) % 5];
                q.lat = std::clamp(((i / 6) % 2 == 0 ? cell.north : cell.south) + n, -90.0, 90.0);
                q.lng = std::clamp(((i / 12) % 2 == 0 ? cell.east : cell.west) + n, -180.0, 180.0);
                break;
            }
            case 4:  // near a pole
                q.lat = (i % 4 == 0 ? 1 : -1) * (90.0 - std::pow(10.0, uniform(-9, -1)));
                q.lng = uniform(-180, 180);
                break;
            default:  // near the antimeridian, or on it
                q.lat = uniform(-60, 60);
                q.lng =
                    (i % 4 == 1 ? 180.0 : -180.0) -
                    (i % 3 == 0 ? 0.0 : std::copysign(uniform(0, 0.02), (i % 4 == 1 ? 1.0 : -1.0)));
                break;
            }
            out.push_back(q);
        }
        return out;
    }
};

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

TEST_F(Nearest, RunsOfOneCodeAcrossKeyBlocksInFilesOfEverySize) {
    // The keys are searched sixteen at a time: files of every size up to a
    // few blocks, with runs of one place (one code) of every length, some
    // longer than a block and one longer than the candidates held at once.
    // The search's memory is checked for every size too.
    for (int size = 1; size <= 70; ++size) {
        std::vector<Camera> cams;
        while (static_cast<int>(cams.size()) < size) {
            const int run = size == 70 ? 70 : std::uniform_int_distribution<int>(1, 20)(rng_);
            const Camera c{45.0 + uniform(-0.01, 0.01), 7.0 + uniform(-0.01, 0.01), 0};
            for (int i = 0; i < run && static_cast<int>(cams.size()) < size; ++i) {
                cams.push_back({c.lat, c.lng, dirtype()});
            }
        }
        const std::vector<E_DOG_DATA> recs = open_file(cams);
        std::vector<Query> queries;
        for (const Camera& c : cams) {
            queries.push_back({c.lat, c.lng, 800.0});
            queries.push_back({c.lat + uniform(-0.005, 0.005), c.lng + uniform(-0.005, 0.005),
                               uniform(1.0, 900.0)});
        }
        expect_agreement(recs, queries);
        // The search's own memory stays within 8 bytes per camera.
        EXPECT_GT(e_dog::nearest_index_bytes(), 0U);
        EXPECT_LE(e_dog::nearest_index_bytes(), 8U * static_cast<std::size_t>(size));
        if (HasFailure()) {
            ADD_FAILURE() << "file of " << size << " records";
            break;
        }
    }
}

TEST_F(Nearest, DamagedFilesAreScannedWhole) {
    // Out of order, a code that does not match its position, a foreign code,
    // non-finite coordinates: still the brute-force answer.
    std::vector<E_DOG_DATA> recs = {
        test::camera("zzzzzzzzzz", 10.0, 20.0, 1, 50, 0),  // code far from its position
        test::camera("s000000000", 10.001, 20.0, 1, 60, 1),
        test::camera("0000000000", 10.002, 20.0, 2, 70, 2),  // out of order
        test::camera("s3AAAAAAAA", std::nan(""), 20.0, 1, 80, 3),
    };
    test::write_records("DATA_T.BIN", recs);
    ASSERT_EQ(e_dog_init(), 0);
    std::vector<Query> queries;
    for (int i = 0; i < 200; ++i) {
        queries.push_back({10.0 + uniform(-0.01, 0.01), 20.0 + uniform(-0.01, 0.01), radius()});
    }
    EXPECT_GT(expect_agreement(recs, queries), 0);
}

// A sorted file with valid codes is searched through its keys, reading few
// records; the same records with one moved out of order (every code still
// valid and matching its position) are scanned whole and still answered as
// every record says.
TEST_F(Nearest, KeysServeSortedFilesAndOnlyThem) {
    std::vector<Camera> cams = clustered(2000);
    for (Camera& c : cams) {
        c.dirtype = 1;
    }
    std::vector<E_DOG_DATA> recs = open_file(cams);
    const std::vector<Query> queries = queries_near(cams, 600);
    std::uint32_t most = 0;
    for (const Query& q : queries) {
        E_DOG_LCD lcd{};
        (void)e_dog_search_nearest(q.lat, q.lng, 800.0, &lcd);
        ASSERT_TRUE(e_dog::last_nearest_trace().indexed);
        most = std::max(most, e_dog::last_nearest_trace().measured);
    }
    EXPECT_LT(most, 100U);  // of 2,004 records

    // The smallest code moved to the end: the file looks sorted but for one.
    std::rotate(recs.begin(), recs.begin() + 1, recs.end());
    test::write_records("DATA_T.BIN", recs);
    e_dog_exit();
    ASSERT_EQ(e_dog_init(), 0);
    std::vector<Query> at_moved;
    const E_DOG_DATA& moved = recs.back();
    for (const double r : {5.0, 800.0, 30000.0}) {
        at_moved.push_back({moved.Gps_lat, moved.Gps_lng, r});
    }
    EXPECT_EQ(expect_agreement(recs, at_moved), 3);
    EXPECT_FALSE(e_dog::last_nearest_trace().indexed);
    EXPECT_EQ(e_dog::last_nearest_trace().measured, recs.size());
    expect_agreement(recs, queries);
}

// Another program cuts the open file short (as copying a file over it does):
// no signal, and the answers come from the records that are still whole,
// whether the keys were built before or not yet; for a large file cut by
// pages, and for a small one cut inside its only page, through a record.
TEST_F(Nearest, SurvivesTheFileShrinkingUnderIt) {
    std::vector<Camera> small;
    for (int i = 0; i < 60; ++i) {
        small.push_back({uniform(-0.01, 0.01), uniform(-0.01, 0.01), 1});
    }
    const std::vector<Camera> large = clustered(3000);
    const std::vector<Camera>* const files[] = {&large, &small};
    for (const std::vector<Camera>* cams : files) {
        for (const bool searched_before : {true, false}) {
            SCOPED_TRACE(::testing::Message() << cams->size() << " cameras, "
                                              << (searched_before ? "keys built" : "no keys"));
            const std::vector<E_DOG_DATA> recs = open_file(*cams);
            std::vector<Query> queries = queries_near(*cams, 300);
            const std::size_t kept = recs.size() / 3;
            const E_DOG_DATA& cut = recs[kept];  // loses its position
            queries.push_back({cut.Gps_lat, cut.Gps_lng, 800.0});
            if (searched_before) {
                expect_agreement(recs, queries);
            }
            ASSERT_EQ(::truncate("DATA_T.BIN", static_cast<off_t>(kept * 56 + 20)), 0);
            const std::vector<E_DOG_DATA> whole(recs.begin(),
                                                recs.begin() + static_cast<long>(kept));
            EXPECT_GT(expect_agreement(whole, queries), 50);
            ASSERT_EQ(::truncate("DATA_T.BIN", 0), 0);
            expect_agreement({}, queries);
        }
    }
}

// Every camera within a radius, against a scan of every record: clustered
// and uniform files (keys) and a damaged one (scan), radii from metres to the
// whole earth, output buffers smaller and larger than the answer.
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

TEST_F(Nearest, ReadsTheFileItOpenedAndReopensAfresh) {
    const std::vector<E_DOG_DATA> first = open_file({{1.0, 1.0, 1}});
    E_DOG_LCD lcd{};
    test::write_records("DATA_T.BIN.new",
                        {test::camera(geohash_encode(5.0, 5.0, 10), 5.0, 5.0, 1, 99, 7)});
    ASSERT_EQ(std::rename("DATA_T.BIN.new", "DATA_T.BIN"), 0);
    EXPECT_EQ(e_dog_search_nearest(1.0, 1.0, 800.0, &lcd).Idex, 0);
    EXPECT_EQ(e_dog_search_nearest(5.0, 5.0, 800.0, &lcd).Speed, -1);
    e_dog_exit();
    ASSERT_EQ(e_dog_init(), 0);
    EXPECT_EQ(e_dog_search_nearest(5.0, 5.0, 800.0, &lcd).Idex, 7);
    EXPECT_EQ(e_dog_search_nearest(1.0, 1.0, 800.0, &lcd).Speed, -1);
}

}  // namespace
