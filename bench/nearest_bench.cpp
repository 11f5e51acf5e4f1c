// The exact nearest-camera search against the two searches of the lookup
// run, a brute-force scan, a tuned uniform grid and an R-tree, on the same
// data files of 1,000,000 cameras (clustered around cities, and uniform) and
// the same positions. Four workloads per file: positions near random
// cameras, drives at one fix a second in drive order and shuffled, and
// positions uniform on the globe. The three exact searches are checked
// against the exact answer on every position and timed interleaved on the
// thread's CPU clock; a table shows the grid's cell size tuned on every
// workload. Ends with one table of the three exact searches over every
// workload.
//
//   nearest_bench [COUNT [QUERIES [RUNS [DIR]]]]
//
// QUERIES is the number of positions, of drive fixes and of globe positions.
// The searches' own lines go to /dev/null; the report goes to standard
// error.

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "bench/file_records.h"
#include "bench/grid_peer.h"
#include "bench/interleave.h"
#include "bench/lookup_data.h"
#include "bench/rtree_peer.h"
#include "edog/datafile/e_dog_record.h"
#include "edog/e_dog_internal.h"
#include "edog/e_dog_source_date.h"
#include "edog/lookup/lookup.h"
#include "edog/reference/reference_scan.h"
#include "edog/search/e_dog_answer.h"
#include "edog/search/nearest_bounds.h"
#include "edog/search/search_trace.h"
#include "geo/distance.h"
#include "geo/geohash.h"

namespace {

using bench::Position;

constexpr double kRadius = 800.0;
// The grid's cell sizes tried, in degrees; the peer is the one at kGridCell,
// the fastest over the workloads on both files.
constexpr std::array<double, 5> kGridCells = {0.01, 0.02, 0.03, 0.05, 0.1};
constexpr std::size_t kGridCell = 2;

// The answer by definition; `every_record` measures every record, as the
// brute-force row times it, else records out of reach in latitude alone are
// passed over.
long exact_answer(const std::vector<E_DOG_DATA>& cams, const Position& q, bool every_record) {
    return e_dog::reference::nearest(cams, q.lat, q.lng, kRadius, !every_record).index;
}

// Resident anonymous memory (the heap: key array, R-tree) in KB; the data
// file's mapped pages count as file memory and are left out.
long resident_kb() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("RssAnon:", 0) == 0) {
            return std::strtol(line.c_str() + 8, nullptr, 10);
        }
    }
    return 0;
}

// Index of the record a search returned (cameras have Idex equal to their
// position before sorting, so it is looked up), or -1.
struct AnswerIndex {
    std::vector<long> by_idex;
    long operator()(const E_DOG_LCD& lcd, const E_DOG_DATA& rec) const {
        if (lcd.result != 0 || rec.Idex < 0 ||
            static_cast<std::size_t>(rec.Idex) >= by_idex.size()) {
            return -1;
        }
        return by_idex[static_cast<std::size_t>(rec.Idex)];
    }
};

struct Tally {
    std::size_t other = 0;   // answered with another camera than the exact answer
    std::size_t missed = 0;  // answered none where there is one
};

void tally(Tally& t, long got, long want) {
    if (got == want) {
        return;
    }
    if (got < 0) {
        ++t.missed;
    } else {
        ++t.other;
    }
}

// One line of the closing table: the three exact searches on one workload.
struct Summary {
    std::string workload;
    std::size_t answered;
    double nearest;
    double grid;
    double grid_record;  // the grid, reading the record of its answer as the search does
    double rtree;
    std::size_t wrong;           // answers of any of the three that differ from the exact one
    std::vector<double> tuning;  // the grid's rate at each of kGridCells
};

constexpr std::size_t kFixesPerDrive = 200;

double seconds_since(std::chrono::steady_clock::time_point t0) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

