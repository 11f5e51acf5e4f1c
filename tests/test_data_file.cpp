#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "edog/datafile/e_dog_record.h"
#include "edog/e_dog_internal.h"
#include "edog/e_dog_source_date.h"
#include "tests/test_support.h"

namespace {

std::string bytes_of(std::initializer_list<int> values) {
    std::string s;
    for (int v : values) {
        s.push_back(static_cast<char>(v));
    }
    return s;
}

class DataFile : public ::testing::Test {
protected:
    test::ScratchDir dir_;
};

TEST(Record, ExactLittleEndianLayoutWithZeroPadding) {
    E_DOG_DATA rec{};
    rec.Idex = 12;
    rec.Direction = 3;
    rec.Type = 1;
    rec.DirType = 2;
    rec.Speed = -60;
    rec.Gps_lat = 1.0;   // 0x3FF0000000000000
    rec.Gps_lng = -2.5;  // 0xC004000000000000
    std::strcpy(rec.encode_str, "wx4g0dtf9e");
    const e_dog::RecordBytes b = e_dog::encode_record(rec);
    const std::string got(reinterpret_cast<const char*>(b.data()), b.size());
    const std::string want =
        bytes_of({12, 0, 0, 0, 3, 0, 0, 0, 1, 0, 0,    0,    2, 0, 0, 0, 0xC4, 0xFF, 0xFF, 0xFF,
                  0,  0, 0, 0, 0, 0, 0, 0, 0, 0, 0xF0, 0x3F, 0, 0, 0, 0, 0,    0,    0x04, 0xC0}) +
        "wx4g0dtf9e" + std::string(6, '\0');
    EXPECT_EQ(got, want);
}

TEST(Record, DecodeIgnoresPaddingAndKeepsTheCodeBytes) {
    E_DOG_DATA rec{};
    rec.Idex = -7;
    rec.Gps_lat = 39.916527;
    rec.Gps_lng = 116.397128;
    std::strcpy(rec.encode_str, "7zzzzzzzzz");
    e_dog::RecordBytes b = e_dog::encode_record(rec);
    for (std::size_t i : {20U, 21U, 22U, 23U, 52U, 53U, 54U, 55U}) {
        b[i] = 0xAB;
    }
    const E_DOG_DATA back = e_dog::decode_record(b.data());
    EXPECT_EQ(std::memcmp(&back.Idex, &rec.Idex, 20), 0);
    EXPECT_EQ(back.Gps_lat, rec.Gps_lat);
    EXPECT_EQ(back.Gps_lng, rec.Gps_lng);
    EXPECT_EQ(std::memcmp(back.encode_str, rec.encode_str, 12), 0);
}

TEST_F(DataFile, BuildWritesSortedRecordsAndPrintsThemBack) {
    test::write_file("speedcam22.txt",
                     "12,116.397128,39.916527,1,60,2,3\n"
                     "13,0,0,-1,30,1,-4\n"
                     "14,116.397128,39.916527,5,70,0,9\n");
    int result = 0;
    const std::string out = test::run_build(result);
    EXPECT_EQ(result, 0);
    const std::string tail = out.substr(out.find("=========== decode file OK!"));
    EXPECT_EQ(tail,
              "=========== decode file OK!\n"
              "=========== quick sort file OK!\n"
              "file all index:3\n"
              "00000000 00000013 -0004 -0001 0001 0030 0.00000000 0.00000000 7zzzzzzzzz \n"
              "00000001 00000012 0003 0001 0002 0060 39.91652700 116.39712800 wx4g0dtf9e \n"
              "00000002 00000014 0009 0005 0000 0070 39.91652700 116.39712800 wx4g0dtf9e \n");
    const std::string file = test::read_file("DATA_T.BIN");
    ASSERT_EQ(file.size(), 3 * e_dog::kRecordSize);
    EXPECT_EQ(file.substr(40, 12), std::string("7zzzzzzzzz\0\0", 12));
    EXPECT_EQ(file.substr(20, 4), std::string(4, '\0'));
    EXPECT_EQ(file.substr(52, 4), std::string(4, '\0'));
    EXPECT_TRUE(test::temp_files().empty());

    // The same list always gives the same bytes.
    test::run_build(result);
    EXPECT_EQ(test::read_file("DATA_T.BIN"), file);
}

TEST_F(DataFile, EmptyListWritesAnEmptyFile) {
    test::write_file("speedcam22.txt", "");
    test::write_file("DATA_T.BIN", "old contents");
    int result = -1;
    const std::string out = test::run_build(result);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(out,
              "########## create_e_dog_heaplist open input file OK!\n"
              "########## create_e_dog_heaplist malloc OK!\n"
              "=========== decode file OK!\n"
              "=========== quick sort file OK!\n"
              "file all index:0\n");
    EXPECT_EQ(test::read_file("DATA_T.BIN"), "");
}

// A failed write must report failure and leave the earlier file untouched.
void expect_write_failure_keeps_old_file(const std::string& out, int result,
                                         const std::string& old) {
    EXPECT_EQ(result, -1);
    EXPECT_NE(out.find("########## e_dog_write_list_to_file write file: DATA_T.BIN fail!\n"),
              std::string::npos)
        << out;
    EXPECT_EQ(out.find("file all index"), std::string::npos);
    EXPECT_EQ(test::read_file("DATA_T.BIN"), old);
    EXPECT_TRUE(test::temp_files().empty());
    EXPECT_EQ(edog_heap_buffer_addr, nullptr);
}

TEST_F(DataFile, FileSizeLimitFailsTheWriteAndKeepsTheOldFile) {
    // Each camera echoes about 42 bytes but takes 56 in the data file, so a
    // limit can stop the data file while the captured output still fits.
    std::string list;
    for (int i = 0; i < 2000; ++i) {
        list += std::to_string(i % 10) + ",0,0,1,1,1,1\n";
    }
    test::write_file("speedcam22.txt", list);
    const std::string old(56 * 3, 'o');
    test::write_file("DATA_T.BIN", old);

    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = saved;
    limited.rlim_cur = 100000;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
    testing::internal::CaptureStdout();
    const int result = e_dog_updata_tsk();
    std::fflush(stdout);
    const std::string out = testing::internal::GetCapturedStdout();
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, old_handler);

