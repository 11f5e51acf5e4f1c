// Lookups per second of the two searches on a data file of 1,000,000 cameras,
// for random positions within about 600 m of a camera.
//
//   lookup_bench [COUNT [QUERIES [RUNS [DIR]]]]
//
// Two files are measured: cameras spread uniformly over the inhabited
// latitudes, and cameras clustered around 300 city centres. The searches
// print their progress lines; these go to /dev/null while they are timed and
// the report goes to the standard error stream.

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "bench/lookup_data.h"
#include "edog/datafile/e_dog_record.h"
#include "edog/e_dog_internal.h"
#include "edog/e_dog_source_date.h"
#include "edog/lookup/lookup.h"
#include "geo/geohash.h"

namespace {

using bench::Position;

// Runs `search` over the queries; the median rate and how many queries were
// answered with a camera.
template <typename Search>
std::pair<double, std::size_t> measure(const std::vector<Position>& queries, int runs,
                                       Search search) {
    std::size_t hits = 0;
    const double rate = bench::median_rate(queries, runs, [&](const Position& q) {
        E_DOG_LCD lcd{};
        search(q, lcd);
        hits += lcd.result == 0 ? 1U : 0U;
    });
    std::fflush(stdout);
    return {rate, hits / static_cast<std::size_t>(runs)};
}

}  // namespace

int main(int argc, char* argv[]) {
    bench::Args args;
    if (!bench::prepare(argc, argv, "lookup-bench-work", args)) {
        return 1;
    }
    const std::size_t count = args.count;
    const std::size_t n_queries = args.queries;
    const int runs = args.runs;

    std::fprintf(stderr, "cameras: %zu, queries: %zu, runs: %d (median of runs)\n", count,
                 n_queries, runs);
    std::fprintf(stderr, "%-10s %-34s %14s %8s\n", "file", "search", "queries/s", "hits");
    for (const bool clustered : {false, true}) {
        bench::LookupFile file;
        if (!bench::open_lookup_file(args, clustered, file)) {
            return 1;
        }
        const std::vector<Position>& queries = file.queries;
        const char* name = clustered ? "clustered" : "uniform";
        const int size = static_cast<int>(e_dog_list_size);

        const auto bucket = measure(queries, runs, [size](const Position& q, E_DOG_LCD& lcd) {
            const char* code = geohash_encode(q.lat, q.lng, e_dog::kCodePrecision);
            const ElemType ral = QueueSearch(q_header, code);
            (void)e_dog_search_by_info_file(q.lat, q.lng, ral, size, &lcd);
        });
        std::fprintf(stderr, "%-10s %-34s %14.0f %8zu\n", name, "QueueSearch + search_by_info_file",
                     bucket.first, bucket.second);
        const auto bisect = measure(queries, runs, [size](const Position& q, E_DOG_LCD& lcd) {
            (void)e_dog_binary_search_by_file(q.lng, q.lat, size, &lcd);
        });
        std::fprintf(stderr, "%-10s %-34s %14.0f %8zu\n", name, "binary_search_by_file",
                     bisect.first, bisect.second);
        std::fprintf(stderr, "%-10s buckets: %d\n", name, q_header != nullptr ? q_header->size : 0);
    }
    return 0;
}
