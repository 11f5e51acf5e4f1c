// edog-tool's outputs against its inputs: a table of hostile outputs (the
// input itself, a link to it, special files, a folder), links followed,
// temporaries of killed writes removed, and SIGINT during a large build.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "edog/e_dog_source_date.h"
#include "tests/test_support.h"
#include "tests/tool_fixture.h"
#include <signal.h>

namespace {

using tool_test::kDrive;
using tool_test::kSample;
using tool_test::kTool;
using tool_test::tool;

std::vector<std::string> temporaries(const std::string& folder) {
    std::vector<std::string> out;
    for (const auto& e : std::filesystem::directory_iterator(folder)) {
        if (e.path().filename().string().find(".tmp-") != std::string::npos) {
            out.push_back(e.path().filename().string());
        }
    }
    return out;
}

TEST(ToolOutputs, AnOutputNeverHarmsAnInput) {
    const test::ScratchDir dir;
    test::write_file("list.txt", test::read_file(kSample));
    test::write_file("drive.nmea", test::read_file(kDrive));
    ASSERT_EQ(tool(dir, {"build", "list.txt", "-o", "c.bin"}).exit_status, 0);
    ASSERT_EQ(::symlink("list.txt", "link-to-list"), 0);
    ASSERT_EQ(::mkfifo("fifo", 0600), 0);
    std::filesystem::create_directory("folder");
    const std::string list = test::read_file("list.txt");
    const std::string data = test::read_file("c.bin");
    const std::string log = test::read_file("drive.nmea");
    struct Case {
        std::vector<std::string> args;
        std::string says;  // in the one line on standard error
    };
    const Case cases[] = {
        {{"build", "list.txt", "-o", "list.txt"}, "is also an input"},
        {{"build", "list.txt", "-o", "link-to-list"}, "is also an input"},
        {{"build", "list.txt", "-o", "./list.txt"}, "is also an input"},
        {{"replay", "c.bin", "drive.nmea", "--svg", "c.bin"}, "is also an input"},
        {{"replay", "c.bin", "drive.nmea", "--svg", "drive.nmea"}, "is also an input"},
        {{"build", "list.txt", "-o", "fifo"}, "not a regular file"},
        {{"build", "list.txt", "-o", "folder"}, "not a regular file"},
        {{"build", "list.txt", "-o", "/dev/null"}, "not a regular file"},
        {{"replay", "c.bin", "drive.nmea", "--svg", "fifo"}, "not a regular file"},
    };
    for (const Case& c : cases) {
        const auto r = tool(dir, c.args);
        EXPECT_EQ(r.exit_status, 1) << ::testing::PrintToString(c.args);
        EXPECT_EQ(r.err.rfind("edog-tool: " + c.args[c.args.size() - 1] + ": ", 0), 0U) << r.err;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
        EXPECT_TRUE(r.out.empty()) << r.out;
    }
    EXPECT_EQ(test::read_file("list.txt"), list);
    EXPECT_EQ(test::read_file("c.bin"), data);
    EXPECT_EQ(test::read_file("drive.nmea"), log);
    struct stat st {};
    ASSERT_EQ(::lstat("fifo", &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
    ASSERT_EQ(::lstat("link-to-list", &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_TRUE(temporaries(dir.path()).empty());
}

// A link as output is followed: its target is written, the link stays. A
// temporary a killed build left beside the output is removed; one of a
// running process is not.
TEST(ToolOutputs, LinksAreFollowedAndTemporariesOfKilledWritesRemoved) {
    const test::ScratchDir dir;
    test::write_file("list.txt", test::read_file(kSample));
    ASSERT_EQ(::symlink("data/out.bin", "out-link"), 0);
    std::filesystem::create_directory("data");
    const std::string dead = "data/out.bin.tmp-2147483000-0-0badf00d";  // no such process
    const std::string alive = "data/out.bin.tmp-" + std::to_string(::getpid()) + "-0-00000001";
    test::write_file(dead, "half a file");
    test::write_file(alive, "being written");
    const auto r = tool(dir, {"build", "list.txt", "-o", "out-link"});
    EXPECT_EQ(r.exit_status, 0) << r.err;
    struct stat st {};
    ASSERT_EQ(::lstat("out-link", &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(test::read_file("data/out.bin").size(), 298U * 56U);
    EXPECT_FALSE(test::file_exists(dead));
    EXPECT_TRUE(test::file_exists(alive));
}

// SIGINT (and SIGTERM, SIGHUP) at moments through a large build: the
// process ends with 128 + the signal or completes, no temporary file is
// left, and the output is either absent or whole.
TEST(ToolOutputs, StoppedBuildsLeaveNothingBehind) {
    const test::ScratchDir dir;
    std::string big;
    for (int i = 0; i < 400'000; ++i) {
        big += std::to_string(i + 1) + "," + std::to_string(100.0 + (i % 1000) * 0.001) + "," +
               std::to_string(30.0 + (i / 1000) * 0.001) + ",1,60,1,90\n";
    }
    test::write_file("big.txt", big);
    const int signals[] = {SIGINT, SIGTERM, SIGHUP};
    int stopped = 0;
    for (int round = 0; round < 9; ++round) {
        const int sig = signals[round % 3];
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            const int null = ::open("/dev/null", O_WRONLY);
            (void)::dup2(null, STDOUT_FILENO);
            (void)::dup2(null, STDERR_FILENO);
            ::execl(kTool.c_str(), kTool.c_str(), "build", "big.txt", "-o", "big.bin", "-q",
                    static_cast<char*>(nullptr));
            ::_exit(127);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(40 + 60 * round));
        (void)::kill(pid, sig);
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        // A signal before main has set up its handlers (a slow start under a
        // sanitizer) ends the process as the signal does; nothing was written.
        if (WIFSIGNALED(status)) {
            EXPECT_EQ(WTERMSIG(status), sig) << "round " << round;
            EXPECT_TRUE(temporaries(dir.path()).empty()) << "round " << round;
            continue;
        }
        ASSERT_TRUE(WIFEXITED(status)) << "round " << round;
        const int code = WEXITSTATUS(status);
        EXPECT_TRUE(code == 128 + sig || code == 0) << "round " << round << ": " << code;
        stopped += code == 128 + sig ? 1 : 0;
        EXPECT_TRUE(temporaries(dir.path()).empty()) << "round " << round;
        if (test::file_exists("big.bin")) {
            EXPECT_EQ(test::read_file("big.bin").size(), 400'000U * 56U) << "round " << round;
        }
    }
    EXPECT_GT(stopped, 0);
}

// A crafted record whose code sets the terminal's title and clears it:
// every command that prints the code prints it escaped, and nothing a file
// holds reaches the terminal as a control byte.
TEST(ToolOutputs, NothingFromAFileReachesTheTerminalRaw) {
    const test::ScratchDir dir;
    E_DOG_DATA evil = test::camera("s0000000000", 0.001, 0.001, 1, 60, 7);
    const char kCode[12] = {'\x1b', ']', '0', ';', 'x', '\x07', '\x1b', '[', '2', 'J', '\x9b', 'q'};
    std::memcpy(evil.encode_str, kCode, sizeof kCode);
    test::write_records("evil.bin", {evil});
    test::write_records("plain.bin", {test::camera("s0000000000", 0.001, 0.001, 1, 60, 7)});
    const std::vector<std::string> commands[] = {
        {"lookup", "evil.bin", "0", "0"},        {"lookup", "evil.bin", "0", "0", "--json"},
        {"dump", "evil.bin", "--format", "csv"}, {"dump", "evil.bin", "--format", "geojson"},
        {"diff", "plain.bin", "evil.bin"},       {"verify", "evil.bin"},
    };
    for (const auto& args : commands) {
        const auto r = tool(dir, args);
        for (const std::string* text : {&r.out, &r.err}) {
            for (const char c : *text) {
                const auto b = static_cast<unsigned char>(c);
                EXPECT_TRUE(c == '\n' || (b >= 0x20 && b < 0x7f))
                    << ::testing::PrintToString(args) << " printed byte " << int{b};
            }
        }
        // Escaped as \xNN (in JSON, with its backslash escaped again).
        EXPECT_NE((r.out + r.err).find("x1b]0;x\\"), std::string::npos)
            << ::testing::PrintToString(args) << r.out << r.err;
    }
}

}  // namespace
