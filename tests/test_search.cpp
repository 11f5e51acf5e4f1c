// The lookup run's two searches: the search within a bucket and the
// bisection of the whole file, by tables of laid-out records.

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "edog/e_dog_internal.h"
#include "edog/e_dog_source_date.h"
#include "edog/lookup/lookup.h"
#include "geo/geohash.h"
#include "tests/search_fixture.h"
#include "tests/test_support.h"

namespace {

using namespace search_test;

// --- the search within a bucket -------------------------------------------

TEST_F(SearchTest, BucketTakesTheFirstNearestQualifyingCameraStrictlyWithin800) {
    ASSERT_EQ(get_distance(kLat, kLng, north(800.0), kLng), 800.0);
    const AnswerCase cases[] = {
        {"800 m is outside", {test::camera("a", north(800.0), kLng, 1, 50, 1)}, 0, 0, 0},
        {"799.9 m is inside, truncated",
         {test::camera("a", north(799.9), kLng, 1, 50, 2)},
         2,
         799,
         50},
        {"a nearer camera of another DirType hides farther ones",
         {test::camera("a", north(300.0), kLng, 1, 30, 1),
          test::camera("b", south(200.0), kLng, 0, 20, 2),
          test::camera("c", north(250.0), kLng, 2, 25, 3)},
         1,
         300,
         30},
        {"a tie keeps the earlier record",
         {test::camera("a", north(390.8), kLng, 5, 70, 1),
          test::camera("b", south(390.8), kLng, 3, 90, 2),
          test::camera("c", north(500.0), kLng, 6, 10, 3)},
         1,
         390,
         70},
    };
    for (const AnswerCase& c : cases) {
        SCOPED_TRACE(c.what);
        open(c.recs);
        expect_answer(bucket(0, static_cast<int>(c.recs.size())), c);
    }
}

TEST_F(SearchTest, BucketReadsOnlyItsOwnRecords) {
    open({test::camera("a", north(10.0), kLng, 1, 10, 1),
          test::camera("b", north(400.0), kLng, 1, 40, 2),
          test::camera("c", north(20.0), kLng, 1, 20, 3)});
    expect_hit(bucket(1, 1), 2, 400, 40);
    // Entries reaching past the end of the file read what there is.
    expect_hit(bucket(1, 1000000), 3, 20, 20);
    Outcome o = bucket(5, 2);
    expect_miss(o);
    EXPECT_EQ(o.out, "========cunt: 2 \n");
}

TEST_F(SearchTest, BucketWithNoOrNegativeEntry) {
    open({test::camera("a", north(10.0), kLng, 1, 10, 1)});
    Outcome o = bucket(0, 0);
    expect_miss(o);
    EXPECT_EQ(o.out, "========cunt: 0 \n");
    for (const auto& [index, cunt] : std::vector<std::pair<int, int>>{{-1, -1}, {0, -1}, {-1, 1}}) {
        o = bucket(index, cunt);
        expect_miss(o);
        EXPECT_EQ(o.out, "");
    }
}

TEST_F(SearchTest, BucketWithTheFileClosed) {
    Outcome o = bucket(0, 1);
    expect_miss(o);
    EXPECT_EQ(o.out, "### Erro e_dog_search_by_info_file File is not open!\n");
    o = bucket(-1, -1);
    EXPECT_EQ(o.out, "");
}

TEST_F(SearchTest, PrintRecord) {
    E_DOG_DATA rec = test::camera("wx4g0dtf9e", 39.916527, 116.397128, 2, 60, 12);
    rec.Direction = 3;
    rec.Type = 1;
    testing::internal::CaptureStdout();
    printf_E_DOG_DATA(rec);
    std::memset(rec.encode_str, 'z', sizeof rec.encode_str);  // no terminator
    printf_E_DOG_DATA(rec);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              ":12 :3 Type:1 :2 :60 :39.916527 :116.397128 :wx4g0dtf9e \n"
              ":12 :3 Type:1 :2 :60 :39.916527 :116.397128 :zzzzzzzzzzzz \n");
}

