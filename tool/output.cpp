#include "tool/output.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

#include "edog/datafile/atomic_file.h"
#include "tool/tool.h"

namespace edog_tool {

namespace {

namespace fs = std::filesystem;

// `path` with every symbolic link of its last component followed (a
// dangling one too): the file a write replaces.
std::string link_target(const std::string& path) {
    fs::path p = path;
    for (int hops = 0; hops < 40; ++hops) {  // as the kernel's own limit on links
        std::error_code ec;
        if (!fs::is_symlink(fs::symlink_status(p, ec))) {
            return p.string();
        }
        const fs::path to = fs::read_symlink(p, ec);
        if (ec) {
            throw Failure(path, "symbolic link cannot be read: " + ec.message());
        }
        p = to.is_absolute() ? to : p.parent_path() / to;
    }
    throw Failure(path, "too many levels of symbolic links");
}

// Removes temporaries "NAME.tmp-PID-..." beside `target` whose process is
// gone: a write killed before it could clean up.
void remove_stale_temporaries(const fs::path& target) {
    const std::string prefix = target.filename().string() + ".tmp-";
    std::error_code ec;
    const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
    for (const fs::directory_entry& e : fs::directory_iterator(folder, ec)) {
        const std::string name = e.path().filename().string();
        if (name.rfind(prefix, 0) != 0) {
            continue;
        }
        char* end = nullptr;
        const long pid = std::strtol(name.c_str() + prefix.size(), &end, 10);
        std::error_code regular;
        if (pid > 0 && *end == '-' && pid != ::getpid() &&
            ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH &&
            fs::is_regular_file(e.symlink_status(regular))) {
            std::error_code removed;
            fs::remove(e.path(), removed);
        }
    }
}

extern "C" void on_stop_signal(int sig) {
    const char* temp = e_dog::pending_temp_name();
    if (temp[0] != '\0') {
        (void)::unlink(temp);
    }
    static const char kMessage[] = "edog-tool: stopped; no output was written\n";
    const ssize_t written = ::write(STDERR_FILENO, kMessage, sizeof kMessage - 1);
    (void)written;  // nothing more can be done about a failed message
    ::_exit(128 + sig);
}

}  // namespace

std::string checked_output(const std::string& path, const std::vector<std::string>& inputs) {
    std::string target = link_target(path);
    struct stat out {};
    const bool exists = ::stat(target.c_str(), &out) == 0;
    if (exists && !S_ISREG(out.st_mode)) {
        throw Failure(path,
                      "exists and is not a regular file (a folder, a device or a FIFO); "
                      "refused as an output");
    }
    for (const std::string& input : inputs) {
        struct stat in {};
        if (exists && ::stat(input.c_str(), &in) == 0 && in.st_dev == out.st_dev &&
            in.st_ino == out.st_ino) {
            throw Failure(path, "is also an input of this command (" + input +
                                    "); refused as an output, nothing was read or written");
        }
    }
    remove_stale_temporaries(target);
    return target;
}

void remove_temporaries_on_signals() {
    struct sigaction sa {};
    sa.sa_handler = on_stop_signal;
    (void)sigemptyset(&sa.sa_mask);
    for (const int sig : {SIGINT, SIGTERM, SIGHUP}) {
        (void)::sigaction(sig, &sa, nullptr);
    }
}

void write_whole(const std::string& target, std::string_view bytes, const std::string& named,
                 const std::string& consequence) {
    errno = 0;
    e_dog::AtomicFile out(target);
    if (!out.ok() || std::fwrite(bytes.data(), 1, bytes.size(), out.stream()) != bytes.size() ||
        !out.commit()) {
        throw Failure(named,
                      std::string("cannot be written: ") + std::strerror(errno) + consequence);
    }
}

}  // namespace edog_tool
