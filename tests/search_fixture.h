// What the tests of the lookup run's searches share: a position, records
// laid out around it, the two searches run with their output captured, and
// the checks of a hit and a miss.
#ifndef TESTS_SEARCH_FIXTURE_H
#define TESTS_SEARCH_FIXTURE_H

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "edog/e_dog_internal.h"
#include "edog/e_dog_source_date.h"
#include "edog/lookup/lookup.h"
#include "geo/distance.h"
#include "geo/geohash.h"
#include "tests/test_support.h"

namespace search_test {

// The queried position of these tests and a far-away camera position.
constexpr double kLat = 10.0;
constexpr double kLng = 20.0;
constexpr double kFarLng = 20.5;  // about 55 km east

inline double north(double metres) {
    return test::lat_at_distance(kLat, kLng, metres);
}
inline double south(double metres) {
    return test::lat_at_distance(kLat, kLng, -metres);
}

// What a caller leaves in its result record before a search.
inline E_DOG_LCD sentinel_lcd() {
    return E_DOG_LCD{77, 88, 55, 99};
}

struct Outcome {
    E_DOG_DATA rec;
    E_DOG_LCD lcd;
    std::string out;
};

class SearchTest : public ::testing::Test {
protected:
    void SetUp() override { e_dog_exit(); }
    void TearDown() override { e_dog_exit(); }

    static void open(const std::vector<E_DOG_DATA>& recs) {
        test::write_records("DATA_T.BIN", recs);
        e_dog_exit();
        ASSERT_EQ(e_dog_init(), 0);
    }

    static Outcome bucket(int index, int cunt) {
        ElemType ral{};
        ral.index = index;
        ral.cunt = cunt;
        Outcome o{{}, sentinel_lcd(), {}};
        testing::internal::CaptureStdout();
        o.rec =
            e_dog_search_by_info_file(kLat, kLng, ral, static_cast<int>(e_dog_list_size), &o.lcd);
        o.out = testing::internal::GetCapturedStdout();
        return o;
    }

    static Outcome bisect(double lat = kLat, double lng = kLng) {
        Outcome o{{}, sentinel_lcd(), {}};
        testing::internal::CaptureStdout();
        o.rec = e_dog_binary_search_by_file(lng, lat, static_cast<int>(e_dog_list_size), &o.lcd);
        o.out = testing::internal::GetCapturedStdout();
        return o;
    }

    test::ScratchDir dir_;
};

inline void expect_hit(const Outcome& o, int idex, int distance, int speed) {
    EXPECT_EQ(o.lcd.result, 0);
    EXPECT_EQ(o.rec.Idex, idex);
    EXPECT_EQ(o.lcd.distance_val, distance);
    EXPECT_EQ(o.lcd.limit_speed, speed);
    EXPECT_EQ(o.rec.Speed, speed);
    EXPECT_EQ(o.lcd.cur_speed, 55);
}

inline void expect_miss(const Outcome& o) {
    EXPECT_EQ(o.lcd.result, -1);
    EXPECT_EQ(o.rec.Speed, -1);
    EXPECT_EQ(o.lcd.limit_speed, 88);
    EXPECT_EQ(o.lcd.distance_val, 99);
    EXPECT_EQ(o.lcd.cur_speed, 55);
}

// One case of a table: the file's records and the answer (Idex 0: none).
struct AnswerCase {
    const char* what;
    std::vector<E_DOG_DATA> recs;
    int idex;
    int distance;
    int speed;
};

inline void expect_answer(const Outcome& o, const AnswerCase& c) {
    if (c.idex == 0) {
        expect_miss(o);
    } else {
        expect_hit(o, c.idex, c.distance, c.speed);
    }
}

}  // namespace search_test

#endif  // TESTS_SEARCH_FIXTURE_H
