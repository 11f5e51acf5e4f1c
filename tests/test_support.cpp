#include "tests/test_support.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>

#include <gtest/gtest.h>

#include "edog/datafile/e_dog_record.h"
#include "edog/e_dog_source_date.h"
#include "geo/distance.h"

namespace test {

namespace fs = std::filesystem;

ScratchDir::ScratchDir() : previous_(fs::current_path().string()) {
    std::string tmpl = (fs::temp_directory_path() / "edog-test-XXXXXX").string();
    if (::mkdtemp(tmpl.data()) == nullptr) {
        throw std::runtime_error("mkdtemp failed");
    }
    path_ = tmpl;
    fs::current_path(path_);
}

ScratchDir::~ScratchDir() {
    std::error_code ec;
    fs::current_path(previous_, ec);
    fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(path_, ec);
}

void write_file(const std::string& name, const std::string& bytes) {
    std::ofstream out(name, std::ios::binary | std::ios::trunc);
    out << bytes;
    if (!out) {
        throw std::runtime_error("cannot write " + name);
    }
}

std::vector<std::string> temp_files() {
    std::vector<std::string> out;
    for (const auto& e : fs::directory_iterator(".")) {
        const std::string name = e.path().filename().string();
        if (name.rfind("DATA_T.BIN.", 0) == 0) {
            out.push_back(name);
        }
    }
    return out;
}

std::string read_file(const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool file_exists(const std::string& name) {
    std::error_code ec;
    return fs::exists(fs::symlink_status(name, ec));
}

E_DOG_DATA camera(const std::string& code, double lat, double lng, int dirtype, int speed,
                  int idex) {
    E_DOG_DATA rec{};
    rec.Idex = idex;
    rec.DirType = dirtype;
    rec.Speed = speed;
    rec.Gps_lat = lat;
    rec.Gps_lng = lng;
    std::snprintf(rec.encode_str, sizeof rec.encode_str, "%s", code.c_str());
    return rec;
}

void write_records(const std::string& name, const std::vector<E_DOG_DATA>& records) {
    std::string bytes;
    for (const E_DOG_DATA& rec : records) {
        const e_dog::RecordBytes b = e_dog::encode_record(rec);
        bytes.append(reinterpret_cast<const char*>(b.data()), b.size());
    }
    write_file(name, bytes);
}

double lat_at_distance(double lat, double lng, double metres) {
    const double sign = metres < 0 ? -1.0 : 1.0;
    const double target = std::fabs(metres);
    // Bisection for the smallest offset whose distance, a multiple of 0.1 m,
    // rounds to the target rather than to the tenth below it.
    double lo = 0.0;
    double hi = 0.1;  // about 11 km
    for (int i = 0; i < 200; ++i) {
        const double mid = (lo + hi) / 2;
        if (get_distance(lat, lng, lat + sign * mid, lng) >= target - 0.05) {
            hi = mid;
        } else {
            lo = mid;
        }
    }
    const double out = lat + sign * hi;
    if (std::fabs(get_distance(lat, lng, out, lng) - target) > 1e-6) {
        throw std::runtime_error("no latitude at exactly that distance");
    }
    return out;
}

std::pair<double, double> destination(double lat, double lng, double metres, double bearing) {
    const double phi = rad(lat);
    const double theta = metres / e_dog::kEarthRadiusM;
    const double phi2 = std::asin(std::sin(phi) * std::cos(theta) +
                                  std::cos(phi) * std::sin(theta) * std::cos(bearing));
    const double dl = std::atan2(std::sin(bearing) * std::sin(theta) * std::cos(phi),
                                 std::cos(theta) - std::sin(phi) * std::sin(phi2));
    double lng2 = lng + dl * 180.0 / e_dog::kFormulaPi;
    lng2 = lng2 > 180.0 ? lng2 - 360.0 : (lng2 < -180.0 ? lng2 + 360.0 : lng2);
    return {std::clamp(phi2 * 180.0 / e_dog::kFormulaPi, -90.0, 90.0), lng2};
}

std::string run_build(int& result) {
    testing::internal::CaptureStdout();
    result = e_dog_updata_tsk();
    std::fflush(stdout);
    return testing::internal::GetCapturedStdout();
}

namespace {

std::string read_all(int fd) {
    std::string out;
    std::array<char, 4096> chunk{};
    ssize_t n = 0;
    while ((n = ::read(fd, chunk.data(), chunk.size())) > 0) {
        out.append(chunk.data(), static_cast<std::size_t>(n));
    }
    return out;
}

}  // namespace

ProcessResult run_args(const std::vector<std::string>& args, const std::string& dir,
                       const std::string& input) {
    const std::string input_path = dir + "/.stdin";
    const std::string error_path = dir + "/.stderr";
    write_file(input_path, input);
    std::array<int, 2> pipe_fds{};
    if (::pipe(pipe_fds.data()) != 0) {
        throw std::runtime_error("pipe failed");
    }
    std::vector<char*> argv;
    for (const std::string& a : args) {
        argv.push_back(
            const_cast<char*>(a.c_str()));  // NOLINT(cppcoreguidelines-pro-type-const-cast)
    }
    argv.push_back(nullptr);
    std::fflush(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int in_fd = ::open(input_path.c_str(), O_RDONLY);
        const int err_fd = ::open(error_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (in_fd < 0 || err_fd < 0 || ::dup2(in_fd, 0) < 0 || ::dup2(pipe_fds[1], 1) < 0 ||
            ::dup2(err_fd, 2) < 0 || ::chdir(dir.c_str()) != 0) {
            ::_exit(127);
        }
        ::close(pipe_fds[0]);
        ::close(pipe_fds[1]);
        ::close(in_fd);
        ::close(err_fd);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(pipe_fds[1]);
    ProcessResult res;
    res.out = read_all(pipe_fds[0]);
    ::close(pipe_fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    res.exit_status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    res.err = read_file(error_path);
    std::remove(input_path.c_str());
    std::remove(error_path.c_str());
    return res;
}

ProcessResult run_process(const std::string& exe, const std::string& dir,
                          const std::string& input) {
    return run_args({exe}, dir, input);
}

ChildResult run_in_child(const std::function<int()>& body, const std::string& input) {
    std::array<int, 2> pipe_fds{};
    std::array<int, 2> in_fds{};
    if (::pipe(pipe_fds.data()) != 0 || ::pipe(in_fds.data()) != 0) {
        throw std::runtime_error("pipe failed");
    }
    std::fflush(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(pipe_fds[0]);
        ::close(in_fds[1]);
        if (::dup2(pipe_fds[1], 1) < 0 || ::dup2(in_fds[0], 0) < 0) {
            ::_exit(127);
        }
        const int rc = body();
        std::fflush(nullptr);
        ::_exit(rc);
    }
    ::close(in_fds[0]);
    // The input is small; it fits the pipe before the child reads any of it.
    if (!input.empty() && ::write(in_fds[1], input.data(), input.size()) < 0) {
        throw std::runtime_error("write failed");
    }
    ::close(in_fds[1]);
    ::close(pipe_fds[1]);
    ChildResult res;
    res.out = read_all(pipe_fds[0]);
    ::close(pipe_fds[0]);
    int status = 0;
    rusage usage{};
    ::wait4(pid, &status, 0, &usage);
    res.exit_status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    res.max_rss_kb = usage.ru_maxrss;
    return res;
}

std::string nmea_sentence(const std::string& body) {
    unsigned x = 0;
    for (const char c : body) {
        x ^= static_cast<unsigned char>(c);
    }
    char sum[8];
    (void)std::snprintf(sum, sizeof sum, "*%02X", x);
    return "$" + body + sum;
}

}  // namespace test
