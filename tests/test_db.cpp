// The database handle: several data files open at once, each answering as a
// scan of its own records, from one thread and from several; what opening
// refuses, and that it never deletes or changes a file.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "edog/e_dog_db.h"
#include "edog/e_dog_source_date.h"
#include "edog/reference/reference_scan.h"
#include "geo/geohash.h"
#include "tests/test_support.h"

namespace {

// `n` cameras around (lat, lng) within about `spread` degrees, every third
// of DirType 0 (never the nearest answer), sorted by code, written as `name`.
std::vector<E_DOG_DATA> write_area(const std::string& name, double lat, double lng, double spread,
                                   int n, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> off(-spread, spread);
    std::vector<E_DOG_DATA> recs;
    for (int i = 0; i < n; ++i) {
        const double a = lat + off(rng);
        const double b = lng + off(rng);
        recs.push_back(test::camera(geohash_encode(a, b, 10), a, b, i % 3 == 0 ? 0 : 1 + i % 5,
                                    30 + i % 90, i));
    }
    std::stable_sort(recs.begin(), recs.end(), [](const E_DOG_DATA& x, const E_DOG_DATA& y) {
        return std::string(x.encode_str) < std::string(y.encode_str);
    });
    test::write_records(name, recs);
    return recs;
}

struct Source {
    E_DOG_DB* db;
    const std::vector<E_DOG_DATA>* recs;
};

// Checks one position of nearest and within on `s` against the reference
// scan of the handle's own records.
void expect_scan_answer(const Source& s, double a, double b, double r) {
    const auto want = e_dog::reference::nearest(*s.recs, a, b, r);
    E_DOG_HIT hit{};
    const int got = e_dog_db_nearest(s.db, a, b, r, &hit);
    ASSERT_EQ(got, want.index >= 0 ? 1 : 0) << a << "," << b << " r " << r;
    if (got == 1) {
        ASSERT_EQ(hit.record, want.index);
        ASSERT_EQ(hit.distance_m, want.distance_m);
        ASSERT_EQ(hit.data.Idex, (*s.recs)[static_cast<std::size_t>(want.index)].Idex);
    }
    std::vector<E_DOG_HIT> hits(256);
    const auto all = e_dog::reference::within(*s.recs, a, b, r);
    ASSERT_EQ(e_dog_db_within(s.db, a, b, r, hits.data(), 256), static_cast<int>(all.size()));
    for (std::size_t i = 0; i < std::min<std::size_t>(all.size(), 256); ++i) {
        ASSERT_EQ(hits[i].record, all[i].index);
        ASSERT_EQ(hits[i].distance_m, all[i].distance_m);
    }
}

// Positions near (lat, lng), the sources asked in turn at each: drives of
// fixes 20 m apart at one radius (which the nearby list answers), now and
// then a jump to a random position and radius.
void expect_scan_answers(const std::vector<Source>& sources, double lat, double lng, int queries,
                         unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> off(-0.03, 0.03);
    std::uniform_real_distribution<double> radius(50.0, 1500.0);
    double a = lat;
    double b = lng;
    double r = 800.0;
    for (int q = 0; q < queries; ++q) {
        if (q % 25 == 0) {
            a = lat + off(rng);
            b = lng + off(rng);
            r = radius(rng);
        } else {
            a += 0.00015;
            b += 0.0001;
        }
        for (const Source& s : sources) {
            expect_scan_answer(s, a, b, r);
        }
    }
}

TEST(Db, TwoFilesOpenAtOnceAnswerAsAScanOfEach) {
    const test::ScratchDir dir;
    // The second name is longer than the module's 31-byte file name.
    const std::string second = "a-data-file-whose-name-is-longer-than-thirty-one-bytes.bin";
    const auto one = write_area("one.bin", 48.85, 2.35, 0.05, 3000, 1);
    const auto two = write_area(second, 48.86, 2.36, 0.04, 2000, 2);
    int error = -1;
    E_DOG_DB* a = e_dog_db_open("one.bin", &error);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(error, EDOG_DB_OK);
    E_DOG_DB* b = e_dog_db_open(second.c_str(), &error);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(e_dog_db_count(a), 3000);
    EXPECT_EQ(e_dog_db_count(b), 2000);
    // Interleaved: each handle's searches (and each thread's nearby list)
    // must never answer from the other's file.
    expect_scan_answers({{a, &one}, {b, &two}}, 48.855, 2.355, 400, 10);
    // Several threads, each on both handles at once.
    std::vector<std::thread> threads;
    for (unsigned t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            const Source first{t % 2 == 0 ? a : b, t % 2 == 0 ? &one : &two};
            const Source other{t % 2 == 0 ? b : a, t % 2 == 0 ? &two : &one};
            expect_scan_answers({first, other}, 48.855, 2.355, 100, 30 + t);
        });
    }
    for (std::thread& t : threads) {
        t.join();
    }
    E_DOG_DATA rec{};
    EXPECT_EQ(e_dog_db_record(b, 1999, &rec), 1);
    EXPECT_EQ(rec.Idex, two.back().Idex);
    EXPECT_EQ(e_dog_db_record(b, 2000, &rec), 0);
    EXPECT_EQ(e_dog_db_record(b, -1, &rec), 0);
    e_dog_db_close(a);
    e_dog_db_close(b);
    e_dog_db_close(nullptr);
}

