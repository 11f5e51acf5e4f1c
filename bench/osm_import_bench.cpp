// edog-tool import-osm against a general OpenStreetMap tool extracting the
// same objects from the same file: `osmium tags-filter` (Debian osmium-tool)
// keeping the camera nodes and the enforcement relations with the nodes
// they name, as a list keeper would run it. The file is generated once with
// libosmium: a PBF sorted by type and id, with metadata, of NODES nodes on
// NODES / 10 roads of 10 nodes, one node in 1,000 a camera, and
// relations: enforcement ones (maxspeed, traffic_signals and average_speed
// with untagged from and to nodes) and 50 times as many others (routes).
// Runs alternate, each in a child process; medians of wall time and peak
// resident memory.
//
//   osm_import_bench [NODES [RUNS [DIR]]]   defaults: 10000000 5 ./osm-import-bench-work
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "bench/child_run.h"
#include "bench/list_gen.h"
#include "tool/commands.h"
#include <osmium/builder/attr.hpp>
#include <osmium/io/pbf_output.hpp>
#include <osmium/io/writer.hpp>

namespace {

using namespace osmium::builder::attr;  // NOLINT(google-build-using-namespace)

constexpr std::int64_t kWayNodes = 10;
constexpr std::int64_t kCameraEvery = 1000;
constexpr std::size_t kFlushBytes = std::size_t{8} << 20;

struct Generator {
    osmium::io::Writer& out;
    osmium::memory::Buffer buffer{kFlushBytes * 2, osmium::memory::Buffer::auto_grow::yes};
    std::mt19937_64 rng{2026};

    void flush_if_full() {
        if (buffer.committed() > kFlushBytes) {
            out(std::move(buffer));
            buffer =
                osmium::memory::Buffer{kFlushBytes * 2, osmium::memory::Buffer::auto_grow::yes};
        }
    }
    double uniform(double lo, double hi) {
        return std::uniform_real_distribution<double>(lo, hi)(rng);
    }
};

osmium::changeset_id_type changeset(std::int64_t v) {
    return static_cast<osmium::changeset_id_type>(v);
}

// The node `id` is a camera.
bool camera(std::int64_t id) {
    return id % kCameraEvery == 5;
}

void write_file(const std::string& path, std::int64_t nodes) {
    osmium::io::Header header;
    header.set("generator", "osm_import_bench");
    header.set("sorting", "Type_then_ID");
    osmium::io::Writer writer{osmium::io::File{path, "pbf"}, header, osmium::io::overwrite::allow};
    Generator g{writer};
    const osmium::Timestamp when{"2025-06-01T12:00:00Z"};
    const char* directions[] = {"90", "forward", "backward", "NE", "both"};
    std::int64_t id = 1;
    for (std::int64_t road = 0; road < nodes / kWayNodes; ++road) {
        double lat = g.uniform(47.0, 55.0);
        double lng = g.uniform(6.0, 15.0);
        const double dlat = g.uniform(-0.001, 0.001);
        const double dlng = g.uniform(-0.001, 0.001);
        for (std::int64_t k = 0; k < kWayNodes; ++k, ++id, lat += dlat, lng += dlng) {
            if (camera(id)) {
                osmium::builder::add_node(g.buffer, _id(id), _version(3), _timestamp(when),
                                          _cid(changeset(id / 7)), _uid(42), _user("mapper"),
                                          _location(lng, lat), _tag("highway", "speed_camera"),
                                          _tag("maxspeed", id % 3 == 0 ? "50" : "80"),
                                          _tag("direction", directions[(id / kCameraEvery) % 5]));
            } else if (id % 200 == 0) {
                osmium::builder::add_node(g.buffer, _id(id), _version(2), _timestamp(when),
                                          _cid(changeset(id / 7)), _uid(7), _user("other"),
                                          _location(lng, lat), _tag("amenity", "bench"));
            } else {
                osmium::builder::add_node(g.buffer, _id(id), _version(1), _timestamp(when),
                                          _cid(changeset(id / 7)), _uid(7), _user("other"),
                                          _location(lng, lat));
            }
            g.flush_if_full();
        }
    }
    for (std::int64_t road = 0; road < nodes / kWayNodes; ++road) {
        std::vector<osmium::object_id_type> refs;
        for (std::int64_t k = 1; k <= kWayNodes; ++k) {
            refs.push_back(road * kWayNodes + k);
        }
        osmium::builder::add_way(g.buffer, _id(road + 1), _version(1), _timestamp(when),
                                 _cid(changeset(road)), _uid(7), _user("other"), _nodes(refs),
                                 _tag("highway", road % 4 == 0 ? "primary" : "residential"),
                                 _tag("maxspeed", road % 2 == 0 ? "50" : "30"),
                                 _tag("oneway", road % 10 == 0 ? "yes" : "no"));
        g.flush_if_full();
    }
    // Enforcement relations for the cameras, by kind; from and to of an
    // average-speed section are the road's first and last nodes.
    std::int64_t rel = 1;
    const char* kinds[] = {"maxspeed", "maxspeed", "traffic_signals", "average_speed"};
    for (std::int64_t cam = 5; cam <= nodes; cam += kCameraEvery, ++rel) {
        const char* kind = kinds[rel % 4];
        const std::int64_t road_start = (cam - 1) / kWayNodes * kWayNodes;
        if (rel % 4 == 3) {
            osmium::builder::add_relation(
                g.buffer, _id(rel), _version(1), _timestamp(when), _cid(changeset(rel)), _uid(42),
                _user("mapper"), _member(osmium::item_type::node, road_start + 1, "from"),
                _member(osmium::item_type::node, cam, "device"),
                _member(osmium::item_type::node, road_start + kWayNodes, "to"),
                _tag("type", "enforcement"), _tag("enforcement", kind), _tag("maxspeed", "100"));
        } else {
            osmium::builder::add_relation(g.buffer, _id(rel), _version(1), _timestamp(when),
                                          _cid(changeset(rel)), _uid(42), _user("mapper"),
                                          _member(osmium::item_type::node, cam, "device"),
                                          _tag("type", "enforcement"), _tag("enforcement", kind));
        }
        g.flush_if_full();
    }
    const std::int64_t others = (nodes / kCameraEvery) * 50;
    for (std::int64_t r = 0; r < others; ++r, ++rel) {
        const std::int64_t first = r * 3 % (nodes / kWayNodes) + 1;
        osmium::builder::add_relation(g.buffer, _id(rel), _version(1), _timestamp(when),
                                      _cid(changeset(rel)), _uid(7), _user("other"),
                                      _member(osmium::item_type::way, first, ""),
                                      _member(osmium::item_type::way, first + 1, ""),
                                      _tag("type", "route"), _tag("route", "bus"));
        g.flush_if_full();
    }
    writer(std::move(g.buffer));
    writer.close();
}

struct Job {
    const char* name;
    std::function<int()> work;
    std::vector<double> wall;
    std::vector<double> rss_mb;
    int worst_status = 0;
};

}  // namespace