// --- the search by bisection ----------------------------------------------

// Records on the meridian of the query sort by latitude, since their
// longitude bits agree; the codes are the real ones.
E_DOG_DATA on_meridian(double lat, int dirtype, int speed, int idex) {
    return test::camera(geohash_encode(lat, kLng, 10), lat, kLng, dirtype, speed, idex);
}

TEST_F(SearchTest, BisectHitsOnTheWayDown) {
    std::vector<E_DOG_DATA> scan_back = {on_meridian(south(5000.0), 1, 10, 1)};
    for (int i = 0; i < 20; ++i) {
        scan_back.push_back(on_meridian(south(4000.0 - i * 10.0), 1, 10, 100 + i));
    }
    scan_back.push_back(on_meridian(north(100.0), 2, 40, 2));  // nearer, qualifies
    scan_back.push_back(on_meridian(north(500.0), 6, 50, 3));  // last, DirType 6
    std::vector<E_DOG_DATA> middle;
    for (int i = 0; i < 40; ++i) {
        middle.push_back(on_meridian(south(9000.0 - i * 100.0), 1, 10, i));
    }
    middle.push_back(on_meridian(north(300.0), 4, 45, 99));
    for (int i = 0; i < 40; ++i) {
        middle.push_back(on_meridian(north(5000.0 + i * 100.0), 1, 10, 200 + i));
    }
    const AnswerCase cases[] = {
        {"the first record within 800 m ends the search, though a nearer one follows",
         {on_meridian(south(800.0), 3, 30, 1), on_meridian(south(10.0), 1, 10, 2),
          on_meridian(north(5000.0), 1, 10, 3)},
         1,
         800,
         30},
        {"the first record within 800 m but of DirType 0: nothing is taken",
         {on_meridian(south(700.0), 0, 30, 1), on_meridian(south(10.0), 1, 10, 2),
          on_meridian(north(5000.0), 1, 10, 3)},
         0,
         0,
         0},
        {"the last record within 800 m: the records before it are scanned", scan_back, 2, 100, 40},
        {"a camera in the middle", middle, 99, 300, 45},
    };
    for (const AnswerCase& c : cases) {
        SCOPED_TRACE(c.what);
        open(c.recs);
        expect_answer(bisect(), c);
    }
}

// Records whose codes sort around the query's code as laid out, with
// positions chosen freely: record i gets a code below the query's when
// i < split, above it when i > split.
std::vector<E_DOG_DATA> laid_out(int count, int split) {
    const std::string q = geohash_encode(kLat, kLng, 10);
    std::vector<E_DOG_DATA> recs;
    for (int i = 0; i < count; ++i) {
        char code[16];
        std::snprintf(code, sizeof code, "%s%03d", i < split ? "0" : (i > split ? "z" : ""), i);
        const std::string c = (i == split) ? q : code;
        recs.push_back(test::camera(c, kLat, kFarLng, 1, 10, i));
    }
    return recs;
}

TEST_F(SearchTest, BisectScanCoversTheFifteenRecordsEndingWithTheHit) {
    // Probes 50, 25, 37, 43, then 40 hits; the scan covers records 26 to 40.
    std::vector<E_DOG_DATA> recs = laid_out(100, 40);
    recs[40] = test::camera(recs[40].encode_str, north(700.0), kLng, 1, 70, 40);
    recs[26] = test::camera(recs[26].encode_str, north(100.0), kLng, 2, 26, 26);
    recs[24] = test::camera(recs[24].encode_str, north(50.0), kLng, 2, 24, 24);
    recs[41] = test::camera(recs[41].encode_str, north(10.0), kLng, 2, 41, 41);
    open(recs);
    expect_hit(bisect(), 26, 100, 26);

    // A hit at record 5 scans records 0 to 5.
    recs = laid_out(100, 5);
    recs[5] = test::camera(recs[5].encode_str, north(700.0), kLng, 1, 70, 5);
    recs[1] = test::camera(recs[1].encode_str, north(100.0), kLng, 2, 11, 1);
    open(recs);
    expect_hit(bisect(), 1, 100, 11);
}

