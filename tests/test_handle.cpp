#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "edog/e_dog_internal.h"
#include "edog/e_dog_source_date.h"
#include "edog/lookup/lookup.h"
#include "tests/test_support.h"

namespace {

class Handle : public ::testing::Test {
protected:
    void SetUp() override { e_dog_exit(); }
    void TearDown() override { e_dog_exit(); }

    // Runs e_dog_init on a data file of `size` bytes; returns its result.
    static int init_with_bytes(std::size_t size, std::string& out) {
        test::write_file("DATA_T.BIN", std::string(size, 'x'));
        testing::internal::CaptureStdout();
        const int rc = e_dog_init();
        out = testing::internal::GetCapturedStdout();
        return rc;
    }

    test::ScratchDir dir_;
};

TEST_F(Handle, RecordCountFromTheFileSize) {
    const struct {
        std::size_t bytes;
        std::uint32_t records;
    } cases[] = {{56, 1}, {57, 1}, {111, 1}, {112, 2}, {560, 10}};
    for (const auto& c : cases) {
        std::string out;
        EXPECT_EQ(init_with_bytes(c.bytes, out), 0) << c.bytes;
        EXPECT_EQ(out, "");
        EXPECT_EQ(e_dog_list_size, c.records) << c.bytes;
        EXPECT_EQ(e_dog_run_flag, 1);
        EXPECT_NE(fp_e_dog, nullptr);
        e_dog_exit();
        EXPECT_EQ(fp_e_dog, nullptr);
        EXPECT_EQ(e_dog_run_flag, 0);
        EXPECT_EQ(e_dog_list_size, c.records);  // exit keeps the count
    }
}

TEST_F(Handle, FileWithoutAWholeRecordIsDeleted) {
    for (std::size_t bytes : {0U, 40U, 55U}) {
        std::string out;
        e_dog_list_size = 9;
        EXPECT_EQ(init_with_bytes(bytes, out), -1) << bytes;
        EXPECT_EQ(out, "");
        EXPECT_EQ(e_dog_list_size, 0U);
        EXPECT_EQ(e_dog_run_flag, 0);
        EXPECT_EQ(fp_e_dog, nullptr);
        EXPECT_FALSE(test::file_exists("DATA_T.BIN")) << bytes;
    }
}

TEST_F(Handle, MissingFileIsReported) {
    e_dog_list_size = 9;
    testing::internal::CaptureStdout();
    EXPECT_EQ(e_dog_init(), -1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "======== Erro ff_fopen file:DATA_T.BIN fail!\n");
    EXPECT_EQ(e_dog_list_size, 0U);
    EXPECT_EQ(e_dog_run_flag, 0);
}

// A folder, a FIFO nobody writes to and a device that never ends: every reader
// refuses them at once (none blocks or reads forever) and none is deleted.
TEST_F(Handle, DataFileThatIsNoRegularFileIsRefusedByEveryReader) {
    const char* const kinds[] = {"folder", "fifo", "device"};
    for (const char* kind : kinds) {
        SCOPED_TRACE(kind);
        (void)std::remove("DATA_T.BIN");
        const std::string k = kind;
        const int made = k == "folder" ? ::mkdir("DATA_T.BIN", 0755)
                         : k == "fifo" ? ::mkfifo("DATA_T.BIN", 0644)
                                       : ::symlink("/dev/zero", "DATA_T.BIN");
        ASSERT_EQ(made, 0);
        testing::internal::CaptureStdout();
        EXPECT_EQ(e_dog_init(), -1);
        e_dog_build_file_index();
        EXPECT_EQ(e_dog_hash_to_file(), -1);
        EXPECT_EQ(testing::internal::GetCapturedStdout(),
                  "======== Erro ff_fopen file:DATA_T.BIN fail!\n"
                  "########## e_dog_write_list_to_file open input file: DATA_T.BIN fail!\n"
                  "########## e_dog_write_list_to_file open input file: DATA_T.BIN fail!\n");
        EXPECT_EQ(e_dog_run_flag, 0);
        struct stat st {};
        EXPECT_EQ(::lstat("DATA_T.BIN", &st), 0);
    }
}

// Record numbers are 32-bit: a (sparse) file of 2^31 or 2^32 records is
// refused with a message and kept, never counted as empty and deleted; and
// read by no reader after e_dog_init refused it (the index build would read
// all of it).
TEST_F(Handle, FileWithMoreRecordsThanCanBeCountedIsRefusedAndKept) {
    for (const unsigned long long records : {1ULL << 31U, 1ULL << 32U}) {
        test::write_file("DATA_T.BIN", "");
        if (::truncate("DATA_T.BIN", static_cast<off_t>(records * 56)) != 0) {
            GTEST_SKIP() << "no sparse file of that size here";
        }
        testing::internal::CaptureStdout();
        EXPECT_EQ(e_dog_init(), -1);
        EXPECT_EQ(testing::internal::GetCapturedStdout(),
                  "======== Erro file:DATA_T.BIN holds too many records!\n");
        EXPECT_EQ(e_dog_run_flag, 0);
        EXPECT_EQ(e_dog_list_size, 0U);
        EXPECT_TRUE(test::file_exists("DATA_T.BIN"));
        testing::internal::CaptureStdout();
        e_dog_build_file_index();
        EXPECT_EQ(testing::internal::GetCapturedStdout(),
                  "########## e_dog_write_list_to_file open input file: DATA_T.BIN fail!\n");
    }
}

// A build renames a complete file into place while e_dog_init is looking at
// an empty one: the complete file is never deleted. The rename lands at
// random moments around the call; some land inside it.
TEST_F(Handle, EmptyFileIsDeletedOnlyWhileItsNameStillNamesIt) {
    const std::string full(56 * 3, 'f');
    std::mt19937 rng(8);
    for (int round = 0; round < 5000; ++round) {
        test::write_file("DATA_T.BIN", "");
        test::write_file("complete", full);
        const auto delay = std::chrono::nanoseconds(rng() % 40000);
        std::thread build([delay] {
            std::this_thread::sleep_for(delay);
            (void)std::rename("complete", "DATA_T.BIN");
        });
        testing::internal::CaptureStdout();
        (void)e_dog_init();
        (void)testing::internal::GetCapturedStdout();
        build.join();
        e_dog_exit();
        ASSERT_EQ(test::read_file("DATA_T.BIN"), full) << "round " << round;
    }
}

TEST_F(Handle, InitWhileOpenChangesNothingUntilExit) {
    std::string out;
    ASSERT_EQ(init_with_bytes(112, out), 0);
    std::FILE* const stream = fp_e_dog;
    test::write_file("DATA_T.BIN", std::string(56 * 5, 'y'));
    EXPECT_EQ(e_dog_init(), 0);
    EXPECT_EQ(fp_e_dog, stream);
    EXPECT_EQ(e_dog_list_size, 2U);

    // Closing and opening again counts the records anew.
    e_dog_exit();
    e_dog_exit();  // a second exit is harmless
    EXPECT_EQ(e_dog_init(), 0);
    EXPECT_EQ(e_dog_list_size, 5U);
    EXPECT_EQ(e_dog_run_flag, 1);
}

TEST_F(Handle, OpenStreamKeepsTheFileItOpenedWhenTheFileIsReplaced) {
    test::write_file("speedcam22.txt", "1,116.397128,39.916527,1,60,2,3\n");
    int result = 0;
    test::run_build(result);
    ASSERT_EQ(e_dog_init(), 0);
    test::write_file("speedcam22.txt", "2,0,0,1,60,2,3\n3,0,0,1,60,2,3\n");
    test::run_build(result);  // renames a new file over the open one
    ASSERT_EQ(result, 0);

    ElemType whole{};
    whole.index = 0;
    whole.cunt = 5;
    E_DOG_LCD lcd{};
    testing::internal::CaptureStdout();
    const E_DOG_DATA hit = e_dog_search_by_info_file(39.9165, 116.3971, whole, 1, &lcd);
    // The index too is built from the file that is open, not the new one.
    e_dog::free_queue(q_header);
    e_dog_build_file_index();
    (void)testing::internal::GetCapturedStdout();
    EXPECT_EQ(lcd.result, 0);
    EXPECT_EQ(hit.Idex, 1);
    ASSERT_NE(q_header, nullptr);
    EXPECT_EQ(q_header->size, 1);
    EXPECT_STREQ(q_header->front->next->data.str, "wx4g");
    e_dog::free_queue(q_header);
}

}  // namespace
