// The searches from several threads at once, from the very first search on:
// every answer as the reference scan gives it, and one view of the file made;
// and while another program cuts the file and copies it back again and
// again. CI runs this under ThreadSanitizer too (the tsan preset).
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
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
#include "edog/search/db.h"
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

// Four threads search a handle while the file is cut to a third and copied
// back whole (truncated, then written: as cp does), 40 times. Whatever they
// read meanwhile, a camera answered is one of the file's, as it is in the
// file; once the file is whole again, every answer is the reference's.
TEST(Threads, SearchesWhileTheFileIsCutAndCopiedBack) {
    const test::ScratchDir dir;
    const std::vector<Query> queries = write_file_and_queries();
    const std::string whole = test::read_file("DATA_T.BIN");
    E_DOG_DB* db = e_dog_db_open("DATA_T.BIN", nullptr);
    ASSERT_NE(db, nullptr);
    std::vector<E_DOG_DATA> records(whole.size() / 56);
    for (std::size_t i = 0; i < records.size(); ++i) {
        ASSERT_EQ(e_dog_db_record(db, static_cast<long long>(i), &records[i]), 1);
    }
    const auto same = [](const E_DOG_DATA& a, const E_DOG_DATA& b) {
        return a.Idex == b.Idex && a.Gps_lat == b.Gps_lat && a.Gps_lng == b.Gps_lng;
    };
    std::atomic<bool> churning{true};
    std::atomic<int> wrong{0};
    std::atomic<long> searches{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            std::vector<E_DOG_HIT> hits(16);
            for (int k = t; churning.load(); k = (k + kThreads) % (kThreads * kQueries)) {
                const Query& q = queries[static_cast<std::size_t>(k)];
                E_DOG_HIT hit{};
                if (e_dog_db_nearest(db, q.lat, q.lng, q.radius, &hit) == 1 &&
                    !same(hit.data, records[static_cast<std::size_t>(hit.record)])) {
                    ++wrong;
                }
                const int n = e_dog_db_within(db, q.lat, q.lng, q.radius, hits.data(), 16);
                for (int h = 0; h < std::min(n, 16); ++h) {
                    const E_DOG_HIT& x = hits[static_cast<std::size_t>(h)];
                    wrong += same(x.data, records[static_cast<std::size_t>(x.record)]) ? 0 : 1;
                }
                ++searches;
            }
        });
    }
    // Each state of the file lasts until a search has ended in it (or 5 s
    // have passed), however slowly the searches run (under a sanitizer every
    // change costs a key build of its own).
    const auto searched = [&searches] {
        const long from = searches.load();
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (searches.load() == from && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    };
    for (int round = 0; round < 40; ++round) {
        ASSERT_EQ(::truncate("DATA_T.BIN", static_cast<off_t>(whole.size() / 3)), 0);
        searched();
        const int fd = ::open("DATA_T.BIN", O_WRONLY | O_TRUNC);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::write(fd, whole.data(), whole.size()), static_cast<ssize_t>(whole.size()));
        ::close(fd);
        searched();
    }
    churning = false;
    for (std::thread& th : threads) {
        th.join();
    }
    EXPECT_EQ(wrong.load(), 0);
    EXPECT_GT(searches.load(), 40);
    for (const Query& q : queries) {  // whole again: searched whole again
        E_DOG_HIT hit{};
        const int found = e_dog_db_nearest(db, q.lat, q.lng, q.radius, &hit);
        ASSERT_EQ(found, q.nearest.index >= 0 ? 1 : 0);
        ASSERT_TRUE(found == 0 || hit.record == q.nearest.index);
        ASSERT_EQ(e_dog_db_within(db, q.lat, q.lng, q.radius, nullptr, 0),
                  static_cast<int>(q.within));
    }
    // Views replaced are freed once no search could read them: with no other
    // search running, the next change frees every one.
    ASSERT_EQ(::truncate("DATA_T.BIN", static_cast<off_t>(whole.size() / 3)), 0);
    E_DOG_HIT hit{};
    (void)e_dog_db_nearest(db, queries[0].lat, queries[0].lng, 1e7, &hit);
    EXPECT_EQ(e_dog::db_views_held(*db), 1U);
    e_dog_db_close(db);
}

}  // namespace