TEST_F(SearchTest, BisectProbeWithTheSameCodeButFarEndsTheSearch) {
    std::vector<E_DOG_DATA> recs = laid_out(100, 50);  // record 50 is far away
    recs[25] = test::camera(recs[25].encode_str, north(100.0), kLng, 1, 25, 25);
    recs[75] = test::camera(recs[75].encode_str, north(100.0), kLng, 1, 75, 75);
    open(recs);
    expect_miss(bisect());
}

TEST_F(SearchTest, BisectMissBetweenTwoRecordsEndsOnTheLowerOne) {
    // No record has the query's code; the bisection narrows to records 499
    // and 500 and keeps probing 499. It ends there, not 500,000 probes later.
    std::vector<E_DOG_DATA> recs = laid_out(1000, 500);
    recs[500] = test::camera("z500", kLat, kFarLng, 1, 10, 500);
    open(recs);
    const Outcome o = bisect();
    expect_miss(o);
    EXPECT_EQ(o.out, "");
    EXPECT_EQ(std::ftell(fp_e_dog), 499 * 56);
}

TEST_F(SearchTest, BisectSmallFilesAndOutOfRangeCodes) {
    open({on_meridian(south(5000.0), 1, 10, 1), on_meridian(north(5000.0), 1, 10, 2)});
    Outcome o = bisect();
    expect_miss(o);
    EXPECT_EQ(o.out, "");

    const std::string q = geohash_encode(kLat, kLng, 10);
    open({on_meridian(north(5000.0), 1, 10, 1), on_meridian(north(6000.0), 1, 10, 2)});
    o = bisect();
    expect_miss(o);
    EXPECT_EQ(o.out, "In this value is smaller than in file index!\nErro hash:" + q +
                         " encode_str:" + geohash_encode(north(5000.0), kLng, 10) + " \n");

    open({on_meridian(south(6000.0), 1, 10, 1), on_meridian(south(5000.0), 1, 10, 2)});
    o = bisect();
    expect_miss(o);
    EXPECT_EQ(o.out, "In this value lager than file  is not in file index!\nErro hash:" + q +
                         " encode_str:" + geohash_encode(south(5000.0), kLng, 10) + " \n");

    // A query code equal to the code of an end record passes both checks.
    open({test::camera(q, kLat, kFarLng, 1, 10, 1), test::camera(q, kLat, kFarLng, 1, 10, 2)});
    expect_miss(bisect());
    EXPECT_EQ(bisect().out, "");
}

TEST_F(SearchTest, BisectFailures) {
    Outcome o = bisect();
    expect_miss(o);
    EXPECT_EQ(o.out, "### Erro e_dog_binary_search_by_file File is not open!\n");

    open({on_meridian(south(5000.0), 1, 10, 1)});
    o = bisect(91.0, kLng);
    expect_miss(o);
    EXPECT_EQ(o.out, "########## Erro geohash_encode fail!\n");

    // A count larger than the file, or none: nothing unread is compared.
    E_DOG_LCD lcd = sentinel_lcd();
    testing::internal::CaptureStdout();
    EXPECT_EQ(e_dog_binary_search_by_file(kLng, kLat, 5, &lcd).Speed, -1);
    EXPECT_EQ(e_dog_binary_search_by_file(kLng, kLat, 0, &lcd).Speed, -1);
    EXPECT_EQ(e_dog_binary_search_by_file(kLng, kLat, -3, &lcd).Speed, -1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(lcd.result, -1);
}

}  // namespace
