// edog-tool as a process: exit codes and messages, the build against the
// module's own, the dump/build round trip, verify on damaged files, lookup
// against the reference scan, diff, and the NMEA commands on the sample drive.
#include <cmath>
#include <cstring>
#include <functional>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "edog/datafile/e_dog_record.h"
#include "edog/reference/reference_scan.h"
#include "tests/test_support.h"
#include "tests/tool_fixture.h"
#include <nlohmann/json.hpp>

namespace {

using nlohmann::json;

using tool_test::kDrive;
using tool_test::kSample;
using tool_test::kTool;
using tool_test::tool;

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        out.push_back(line);
    }
    return out;
}

std::vector<json> json_lines(const std::string& text) {
    std::vector<json> out;
    for (const std::string& line : lines(text)) {
        out.push_back(json::parse(line));  // throws, failing the test, on bad JSON
    }
    return out;
}

TEST(Tool, HelpVersionUsageErrorsAndFailures) {
    const test::ScratchDir dir;
    for (const char* command :
         {"build", "verify", "info", "lookup", "dump", "diff", "fixes", "replay"}) {
        const auto r = tool(dir, {command, "--help"});
        EXPECT_EQ(r.exit_status, 0) << command;
        EXPECT_NE(r.out.find("Usage:"), std::string::npos) << command;
    }
    EXPECT_EQ(tool(dir, {"--version"}).out.rfind("edog-tool ", 0), 0U);
    struct Case {
        std::vector<std::string> args;
        int status;
    };
    const Case usage[] = {
        {{}, 2},
        {{"frobnicate"}, 2},
        {{"help", "frobnicate"}, 2},
        {{"lookup", "x.bin", "nan", "nan"}, 2},
        {{"lookup", "x.bin", "0", "inf"}, 2},
        {{"lookup", "x.bin", "1", "2", "3"}, 2},
        {{"lookup", "x.bin", "0,nan"}, 2},
        {{"lookup", "x.bin", "0", "0", "--radius", "nan"}, 2},
        {{"replay", "x.bin", "log", "--lead-time", "nan"}, 2},
        {{"replay", "x.bin", "log", "--heading-tolerance", "-inf"}, 2},
        {{"replay", "x.bin", "log", "--min-warn", "500", "--max-warn", "100"}, 2},
        {{"replay", "x.bin", "log", "--max-warn", "900"}, 2},
        {{"replay", "x.bin", "log", "--overspeed-margin", "2147483647"}, 2},
        {{"replay", "x.bin", "log", "--min-speed", "-1"}, 2},
        {{"build", "list.txt"}, 2},  // no -o
        {{"lookup", "x.bin", "95", "0"}, 2},
        {{"lookup", "x.bin", "0", "0", "--radius", "-5"}, 2},
        {{"lookup", "x.bin", "0", "0", "--radius", "inf"}, 2},
        {{"dump", "x.bin", "--format", "xml"}, 2},
        {{"diff", "x.bin"}, 2},
        {{"replay", "x.bin", "log", "--lead-time", "soon"}, 2},
    };
    for (const Case& c : usage) {
        const auto r = tool(dir, c.args);
        EXPECT_EQ(r.exit_status, c.status) << ::testing::PrintToString(c.args);
        EXPECT_TRUE(r.out.empty());
        EXPECT_EQ(lines(r.err).size(), 1U) << r.err;
        EXPECT_EQ(r.err.rfind("edog-tool: ", 0), 0U) << r.err;  // every usage error
    }
    EXPECT_NE(tool(dir, {"frobnicate"}).err.find("unknown command \"frobnicate\""),
              std::string::npos);
    for (const std::vector<std::string>& help :
         {std::vector<std::string>{"help"}, std::vector<std::string>{"help", "lookup"}}) {
        const auto r = tool(dir, help);
        EXPECT_EQ(r.exit_status, 0);
        EXPECT_NE(r.out.find("Usage:"), std::string::npos);
    }
    // Failures: one line on standard error naming the file, status 1.
    test::write_file(dir.path() + "/empty.bin", "");
    const std::vector<std::string> failing[] = {
        {"build", "missing.txt", "-o", "out.bin"},
        {"verify", "missing.bin"},
        {"info", "missing.bin"},
        {"lookup", "missing.bin", "0", "0"},
        {"lookup", "empty.bin", "0", "0"},
        {"dump", "missing.bin"},
        {"diff", "missing.bin", "missing.bin"},
        {"fixes", "missing.log"},
        {"replay", "missing.bin", "missing.log"},
        {"build", ".", "-o", "out.bin"},
    };
    for (const auto& args : failing) {
        const auto r = tool(dir, args);
        EXPECT_EQ(r.exit_status, 1) << ::testing::PrintToString(args);
        EXPECT_EQ(lines(r.err).size(), 1U) << r.err;
        EXPECT_EQ(r.err.rfind("edog-tool: " + args[1] + ": ", 0), 0U) << r.err;
    }
    EXPECT_TRUE(test::file_exists(dir.path() + "/empty.bin"));  // a lookup never deletes
    EXPECT_FALSE(test::file_exists(dir.path() + "/out.bin"));
}

