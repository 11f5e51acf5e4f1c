// Timing several searches over the same positions, runs interleaved: each
// run times every search once, in turn, on the thread's CPU clock, so that
// a slow spell of the shared machine falls on all of them alike. Each
// search's rate is the median over the runs.
#ifndef BENCH_INTERLEAVE_H
#define BENCH_INTERLEAVE_H

#include <cstddef>
#include <functional>
#include <vector>

#include "bench/child_run.h"
#include "bench/lookup_data.h"
#include <time.h>

namespace bench {

using PositionSearch = std::function<void(const Position&)>;

inline double thread_seconds() {
    timespec t{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// Queries per second of each search, the median of `runs` interleaved runs;
// a run of one search goes over the positions until it has taken at least
// `min_seconds` of CPU time.
template <typename Search>
std::vector<double> interleaved_rates(const std::vector<Position>& where, int runs,
                                      const std::vector<Search>& searches,
                                      double min_seconds = 0.05) {
    std::vector<std::vector<double>> rates(searches.size());
    for (int r = 0; r < runs; ++r) {
        for (std::size_t s = 0; s < searches.size(); ++s) {
            const double start = thread_seconds();
            std::size_t done = 0;
            double secs = 0.0;
            do {
                for (const Position& q : where) {
                    searches[s](q);
                }
                done += where.size();
                secs = thread_seconds() - start;
            } while (secs < min_seconds);
            rates[s].push_back(static_cast<double>(done) / secs);
        }
    }
    std::vector<double> medians;
    for (std::vector<double>& r : rates) {
        medians.push_back(median(r));
    }
    return medians;
}

}  // namespace bench

#endif  // BENCH_INTERLEAVE_H
