// edog-tool against the module's own build run on one large random list, in
// one run: the module's whole build (echo and print-back included, output to
// a file), `edog-tool build` and `build --compat`, and `edog-tool verify` of
// the file built. Runs alternate, each in a child process; medians of wall
// and CPU time, and the module's time over each command's.
//
//   tool_bench [COUNT [RUNS [DIR]]]   defaults: 1000000 5 ./tool-bench-work
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "bench/child_run.h"
#include "bench/list_gen.h"
#include "edog/e_dog_source_date.h"
#include "tool/commands.h"

namespace {

struct Job {
    const char* name;
    std::function<int()> work;
    std::vector<double> wall;
    std::vector<double> cpu;
    int worst_status = 0;
};

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace

int main(int argc, char* argv[]) {
    const std::size_t count = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1000000;
    const int runs = argc > 2 ? std::atoi(argv[2]) : 5;
    const std::string work = argc > 3 ? argv[3] : bench::work_dir(argv[0], "tool-bench-work");
    ::mkdir(work.c_str(), 0755);
    if (!bench::write_list(work + "/speedcam22.txt", bench::Order::kRandom, count, 1)) {
        std::fprintf(stderr, "cannot write the list in %s\n", work.c_str());
        return 1;
    }
    edog_tool::BuildOptions strict{"speedcam22.txt", "tool.bin", false, true, false, ""};
    edog_tool::BuildOptions compat{"speedcam22.txt", "compat.bin", true, true, false, ""};
    std::vector<Job> jobs = {
        {"module build run", [] { return e_dog_updata_tsk() == 0 ? 0 : 1; }, {}, {}, 0},
        {"tool build", [&] { return edog_tool::run_build(strict); }, {}, {}, 0},
        {"tool build --compat", [&] { return edog_tool::run_build(compat); }, {}, {}, 0},
        {"tool verify",
         [] {
             return edog_tool::run_verify({"tool.bin", false, true});
         },
         {},
         {},
         0},
    };
    for (int r = 0; r < runs; ++r) {
        for (Job& job : jobs) {
            const bench::Sample s = bench::run_in_child(work, job.work);
            job.wall.push_back(s.seconds);
            job.cpu.push_back(s.cpu_seconds);
            job.worst_status = std::max(job.worst_status, s.status);
        }
    }
    const std::string module_file = slurp(work + "/DATA_T.BIN");
    const bool same =
        module_file == slurp(work + "/tool.bin") && module_file == slurp(work + "/compat.bin");

    std::printf("cameras: %zu, runs: %d, files byte-identical: %s\n", count, runs,
                same ? "yes" : "NO");
    std::printf("%-20s %10s %10s %14s %14s %7s\n", "", "wall s", "CPU s", "module/this wall",
                "module/this CPU", "status");
    const double module_wall = bench::median(jobs[0].wall);
    const double module_cpu = bench::median(jobs[0].cpu);
    for (const Job& job : jobs) {
        const double wall = bench::median(job.wall);
        const double cpu = bench::median(job.cpu);
        std::printf("%-20s %10.3f %10.3f %15.2fx %14.2fx %7d\n", job.name, wall, cpu,
                    module_wall / wall, module_cpu / cpu, job.worst_status);
    }
    return same ? 0 : 1;
}