// The peers built beside the search's keys on one file, and what building
// each took.
struct Peers {
    std::unique_ptr<bench::RTreePeer> tree;
    std::vector<std::unique_ptr<bench::GridPeer>> grids;  // one per kGridCells
    double key_build_s = 0.0;
    double tree_build_s = 0.0;
    double grid_build_s = 0.0;
    long keys_kb = 0;
    long tree_kb = 0;

    [[nodiscard]] const bench::GridPeer& grid() const { return *grids[kGridCell]; }
};

Peers build_peers(const std::vector<E_DOG_DATA>& cams, const Position& first) {
    Peers p;
    // The first search builds the key array.
    const long rss_before_keys = resident_kb();
    auto t0 = std::chrono::steady_clock::now();
    E_DOG_LCD warm{};
    (void)e_dog_search_nearest(first.lat, first.lng, kRadius, &warm);
    p.key_build_s = seconds_since(t0);
    p.keys_kb = resident_kb() - rss_before_keys;

    const long rss_before_tree = resident_kb();
    t0 = std::chrono::steady_clock::now();
    p.tree = std::make_unique<bench::RTreePeer>(cams);
    p.tree_build_s = seconds_since(t0);
    p.tree_kb = resident_kb() - rss_before_tree;

    for (std::size_t g = 0; g < kGridCells.size(); ++g) {
        t0 = std::chrono::steady_clock::now();
        p.grids.push_back(std::make_unique<bench::GridPeer>(cams, kGridCells[g]));
        if (g == kGridCell) {
            p.grid_build_s = seconds_since(t0);
        }
    }
    return p;
}

// The searches of the lookup run and brute force, on the positions only.
struct LookupRun {
    Tally bucket_t;
    Tally bisect_t;
    double bucket = 0.0;
    double bisect = 0.0;
    double brute = 0.0;
};

LookupRun time_lookup_run(const std::vector<E_DOG_DATA>& cams, const std::vector<Position>& queries,
                          int runs, const AnswerIndex& index_of) {
    const int size = static_cast<int>(e_dog_list_size);
    LookupRun l;
    for (const Position& q : queries) {
        const long want = exact_answer(cams, q, false);
        E_DOG_LCD lcd{};
        const char* code = geohash_encode(q.lat, q.lng, e_dog::kCodePrecision);
        E_DOG_DATA r =
            e_dog_search_by_info_file(q.lat, q.lng, QueueSearch(q_header, code), size, &lcd);
        tally(l.bucket_t, index_of(lcd, r), want);
        r = e_dog_binary_search_by_file(q.lng, q.lat, size, &lcd);
        tally(l.bisect_t, index_of(lcd, r), want);
    }
    l.bucket = bench::median_rate(queries, runs, [size](const Position& q) {
        E_DOG_LCD lcd{};
        const char* code = geohash_encode(q.lat, q.lng, e_dog::kCodePrecision);
        (void)e_dog_search_by_info_file(q.lat, q.lng, QueueSearch(q_header, code), size, &lcd);
    });
    l.bisect = bench::median_rate(queries, runs, [size](const Position& q) {
        E_DOG_LCD lcd{};
        (void)e_dog_binary_search_by_file(q.lng, q.lat, size, &lcd);
    });
    const std::vector<Position> few(queries.begin(), queries.begin() + 10);
    l.brute = bench::median_rate(few, std::min(runs, 3),
                                 [&](const Position& q) { (void)exact_answer(cams, q, true); });
    return l;
}

void print_row(const char* workload, const char* label, double rate, double grid_rate,
               const Tally* t) {
    if (t != nullptr) {
        std::fprintf(stderr, "%-16s %-44s %12.0f %8.2fx %9zu %9zu\n", workload, label, rate,
                     rate / grid_rate, t->other, t->missed);
    } else {
        std::fprintf(stderr, "%-16s %-44s %12.1f %8.5fx %9s %9s\n", workload, label, rate,
                     rate / grid_rate, "-", "-");
    }
}

// One file's cameras, peers and answers by record.
struct FileBench {
    const char* name;
    const std::vector<E_DOG_DATA>& cams;
    const Peers& peers;
    const bench::FileRecords& records;
    const AnswerIndex& index_of;
    int runs;
};