TEST(Tool, BuildMatchesTheModuleAndRefusesWhatItWouldInvent) {
    const test::ScratchDir dir;
    // Every line a camera, with every kind of line end: the module's file.
    test::write_file("speedcam22.txt", test::read_file(kSample));
    ASSERT_EQ(test::run_process(EDOG_BINARY, dir.path(), "").exit_status, 0);
    std::string mixed = test::read_file(kSample);
    for (std::size_t at = mixed.find('\n'), n = 0; at != std::string::npos;
         at = mixed.find('\n', at + 1), ++n) {
        if (n % 3 == 1) {
            mixed.replace(at, 1, "\r\n");
            ++at;
        } else if (n % 3 == 2) {
            mixed[at] = '\r';
        }
    }
    test::write_file("mixed.txt", mixed);
    const auto built = tool(dir, {"build", "mixed.txt", "-o", "tool.bin"});
    EXPECT_EQ(built.exit_status, 0) << built.err;
    EXPECT_EQ(test::read_file("tool.bin"), test::read_file("DATA_T.BIN"));
    EXPECT_TRUE(built.err.empty());  // no progress bar off a terminal

    struct Refused {
        const char* line;
        const char* reason;
    };
    const Refused refused[] = {
        {"Idex,longitude,latitude,Type,Speed,DirType,Direction", "header line"},
        {"", "empty line"},
        {" \t ", "blank line"},
        {"# a comment", "comment"},
        {"7,113.9,22.6,1,60", "missing fields (5 of 7)"},
        {",113.9,22.6,1,60,1,0", "missing fields (no camera number)"},
        {"-7,113.9,22.6,1,60,1,0", "does not start with a camera number"},
        {"7,east,22.6,1,60,1,0", "position is not a number"},
        {"7,113.9,95.0,1,60,1,0", "position out of range"},
        {"4294967296,113.9,22.6,1,60,1,0", "camera number out of range"},
        {"7,113.9,22.6,1,4294967346,1,0", "Speed out of range"},
        {"7,113.9,22.6,1,60,4294967297,0", "DirType out of range"},
        {"7,113.9,22.6,1,60,1,4294967386", "Direction out of range"},
        {"7,113.9,22.6,-99999999999999999999,60,1,0", "Type out of range"},
    };
    std::string list =
        "\xEF\xBB\xBF"
        "1,113.9,22.6,1,60,1,0\n";
    for (const Refused& r : refused) {
        list.append(r.line).append("\n");
    }
    list += "4294967295,113.9,22.6,1,60,1,0\n";  // same position as line 1
    test::write_file("bad.txt", list);
    const auto strict = tool(dir, {"build", "bad.txt", "-o", "strict.bin"});
    EXPECT_EQ(strict.exit_status, 0);
    const auto out = lines(strict.out);
    ASSERT_EQ(out.size(), std::size(refused) + 2) << strict.out;
    for (std::size_t i = 0; i < std::size(refused); ++i) {
        EXPECT_EQ(out[i].rfind("bad.txt:" + std::to_string(i + 2) + ": " + refused[i].reason, 0),
                  0U)
            << out[i];
    }
    EXPECT_EQ(out[std::size(refused)], "bad.txt: same position 113.9,22.6 on lines 1 16");
    EXPECT_EQ(out.back(),
              "strict.bin: 2 cameras written, 14 lines refused, 2 cameras at a shared position");
    // --compat invents what the module invents.
    test::write_file("speedcam22.txt", list);
    ASSERT_EQ(test::run_process(EDOG_BINARY, dir.path(), "").exit_status, 0);
    EXPECT_EQ(tool(dir, {"build", "bad.txt", "-o", "compat.bin", "--compat"}).exit_status, 0);
    EXPECT_EQ(test::read_file("compat.bin"), test::read_file("DATA_T.BIN"));
}

