// Large data files and query positions shared by the lookup benchmarks.
#ifndef BENCH_LOOKUP_DATA_H
#define BENCH_LOOKUP_DATA_H

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "edog/e_dog_source_date.h"
#include "edog/lookup/lookup.h"

namespace bench {

struct Position {
    double lat;
    double lng;
};

// `count` cameras sorted by code as the build writes them: uniform over the
// inhabited latitudes, or around 300 city centres (normal spread of 0.1
// degree, about 11 km). DirType is uniform over 0 to 5; Idex is unique.
std::vector<E_DOG_DATA> make_cameras(std::size_t count, bool clustered, std::mt19937_64& rng);

bool write_data_file(const std::string& path, const std::vector<E_DOG_DATA>& cams);

// Positions within about 600 m (in each coordinate) of random cameras.
std::vector<Position> make_queries(const std::vector<E_DOG_DATA>& cams, std::size_t n,
                                   std::mt19937_64& rng);

// Positions uniform over the globe's surface (by area, not by degree).
std::vector<Position> make_globe_positions(std::size_t n, std::mt19937_64& rng);

// Drives of `fixes_per_drive` fixes, one a second, at a steady speed of 14
// to 36 m/s (50 to 130 km/h) each, in gentle curves, starting at random
// cameras: `n` fixes in drive order.
std::vector<Position> make_drives(const std::vector<E_DOG_DATA>& cams, std::size_t n,
                                  std::size_t fixes_per_drive, std::mt19937_64& rng);

// Command line of the lookup benchmarks: [COUNT [QUERIES [RUNS [DIR]]]].
struct Args {
    std::size_t count = 1000000;
    std::size_t queries = 2000;
    int runs = 5;
    std::string dir;
};

// Reads the arguments, enters DIR (made if missing; by default
// `default_dir` beside the program) and sends standard
// output, where the searches print their lines, to /dev/null. False, with a
// message on standard error, when that fails.
bool prepare(int argc, char* argv[], const char* default_dir, Args& args);

// One benchmark file: its cameras in file order and the query positions.
struct LookupFile {
    std::vector<E_DOG_DATA> cams;
    std::vector<Position> queries;
};

// Makes the clustered or uniform file of `args.count` cameras (same seed,
// same file every time), writes it as the data file, opens it for lookup
// and builds the prefix index. False, with a message, when it cannot be
// written.
bool open_lookup_file(const Args& args, bool clustered, LookupFile& file);

// Runs `search` over every query `runs` times and returns the median rate in
// queries per second. A run goes over the list again until it has taken at
// least 0.1 s, so that a fast search is not timed over a millisecond or two,
// where a single pause of the machine decides the figure.
template <typename Search>
double median_rate(const std::vector<Position>& queries, int runs, Search search) {
    constexpr double kMinRunSeconds = 0.1;
    std::vector<double> rates;
    for (int r = 0; r < runs; ++r) {
        const auto start = std::chrono::steady_clock::now();
        std::size_t done = 0;
        double secs = 0.0;
        do {
            for (const Position& q : queries) {
                search(q);
            }
            done += queries.size();
            secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        } while (secs < kMinRunSeconds);
        rates.push_back(static_cast<double>(done) / secs);
    }
    std::sort(rates.begin(), rates.end());
    return rates[rates.size() / 2];
}

}  // namespace bench

#endif  // BENCH_LOOKUP_DATA_H