// The grid at every cell size on one workload, interleaved.
std::vector<double> grid_tuning(const FileBench& f, const std::vector<Position>& where) {
    std::vector<bench::PositionSearch> grids;
    for (const auto& g : f.peers.grids) {
        grids.emplace_back([&g](const Position& q) { (void)g->nearest(q.lat, q.lng, kRadius); });
    }
    return bench::interleaved_rates(where, f.runs, grids);
}

// The three exact searches on one workload, checked and timed interleaved;
// the lookup run's rows before them on the positions.
void bench_workload(const FileBench& f, const char* workload, const std::vector<Position>& where,
                    const LookupRun* lookup, std::vector<Summary>& summary) {
    Tally nearest_t;
    Tally grid_t;
    Tally rtree_t;
    std::size_t answered = 0;
    const bench::GridPeer& grid = f.peers.grid();
    const bench::RTreePeer& tree = *f.peers.tree;
    for (const Position& q : where) {
        const long want = exact_answer(f.cams, q, false);
        answered += want >= 0 ? 1U : 0U;
        E_DOG_LCD lcd{};
        const E_DOG_DATA r = e_dog_search_nearest(q.lat, q.lng, kRadius, &lcd);
        tally(nearest_t, f.index_of(lcd, r), want);
        tally(grid_t, grid.nearest(q.lat, q.lng, kRadius), want);
        tally(rtree_t, tree.nearest(q.lat, q.lng, kRadius), want);
    }
    const std::vector<bench::PositionSearch> searches = {
        [](const Position& q) {
            E_DOG_LCD lcd{};
            (void)e_dog_search_nearest(q.lat, q.lng, kRadius, &lcd);
        },
        [&](const Position& q) { (void)grid.nearest(q.lat, q.lng, kRadius); },
        [&](const Position& q) { (void)tree.nearest(q.lat, q.lng, kRadius); },
        [&](const Position& q) {
            // decode_record lies in another unit: the copy is made.
            if (const long i = grid.nearest(q.lat, q.lng, kRadius); i >= 0) {
                (void)f.records.record(i);
            }
        }};
    const std::vector<double> rates = bench::interleaved_rates(where, f.runs, searches);
    if (lookup != nullptr) {
        print_row(workload, "QueueSearch + e_dog_search_by_info_file", lookup->bucket, rates[1],
                  &lookup->bucket_t);
        print_row(workload, "e_dog_binary_search_by_file", lookup->bisect, rates[1],
                  &lookup->bisect_t);
        print_row(workload, "brute force, every record (10 positions)", lookup->brute, rates[1],
                  nullptr);
    }
    print_row(workload, "e_dog_search_nearest", rates[0], rates[1], &nearest_t);
    print_row(workload, "uniform grid, 0.03-degree cells, bitmap", rates[1], rates[1], &grid_t);
    print_row(workload, "Boost R*-tree (rstar<16>, packed), radians", rates[2], rates[1], &rtree_t);
    print_row(workload, "the grid, then its answer's record", rates[3], rates[1], &grid_t);
    summary.push_back({std::string(f.name) + " " + workload, answered, rates[0], rates[1], rates[3],
                       rates[2],
                       nearest_t.other + nearest_t.missed + grid_t.other + grid_t.missed +
                           rtree_t.other + rtree_t.missed,
                       grid_tuning(f, where)});
}

void print_memory(const Peers& p, std::size_t count) {
    std::fprintf(
        stderr,
        "search index %.2f bytes/camera (%zu bytes; heap +%ld KB, built in %.3f s); "
        "R-tree heap +%ld KB (%.1f bytes/camera), built in %.3f s; grid %.1f "
        "bytes/camera, built in %.3f s\n",
        static_cast<double>(e_dog::nearest_index_bytes()) / static_cast<double>(count),
        e_dog::nearest_index_bytes(), p.keys_kb, p.key_build_s, p.tree_kb,
        static_cast<double>(p.tree_kb) * 1024.0 / static_cast<double>(count), p.tree_build_s,
        static_cast<double>(p.grid().memory()) / static_cast<double>(count), p.grid_build_s);
}

