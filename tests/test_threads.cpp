// The searches from several threads at once, from the very first search on:
// every answer as the reference scan gives it, and one view of the file made.
// CI runs this under ThreadSanitizer too (the tsan preset).
#include <algorithm>
#include <atomic>
#include <latch>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "edog/e_dog_db.h"
#include "edog/e_dog_source_date.h"
#include "edog/lookup/lookup.h"
#include "edog/reference/reference_scan.h"
#include "edog/search/search_trace.h"
#include "geo/geohash.h"
#include "tests/test_support.h"

namespace {

constexpr int kThreads = 4;
constexpr int kQueries = 200;

struct Query {
    double lat, lng, radius;
    e_dog::reference::Answer nearest;
    std::size_t within;
};

// 20,000 cameras written as DATA_T.BIN and the reference's answers at
// random positions among them.
std::vector<Query> write_file_and_queries() {
    std::mt19937_64 rng(3);
    std::uniform_real_distribution<double> lat(22.0, 23.0);
    std::uniform_real_distribution<double> lng(113.0, 114.0);
    std::vector<E_DOG_DATA> records;
    for (int i = 0; i < 20000; ++i) {
        const double la = lat(rng);
        const double lo = lng(rng);
        records.push_back(test::camera(geohash_encode(la, lo, 10), la, lo, i % 7, 60, i));
    }
    std::stable_sort(records.begin(), records.end(), [](const E_DOG_DATA& a, const E_DOG_DATA& b) {
        return std::string(a.encode_str) < std::string(b.encode_str);
    });
    test::write_records("DATA_T.BIN", records);
    std::vector<Query> queries;
    for (int i = 0; i < kThreads * kQueries; ++i) {
        Query q{lat(rng), lng(rng), i % 2 == 0 ? 800.0 : 2500.0, {}, 0};
        q.nearest = e_dog::reference::nearest(records, q.lat, q.lng, q.radius);
        q.within = e_dog::reference::within(records, q.lat, q.lng, q.radius).size();
        queries.push_back(q);
    }
    return queries;
}

TEST(Threads, FirstSearchesFromManyThreadsAnswerAsTheReference) {
    const test::ScratchDir dir;
    const std::vector<Query> queries = write_file_and_queries();
    ASSERT_EQ(e_dog_init(), 0);
    std::atomic<int> wrong{0};
    std::latch start(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            start.arrive_and_wait();  // every thread's first search at once
            std::vector<E_DOG_HIT> hits(64);
            for (int k = t; k < kThreads * kQueries; k += kThreads) {
                const Query& q = queries[static_cast<std::size_t>(k)];
                E_DOG_LCD lcd{};
                (void)e_dog_search_nearest(q.lat, q.lng, q.radius, &lcd);
                const bool found = lcd.result == 0;
                if (found != (q.nearest.index >= 0) ||
                    (found && e_dog::last_nearest_trace().record != q.nearest.index)) {
                    ++wrong;
                }
                const int n = e_dog_search_within(q.lat, q.lng, q.radius, hits.data(), 64);
                if (n != static_cast<int>(q.within)) {
                    ++wrong;
                }
            }
        });
    }
    for (std::thread& th : threads) {
        th.join();
    }
    EXPECT_EQ(wrong.load(), 0);
    EXPECT_EQ(e_dog::nearest_views_made(), 1U);
    EXPECT_GT(e_dog::nearest_index_bytes(), 0U);
    e_dog_exit();
}

// Two handles, one on the module's file and one on a copy, first searched
// by every thread at once, each thread asking both in turn.
TEST(Threads, TwoHandlesFromManyThreadsAnswerAsTheReference) {
    const test::ScratchDir dir;
    const std::vector<Query> queries = write_file_and_queries();
    test::write_file("copy.bin", test::read_file("DATA_T.BIN"));
    E_DOG_DB* dbs[] = {e_dog_db_open("DATA_T.BIN", nullptr), e_dog_db_open("copy.bin", nullptr)};
    ASSERT_NE(dbs[0], nullptr);
    ASSERT_NE(dbs[1], nullptr);
    std::atomic<int> wrong{0};
    std::latch start(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            start.arrive_and_wait();
            for (int k = t; k < kThreads * kQueries; ++k) {
                const Query& q = queries[static_cast<std::size_t>(k)];
                E_DOG_HIT hit{};
                const int found = e_dog_db_nearest(dbs[(k + t) % 2], q.lat, q.lng, q.radius, &hit);
                if (found != (q.nearest.index >= 0 ? 1 : 0) ||
                    (found == 1 && hit.record != q.nearest.index) ||
                    e_dog_db_within(dbs[(k + t + 1) % 2], q.lat, q.lng, q.radius, nullptr, 0) !=
                        static_cast<int>(q.within)) {
                    ++wrong;
                }
            }
        });
    }
    for (std::thread& th : threads) {
        th.join();
    }
    EXPECT_EQ(wrong.load(), 0);
    e_dog_db_close(dbs[0]);
    e_dog_db_close(dbs[1]);
}

}  // namespace
