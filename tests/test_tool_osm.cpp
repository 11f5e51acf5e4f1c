// edog-tool import-osm as a process: the mapping over an extract with one
// case per rule (tests/osm_fixture.h), the same objects as XML, compressed
// XML and PBF giving the same files, inputs that are refused leaving the
// outputs as they were, camera numbers that stay when a node is added, and
// the list built and looked up, with a drive through its zone.
#include <cmath>
#include <cstdio>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/osm_fixture.h"
#include "tests/test_support.h"
#include "tests/tool_fixture.h"
#include <nlohmann/json.hpp>
#include <osmium/io/any_compression.hpp>
#include <osmium/io/pbf_output.hpp>
#include <osmium/io/reader.hpp>
#include <osmium/io/writer.hpp>
#include <osmium/io/xml_input.hpp>
#include <osmium/io/xml_output.hpp>

namespace {

using tool_test::tool;

// The XML file `from` written again as `to`, in the format its name says;
// a PBF file `sorted` says it is sorted by type and id, as extracts do.
void convert(const std::string& from, const std::string& to, bool sorted = false) {
    osmium::io::Reader reader{from};
    osmium::io::Header header = reader.header();
    header.set("generator", "test");
    if (sorted) {
        header.set("sorting", "Type_then_ID");
    }
    const bool lz4 = to.find(".lz4.") != std::string::npos;
    osmium::io::Writer writer{
        lz4 ? osmium::io::File{to, "pbf,pbf_compression=lz4"} : osmium::io::File{to}, header,
        osmium::io::overwrite::allow};
    while (osmium::memory::Buffer buffer = reader.read()) {
        writer(std::move(buffer));
    }
    writer.close();
    reader.close();
}

std::map<std::string, std::string> idex_by_node(const std::string& ids_tsv) {
    std::map<std::string, std::string> m;
    std::istringstream in(ids_tsv);
    std::string line;
    std::getline(in, line);  // header
    while (std::getline(in, line)) {
        std::istringstream f(line);
        std::string idex;
        std::string type;
        std::string id;
        f >> idex >> type >> id;
        m[id] = idex;
    }
    return m;
}

TEST(ToolOsm, EachTagRuleGivesItsLineAndTheSameFromEveryFormat) {
    const test::ScratchDir dir;
    test::write_file("w.osm", osm_test::extract());
    const auto r = tool(
        dir, {"import-osm", "w.osm", "-o", "l.txt", "--zones", "z.txt", "--ids", "ids.tsv", "-q"});
    ASSERT_EQ(r.exit_status, 0) << r.err;
    EXPECT_EQ(test::read_file("l.txt"), osm_test::kList);
    EXPECT_EQ(test::read_file("z.txt"), osm_test::kZones);
    EXPECT_EQ(r.err,
              "w.osm: left out relation 22: a device, from or to member that is no node\n"
              "w.osm: left out node 9999 of relation 21: member node not in the file\n"
              "w.osm: left out relation 22: no zone: an average-speed relation needs one from and "
              "one to member\n"
              "z.txt: 1 zones written\n"
              "w.osm: 51 nodes, 16 ways, 9 relations read in 3 passes\n"
              "l.txt: 23 cameras written (Type 1: 18, Type 2: 1, Type 3: 1, Type 4: 3)\n"
              "l.txt: direction from the direction tag 2, forward/backward on the road 2, the "
              "road's bearing 11, none 8 (DirType 0: warned only with warn_all_directions_type)\n"
              "l.txt: 15 without a limit (Speed 0), 1 unreadable directions, 3 objects left out, 0 "
              "outside --bbox, 0 Idex moved by a collision\n"
              "Data \xc2\xa9 OpenStreetMap contributors, under the Open Database License (ODbL): "
              "name them wherever this list, or a data file built from it, is shown or shared.\n");
    const std::string ids = test::read_file("ids.tsv");
    EXPECT_EQ(
        ids.substr(0, ids.find('\n', ids.find('\n') + 1) + 1),
        "idex\tosm_type\tosm_id\tversion\ttimestamp\n101\tnode\t101\t4\t2024-05-06T07:08:09Z\n");

    // The same objects in every format, whatever the file is called; a
    // sorted PBF is read block by block.
    for (const char* name :
         {"w.osm.pbf", "w.sorted.osm.pbf", "w.lz4.osm.pbf", "w.osm.gz", "w.osm.bz2"}) {
        convert(dir.path() + "/w.osm", dir.path() + "/" + name,
                std::string(name) == "w.sorted.osm.pbf");
        const std::string renamed = std::string(name) + ".data";
        ASSERT_EQ(
            std::rename((dir.path() + "/" + name).c_str(), (dir.path() + "/" + renamed).c_str()),
            0);
        const auto again =
            tool(dir, {"import-osm", renamed, "-o", "l2.txt", "--zones", "z2.txt", "-q"});
        ASSERT_EQ(again.exit_status, 0) << name << again.err;
        EXPECT_EQ(test::read_file("l2.txt"), osm_test::kList) << name;
        EXPECT_EQ(test::read_file("z2.txt"), osm_test::kZones) << name;
    }

    // --bbox: the southern camera and the western one are outside; so is
    // nothing of the zone.
    const auto boxed = tool(dir, {"import-osm", "w.osm", "-o", "l3.txt", "--bbox", "0,0,20,50"});
    ASSERT_EQ(boxed.exit_status, 0) << boxed.err;
    EXPECT_NE(boxed.err.find("2 outside --bbox"), std::string::npos) << boxed.err;
    EXPECT_EQ(test::read_file("l3.txt").find("1201,"), std::string::npos);
}

TEST(ToolOsm, BadInputIsRefusedAndTheOutputsStayAsTheyWere) {
    const test::ScratchDir dir;
    test::write_file("w.osm", osm_test::extract());
    convert(dir.path() + "/w.osm", dir.path() + "/w.osm.pbf", true);
    const std::string pbf = test::read_file("w.osm.pbf");
    test::write_file("cut.osm.pbf", pbf.substr(0, pbf.size() * 2 / 3));
    const std::string xml = osm_test::extract();
    test::write_file("cut.osm", xml.substr(0, xml.size() / 2));
    test::write_file("empty.osm", "");
    test::write_file("none.osm", osm_test::extract("<node id=\"1\" lat=\"1\" lon=\"1\"/>", "", ""));
    test::write_file("cams.txt", "1,-46.631037,-23.504273,1,70,3,27\n");
    struct Row {
        std::vector<std::string> args;
        int status;
        std::string says;
    };
    const std::vector<Row> rows = {
        {{"empty.osm"},
         1,
         "empty.osm: this looks like an empty file; expected an OpenStreetMap file"},
        {{"none.osm"},
         1,
         "none.osm: no camera found (1 nodes, 0 relations read); l.txt was not written"},
        {{"cut.osm.pbf"}, 1, "cut.osm.pbf: cannot be read as an OpenStreetMap file: "},
        {{"cut.osm"}, 1, "cut.osm: cannot be read as an OpenStreetMap file: "},
        {{"cams.txt"}, 1, "cams.txt: this looks like a camera list"},
        {{"missing.osm"}, 1, "missing.osm"},
        {{"w.osm", "--zones", "./l.txt"}, 1, "./l.txt: is also the output l.txt"},
        {{"w.osm", "--ids", "w.osm"}, 1, "w.osm: is also an input of this command"},
        {{"w.osm", "--bbox", "1,2,3"}, 2, "--bbox takes WEST,SOUTH,EAST,NORTH"},
        {{"w.osm", "--bbox", "0,50,20,40"}, 2, "--bbox SOUTH 50 is above NORTH 40"},
    };
    for (const Row& row : rows) {
        test::write_file("l.txt", "old list\n");
        std::vector<std::string> args = {"import-osm", "-o", "l.txt"};
        args.insert(args.begin() + 1, row.args.begin(), row.args.end());
        const auto r = tool(dir, args);
        EXPECT_EQ(r.exit_status, row.status) << row.args[0] << r.err;
        EXPECT_NE(r.err.find(row.says), std::string::npos) << row.args[0] << ": " << r.err;
        EXPECT_EQ(test::read_file("l.txt"), "old list\n") << row.args[0];
        EXPECT_EQ(test::read_file("w.osm"), xml);
    }
    EXPECT_EQ(test::temp_files(), std::vector<std::string>{});
}

TEST(ToolOsm, CameraNumbersStayWhenANodeIsAdded) {
    const test::ScratchDir dir;
    test::write_file("a.osm", osm_test::extract());
    // One camera more, whose id has the low 32 bits of camera 101's: the
    // older, lower id keeps 101, the new one takes the next free number.
    test::write_file(
        "b.osm", osm_test::extract(osm_test::kNodes +
                                       R"(<node id="4294967397" version="1" lat="40.3" lon="10">)"
                                       R"(<tag k="highway" v="speed_camera"/></node>)",
                                   osm_test::kWays, osm_test::kRelations));
    ASSERT_EQ(tool(dir, {"import-osm", "a.osm", "-o", "a.txt", "--ids", "a.tsv"}).exit_status, 0);
    const auto b = tool(dir, {"import-osm", "b.osm", "-o", "b.txt", "--ids", "b.tsv"});
    ASSERT_EQ(b.exit_status, 0);
    EXPECT_NE(b.err.find("1 Idex moved by a collision"), std::string::npos) << b.err;
    std::map<std::string, std::string> after = idex_by_node(test::read_file("b.tsv"));
    EXPECT_EQ(after["4294967397"], "102");
    after.erase("4294967397");
    EXPECT_EQ(after, idex_by_node(test::read_file("a.tsv")));
}

TEST(ToolOsm, TheListBuildsAndItsCamerasAndZoneAreFound) {
    const test::ScratchDir dir;
    test::write_file("w.osm", osm_test::extract());
    ASSERT_EQ(tool(dir, {"import-osm", "w.osm", "-o", "l.txt", "--zones", "z.txt"}).exit_status, 0);
    const auto built = tool(dir, {"build", "l.txt", "--zones", "z.txt", "-o", "c.bin", "-q"});
    ASSERT_EQ(built.exit_status, 0) << built.err;
    EXPECT_EQ(built.out,
              "z.txt: 1 zones, 0 lines refused\n"
              "c.bin: 23 cameras written, 0 lines refused, 0 cameras at a shared position\n");
    const auto found = tool(dir, {"lookup", "c.bin", "40.1699", "10", "--json"});
    EXPECT_EQ(nlohmann::json::parse(found.out)["idex"], 1701) << found.out;

    // North along the one-way trunk road at 108 km/h, through the zone
    // limited to 90: entered at node 1800, left at 1810.
    std::string drive;
    for (int s = 0; s <= 130; ++s) {
        const double lat = 40.99 + s * 30.0 / 111195.0;
        char body[128];
        (void)std::snprintf(body, sizeof body,
                            "GPRMC,%02d%02d%02d.00,A,%02d%07.4f,N,01000.0000,E,58.3,0.0,101226,,",
                            10, s / 60, s % 60, static_cast<int>(lat),
                            (lat - std::floor(lat)) * 60.0);
        drive += test::nmea_sentence(body) + "\n";
    }
    test::write_file("drive.nmea", drive);
    const auto replay = tool(dir, {"replay", "c.bin", "drive.nmea", "--json"});
    ASSERT_EQ(replay.exit_status, 0) << replay.err;
    std::vector<std::string> zone_events;
    std::istringstream lines(replay.out);
    for (std::string line; std::getline(lines, line);) {
        const auto j = nlohmann::json::parse(line);
        if (j["event"].get<std::string>().rfind("zone_", 0) == 0) {
            zone_events.push_back(j["event"].get<std::string>() + " " +
                                  std::to_string(j["zone"].get<int>()));
        }
    }
    EXPECT_EQ(zone_events,
              (std::vector<std::string>{"zone_enter 18", "zone_overspeed 18", "zone_exit 18"}))
        << replay.out;
}

}  // namespace