TEST(Db, OpeningRefusesWhatHoldsNoRecordsAndNeverDeletes) {
    const test::ScratchDir dir;
    test::write_file("empty.bin", "");
    test::write_file("short.bin", std::string(55, 'x'));
    ASSERT_EQ(::mkdir("folder", 0700), 0);
    ASSERT_EQ(::mkfifo("fifo", 0600), 0);
    const struct {
        const char* path;
        int error;
    } cases[] = {
        {nullptr, EDOG_DB_ERR_ARGUMENT},      {"missing.bin", EDOG_DB_ERR_OPEN},
        {"folder", EDOG_DB_ERR_NOT_REGULAR},  {"fifo", EDOG_DB_ERR_NOT_REGULAR},
        {"empty.bin", EDOG_DB_ERR_NO_RECORD}, {"short.bin", EDOG_DB_ERR_NO_RECORD},
    };
    for (const auto& c : cases) {
        int error = -1;
        EXPECT_EQ(e_dog_db_open(c.path, &error), nullptr) << (c.path ? c.path : "null");
        EXPECT_EQ(error, c.error) << (c.path ? c.path : "null");
        EXPECT_STRNE(e_dog_db_error_text(error), "unknown error");
    }
    EXPECT_EQ(e_dog_db_open("missing.bin", nullptr), nullptr);  // no error wanted
    EXPECT_TRUE(test::file_exists("empty.bin"));
    EXPECT_EQ(test::read_file("short.bin"), std::string(55, 'x'));
    EXPECT_STREQ(e_dog_db_error_text(99), "unknown error");

    // Bad arguments of the searches.
    write_area("one.bin", 10.0, 10.0, 0.01, 10, 3);
    E_DOG_DB* db = e_dog_db_open("one.bin", nullptr);
    ASSERT_NE(db, nullptr);
    E_DOG_HIT hit{};
    EXPECT_EQ(e_dog_db_nearest(nullptr, 10.0, 10.0, 800.0, &hit), -1);
    EXPECT_EQ(e_dog_db_nearest(db, 10.0, 10.0, 800.0, nullptr), -1);
    EXPECT_EQ(e_dog_db_nearest(db, 91.0, 10.0, 800.0, &hit), -1);
    EXPECT_EQ(e_dog_db_nearest(db, 10.0, 10.0, -1.0, &hit), -1);
    EXPECT_EQ(e_dog_db_within(db, 10.0, 10.0, 800.0, nullptr, 1), -1);
    EXPECT_EQ(e_dog_db_within(db, 10.0, 10.0, 800.0, &hit, -1), -1);
    EXPECT_GE(e_dog_db_within(db, 10.0, 10.0, 800.0, nullptr, 0), 0);
    e_dog_db_close(db);
    const std::string bytes = test::read_file("one.bin");
    EXPECT_EQ(bytes.size(), 10U * 56U);
}

}  // namespace
