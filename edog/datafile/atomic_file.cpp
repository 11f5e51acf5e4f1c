#include "edog/datafile/atomic_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>

namespace e_dog {

namespace {

constexpr int kNameAttempts = 100;

// Forces the folder holding `path` to disk, so that a rename into it lasts.
void sync_folder_of(const std::string& path) {
    const std::filesystem::path parent = std::filesystem::path(path).parent_path();
    const char* folder = parent.empty() ? "." : parent.c_str();
    const int fd = ::open(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        (void)::fsync(fd);  // some file systems refuse it; the rename stands either way
        (void)::close(fd);
    }
}

}  // namespace

namespace {

// The pending temporary file's name. Written only outside signal handlers;
// a handler reading it mid-change finds "" (the first byte is cleared first
// and set last).
std::array<char, 4096> pending{};

void set_pending(const std::string& name) {
    pending[0] = '\0';
    std::atomic_signal_fence(std::memory_order_seq_cst);
    if (name.size() >= pending.size()) {
        return;  // too long to keep: a signal leaves it behind
    }
    std::memcpy(pending.data() + 1, name.data() + 1, name.size());  // the rest and its NUL
    std::atomic_signal_fence(std::memory_order_seq_cst);
    pending[0] = name[0];
}

void clear_pending(const std::string& name) {
    if (std::strcmp(pending.data(), name.c_str()) == 0) {
        pending[0] = '\0';
    }
}

}  // namespace

const char* pending_temp_name() {
    return pending.data();
}

std::string unique_name_beside(const std::string& target) {
    static std::uint32_t counter = 0;
    static std::mt19937 rng(static_cast<std::uint32_t>(
        std::chrono::steady_clock::now().time_since_epoch().count() ^ ::getpid()));
    char suffix[64];
    (void)std::snprintf(suffix, sizeof suffix, ".tmp-%ld-%u-%08x", static_cast<long>(::getpid()),
                        counter++, static_cast<unsigned>(rng()));
    std::string name;
    name.assign(target).append(suffix);
    return name;
}

AtomicFile::AtomicFile(std::string target) : target_(std::move(target)) {
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        temp_ = unique_name_beside(target_);
        // 0666 less the umask, as for any new file.
        const int fd =
            ::open(temp_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd >= 0) {
            set_pending(temp_);
            stream_ = ::fdopen(fd, "wb");
            if (stream_ == nullptr) {
                (void)::close(fd);
                (void)std::remove(temp_.c_str());
                clear_pending(temp_);
            }
            return;
        }
        if (errno != EEXIST) {
            return;
        }
    }
}

AtomicFile::~AtomicFile() {
    if (stream_ != nullptr) {
        (void)std::fclose(stream_);
        stream_ = nullptr;
    }
    if (!committed_ && !temp_.empty()) {
        (void)std::remove(temp_.c_str());
    }
    clear_pending(temp_);
}

bool AtomicFile::commit() {
    if (stream_ == nullptr) {
        return false;
    }
    bool ok = std::fflush(stream_) == 0 && ::fsync(::fileno(stream_)) == 0;
    ok = (std::fclose(stream_) == 0) && ok;
    stream_ = nullptr;
    ok = ok && std::rename(temp_.c_str(), target_.c_str()) == 0;
    if (ok) {
        committed_ = true;
        clear_pending(temp_);
        sync_folder_of(target_);
    }
    return ok;
}

}  // namespace e_dog
