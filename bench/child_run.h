// One timed run of a piece of work in a child process, so that its wall
// time, CPU time and peak resident memory belong to it alone.
#ifndef BENCH_CHILD_RUN_H
#define BENCH_CHILD_RUN_H

#include <functional>
#include <string>
#include <vector>

namespace bench {

struct Sample {
    double seconds = 0.0;      // wall time
    double cpu_seconds = 0.0;  // user + system time
    long max_rss_kb = 0;
    int status = -1;  // the child's exit status, -1 when it did not exit
};

// Runs `work` in a child working in `dir` with standard output sent to
// `dir`/stdout.txt; the child exits with what `work` returns.
Sample run_in_child(const std::string& dir, const std::function<int()>& work);

// The median of `values` (which it sorts).
double median(std::vector<double> values);

}  // namespace bench

#endif  // BENCH_CHILD_RUN_H
