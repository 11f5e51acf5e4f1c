// Zones stored with a data file by edog-tool build --zones: the zones list's
// refused lines, the zones file beside the data file (the data file itself
// unchanged), what the handle, info, verify, dump and diff make of it, and a
// zones file that no longer belongs to its data file.
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "edog/e_dog_db.h"
#include "edog/e_dog_zones.h"
#include "tests/test_support.h"
#include "tests/tool_fixture.h"
#include <nlohmann/json.hpp>

namespace {

using tool_test::kSample;
using tool_test::tool;

TEST(ToolZones, StoredBesideTheDataFileAndCheckedAgainstIt) {
    const test::ScratchDir dir;
    test::write_file("list.txt", test::read_file(kSample));
    test::write_file("zones.txt",
                     "\xEF\xBB\xBF"
                     "1,86,74,90\r\n"
                     "2,74,86\r\n"
                     "# both ways\n"
                     "ZoneId,EntryIdex,ExitIdex,Speed\n"
                     "3,86,86\n"
                     "4,9999,86\n"
                     "1,16,24\n"
                     "5,16\n"
                     "6,16,24,0\n"
                     "7,16,24,90,1\n"
                     "0,16,24\n");
    ASSERT_EQ(tool(dir, {"build", "list.txt", "-o", "plain.bin"}).exit_status, 0);
    const auto built = tool(dir, {"build", "list.txt", "--zones", "zones.txt", "-o", "c.bin"});
    ASSERT_EQ(built.exit_status, 0) << built.err;
    EXPECT_EQ(built.out,
              "zones.txt:3: comment\n"
              "zones.txt:4: header line\n"
              "zones.txt:5: entry and exit are the same camera\n"
              "zones.txt:6: camera 9999 is not in the list\n"
              "zones.txt:7: zone number 1 already on line 1\n"
              "zones.txt:8: missing fields (2 of 3)\n"
              "zones.txt:9: Speed not a whole number from 1 to 500 (km/h)\n"
              "zones.txt:10: too many fields (5; 3 or 4)\n"
              "zones.txt:11: zone number not a whole number from 1 to 4294967295\n"
              "zones.txt: 2 zones, 9 lines refused\n"
              "c.bin: 298 cameras written, 0 lines refused, 0 cameras at a shared position\n");
    // The data file is the one built without zones, byte for byte.
    EXPECT_EQ(test::read_file("c.bin"), test::read_file("plain.bin"));
    EXPECT_FALSE(test::file_exists("plain.bin.zones"));

    int error = -1;
    E_DOG_DB* db = e_dog_db_open((dir.path() + "/c.bin").c_str(), &error);
    ASSERT_NE(db, nullptr);
    EXPECT_EQ(e_dog_db_zones_state(db), EDOG_ZONES_LOADED);
    ASSERT_EQ(e_dog_db_zone_count(db), 2);
    EDOG_ZONE z{};
    ASSERT_EQ(e_dog_db_zone(db, 1, &z), 1);
    EXPECT_EQ(z.zone_id, 2);
    EXPECT_EQ(z.entry.Idex, 74);
    EXPECT_EQ(z.exit.Idex, 86);
    EXPECT_EQ(z.speed_kmh, z.entry.Speed);  // none given: the entry camera's
    EXPECT_NEAR(z.length_m, 1091.6, 0.1);
    EXPECT_EQ(e_dog_db_zone(db, 2, &z), 0);
    e_dog_db_close(db);

    EXPECT_EQ(tool(dir, {"dump", "c.bin", "--zones"}).out, "1,86,74,90\n2,74,86,70\n");
    EXPECT_NE(tool(dir, {"info", "c.bin"}).out.find("zones     2 (c.bin.zones)"),
              std::string::npos);
    const auto sound = tool(dir, {"verify", "c.bin"});
    EXPECT_EQ(sound.exit_status, 0);
    EXPECT_NE(sound.out.find("c.bin.zones: 2 zones, 0 problems"), std::string::npos);
    const auto diff = tool(dir, {"diff", "plain.bin", "c.bin"});
    EXPECT_EQ(diff.exit_status, 1);
    EXPECT_NE(diff.out.find("zones: 2 added, 0 removed, 0 changed"), std::string::npos);

    // The sample drive passes camera 86 and then 74 at 90 km/h: zone 1 is
    // driven, zone 2 (the other way) is not.
    test::write_file("drive.nmea", test::read_file(tool_test::kDrive));
    const auto replay = tool(dir, {"replay", "c.bin", "drive.nmea", "--json"});
    ASSERT_EQ(replay.exit_status, 0) << replay.err;
    std::vector<nlohmann::json> zone_lines;
    std::istringstream in(replay.out);
    for (std::string line; std::getline(in, line);) {
        const auto j = nlohmann::json::parse(line);
        if (j["event"].get<std::string>().rfind("zone_", 0) == 0) {
            zone_lines.push_back(j);
        }
    }
    ASSERT_EQ(zone_lines.size(), 2U) << replay.out;
    EXPECT_EQ(zone_lines[0]["event"], "zone_enter");
    EXPECT_EQ(zone_lines[1]["event"], "zone_exit");
    for (const auto& j : zone_lines) {
        EXPECT_EQ(j["zone"], 1);
        EXPECT_EQ(j["limit_kmh"], 90);
        for (const char* key : {"line", "utc_s", "lat", "lng", "speed_kmh", "average_kmh",
                                "elapsed_s", "driven_m", "remaining_m"}) {
            EXPECT_TRUE(j.contains(key)) << key;
        }
    }
    EXPECT_EQ(zone_lines[0]["average_kmh"], 0.0);
    EXPECT_NEAR(zone_lines[1]["average_kmh"].get<double>(), 90.0, 0.5);
    EXPECT_NE(replay.err.find("drive.nmea: zones: 1 entered, 0 over-speed, 1 exited, 0 left"),
              std::string::npos)
        << replay.err;

    // The same drive moved to 23:59:00 on 9 December 2026: the zone is
    // driven across midnight, and its time still counts from the fixes'
    // dates and times.
    std::string late;
    std::istringstream drive(test::read_file(tool_test::kDrive));
    for (std::string line; std::getline(drive, line);) {
        std::vector<std::string> f;
        std::istringstream fields(line.substr(1, line.find('*') - 1));
        for (std::string field; std::getline(fields, field, ',');) {
            f.push_back(field);
        }
        const int t = std::stoi(f[1].substr(0, 2)) * 3600 + std::stoi(f[1].substr(2, 2)) * 60 +
                      std::stoi(f[1].substr(4, 2)) - 8 * 3600 + 86340;
        char hhmmss[16];
        (void)std::snprintf(hhmmss, sizeof hhmmss, "%02d%02d%02d.00", t / 3600 % 24, t / 60 % 60,
                            t % 60);
        f[1] = hhmmss;
        if (f[0] == "GPRMC") {
            f[9] = t >= 86400 ? "101226" : "091226";
        }
        std::string body = f[0];
        for (std::size_t i = 1; i < f.size(); ++i) {
            body += "," + f[i];
        }
        late += test::nmea_sentence(body) + "\n";
    }
    test::write_file("late.nmea", late);
    const auto midnight = tool(dir, {"replay", "c.bin", "late.nmea", "--json"});
    const std::size_t exit_at = midnight.out.find("\"event\":\"zone_exit\"");
    ASSERT_NE(exit_at, std::string::npos) << midnight.out << midnight.err;
    const std::size_t line_start = midnight.out.rfind('\n', exit_at) + 1;
    const auto exit_line = nlohmann::json::parse(
        midnight.out.substr(line_start, midnight.out.find('\n', exit_at) - line_start));
    EXPECT_LT(exit_line["utc_s"].get<double>(), 120.0);  // after midnight
    EXPECT_NEAR(exit_line["average_kmh"].get<double>(), 90.0, 0.5);
    EXPECT_NEAR(exit_line["elapsed_s"].get<double>(), zone_lines[1]["elapsed_s"].get<double>(),
                0.01);

    // Another list under the same name: the zones file is stale; a flipped
    // byte makes it damaged. Either way no zone is used, and verify says so.
    const std::string zones = test::read_file("c.bin.zones");
    std::string other = test::read_file("list.txt");
    other += "999,10,10,1,50,1,0\n";
    test::write_file("list.txt", other);
    ASSERT_EQ(tool(dir, {"build", "list.txt", "-o", "c.bin"}).exit_status, 0);
    EXPECT_EQ(test::read_file("c.bin.zones"), zones);
    std::string flipped = zones;
    flipped[40] = static_cast<char>(flipped[40] ^ 1);
    for (const auto& [bytes, state, says] :
         {std::tuple{zones, EDOG_ZONES_STALE, "stale"},
          std::tuple{flipped, EDOG_ZONES_DAMAGED, "damaged: checksum does not match"}}) {
        test::write_file("c.bin.zones", bytes);
        db = e_dog_db_open((dir.path() + "/c.bin").c_str(), &error);
        ASSERT_NE(db, nullptr);
        EXPECT_EQ(e_dog_db_zones_state(db), state);
        EXPECT_EQ(e_dog_db_zone_count(db), 0);
        e_dog_db_close(db);
        const auto v = tool(dir, {"verify", "c.bin"});
        EXPECT_EQ(v.exit_status, 1);
        EXPECT_NE(v.out.find(std::string("c.bin.zones: ") + says), std::string::npos) << v.out;
    }
}

}  // namespace