// Findings are counted by reason and the first few of each shown; every
// one with --verbose.
TEST(Tool, BuildSummariesShowTheFirstFewOfEachReason) {
    const test::ScratchDir dir;
    std::string list;
    for (int i = 0; i < 8; ++i) {
        list += "# comment\n";
    }
    for (int g = 0; g < 6; ++g) {  // duplicates
        for (int k = 0; k < 2; ++k) {
            list +=
                std::to_string(100 + 2 * g + k) + ",20," + std::to_string(10 + g) + ",1,60,1,0\n";
        }
    }
    for (int g = 0; g < 5; ++g) {  // one position, another speed
        for (int k = 0; k < 2; ++k) {
            list += std::to_string(200 + 2 * g + k) + ",40," + std::to_string(30 + g) + ",1," +
                    std::to_string(50 + 10 * k) + ",1,0\n";
        }
    }
    test::write_file("list.txt", list);
    const auto r = tool(dir, {"build", "list.txt", "-o", "out.bin"});
    EXPECT_EQ(r.exit_status, 0) << r.err;
    EXPECT_EQ(r.out,
              "list.txt:1: comment\n"
              "list.txt:2: comment\n"
              "list.txt:3: comment\n"
              "list.txt: 5 more lines refused: comment (--verbose lists them)\n"
              "list.txt: same position 20,10 on lines 9 10\n"
              "list.txt: same position 20,11 on lines 11 12\n"
              "list.txt: same position 20,12 on lines 13 14\n"
              "list.txt: same position 40,30 on lines 21 22\n"
              "list.txt: same position 40,31 on lines 23 24\n"
              "list.txt: same position 40,32 on lines 25 26\n"
              "list.txt: 3 more groups: same position and data (duplicates) (--verbose lists "
              "them)\n"
              "list.txt: 2 more groups: same position, different data (--verbose lists them)\n"
              "out.bin: 22 cameras written, 8 lines refused, 22 cameras at a shared position\n");
    const auto all = tool(dir, {"build", "list.txt", "-o", "out.bin", "--verbose"});
    EXPECT_EQ(lines(all.out).size(), 8U + 11U + 1U) << all.out;
    EXPECT_EQ(all.out.find("more"), std::string::npos) << all.out;

    // 20,000 cameras drawn from 6,000 positions: the groups and the cameras
    // in them as counted by a plain map of the positions as written.
    std::mt19937 rng(7);
    std::string many;
    std::map<std::string, int> at;
    for (int i = 0; i < 20000; ++i) {
        const auto p = rng() % 6000;
        const std::string where = std::to_string(p % 100) + "." + std::to_string(p / 100 + 1) +
                                  "," + std::to_string(p / 100) + ".5";
        many += std::to_string(i) + "," + where + ",1,60,1,0\n";
        ++at[where];
    }
    test::write_file("many.txt", many);
    std::size_t groups = 0;
    std::size_t shared = 0;
    for (const auto& [where, n] : at) {
        groups += n > 1 ? 1U : 0U;
        shared += n > 1 ? static_cast<std::size_t>(n) : 0U;
    }
    const auto counted = tool(dir, {"build", "many.txt", "-o", "many.bin", "--verbose"});
    EXPECT_EQ(lines(counted.out).size(), groups + 1);
    EXPECT_EQ(lines(counted.out).back(), "many.bin: 20000 cameras written, 0 lines refused, " +
                                             std::to_string(shared) +
                                             " cameras at a shared position");
}

