// Geohash encoding and distance throughput. The distance, which the searches
// call once per record, is measured in the same run as a point of comparison.
#include <cstddef>
#include <random>
#include <vector>

#include <benchmark/benchmark.h>

#include "geo/distance.h"
#include "geo/geohash.h"

namespace {

std::vector<std::pair<double, double>> positions() {
    std::mt19937_64 rng(3);
    std::uniform_real_distribution<double> lat(-89.0, 89.0);
    std::uniform_real_distribution<double> lng(-179.0, 179.0);
    std::vector<std::pair<double, double>> out(4096);
    for (auto& p : out) {
        p = {lat(rng), lng(rng)};
    }
    return out;
}

void BM_EncodePrecision10(benchmark::State& state) {
    const auto pos = positions();
    std::size_t i = 0;
    for (auto _ : state) {
        const auto& p = pos[i++ & 4095U];
        benchmark::DoNotOptimize(geohash_encode(p.first, p.second, 10));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_EncodePrecision10);

void BM_Distance(benchmark::State& state) {
    const auto pos = positions();
    std::size_t i = 0;
    for (auto _ : state) {
        const auto& p = pos[i & 4095U];
        const auto& q = pos[(i + 1) & 4095U];
        ++i;
        benchmark::DoNotOptimize(get_distance(p.first, p.second, q.first, q.second));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Distance);

}  // namespace