// Every workload on one file (clustered or uniform).
bool bench_file(const bench::Args& args, bool clustered, std::vector<Summary>& summary) {
    bench::LookupFile file;
    if (!bench::open_lookup_file(args, clustered, file)) {
        return false;
    }
    const std::vector<E_DOG_DATA>& cams = file.cams;
    AnswerIndex index_of;
    index_of.by_idex.assign(cams.size(), -1);
    for (std::size_t i = 0; i < cams.size(); ++i) {
        index_of.by_idex[static_cast<std::size_t>(cams[i].Idex)] = static_cast<long>(i);
    }
    std::mt19937_64 rng(clustered ? 12 : 11);
    const std::vector<Position> drive = bench::make_drives(cams, args.queries, kFixesPerDrive, rng);
    std::vector<Position> shuffled = drive;
    std::shuffle(shuffled.begin(), shuffled.end(), rng);
    const std::vector<Position> globe = bench::make_globe_positions(args.queries, rng);

    const Peers peers = build_peers(cams, file.queries[0]);
    const LookupRun lookup = time_lookup_run(cams, file.queries, args.runs, index_of);
    const bench::FileRecords records(e_dog_datafile);
    const FileBench f{
        clustered ? "clustered" : "uniform", cams, peers, records, index_of, args.runs};
    std::fprintf(stderr, "\n%s file\n", f.name);
    std::fprintf(stderr, "%-16s %-44s %12s %9s %9s %9s\n", "workload", "search", "queries/s",
                 "vs grid", "other cam", "missed");
    bench_workload(f, "positions", file.queries, &lookup, summary);
    bench_workload(f, "drive", drive, nullptr, summary);
    bench_workload(f, "drive shuffled", shuffled, nullptr, summary);
    bench_workload(f, "globe", globe, nullptr, summary);
    print_memory(peers, args.count);
    return true;
}

}  // namespace

int main(int argc, char* argv[]) {
    bench::Args args;
    if (!bench::prepare(argc, argv, "nearest-bench-work", args)) {
        return 1;
    }
    std::fprintf(stderr,
                 "cameras: %zu, positions, drive fixes and globe positions: %zu each (drives of "
                 "%zu s at 50-130 km/h), runs: %d interleaved, radius %.0f m (median of runs, "
                 "thread CPU time)\n",
                 args.count, args.queries, kFixesPerDrive, args.runs, kRadius);
    std::vector<Summary> summary;
    for (const bool clustered : {true, false}) {
        if (!bench_file(args, clustered, summary)) {
            return 1;
        }
    }
    std::fprintf(stderr, "\n%-26s %9s %12s %12s %12s %8s %8s %10s %6s\n", "workload", "answered",
                 "nearest q/s", "grid q/s", "R-tree q/s", "/grid", "/R-tree", "/grid+rec", "wrong");
    for (const Summary& s : summary) {
        std::fprintf(stderr, "%-26s %9zu %12.0f %12.0f %12.0f %7.2fx %7.2fx %9.2fx %6zu\n",
                     s.workload.c_str(), s.answered, s.nearest, s.grid, s.rtree, s.nearest / s.grid,
                     s.nearest / s.rtree, s.nearest / s.grid_record, s.wrong);
    }
    std::fprintf(stderr, "\ngrid cell size tuned, q/s (median of runs, interleaved)\n%-26s",
                 "workload");
    for (const double cell : kGridCells) {
        std::fprintf(stderr, " %9.2f deg", cell);
    }
    std::fprintf(stderr, "\n");
    for (const Summary& s : summary) {
        std::fprintf(stderr, "%-26s", s.workload.c_str());
        for (const double rate : s.tuning) {
            std::fprintf(stderr, " %13.0f", rate);
        }
        std::fprintf(stderr, "\n");
    }
    return 0;
}
