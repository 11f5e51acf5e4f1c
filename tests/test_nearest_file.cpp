// The nearest search on the file it is given: runs of one code across key
// blocks, damaged and unsorted files (scanned whole), a file shrinking under
// the map, and a file renamed over the one opened.

#include <fcntl.h>
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

#include "edog/datafile/data_map.h"
#include "edog/e_dog_internal.h"
#include "edog/e_dog_source_date.h"
#include "edog/lookup/lookup.h"
#include "edog/reference/reference_scan.h"
#include "edog/search/search_trace.h"
#include "tests/nearest_fixture.h"
#include "tests/test_support.h"

namespace {

using namespace nearest_test;

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
        // The search's own memory: 12 bytes per camera and the smallest
        // occupancy bitmap.
        EXPECT_GT(e_dog::nearest_index_bytes(), 0U);
        EXPECT_LE(e_dog::nearest_index_bytes(), 12U * static_cast<std::size_t>(size) + 133U);
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

// A file large enough for its keys to be built in two halves at once: its
// keys serve it; with the two records where the halves meet swapped (each
// half still in order), it is scanned whole. Both answer as every record says.
TEST_F(Nearest, KeysBuiltInHalvesMustMeetInOrder) {
    std::vector<Camera> cams = clustered(300000);
    std::vector<E_DOG_DATA> recs = open_file(cams);
    const std::vector<Query> queries = queries_near(cams, 20);
    EXPECT_GT(expect_agreement(recs, queries), 0);
    EXPECT_TRUE(e_dog::last_nearest_trace().indexed);

    const std::size_t mid = recs.size() / 2;
    ASSERT_LT(std::string(recs[mid - 1].encode_str), std::string(recs[mid].encode_str));
    std::swap(recs[mid - 1], recs[mid]);
    test::write_records("DATA_T.BIN", recs);
    e_dog_exit();
    ASSERT_EQ(e_dog_init(), 0);
    expect_agreement(recs, {{recs[mid].Gps_lat, recs[mid].Gps_lng, 800.0}});
    EXPECT_FALSE(e_dog::last_nearest_trace().indexed);
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

// The key build reads records in runs with pread. Records the file no
// longer has (cut short after the view was made) must read as zeros counted
// as faults, as a read of the map does, so that the search that read them
// runs again on the file as it is; else the view would keep no keys.
TEST(FileReads, RecordsTheFileLostReadAsCountedZeros) {
    const test::ScratchDir dir;
    std::vector<E_DOG_DATA> recs;
    for (int i = 0; i < 2000; ++i) {
        recs.push_back(test::camera("s000000000", 1.0, 2.0, 1, 50, i));
    }
    test::write_records("DATA_T.BIN", recs);
    const std::string bytes = test::read_file("DATA_T.BIN");
    const int fd = ::open("DATA_T.BIN", O_RDONLY);
    ASSERT_GE(fd, 0);
    e_dog::FileMap file;
    file.attach(fd, 2000);
    ASSERT_NE(file.bytes(), nullptr);
    e_dog::DataMap map;
    map.attach(file, 2000);
    std::string out(bytes.size(), 'x');
    const auto read_all = [&] {
        map.read_records(0, 2000, reinterpret_cast<unsigned char*>(out.data()));
    };
    read_all();
    EXPECT_EQ(out, bytes);
    EXPECT_EQ(file.faults(), 0U);

    const std::size_t kept = 150 * 56 + 20;  // 25 whole pages lost
    ASSERT_EQ(::truncate("DATA_T.BIN", static_cast<off_t>(kept)), 0);
    read_all();
    EXPECT_EQ(out.substr(0, kept), bytes.substr(0, kept));
    EXPECT_EQ(out.substr(kept), std::string(bytes.size() - kept, '\0'));
    EXPECT_GT(file.faults(), 0U);
    file.reset();
    ::close(fd);
}

// Every camera within a radius, against a scan of every record: clustered
// and uniform files (keys) and a damaged one (scan), radii from metres to the
// whole earth, output buffers smaller and larger than the answer.
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
