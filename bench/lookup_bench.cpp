// Lookups per second of the two searches on a data file of 1,000,000 cameras,
// for random positions within about 600 m of a camera.
//
//   lookup_bench [COUNT [QUERIES [RUNS [DIR]]]]
//
// Two files are measured: cameras spread uniformly over the inhabited
// latitudes, and cameras clustered around 300 city centres. The searches
// print their progress lines; these go to /dev/null while they are timed and
// the report goes to the standard error stream.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "edog/e_dog_internal.h"
#include "edog/e_dog_record.h"
#include "edog/e_dog_source_date.h"
#include "geo/geohash.h"

namespace {

struct Position {
    double lat;
    double lng;
};

constexpr double kMetresPerDegree = 111319.5;

std::vector<E_DOG_DATA> make_cameras(std::size_t count, bool clustered, std::mt19937_64& rng) {
    std::uniform_real_distribution<double> lat(-55.0, 70.0);
    std::uniform_real_distribution<double> lng(-180.0, 180.0);
    std::vector<Position> cities(300);
    for (Position& c : cities) {
        c = {lat(rng), lng(rng)};
    }
    std::uniform_int_distribution<std::size_t> city(0, cities.size() - 1);
    std::normal_distribution<double> spread(0.0, 0.1);  // about 11 km
    std::uniform_int_distribution<int> dirtype(0, 5);

    std::vector<E_DOG_DATA> cams(count);
    for (std::size_t i = 0; i < count; ++i) {
        E_DOG_DATA& c = cams[i];
        c = E_DOG_DATA{};
        if (clustered) {
            const Position& centre = cities[city(rng)];
            c.Gps_lat = std::clamp(centre.lat + spread(rng), -89.0, 89.0);
            c.Gps_lng = std::clamp(centre.lng + spread(rng), -180.0, 180.0);
        } else {
            c.Gps_lat = lat(rng);
            c.Gps_lng = lng(rng);
        }
        c.Idex = static_cast<INT32>(i);
        c.DirType = dirtype(rng);
        c.Speed = 60;
        std::snprintf(c.encode_str, sizeof c.encode_str, "%s",
                      geohash_encode(c.Gps_lat, c.Gps_lng, e_dog::kCodePrecision));
    }
    std::stable_sort(cams.begin(), cams.end(), [](const E_DOG_DATA& a, const E_DOG_DATA& b) {
        return e_dog::compare_codes(a.encode_str, b.encode_str) < 0;
    });
    return cams;
}

bool write_data_file(const std::string& path, const std::vector<E_DOG_DATA>& cams) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) {
        return false;
    }
    bool ok = true;
    for (const E_DOG_DATA& c : cams) {
        const e_dog::RecordBytes b = e_dog::encode_record(c);
        ok = ok && std::fwrite(b.data(), 1, b.size(), f) == b.size();
    }
    return std::fclose(f) == 0 && ok;
}

std::vector<Position> make_queries(const std::vector<E_DOG_DATA>& cams, std::size_t n,
                                   std::mt19937_64& rng) {
    std::uniform_int_distribution<std::size_t> pick(0, cams.size() - 1);
    std::uniform_real_distribution<double> off(-600.0 / kMetresPerDegree, 600.0 / kMetresPerDegree);
    std::vector<Position> out(n);
    for (Position& p : out) {
        const E_DOG_DATA& c = cams[pick(rng)];
        p = {std::clamp(c.Gps_lat + off(rng), -90.0, 90.0),
             std::clamp(c.Gps_lng + off(rng), -180.0, 180.0)};
    }
    return out;
}

// Runs `search` over every query `runs` times; returns the median rate and
// the number of queries answered with a camera.
template <typename Search>
std::pair<double, std::size_t> measure(const std::vector<Position>& queries, int runs,
                                       Search search) {
    std::vector<double> rates;
    std::size_t hits = 0;
    for (int r = 0; r < runs; ++r) {
        hits = 0;
        const auto start = std::chrono::steady_clock::now();
        for (const Position& q : queries) {
            E_DOG_LCD lcd{};
            search(q, lcd);
            hits += lcd.result == 0 ? 1 : 0;
        }
        std::fflush(stdout);
        const double secs =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        rates.push_back(static_cast<double>(queries.size()) / secs);
    }
    std::sort(rates.begin(), rates.end());
    return {rates[rates.size() / 2], hits};
}

}  // namespace

int main(int argc, char* argv[]) {
    const std::size_t count = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1000000;
    const std::size_t n_queries = argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 2000;
    const int runs = argc > 3 ? std::atoi(argv[3]) : 5;
    const std::string work = argc > 4 ? argv[4] : "lookup-bench-work";
    ::mkdir(work.c_str(), 0755);
    if (::chdir(work.c_str()) != 0 || std::freopen("/dev/null", "w", stdout) == nullptr) {
        std::fprintf(stderr, "cannot prepare %s\n", work.c_str());
        return 1;
    }

    std::fprintf(stderr, "cameras: %zu, queries: %zu, runs: %d (median of runs)\n", count,
                 n_queries, runs);
    std::fprintf(stderr, "%-10s %-34s %14s %8s\n", "file", "search", "queries/s", "hits");
    for (const bool clustered : {false, true}) {
        std::mt19937_64 rng(clustered ? 2 : 1);
        const std::vector<E_DOG_DATA> cams = make_cameras(count, clustered, rng);
        if (!write_data_file(e_dog_datafile, cams)) {
            std::fprintf(stderr, "cannot write the data file\n");
            return 1;
        }
        const std::vector<Position> queries = make_queries(cams, n_queries, rng);
        e_dog_exit();
        (void)e_dog_init();
        e_dog_build_file_index();
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
