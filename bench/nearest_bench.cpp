// The exact nearest-camera search against the two searches of the lookup
// run, a brute-force scan and an R-tree, on the same data files of 1,000,000
// cameras (clustered around cities, and uniform) and the same positions.
// Also counts, against the exact answer, how often each search of the
// lookup run answers with another camera or misses one.
//
//   nearest_bench [COUNT [QUERIES [RUNS [DIR]]]]
//
// The searches' own lines go to /dev/null; the report goes to standard error.

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "bench/lookup_data.h"
#include "edog/e_dog_answer.h"
#include "edog/e_dog_internal.h"
#include "edog/e_dog_nearest.h"
#include "edog/e_dog_source_date.h"
#include "edog/nearest_bounds.h"
#include "edog/reference_scan.h"
#include "geo/distance.h"
#include "geo/geohash.h"
#include <boost/function_output_iterator.hpp>
#include <boost/geometry.hpp>
#include <boost/geometry/index/rtree.hpp>

namespace {

namespace bg = boost::geometry;
namespace bgi = boost::geometry::index;
using Point = bg::model::point<double, 2, bg::cs::cartesian>;  // (longitude, latitude)
using Box = bg::model::box<Point>;
using Value = std::pair<Point, std::uint32_t>;
using RTree = bgi::rtree<Value, bgi::rstar<16>>;
using bench::Position;

constexpr double kRadius = 800.0;

bool takeable(const E_DOG_DATA& c) {
    return e_dog::qualifies(c.DirType) && std::isfinite(c.Gps_lat) && std::isfinite(c.Gps_lng);
}

// The answer by definition; `every_record` measures every record, as the
// brute-force row times it, else records out of reach in latitude alone are
// passed over.
long exact_answer(const std::vector<E_DOG_DATA>& cams, const Position& q, bool every_record) {
    return e_dog::reference::nearest(cams, q.lat, q.lng, kRadius, !every_record).index;
}

long rtree_answer(const RTree& tree, const std::vector<E_DOG_DATA>& cams, const Position& q) {
    const e_dog::ReachBox box = e_dog::reach_box(q.lat, q.lng, kRadius);
    long best = -1;
    double best_d = kRadius;
    for (std::size_t i = 0; i < box.lng_count; ++i) {
        const Box b(Point(box.lng[i].first, box.lat_lo), Point(box.lng[i].second, box.lat_hi));
        tree.query(bgi::intersects(b), boost::make_function_output_iterator([&](const Value& v) {
                       const E_DOG_DATA& c = cams[v.second];
                       const double d = get_distance(q.lat, q.lng, c.Gps_lat, c.Gps_lng);
                       const auto idx = static_cast<long>(v.second);
                       if (d < best_d || (d == best_d && best >= 0 && idx < best)) {
                           best_d = d;
                           best = idx;
                       }
                   }));
    }
    return best;
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

}  // namespace

int main(int argc, char* argv[]) {
    bench::Args args;
    if (!bench::prepare(argc, argv, "nearest-bench-work", args)) {
        return 1;
    }
    const std::size_t count = args.count;
    const std::size_t n_queries = args.queries;
    const int runs = args.runs;
    std::fprintf(stderr, "cameras: %zu, queries: %zu, runs: %d, radius %.0f m (median of runs)\n",
                 count, n_queries, runs, kRadius);

    for (const bool clustered : {true, false}) {
        const char* name = clustered ? "clustered" : "uniform";
        bench::LookupFile file;
        if (!bench::open_lookup_file(args, clustered, file)) {
            return 1;
        }
        const std::vector<E_DOG_DATA>& cams = file.cams;
        const std::vector<Position>& queries = file.queries;
        AnswerIndex index_of;
        index_of.by_idex.assign(cams.size(), -1);
        for (std::size_t i = 0; i < cams.size(); ++i) {
            index_of.by_idex[static_cast<std::size_t>(cams[i].Idex)] = static_cast<long>(i);
        }

        const int size = static_cast<int>(e_dog_list_size);

        // The first search builds the key array.
        const long rss_before_keys = resident_kb();
        auto t0 = std::chrono::steady_clock::now();
        E_DOG_LCD warm{};
        (void)e_dog_search_nearest(queries[0].lat, queries[0].lng, kRadius, &warm);
        const double key_build_s =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        const long keys_kb = resident_kb() - rss_before_keys;

        const long rss_before_tree = resident_kb();
        t0 = std::chrono::steady_clock::now();
        std::vector<Value> values;
        for (std::size_t i = 0; i < cams.size(); ++i) {
            if (takeable(cams[i])) {
                values.emplace_back(Point(cams[i].Gps_lng, cams[i].Gps_lat),
                                    static_cast<std::uint32_t>(i));
            }
        }
        const RTree tree(values.begin(), values.end());
        values.clear();
        values.shrink_to_fit();
        const double tree_build_s =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        const long tree_kb = resident_kb() - rss_before_tree;

        // Exact answers and the tallies of every search against them.
        std::vector<long> want(queries.size());
        Tally bucket_t;
        Tally bisect_t;
        Tally nearest_t;
        Tally rtree_t;
        std::size_t answered = 0;
        for (std::size_t i = 0; i < queries.size(); ++i) {
            const Position& q = queries[i];
            want[i] = exact_answer(cams, q, false);
            answered += want[i] >= 0 ? 1U : 0U;
            E_DOG_LCD lcd{};
            const char* code = geohash_encode(q.lat, q.lng, e_dog::kCodePrecision);
            E_DOG_DATA r =
                e_dog_search_by_info_file(q.lat, q.lng, QueueSearch(q_header, code), size, &lcd);
            tally(bucket_t, index_of(lcd, r), want[i]);
            r = e_dog_binary_search_by_file(q.lng, q.lat, size, &lcd);
            tally(bisect_t, index_of(lcd, r), want[i]);
            r = e_dog_search_nearest(q.lat, q.lng, kRadius, &lcd);
            tally(nearest_t, index_of(lcd, r), want[i]);
            tally(rtree_t, rtree_answer(tree, cams, q), want[i]);
        }

        const double bucket = bench::median_rate(queries, runs, [size](const Position& q) {
            E_DOG_LCD lcd{};
            const char* code = geohash_encode(q.lat, q.lng, e_dog::kCodePrecision);
            (void)e_dog_search_by_info_file(q.lat, q.lng, QueueSearch(q_header, code), size, &lcd);
        });
        const double bisect = bench::median_rate(queries, runs, [size](const Position& q) {
            E_DOG_LCD lcd{};
            (void)e_dog_binary_search_by_file(q.lng, q.lat, size, &lcd);
        });
        const double nearest = bench::median_rate(queries, runs, [](const Position& q) {
            E_DOG_LCD lcd{};
            (void)e_dog_search_nearest(q.lat, q.lng, kRadius, &lcd);
        });
        const double rtree = bench::median_rate(
            queries, runs, [&](const Position& q) { (void)rtree_answer(tree, cams, q); });
        const std::vector<Position> few(queries.begin(), queries.begin() + 10);
        const double brute = bench::median_rate(
            few, std::min(runs, 3), [&](const Position& q) { (void)exact_answer(cams, q, true); });
        std::fflush(stdout);

        std::fprintf(stderr, "\n%s file: %zu of %zu positions have a camera within %.0f m\n", name,
                     answered, queries.size(), kRadius);
        std::fprintf(stderr, "%-44s %12s %10s %9s %9s\n", "search", "queries/s", "vs bucket",
                     "other cam", "missed");
        const auto row = [&](const char* label, double rate, const Tally* t) {
            if (t != nullptr) {
                std::fprintf(stderr, "%-44s %12.0f %9.1fx %9zu %9zu\n", label, rate, rate / bucket,
                             t->other, t->missed);
            } else {
                std::fprintf(stderr, "%-44s %12.1f %9.4fx %9s %9s\n", label, rate, rate / bucket,
                             "-", "-");
            }
        };
        row("QueueSearch + e_dog_search_by_info_file", bucket, &bucket_t);
        row("e_dog_binary_search_by_file", bisect, &bisect_t);
        row("e_dog_search_nearest", nearest, &nearest_t);
        row("Boost.Geometry R-tree (rstar<16>, packed)", rtree, &rtree_t);
        row("brute force, every record (10 positions)", brute, nullptr);
        std::fprintf(stderr,
                     "nearest vs R-tree: %.2fx; key array %.2f bytes/camera (%zu bytes; heap +%ld "
                     "KB, built in %.3f s); R-tree heap +%ld KB (%.1f bytes/camera), built in "
                     "%.3f s\n",
                     nearest / rtree,
                     static_cast<double>(e_dog::nearest_index_bytes()) / static_cast<double>(count),
                     e_dog::nearest_index_bytes(), keys_kb, key_build_s, tree_kb,
                     static_cast<double>(tree_kb) * 1024.0 / static_cast<double>(count),
                     tree_build_s);
    }
    return 0;
}
