// edog-tool against hostile use: a table of hostile command lines (outputs
// onto inputs, special files, inputs of the wrong kind, NaN, values out of
// range), links followed, temporaries of killed writes removed, SIGINT
// during a large build, and bytes from files escaped.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "edog/datafile/e_dog_record.h"
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

// Hostile command lines: outputs onto inputs and special files, inputs of
// the wrong kind, NaN and out-of-range values. Each ends with its status
// and one line on standard error that names the file (or the command) and
// says what is wrong; no input changes.
TEST(ToolOutputs, HostileCommandLinesEndWithOneClearLineAndTheInputsUntouched) {
    const test::ScratchDir dir;
    test::write_file("list.txt", test::read_file(kSample));
    test::write_file("drive.nmea", test::read_file(kDrive));
    ASSERT_EQ(tool(dir, {"build", "list.txt", "-o", "c.bin"}).exit_status, 0);
    ASSERT_EQ(::symlink("list.txt", "link-to-list"), 0);
    ASSERT_EQ(::mkfifo("fifo", 0600), 0);
    std::filesystem::create_directory("folder");
    test::write_file("track.gpx",
                     "<?xml version=\"1.0\"?>\n<gpx version=\"1.1\"><trk><trkseg>\n"
                     "<trkpt lat=\"50.1\" lon=\"-2.1\"/></trkseg></trk></gpx>\n");
    test::write_file("semicolons.csv", "id;lng;lat;type\n1;-2.1;50.1;1\n2;-2.2;50.2;1\n");
    test::write_file("quoted.csv", "\"1\",\"-2.1\",\"50.1\",\"1\",\"50\",\"1\",\"90\"\n");
    test::write_file("zeros.bin", std::string(56 * 64, '\0'));
    test::write_file("cut.bin", test::read_file("c.bin").substr(0, 56 * 10 + 3));
    test::write_file("empty.txt", "");
    const std::vector<std::string> inputs = {"list.txt",  "drive.nmea",     "c.bin",
                                             "track.gpx", "semicolons.csv", "quoted.csv",
                                             "zeros.bin", "cut.bin",        "empty.txt"};
    std::vector<std::string> before;
    for (const std::string& f : inputs) {
        before.push_back(test::read_file(f));
    }
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string starts;  // the one line on standard error starts so
        std::string says;    // and says this
    };
    const std::string looks = "this looks like ";
    const std::string data_file = "expected a data file";
    const Case cases[] = {
        // Outputs onto inputs, special files.
        {{"build", "list.txt", "-o", "list.txt"}, 1, "list.txt", "is also an input"},
        {{"build", "list.txt", "-o", "link-to-list"}, 1, "link-to-list", "is also an input"},
        {{"build", "list.txt", "-o", "./list.txt"}, 1, "./list.txt", "is also an input"},
        {{"replay", "c.bin", "drive.nmea", "--svg", "c.bin"}, 1, "c.bin", "is also an input"},
        {{"replay", "c.bin", "drive.nmea", "--svg", "drive.nmea"},
         1,
         "drive.nmea",
         "is also an input"},
        {{"build", "list.txt", "-o", "fifo"}, 1, "fifo", "not a regular file"},
        {{"build", "list.txt", "-o", "folder"}, 1, "folder", "not a regular file"},
        {{"build", "list.txt", "-o", "/dev/null"}, 1, "/dev/null", "not a regular file"},
        {{"replay", "c.bin", "drive.nmea", "--svg", "fifo"}, 1, "fifo", "not a regular file"},
        {{"verify", "fifo"}, 1, "fifo", "not a regular file"},
        // Inputs of the wrong kind.
        {{"replay", "drive.nmea", "c.bin"}, 1, "drive.nmea", looks + "an NMEA log, beginning"},
        {{"replay", "c.bin", "track.gpx"}, 1, "track.gpx", looks + "a GPX file"},
        {{"fixes", "c.bin"}, 1, "c.bin", looks + "a data file (298 records); expected an NMEA"},
        {{"fixes", "list.txt"}, 1, "list.txt", looks + "a camera list"},
        {{"info", "list.txt"}, 1, "list.txt", looks + "a camera list, beginning \"1,"},
        {{"dump", "zeros.bin"}, 1, "zeros.bin", looks + "nothing but zero bytes"},
        {{"verify", "zeros.bin"}, 1, "zeros.bin", looks + "nothing but zero bytes"},
        {{"lookup", "track.gpx", "50", "-2"}, 1, "track.gpx", data_file},
        {{"diff", "c.bin", "cut.bin"}, 1, "cut.bin", "not a whole number of 56-byte records"},
        {{"build", "c.bin", "-o", "out.bin"}, 1, "c.bin", looks + "a data file"},
        {{"build", "drive.nmea", "-o", "out.bin"}, 1, "drive.nmea", looks + "an NMEA log"},
        {{"build", "empty.txt", "-o", "out.bin"}, 1, "empty.txt", looks + "an empty file"},
        {{"build", "semicolons.csv", "-o", "out.bin"},
         1,
         "semicolons.csv",
         "no camera to write: all 3 lines were refused (the file looks like text"},
        {{"build", "quoted.csv", "-o", "out.bin"},
         1,
         "quoted.csv",
         "no camera to write: all 1 lines were refused"},
        // NaN, infinities and values out of range.
        {{"lookup", "c.bin", "nan", "nan"}, 2, "lookup", "LAT"},
        {{"lookup", "c.bin", "50,inf"}, 2, "lookup", "LNG"},
        {{"replay", "c.bin", "drive.nmea", "--lead-time", "nan"}, 2, "replay", "--lead-time"},
        {{"replay", "c.bin", "drive.nmea", "--min-warn", "700", "--max-warn", "100"},
         2,
         "replay",
         "--min-warn 700 is above --max-warn 100"},
        {{"replay", "c.bin", "drive.nmea", "--overspeed-margin", "2147483647"},
         2,
         "replay",
         "--overspeed-margin"},
        {{"frobnicate"}, 2, "unknown command \"frobnicate\"", "the commands are"},
    };
    for (const Case& c : cases) {
        const auto r = tool(dir, c.args);
        EXPECT_EQ(r.exit_status, c.status) << ::testing::PrintToString(c.args) << r.err;
        EXPECT_EQ(r.err.rfind("edog-tool: " + c.starts, 0), 0U)
            << ::testing::PrintToString(c.args) << r.err;
        EXPECT_NE(r.err.find(c.says), std::string::npos)
            << ::testing::PrintToString(c.args) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1)
            << ::testing::PrintToString(c.args) << r.err;
    }
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        EXPECT_EQ(test::read_file(inputs[i]), before[i]) << inputs[i];
    }
    EXPECT_FALSE(test::file_exists("out.bin"));
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
// holds reaches the terminal as a control byte. In evil.bin it lies among
// sound records where the kind check does not look (record 1 of 298), in
// small.bin the kind check meets it and names it.
TEST(ToolOutputs, NothingFromAFileReachesTheTerminalRaw) {
    const test::ScratchDir dir;
    test::write_file("list.txt", test::read_file(kSample));
    ASSERT_EQ(tool(dir, {"build", "list.txt", "-o", "good.bin"}).exit_status, 0);
    std::string bytes = test::read_file("good.bin");
    const char kCode[12] = {'\x1b', ']', '0', ';', 'x', '\x07', '\x1b', '[', '2', 'J', '\x9b', 'q'};
    std::memcpy(&bytes[e_dog::kRecordSize + e_dog::kOffCode], kCode, sizeof kCode);
    test::write_file("evil.bin", bytes);
    test::write_file("small.bin", bytes.substr(0, 2 * e_dog::kRecordSize));
    const std::vector<std::string> commands[] = {
        {"lookup", "small.bin", "0", "0"},
        {"lookup", "small.bin", "0", "0", "--json"},
        {"dump", "evil.bin", "--format", "csv"},
        {"dump", "evil.bin", "--format", "geojson"},
        {"diff", "good.bin", "evil.bin"},
        {"verify", "evil.bin"},
        {"info", "small.bin"},
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
