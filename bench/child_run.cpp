// Timed runs in child processes. See bench/child_run.h.
#include "bench/child_run.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>

namespace bench {

namespace {

double seconds_of(const timeval& t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
}

}  // namespace

Sample run_in_child(const std::string& dir, const std::function<int()>& work) {
    (void)std::fflush(nullptr);
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
        const std::string out_name = dir + "/stdout.txt";
        const int out = ::open(out_name.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (out < 0 || ::dup2(out, 1) < 0 || ::chdir(dir.c_str()) != 0) {
            ::_exit(127);
        }
        const int rc = work();
        (void)std::fflush(stdout);
        ::_exit(rc);
    }
    int status = 0;
    rusage usage{};
    ::wait4(pid, &status, 0, &usage);
    const auto stop = std::chrono::steady_clock::now();
    Sample s;
    s.seconds = std::chrono::duration<double>(stop - start).count();
    s.cpu_seconds = seconds_of(usage.ru_utime) + seconds_of(usage.ru_stime);
    s.max_rss_kb = usage.ru_maxrss;
    s.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return s;
}

double median(std::vector<double> values) {
    if (values.empty()) {
        return 0.0;
    }
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace bench
