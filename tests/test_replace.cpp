// The data file under concurrent and interrupted builds: whatever happens, it
// is the whole old file or the whole new one, and nothing else is written.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <random>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "edog/datafile/atomic_file.h"
#include "edog/e_dog_source_date.h"
#include "tests/test_support.h"
#include <signal.h>

namespace {

// A list of `count` cameras spread over a country; `seed` varies the places.
std::string camera_list(int count, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> lat(40.0, 50.0);
    std::uniform_real_distribution<double> lng(0.0, 15.0);
    std::string list;
    for (int i = 0; i < count; ++i) {
        char line[96];
        (void)std::snprintf(line, sizeof line, "%d,%.6f,%.6f,1,60,1,0\n", i, lng(rng), lat(rng));
        list += line;
    }
    return list;
}

// Starts a build of the list in the working directory in a child process,
// with its output thrown away.
pid_t start_build() {
    std::fflush(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int null = ::open("/dev/null", O_WRONLY);
        (void)::dup2(null, 1);
        const int rc = e_dog_updata_tsk();
        std::fflush(nullptr);
        ::_exit(rc == 0 ? 0 : 1);
    }
    return pid;
}

int wait_for(pid_t pid) {
    int status = 0;
    (void)::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The data file the list gives, built on its own.
std::string built_bytes(const std::string& list) {
    test::write_file("speedcam22.txt", list);
    EXPECT_EQ(wait_for(start_build()), 0);
    return test::read_file("DATA_T.BIN");
}

void remove_temp_files() {
    for (const std::string& name : test::temp_files()) {
        (void)std::remove(name.c_str());
    }
}

class Replace : public ::testing::Test {
protected:
    test::ScratchDir dir_;
};

TEST_F(Replace, LeftoverLinkAtTheOldTemporaryNameIsNeverWrittenThrough) {
    const std::string list = camera_list(50, 1);
    test::write_file("speedcam22.txt", list);
    ASSERT_EQ(::symlink("speedcam22.txt", "DATA_T.BIN.tmp"), 0);
    ASSERT_EQ(::link("speedcam22.txt", "DATA_T.BIN.tmp-hard"), 0);
    EXPECT_EQ(wait_for(start_build()), 0);
    EXPECT_EQ(test::read_file("speedcam22.txt"), list);
    struct stat st {};
    ASSERT_EQ(::lstat("DATA_T.BIN", &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    EXPECT_EQ(st.st_size, 50 * 56);
    EXPECT_EQ(test::temp_files().size(), 2U);  // the two links, untouched
}

// Two writers at once: one is halfway through its file when a whole build
// runs to its end, then goes on writing and fails. The build's file stands,
// whole; the other writer's bytes are nowhere.
TEST_F(Replace, TwoBuildsInterleavedLeaveOneWholeFile) {
    const std::string want = built_bytes(camera_list(2000, 2));
    {
        e_dog::AtomicFile other(e_dog_datafile);
        ASSERT_TRUE(other.ok());
        const std::string junk(56 * 100, 'j');
        ASSERT_EQ(std::fwrite(junk.data(), 1, junk.size(), other.stream()), junk.size());
        ASSERT_EQ(std::fflush(other.stream()), 0);
        EXPECT_EQ(wait_for(start_build()), 0);
        ASSERT_EQ(std::fwrite(junk.data(), 1, junk.size(), other.stream()), junk.size());
        ASSERT_EQ(std::fflush(other.stream()), 0);
        EXPECT_TRUE(test::read_file("DATA_T.BIN") == want);
    }  // the other writer gives up: its temporary file goes
    EXPECT_TRUE(test::read_file("DATA_T.BIN") == want);
    EXPECT_TRUE(test::temp_files().empty());
}

// A build killed at 100 random moments: every time the file is the whole old
// one or the whole new one.
TEST_F(Replace, BuildKilledAtAnyMomentLeavesTheOldOrTheNewFile) {
    const std::string old_bytes = built_bytes(camera_list(3000, 4));
    const std::string new_bytes = built_bytes(camera_list(3000, 5));
    ASSERT_NE(old_bytes, new_bytes);
    // How long a build takes here, so that the kills spread over all of it.
    test::write_file("DATA_T.BIN", old_bytes);
    const auto t0 = std::chrono::steady_clock::now();
    ASSERT_EQ(wait_for(start_build()), 0);
    const auto span =
        std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - t0)
            .count();
    std::mt19937 rng(6);
    int olds = 0;
    int news = 0;
    for (int kill = 0; kill < 100; ++kill) {
        test::write_file("DATA_T.BIN", old_bytes);
        const pid_t pid = start_build();
        std::this_thread::sleep_for(
            std::chrono::microseconds(rng() % static_cast<unsigned>(span * 5 / 4 + 1)));
        (void)::kill(pid, SIGKILL);
        (void)wait_for(pid);
        const std::string now = test::read_file("DATA_T.BIN");
        olds += now == old_bytes ? 1 : 0;
        news += now == new_bytes ? 1 : 0;
        ASSERT_TRUE(now == old_bytes || now == new_bytes) << "kill " << kill << ": " << now.size();
        remove_temp_files();
    }
    RecordProperty("old", olds);
    RecordProperty("new", news);
    EXPECT_EQ(olds + news, 100);
    EXPECT_GT(olds, 0);  // the kills did land during the build
}

}  // namespace

namespace {

// A build whose data file cannot grow past `limit` bytes (a full medium, a
// quota): the writes that fail are the buffered ones, the final flush or the
// close. The build fails, the old data file stays whole and no temporary file
// is left; at exactly the new file's size it succeeds.
TEST_F(Replace, FileSizeLimitAtAnyWriteKeepsTheOldFile) {
    const std::string old_bytes = built_bytes(camera_list(40, 1));
    const std::string new_list = camera_list(300, 2);
    const std::string new_bytes = built_bytes(new_list);
    ASSERT_EQ(new_bytes.size(), 300U * 56U);
    const rlim_t size = new_bytes.size();  // as wide, or wider
    // 0 and 1: the first write; 4096 and 8192: a buffer boundary; size - 1:
    // the final flush of the last partial buffer; size: nothing fails.
    const rlim_t limits[] = {0, 1, 4096, 8192, size - 1, size};
    for (const rlim_t limit : limits) {
        SCOPED_TRACE(limit);
        test::write_file("DATA_T.BIN", old_bytes);
        test::write_file("speedcam22.txt", new_list);
        const test::ChildResult r = test::run_in_child([limit] {
            (void)std::signal(SIGXFSZ, SIG_IGN);  // a write past the limit fails with EFBIG
            const rlimit fsize{limit, limit};
            if (::setrlimit(RLIMIT_FSIZE, &fsize) != 0) {
                return 3;
            }
            return e_dog_updata_tsk() == 0 ? 0 : 1;
        });
        ASSERT_NE(r.exit_status, 3);
        EXPECT_EQ(r.exit_status, limit == size ? 0 : 1);
        EXPECT_EQ(test::read_file("DATA_T.BIN"), limit == size ? new_bytes : old_bytes);
        EXPECT_TRUE(test::temp_files().empty());
    }
}

}  // namespace
