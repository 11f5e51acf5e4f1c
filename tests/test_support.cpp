#include "tests/test_support.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>

#include <gtest/gtest.h>

#include "edog/e_dog_source_date.h"

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

std::string read_file(const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool file_exists(const std::string& name) {
    std::error_code ec;
    return fs::exists(fs::symlink_status(name, ec));
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

ProcessResult run_process(const std::string& exe, const std::string& dir,
                          const std::string& input) {
    const std::string input_path = dir + "/.stdin";
    write_file(input_path, input);
    std::array<int, 2> pipe_fds{};
    if (::pipe(pipe_fds.data()) != 0) {
        throw std::runtime_error("pipe failed");
    }
    std::fflush(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int in_fd = ::open(input_path.c_str(), O_RDONLY);
        if (in_fd < 0 || ::dup2(in_fd, 0) < 0 || ::dup2(pipe_fds[1], 1) < 0 ||
            ::chdir(dir.c_str()) != 0) {
            ::_exit(127);
        }
        ::close(pipe_fds[0]);
        ::close(pipe_fds[1]);
        ::close(in_fd);
        ::execl(exe.c_str(), exe.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(pipe_fds[1]);
    ProcessResult res;
    res.out = read_all(pipe_fds[0]);
    ::close(pipe_fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    res.exit_status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::remove(input_path.c_str());
    return res;
}

ChildResult run_in_child(const std::function<int()>& body) {
    std::array<int, 2> pipe_fds{};
    if (::pipe(pipe_fds.data()) != 0) {
        throw std::runtime_error("pipe failed");
    }
    std::fflush(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(pipe_fds[0]);
        if (::dup2(pipe_fds[1], 1) < 0) {
            ::_exit(127);
        }
        const int rc = body();
        std::fflush(nullptr);
        ::_exit(rc);
    }
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

}  // namespace test
