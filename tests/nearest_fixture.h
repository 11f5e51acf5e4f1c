// What the nearest-search tests share: cameras written as a build would
// write them and opened, queries checked against the reference scan, and a
// fixture with the clustered files and the awkward positions they search.
#ifndef TESTS_NEAREST_FIXTURE_H
#define TESTS_NEAREST_FIXTURE_H

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

namespace nearest_test {

struct Camera {
    double lat;
    double lng;
    int dirtype;
};

// Writes the cameras as a build would (codes from the positions, stable sort
// by code; Idex is the camera's position in `cams`) and opens the file.
inline std::vector<E_DOG_DATA> open_file(const std::vector<Camera>& cams) {
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
inline int expect_agreement(const std::vector<E_DOG_DATA>& recs,
                            const std::vector<Query>& queries) {
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

}  // namespace nearest_test

#endif  // TESTS_NEAREST_FIXTURE_H