    expect_write_failure_keeps_old_file(out, result, old);
}

TEST_F(DataFile, DataFileThatIsADirectoryIsNotReplaced) {
    test::write_file("speedcam22.txt", "1,1,1,1,1,1,1\n");
    ASSERT_EQ(::mkdir("DATA_T.BIN", 0755), 0);
    int result = 0;
    const std::string out = test::run_build(result);
    EXPECT_EQ(result, -1);
    EXPECT_NE(out.find("########## e_dog_write_list_to_file write file: DATA_T.BIN fail!\n"),
              std::string::npos);
    struct stat st {};
    ASSERT_EQ(::stat("DATA_T.BIN", &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_TRUE(test::temp_files().empty());
}

TEST_F(DataFile, UncreatableFileReportsTheOpenFailure) {
    test::write_file("speedcam22.txt", "1,1,1,1,1,1,1\n");
    test::write_file("DATA_T.BIN", "old");
    // In a child whose descriptors run out after the list is opened: the
    // temporary file cannot be made.
    const test::ChildResult child = test::run_in_child([] {
        const int lowest_free = ::dup(0);
        (void)::close(lowest_free);
        const rlimit one_more{static_cast<rlim_t>(lowest_free) + 1,
                              static_cast<rlim_t>(lowest_free) + 1};
        if (::setrlimit(RLIMIT_NOFILE, &one_more) != 0) {
            return 99;
        }
        return e_dog_updata_tsk() == -1 ? 0 : 1;
    });
    EXPECT_EQ(child.exit_status, 0);
    EXPECT_NE(child.out.find("=========== quick sort file OK!\n"
                             "########## e_dog_write_list_to_file open input file: DATA_T.BIN "
                             "fail!\n"),
              std::string::npos);
    EXPECT_EQ(child.out.find("file all index"), std::string::npos);
    EXPECT_EQ(test::read_file("DATA_T.BIN"), "old");
    EXPECT_TRUE(test::temp_files().empty());
}

}  // namespace

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif

class BuildMemory : public ::testing::Test {
protected:
    void SetUp() override {
        if (kSanitized) {
            GTEST_SKIP() << "the sanitizer's own memory use hides the build's";
        }
        test::write_file("speedcam22.txt", "1,116.397128,39.916527,1,60,2,3\n");
    }
    test::ScratchDir dir_;
};

TEST_F(BuildMemory, PoolIsReservedButNotTouched) {
    // Touching the whole pool would take 590 MB.
    const test::ChildResult child = test::run_in_child([] { return -e_dog_updata_tsk(); });
    EXPECT_EQ(child.exit_status, 0);
    EXPECT_LT(child.max_rss_kb, 100 * 1024);
}

TEST_F(BuildMemory, PoolThatCannotBeAllocatedFailsTheBuild) {
    test::write_file("DATA_T.BIN", "old");
    const test::ChildResult child = test::run_in_child([] {
        rlimit limit{256UL << 20U, 256UL << 20U};  // smaller than the pool
        if (setrlimit(RLIMIT_AS, &limit) != 0) {
            return 99;
        }
        return -e_dog_updata_tsk();
    });
    EXPECT_EQ(child.exit_status, 1);
    EXPECT_EQ(child.out,
              "########## create_e_dog_heaplist open input file OK!\n"
              "I am mpl fail in create_e_dog_heaplist!\n");
    EXPECT_EQ(test::read_file("DATA_T.BIN"), "old");
}

}  // namespace
