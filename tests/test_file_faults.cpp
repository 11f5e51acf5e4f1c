// The data file changing under open handles, as another program or a failing
// medium changes it: cut short and copied back again and again, more handles
// open than the fault guard has slots, zeros in the map where the file is
// whole, and a host program's own SIGBUS handler, which keeps its flags.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <csignal>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "edog/datafile/data_file_layout.h"
#include "edog/e_dog_db.h"
#include "edog/reference/reference_scan.h"
#include "edog/search/db.h"
#include "geo/geohash.h"
#include "tests/test_support.h"

namespace {

std::vector<E_DOG_DATA> write_cameras(int count) {
    std::mt19937_64 rng(5);
    std::uniform_real_distribution<double> lat(47.0, 47.2);
    std::uniform_real_distribution<double> lng(8.0, 8.3);
    std::vector<E_DOG_DATA> recs;
    for (int i = 0; i < count; ++i) {
        const double la = lat(rng);
        const double lo = lng(rng);
        recs.push_back(test::camera(geohash_encode(la, lo, 10), la, lo, 1 + i % 2, 60, i));
    }
    std::stable_sort(recs.begin(), recs.end(), [](const E_DOG_DATA& a, const E_DOG_DATA& b) {
        return std::string(a.encode_str) < std::string(b.encode_str);
    });
    test::write_records("DATA_T.BIN", recs);
    return recs;
}

// Copies `bytes` over the file in place, as cp does: cut to nothing, written.
void copy_over(const std::string& bytes) {
    const int fd = ::open("DATA_T.BIN", O_WRONLY | O_TRUNC);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    ::close(fd);
}

// Every handle answers `queries` as the reference does over `recs`.
void expect_answers(const std::vector<E_DOG_DB*>& dbs, const std::vector<E_DOG_DATA>& recs,
                    const std::vector<std::pair<double, double>>& queries) {
    for (const auto& [lat, lng] : queries) {
        const auto want = e_dog::reference::nearest(recs, lat, lng, 2000.0);
        const auto within =
            static_cast<int>(e_dog::reference::within(recs, lat, lng, 2000.0).size());
        for (E_DOG_DB* db : dbs) {
            E_DOG_HIT hit{};
            const int found = e_dog_db_nearest(db, lat, lng, 2000.0, &hit);
            ASSERT_EQ(found, want.index >= 0 ? 1 : 0);
            ASSERT_TRUE(found == 0 || hit.record == want.index);
            ASSERT_EQ(e_dog_db_within(db, lat, lng, 2000.0, nullptr, 0), within);
        }
    }
}

// 66 handles (more than the guard has slots: some read with pread) over a
// file cut to a third and copied back 30 times: after each cut every handle
// answers from the records left, after each copy from the whole file again.
TEST(FileFaults, AnyNumberOfCutsAndCopiesBack) {
    const test::ScratchDir dir;
    const std::vector<E_DOG_DATA> recs = write_cameras(3000);
    const std::string whole = test::read_file("DATA_T.BIN");
    std::vector<E_DOG_DB*> dbs;
    for (int i = 0; i < 66; ++i) {
        dbs.push_back(e_dog_db_open("DATA_T.BIN", nullptr));
        ASSERT_NE(dbs.back(), nullptr);
    }
    std::vector<std::pair<double, double>> queries;
    for (std::size_t i = 0; i < recs.size(); i += 500) {
        queries.emplace_back(recs[i].Gps_lat, recs[i].Gps_lng);
    }
    const std::vector<E_DOG_DATA> third(recs.begin(), recs.begin() + 1000);
    for (int round = 0; round < 30; ++round) {
        SCOPED_TRACE(round);
        ASSERT_EQ(::truncate("DATA_T.BIN", static_cast<off_t>(1000 * 56 + 13)), 0);
        expect_answers(dbs, third, queries);
        copy_over(whole);
        expect_answers(dbs, recs, queries);
    }
    EXPECT_LE(e_dog::db_views_made(*dbs[0]), 61U);  // one per change of the file
    EXPECT_EQ(e_dog::db_views_held(*dbs[0]), 1U);   // those replaced are freed
    for (E_DOG_DB* db : dbs) {
        e_dog_db_close(db);
    }
}

// Zeros in the map where the file is whole (a page the medium failed to
// read once, put in by the guard as for a cut): the search runs again on the
// page read from the file, and the keys are not built again.
TEST(FileFaults, ZerosInTheMapAloneAreReadAgainFromTheFile) {
    const test::ScratchDir dir;
    const std::vector<E_DOG_DATA> recs = write_cameras(3000);
    E_DOG_DB* db = e_dog_db_open("DATA_T.BIN", nullptr);
    ASSERT_NE(db, nullptr);
    const unsigned char* bytes = db->state.file().bytes();
    ASSERT_NE(bytes, nullptr);
    for (int round = 0; round < 10; ++round) {
        const auto i = static_cast<std::size_t>(round * 250 + 7);
        E_DOG_HIT hit{};
        ASSERT_EQ(e_dog_db_nearest(db, recs[i].Gps_lat, recs[i].Gps_lng, 100.0, &hit), 1);
        // The kernel's SIGBUS for the page of record i, as a failed read gives.
        siginfo_t info{};
        info.si_signo = SIGBUS;
        info.si_code = BUS_ADRERR;
        info.si_addr =
            const_cast<unsigned char*>(bytes + e_dog::DataFileLayout::offset_in_memory(i));
        ASSERT_EQ(::syscall(SYS_rt_tgsigqueueinfo, ::getpid(), ::gettid(), SIGBUS, &info), 0);
        ASSERT_EQ(e_dog_db_nearest(db, recs[i].Gps_lat, recs[i].Gps_lng, 100.0, &hit), 1);
        EXPECT_EQ(hit.record, static_cast<INT32>(i));
        EXPECT_EQ(hit.data.Idex, recs[i].Idex);
    }
    EXPECT_EQ(e_dog::db_views_made(*db), 1U);
    e_dog_db_close(db);
}

int host_calls = 0;
void* host_page = nullptr;

// A host's one-shot handler: counts, and lets the read go on over a page of
// its own.
void host_handler(int /*sig*/, siginfo_t* info, void* /*context*/) {
    ++host_calls;
    const auto page = reinterpret_cast<std::uintptr_t>(info->si_addr) & ~std::uintptr_t{4095};
    host_page = ::mmap(reinterpret_cast<void*>(page), 4096, PROT_READ,
                       MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0);
}

// A SIGBUS of the host's own map goes to the host's handler once, with its
// SA_RESETHAND applied by the kernel; the guard is back with the next file
// opened and a cut file is still searched. In a child: signal dispositions
// are the process's.
TEST(FileFaults, AHostHandlerKeepsItsFlags) {
    const test::ScratchDir dir;
    const test::ChildResult r = test::run_in_child([] {
        struct sigaction sa {};
        sa.sa_sigaction = host_handler;
        sa.sa_flags = static_cast<int>(SA_SIGINFO | SA_RESETHAND);
        (void)sigemptyset(&sa.sa_mask);
        (void)::sigaction(SIGBUS, &sa, nullptr);
        const std::vector<E_DOG_DATA> recs = write_cameras(3000);
        E_DOG_DB* first = e_dog_db_open("DATA_T.BIN", nullptr);
        // The host's map of a file it cuts: a foreign fault.
        test::write_file("host.bin", std::string(8192, 'h'));
        const int fd = ::open("host.bin", O_RDONLY);
        auto* host = static_cast<volatile unsigned char*>(
            ::mmap(nullptr, 8192, PROT_READ, MAP_SHARED, fd, 0));
        if (first == nullptr || fd < 0 || ::truncate("host.bin", 0) != 0) {
            return 10;
        }
        const unsigned char seen = host[4096];
        struct sigaction now {};
        (void)::sigaction(SIGBUS, nullptr, &now);
        if (host_calls != 1 || seen != 0 || now.sa_handler != SIG_DFL) {
            return 20 + host_calls;
        }
        E_DOG_DB* second = e_dog_db_open("DATA_T.BIN", nullptr);
        if (second == nullptr || ::truncate("DATA_T.BIN", 56 * 100) != 0) {
            return 30;
        }
        E_DOG_HIT hit{};
        const int found =
            e_dog_db_nearest(second, recs[2000].Gps_lat, recs[2000].Gps_lng, 1e7, &hit);
        return found == 1 && hit.record < 100 ? 0 : 40;
    });
    EXPECT_EQ(r.exit_status, 0) << r.out;
}

}  // namespace
