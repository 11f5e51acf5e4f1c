// Times the whole build (import, sort, write, print-back) on large synthetic
// lists. Each run is a child process working in its own folder with standard
// output sent to a file, so the wall time and the peak resident memory belong
// to that build alone.
//
//   build_bench [COUNT [RUNS [DIR]]]   defaults: 1000000 5 ./build-bench-work
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/child_run.h"
#include "bench/list_gen.h"
#include "edog/e_dog_source_date.h"

namespace {

bench::Sample run_build_in(const std::string& dir) {
    return bench::run_in_child(dir, [] { return e_dog_updata_tsk() == 0 ? 0 : 1; });
}

}  // namespace

int main(int argc, char* argv[]) {
    const std::size_t count = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1000000;
    const int runs = argc > 2 ? std::atoi(argv[2]) : 5;
    const std::string work = argc > 3 ? argv[3] : bench::work_dir(argv[0], "build-bench-work");
    ::mkdir(work.c_str(), 0755);

    const bench::Order orders[] = {bench::Order::kRandom, bench::Order::kSorted,
                                   bench::Order::kReverse, bench::Order::kManyEqual};
    std::vector<std::string> dirs;
    for (bench::Order order : orders) {
        const std::string dir = work + "/" + bench::order_name(order);
        ::mkdir(dir.c_str(), 0755);
        if (!bench::write_list(dir + "/speedcam22.txt", order, count, 1)) {
            std::fprintf(stderr, "cannot write the list in %s\n", dir.c_str());
            return 1;
        }
        dirs.push_back(dir);
    }

    // Runs alternate between the orders so that drift of the machine touches
    // them all alike.
    std::vector<std::vector<bench::Sample>> samples(dirs.size());
    for (int r = 0; r < runs; ++r) {
        for (std::size_t i = 0; i < dirs.size(); ++i) {
            samples[i].push_back(run_build_in(dirs[i]));
        }
    }

    std::printf("cameras: %zu, runs per order: %d\n", count, runs);
    std::printf("%-11s %12s %12s %14s %8s\n", "order", "median s", "vs random", "peak RSS MB",
                "result");
    double random_median = 0.0;
    for (std::size_t i = 0; i < dirs.size(); ++i) {
        std::vector<double> secs;
        long rss = 0;
        int status = 0;
        for (const bench::Sample& s : samples[i]) {
            secs.push_back(s.seconds);
            rss = std::max(rss, s.max_rss_kb);
            status = std::max(status, s.status);
        }
        std::sort(secs.begin(), secs.end());
        const double median = secs[secs.size() / 2];
        if (i == 0) {
            random_median = median;
        }
        std::printf("%-11s %12.3f %11.2fx %14.1f %8d\n", bench::order_name(orders[i]), median,
                    median / random_median, static_cast<double>(rss) / 1024.0, status);
    }
    return 0;
}
