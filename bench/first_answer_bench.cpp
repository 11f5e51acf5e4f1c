// Time to the first answer: a fresh process opens a data file of COUNT
// cameras and answers one nearest search (radius 800 m) near a camera, with
// the file in the page cache. Each run is a new process started from this
// program (exec, not fork), which times itself from before the open to
// after the answer and prints the figures; runs alternate between the
// database handle (e_dog_db_open + e_dog_db_nearest) and the module's
// default handle (e_dog_init + e_dog_search_nearest), on the clustered and
// the uniform file. Reports medians of RUNS.
//
//   first_answer_bench [COUNT [RUNS [DIR]]]

#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "bench/child_run.h"
#include "bench/lookup_data.h"
#include "edog/e_dog_db.h"
#include "edog/e_dog_source_date.h"
#include <spawn.h>

extern char** environ;

namespace {

constexpr double kRadius = 800.0;

double ms_since(std::chrono::steady_clock::time_point t0) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
}

// The child: one open and one search, timed; prints "open_ms answer_ms found".
int child(const char* how, const char* path, double lat, double lng) {
    const auto t0 = std::chrono::steady_clock::now();
    int found = 0;
    double open_ms = 0.0;
    if (std::strcmp(how, "handle") == 0) {
        int error = 0;
        E_DOG_DB* db = e_dog_db_open(path, &error);
        open_ms = ms_since(t0);
        E_DOG_HIT hit{};
        found = db != nullptr ? e_dog_db_nearest(db, lat, lng, kRadius, &hit) : -1;
        const double total = ms_since(t0);
        std::fprintf(stderr, "%.3f %.3f %d\n", open_ms, total, found);
        e_dog_db_close(db);
    } else {
        (void)e_dog_init();
        open_ms = ms_since(t0);
        E_DOG_LCD lcd{};
        (void)e_dog_search_nearest(lat, lng, kRadius, &lcd);
        const double total = ms_since(t0);
        std::fprintf(stderr, "%.3f %.3f %d\n", open_ms, total, lcd.result == 0 ? 1 : 0);
        e_dog_exit();
    }
    return 0;
}

struct Times {
    std::vector<double> open_ms;
    std::vector<double> total_ms;
};

// Runs this program as a child and reads its line.
bool run_child(const std::string& self, const std::string& dir, const char* how,
               const std::string& file, const bench::Position& q, Times& t) {
    const std::string out = dir + "/first-answer.txt";
    const std::string lat = std::to_string(q.lat);
    const std::string lng = std::to_string(q.lng);
    const std::string cmd = "cd '" + dir + "' && '" + self + "' --child " + how + " '" + file +
                            "' " + lat + " " + lng + " >/dev/null 2>'" + out + "'";
    const std::vector<std::string> args{"/bin/sh", "-c", cmd};
    std::vector<char*> argv;
    for (const std::string& a : args) {
        argv.push_back(
            const_cast<char*>(a.c_str()));  // NOLINT(cppcoreguidelines-pro-type-const-cast)
    }
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (::posix_spawn(&pid, "/bin/sh", nullptr, nullptr, argv.data(), environ) != 0) {
        return false;
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    std::ifstream in(out);
    double open_ms = 0.0;
    double total_ms = 0.0;
    int found = -1;
    if (!(in >> open_ms >> total_ms >> found) || found < 0) {
        return false;
    }
    t.open_ms.push_back(open_ms);
    t.total_ms.push_back(total_ms);
    return true;
}

}  // namespace

int main(int argc, char* argv[]) {
    if (argc == 6 && std::strcmp(argv[1], "--child") == 0) {
        return child(argv[2], argv[3], std::strtod(argv[4], nullptr),
                     std::strtod(argv[5], nullptr));
    }
    const std::size_t count = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 1000000;
    const int runs = argc > 2 ? std::atoi(argv[2]) : 11;
    char self[4096] = {};
    const ssize_t len = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (len <= 0) {
        return 1;
    }
    std::string dir =
        argc > 3 ? argv[3] : std::string(self, static_cast<std::size_t>(len)) + "-work";
    (void)std::system(("mkdir -p '" + dir + "'").c_str());
    std::fprintf(stderr, "cameras: %zu, runs: %d, a fresh process per run (median ms)\n", count,
                 runs);
    std::fprintf(stderr, "%-10s %-44s %10s %10s\n", "file", "open + first search", "open", "total");
    for (const bool clustered : {true, false}) {
        std::mt19937_64 rng(clustered ? 12 : 11);
        const std::vector<E_DOG_DATA> cams = bench::make_cameras(count, clustered, rng);
        const std::string name = clustered ? "clustered.bin" : "uniform.bin";
        const std::string file = dir + "/" + name;
        if (!bench::write_data_file(file, cams) ||
            !bench::write_data_file(dir + "/" + e_dog_datafile, cams)) {
            std::fprintf(stderr, "cannot write %s\n", file.c_str());
            return 1;
        }
        const std::vector<bench::Position> qs =
            bench::make_queries(cams, static_cast<std::size_t>(runs) + 1, rng);
        Times handle;
        Times module;
        Times scratch;
        for (int r = 0; r <= runs; ++r) {  // the first run warms the page cache, untimed
            Times& into_handle = r == 0 ? scratch : handle;
            Times& into_module = r == 0 ? scratch : module;
            if (!run_child(self, dir, "handle", file, qs[static_cast<std::size_t>(r)],
                           into_handle) ||
                !run_child(self, dir, "module", file, qs[static_cast<std::size_t>(r)],
                           into_module)) {
                std::fprintf(stderr, "a child failed\n");
                return 1;
            }
        }
        const char* label = clustered ? "clustered" : "uniform";
        std::fprintf(stderr, "%-10s %-44s %10.3f %10.3f\n", label,
                     "e_dog_db_open + e_dog_db_nearest", bench::median(handle.open_ms),
                     bench::median(handle.total_ms));
        std::fprintf(stderr, "%-10s %-44s %10.3f %10.3f\n", label,
                     "e_dog_init + e_dog_search_nearest", bench::median(module.open_ms),
                     bench::median(module.total_ms));
    }
    return 0;
}
