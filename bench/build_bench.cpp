// Times the whole build (import, sort, write, print-back) on large synthetic
// lists. Each run is a child process working in its own folder with standard
// output sent to a file, so the wall time and the peak resident memory belong
// to that build alone. Beside them, on the random list, the one-pass build
// written for comparison (bench/build_floor.h), whose file and output must be
// the same bytes.
//
//   build_bench [COUNT [RUNS [DIR]]]   defaults: 1000000 5 ./build-bench-work
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "bench/build_floor.h"
#include "bench/child_run.h"
#include "bench/list_gen.h"
#include "edog/e_dog_source_date.h"

namespace {

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Medians of the runs of each job, beside the random list's and the floor's.
void print_table(const std::vector<std::string>& names,
                 const std::vector<std::vector<bench::Sample>>& samples) {
    std::printf("%-14s %10s %10s %10s %12s %12s %8s\n", "list", "wall s", "CPU s", "vs random",
                "CPU / floor", "peak RSS MB", "result");
    std::vector<double> wall(names.size());
    std::vector<double> cpu(names.size());
    std::vector<long> rss(names.size());
    std::vector<int> status(names.size());
    for (std::size_t i = 0; i < names.size(); ++i) {
        std::vector<double> w;
        std::vector<double> c;
        for (const bench::Sample& s : samples[i]) {
            w.push_back(s.seconds);
            c.push_back(s.cpu_seconds);
            rss[i] = std::max(rss[i], s.max_rss_kb);
            status[i] = std::max(status[i], s.status);
        }
        wall[i] = bench::median(w);
        cpu[i] = bench::median(c);
    }
    for (std::size_t i = 0; i < names.size(); ++i) {
        std::printf("%-14s %10.3f %10.3f %9.2fx %11.2fx %12.1f %8d\n", names[i].c_str(), wall[i],
                    cpu[i], wall[i] / wall[0], cpu[i] / cpu[4],
                    static_cast<double>(rss[i]) / 1024.0, status[i]);
    }
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
    std::vector<std::string> names;
    for (bench::Order order : orders) {
        dirs.push_back(work + "/" + bench::order_name(order));
        names.emplace_back(bench::order_name(order));
    }
    dirs.push_back(work + "/random-floor");
    names.emplace_back("random, floor");
    for (std::size_t i = 0; i < dirs.size(); ++i) {
        ::mkdir(dirs[i].c_str(), 0755);
        if (!bench::write_list(dirs[i] + "/speedcam22.txt", i < 4 ? orders[i] : orders[0], count,
                               1)) {
            std::fprintf(stderr, "cannot write the list in %s\n", dirs[i].c_str());
            return 1;
        }
    }

    // Runs alternate between the jobs so that drift of the machine touches
    // them all alike.
    std::vector<std::vector<bench::Sample>> samples(dirs.size());
    for (int r = 0; r < runs; ++r) {
        for (std::size_t i = 0; i < dirs.size(); ++i) {
            samples[i].push_back(bench::run_in_child(dirs[i], [i] {
                return i < 4 ? (e_dog_updata_tsk() == 0 ? 0 : 1) : bench::floor_build();
            }));
        }
    }
    const bool same = slurp(dirs[0] + "/DATA_T.BIN") == slurp(dirs[4] + "/DATA_T.BIN") &&
                      slurp(dirs[0] + "/stdout.txt") == slurp(dirs[4] + "/stdout.txt");

    std::printf("cameras: %zu, runs per job: %d; floor's file and output byte-identical: %s\n",
                count, runs, same ? "yes" : "NO");
    print_table(names, samples);
    return same ? 0 : 1;
}