TEST(Tool, DumpRoundTripsAndFormatsAgree) {
    const test::ScratchDir dir;
    std::string list = test::read_file(kSample);
    list +=
        "900,-0,0,1,50,1,0\n901,113.91804512345678,22.640175000000001,2,60,2,90\n"
        "902,-179.99999999999997,-89.999999999999986,3,0,0,359\n";
    test::write_file("list.txt", list);
    ASSERT_EQ(tool(dir, {"build", "list.txt", "-o", "a.bin"}).exit_status, 0);
    const auto dumped = tool(dir, {"dump", "a.bin"});
    test::write_file("back.txt", dumped.out);
    ASSERT_EQ(tool(dir, {"build", "back.txt", "-o", "b.bin"}).exit_status, 0);
    EXPECT_EQ(test::read_file("a.bin"), test::read_file("b.bin"));

    const std::string bytes = test::read_file("a.bin");
    const auto records = e_dog::reference::decode_file(
        reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
    const auto csv = lines(tool(dir, {"dump", "a.bin", "--format", "csv"}).out);
    ASSERT_EQ(csv.size(), records.size() + 1);
    EXPECT_EQ(csv[0], "record,idex,longitude,latitude,type,speed,dirtype,direction,code");
    const json geo = json::parse(tool(dir, {"dump", "a.bin", "-f", "geojson"}).out);
    EXPECT_EQ(geo["type"], "FeatureCollection");
    ASSERT_EQ(geo["features"].size(), records.size());
    for (std::size_t i = 0; i < records.size(); ++i) {
        const json& f = geo["features"][i];
        const json& xy = f["geometry"]["coordinates"];
        EXPECT_EQ(xy[0].get<double>(), records[i].Gps_lng);  // [longitude, latitude]
        EXPECT_EQ(xy[1].get<double>(), records[i].Gps_lat);
        EXPECT_LE(std::fabs(xy[0].get<double>()), 180.0);
        EXPECT_LE(std::fabs(xy[1].get<double>()), 90.0);
        EXPECT_EQ(f["properties"]["record"], i);
        EXPECT_EQ(f["properties"]["code"], std::string(records[i].encode_str, 10));
        EXPECT_EQ(csv[i + 1].rfind(std::to_string(i) + ",", 0), 0U);
        EXPECT_NE(csv[i + 1].find("," + std::string(records[i].encode_str, 10)), std::string::npos);
    }
}

TEST(Tool, VerifyNamesEveryDamageWithItsRecord) {
    const test::ScratchDir dir;
    test::write_file("list.txt", test::read_file(kSample));
    ASSERT_EQ(tool(dir, {"build", "list.txt", "-o", "good.bin"}).exit_status, 0);
    const auto sound = tool(dir, {"verify", "good.bin"});
    EXPECT_EQ(sound.exit_status, 0);
    EXPECT_EQ(sound.out, "good.bin: 298 records, 0 problems, 0 warnings: sound\n");
    const std::string good = test::read_file("good.bin");
    const auto at = [](std::size_t record, std::size_t offset) {
        return record * e_dog::kRecordSize + offset;
    };
    const auto put_double = [](std::string& b, std::size_t off, double v) {
        std::memcpy(&b[off], &v, sizeof v);  // the test host is little-endian, as the file
    };
    struct Damage {
        const char* name;
        std::function<void(std::string&)> apply;
        const char* expected;
        int status;
    };
    const Damage damages[] = {
        {"cut", [](std::string& b) { b.resize(b.size() - 3); },
         "is not a whole number of 56-byte records", 1},
        {"letter", [&](std::string& b) { b[at(5, e_dog::kOffCode + 3)] = 'a'; }, "record 5: code",
         1},
        {"tail", [&](std::string& b) { b[at(6, e_dog::kOffCode + 11)] = '1'; }, "record 6: code",
         1},
        {"moved", [&](std::string& b) { put_double(b, at(7, e_dog::kOffLat), 10.0); },
         "record 7: code", 1},
        {"order",
         [&](std::string& b) { std::swap_ranges(&b[at(8, 0)], &b[at(9, 0)], &b[at(9, 0)]); },
         "record 9: out of order", 1},
        {"nan", [&](std::string& b) { put_double(b, at(10, e_dog::kOffLng), NAN); },
         "record 10: position", 1},
        {"range", [&](std::string& b) { put_double(b, at(11, e_dog::kOffLat), 91.0); },
         "record 11: position 91,", 1},
        {"padding", [&](std::string& b) { b[at(12, 21)] = 1; },
         "record 12: warning: padding bytes not zero", 0},
        {"empty", [](std::string& b) { b.clear(); }, "holds no record", 1},
    };
    for (const Damage& d : damages) {
        std::string bytes = good;
        d.apply(bytes);
        test::write_file("bad.bin", bytes);
        const auto r = tool(dir, {"verify", "bad.bin"});
        EXPECT_EQ(r.exit_status, d.status) << d.name << "\n" << r.out;
        EXPECT_NE(r.out.find(d.expected), std::string::npos) << d.name << "\n" << r.out;
    }
}

TEST(Tool, LookupAnswersAsTheReferenceScan) {
    const test::ScratchDir dir;
    test::write_file("list.txt", test::read_file(kSample));
    ASSERT_EQ(tool(dir, {"build", "list.txt", "-o", "d.bin"}).exit_status, 0);
    const std::string bytes = test::read_file("d.bin");
    const auto records = e_dog::reference::decode_file(
        reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
    const std::pair<double, double> places[] = {{-2.1778, 50.683},
                                                {-2.1790, 50.6830},
                                                {39.9042, 116.4074},
                                                {0.0, 0.0},
                                                {22.5431, 114.0579}};
    for (const auto& [lat, lng] : places) {
        for (const double radius : {800.0, 3000.0}) {
            const std::string r = std::to_string(radius);
            const auto one = json_lines(tool(dir, {"lookup", "d.bin", std::to_string(lat),
                                                   std::to_string(lng), "--radius", r, "--json"})
                                            .out);
            const auto want = e_dog::reference::nearest(records, lat, lng, radius);
            ASSERT_EQ(one.size(), want.index < 0 ? 0U : 1U);
            if (want.index >= 0) {
                EXPECT_EQ(one[0]["record"], want.index);
                EXPECT_EQ(one[0]["distance_m"].get<double>(), want.distance_m);
                EXPECT_EQ(one[0]["idex"], records[static_cast<std::size_t>(want.index)].Idex);
            }
            const auto all = json_lines(tool(dir, {"lookup", "d.bin", std::to_string(lat),
                                                   std::to_string(lng), "-r", r, "--all", "--json"})
                                            .out);
            const auto every = e_dog::reference::within(records, lat, lng, radius);
            ASSERT_EQ(all.size(), every.size());
            for (std::size_t i = 0; i < all.size(); ++i) {
                EXPECT_EQ(all[i]["record"], every[i].index);
            }
        }
    }
}

TEST(Tool, DiffPairsRepeatedNumbersInOrder) {
    const test::ScratchDir dir;
    test::write_file("old.txt",
                     "1,10.0,10.0,1,50,1,0\n2,11.0,11.0,1,50,1,0\n2,12.0,12.0,1,50,1,0\n"
                     "3,13.0,13.0,1,50,1,0\n");
    test::write_file("new.txt",
                     "1,10.0,10.0,1,60,1,0\n2,11.0,11.0,1,50,1,0\n"
                     "4,14.0,14.0,1,50,1,0\n3,13.0,13.0,1,50,1,0\n");
    ASSERT_EQ(tool(dir, {"build", "old.txt", "-o", "old.bin"}).exit_status, 0);
    ASSERT_EQ(tool(dir, {"build", "new.txt", "-o", "new.bin"}).exit_status, 0);
    const auto same = tool(dir, {"diff", "old.bin", "old.bin"});
    EXPECT_EQ(same.exit_status, 0);
    EXPECT_EQ(same.out, "0 added, 0 removed, 0 changed\n");
    const auto r = tool(dir, {"diff", "old.bin", "new.bin"});
    EXPECT_EQ(r.exit_status, 1);
    const auto out = lines(r.out);
    ASSERT_EQ(out.size(), 4U) << r.out;
    EXPECT_EQ(out[0], "changed idex 1 (record 0 -> 0): speed 50 -> 60");
    EXPECT_EQ(out[1].rfind("added   idex 4 ", 0), 0U);
    EXPECT_EQ(out[2].rfind("removed idex 2 (record 2) at lat 12 lng 12 ", 0), 0U);
    EXPECT_EQ(out[3], "1 added, 1 removed, 1 changed");
}

TEST(Tool, FixesAndReplayOfTheSampleDrive) {
    const test::ScratchDir dir;
    test::write_file("list.txt", test::read_file(kSample));
    ASSERT_EQ(tool(dir, {"build", "list.txt", "-o", "d.bin"}).exit_status, 0);
    std::string log = test::read_file(kDrive);
    const std::size_t sentences = lines(log).size();
    log += "$GPRMC,garbage*00\r\nnot nmea\r\n$GPGSV,1,1,00*79\r\n";
    test::write_file("drive.nmea", log);

    const auto fixes = tool(dir, {"fixes", "drive.nmea", "--json"});
    EXPECT_EQ(fixes.exit_status, 0);
    const auto fix_lines = json_lines(fixes.out);
    ASSERT_EQ(fix_lines.size(), sentences / 2);  // an RMC and a GGA each second: one fix
    for (const json& f : fix_lines) {
        EXPECT_EQ(f["sentences"], "RMC+GGA");
        EXPECT_TRUE(f["lat"].is_number() && f["utc_s"].is_number() && f["valid"] == true);
        EXPECT_TRUE(f["course_deg"].is_number() && f["satellites"] == 8);
    }
    const auto refused = lines(fixes.err);
    ASSERT_EQ(refused.size(), 3U) << fixes.err;  // two refused lines and the summary
    EXPECT_EQ(refused[0].rfind("drive.nmea:" + std::to_string(sentences + 1) + ": ", 0), 0U);

    const auto replay = tool(dir, {"replay", "d.bin", "drive.nmea", "--json", "--svg", "d.svg"});
    EXPECT_EQ(replay.exit_status, 0) << replay.err;
    int warned = 0;
    int passed = 0;
    int over = 0;
    for (const json& e : json_lines(replay.out)) {
        warned += e["event"] == "warn" ? 1 : 0;
        passed += e["event"] == "passed" ? 1 : 0;
        over += e["event"] == "overspeed" ? 1 : 0;
        EXPECT_GT(e["speed_kmh"].get<int>(),
                  e["event"] == "overspeed" ? e["limit_kmh"].get<int>() : 0);
        EXPECT_LE(e["distance_m"].get<double>(), 800.0);
    }
    EXPECT_GT(warned, 3);
    EXPECT_EQ(passed, warned);  // every camera warned is passed, once
    EXPECT_GT(over, 0);
    EXPECT_EQ(test::read_file("d.svg").rfind("<svg", 0), 0U);
}

}  // namespace