int main(int argc, char* argv[]) {
    const std::int64_t nodes = argc > 1 ? std::atoll(argv[1]) : 10'000'000;
    const int runs = argc > 2 ? std::atoi(argv[2]) : 5;
    const std::string work = argc > 3 ? argv[3] : bench::work_dir(argv[0], "osm-import-bench-work");
    ::mkdir(work.c_str(), 0755);
    const std::string file = "extract-" + std::to_string(nodes) + ".osm.pbf";
    struct stat st {};
    if (::stat((work + "/" + file).c_str(), &st) != 0) {
        // Written by a child: libosmium's thread pool must not be running in
        // this process when it forks the runs below.
        std::fprintf(stderr, "writing %s\n", file.c_str());
        const bench::Sample s = bench::run_in_child(work, [&] {
            write_file(file + ".part", nodes);
            return std::rename((file + ".part").c_str(), file.c_str()) == 0 ? 0 : 1;
        });
        if (s.status != 0 || ::stat((work + "/" + file).c_str(), &st) != 0) {
            std::fprintf(stderr, "cannot write %s in %s\n", file.c_str(), work.c_str());
            return 1;
        }
    }
    edog_tool::ImportOsmOptions import;
    import.input = file;
    import.output = "cams.txt";
    import.zones = "zones.txt";
    import.quiet = true;
    edog_tool::ImportOsmOptions with_ids = import;
    with_ids.ids = "ids.tsv";  // every object's version and timestamp read too
    std::vector<Job> jobs = {
        {"import-osm", [&] { return edog_tool::run_import_osm(import); }, {}, {}, 0},
        {"import-osm --ids", [&] { return edog_tool::run_import_osm(with_ids); }, {}, {}, 0},
        {"osmium tags-filter",
         [&] {
             // The peer's own tuning: no progress display, an uncompressed
             // PBF (its output is small), the same file.
             ::execlp("osmium", "osmium", "tags-filter", file.c_str(), "n/highway=speed_camera",
                      "r/type=enforcement", "-o", "peer.osm.pbf", "-f", "pbf,pbf_compression=none",
                      "--overwrite", "--no-progress", static_cast<char*>(nullptr));
             return 127;
         },
         {},
         {},
         0},
    };
    for (int r = 0; r < runs; ++r) {
        for (Job& job : jobs) {
            const bench::Sample s = bench::run_in_child(work, job.work);
            job.wall.push_back(s.seconds);
            job.rss_mb.push_back(static_cast<double>(s.max_rss_kb) / 1000.0);
            job.worst_status = std::max(job.worst_status, s.status);
        }
    }
    std::printf("%lld nodes, %lld ways, file %.1f MB, runs: %d\n", static_cast<long long>(nodes),
                static_cast<long long>(nodes / kWayNodes), static_cast<double>(st.st_size) / 1e6,
                runs);
    std::printf("%-20s %10s %12s %14s %7s\n", "", "wall s", "peak RSS MB", "wall / peer", "status");
    const double peer = bench::median(jobs.back().wall);
    for (const Job& job : jobs) {
        std::printf("%-20s %10.3f %12.1f %14.2f %7d\n", job.name, bench::median(job.wall),
                    bench::median(job.rss_mb), bench::median(job.wall) / peer, job.worst_status);
    }
    return 0;
}
