// Golden transcripts of edog-tool: every command on the sample list and the
// sample drive, its standard output, standard error and exit status compared
// byte for byte with tests/golden/NAME.txt. After a deliberate change of the
// output, EDOG_UPDATE_GOLDEN=1 writes the files anew; review their diff.
#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/test_support.h"

namespace {

const std::string kTool = EDOG_TOOL;
const std::string kSource = EDOG_SOURCE_DIR;

struct Golden {
    const char* name;
    std::vector<std::string> args;
};

// What a run shows: the command line, standard output, standard error
// where there is any, and the exit status.
std::string transcript(const std::vector<std::string>& args, const test::ProcessResult& r) {
    std::string t = "$ edog-tool";
    for (const std::string& a : args) {
        t += " " + a;
    }
    t += "\n" + r.out;
    if (!r.err.empty()) {
        t += "--- standard error\n" + r.err;
    }
    return t + "--- exit " + std::to_string(r.exit_status) + "\n";
}

// The sample list edited as a list keeper would: one camera removed, the
// limit of another changed (its fifth column), one camera added.
std::string edited_sample(const std::string& list) {
    std::string out;
    std::size_t line_no = 0;
    for (std::size_t at = 0; at < list.size();) {
        const std::size_t end = std::min(list.find('\n', at), list.size() - 1);
        std::string line = list.substr(at, end - at + 1);
        at = end + 1;
        ++line_no;
        if (line_no == 5) {
            continue;
        }
        if (line_no == 10) {
            std::size_t field = 0;
            for (int comma = 0; comma < 4; ++comma) {
                field = line.find(',', field) + 1;
            }
            line.replace(field, line.find(',', field) - field, "30");
        }
        out += line;
    }
    return out + "9999,-2.1700,50.6900,1,50,1,90\n";
}

TEST(ToolGolden, EveryCommandOnTheSamplePrintsItsTranscript) {
    const test::ScratchDir dir;
    const std::string list = test::read_file(kSource + "/data/speedcam22.txt");
    test::write_file("list.txt", list);
    test::write_file("edited.txt", edited_sample(list));
    test::write_file("drive.nmea", test::read_file(kSource + "/data/drive.nmea"));
    const Golden runs[] = {
        {"build", {"build", "list.txt", "-o", "cams.bin"}},
        {"build-edited", {"build", "edited.txt", "-o", "edited.bin"}},
        {"verify", {"verify", "cams.bin"}},
        {"info", {"info", "cams.bin"}},
        {"lookup", {"lookup", "cams.bin", "-2.1778", "50.683"}},
        {"lookup-pasted", {"lookup", "cams.bin", "-2.1778, 50.683"}},  // as a map copies it
        {"lookup-none", {"lookup", "cams.bin", "0", "0"}},
        {"lookup-all-json",
         {"lookup", "cams.bin", "-2.1778", "50.683", "--radius", "500", "--all", "--json"}},
        {"dump", {"dump", "cams.bin"}},
        {"dump-csv", {"dump", "cams.bin", "--format", "csv"}},
        {"dump-geojson", {"dump", "cams.bin", "--format", "geojson"}},
        {"diff", {"diff", "cams.bin", "edited.bin"}},
        {"fixes", {"fixes", "drive.nmea"}},
        {"replay", {"replay", "cams.bin", "drive.nmea"}},
        {"replay-json", {"replay", "cams.bin", "drive.nmea", "--json"}},
    };
    const bool update = std::getenv("EDOG_UPDATE_GOLDEN") != nullptr;
    for (const Golden& g : runs) {
        std::vector<std::string> args = g.args;
        args.insert(args.begin(), kTool);
        const test::ProcessResult r = test::run_args(args, dir.path());
        const std::string got = transcript(g.args, r);
        const std::string file = kSource + "/tests/golden/" + g.name + ".txt";
        if (update) {
            test::write_file(file, got);
            continue;
        }
        ASSERT_TRUE(test::file_exists(file)) << file;
        EXPECT_EQ(got, test::read_file(file)) << g.name;
    }
}

}  // namespace
