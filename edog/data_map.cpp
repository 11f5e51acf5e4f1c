#include "edog/data_map.h"

#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <mutex>
#include <utility>

namespace e_dog {

thread_local MapGuard* t_map_guard = nullptr;

namespace {

struct sigaction previous_sigbus {};

void on_sigbus(int sig, siginfo_t* info, void* context) {
    const MapGuard* guard = t_map_guard;
    const auto* addr = static_cast<const unsigned char*>(info->si_addr);
    for (const MapGuard* g = guard; g != nullptr; g = g->outer) {
        if (g->lo != nullptr && addr >= g->lo && addr < g->lo + g->len) {
            siglongjmp(const_cast<MapGuard*>(guard)->env, 1);  // NOLINT(cert-err52-cpp)
        }
    }
    // Not a read of a guarded map.
    if ((previous_sigbus.sa_flags & SA_SIGINFO) != 0 && previous_sigbus.sa_sigaction != nullptr) {
        previous_sigbus.sa_sigaction(sig, info, context);
    } else if (previous_sigbus.sa_handler != SIG_DFL && previous_sigbus.sa_handler != SIG_IGN) {
        previous_sigbus.sa_handler(sig);
    } else {
        // Ends the process as it would have without this handler.
        (void)std::signal(SIGBUS, SIG_DFL);
        (void)std::raise(SIGBUS);
    }
}

}  // namespace

void install_map_guard() {
    static std::once_flag once;
    std::call_once(once, [] {
        struct sigaction sa {};
        sa.sa_sigaction = on_sigbus;
        sa.sa_flags = SA_SIGINFO | SA_NODEFER;
        (void)sigemptyset(&sa.sa_mask);
        (void)::sigaction(SIGBUS, &sa, &previous_sigbus);
    });
}

DataMap::DataMap(int fd, std::uint32_t records) : fd_(fd), records_(records) {
    const std::size_t length = std::size_t{records} * kRecordSize;
    void* p = ::mmap(nullptr, length, PROT_READ, MAP_SHARED, fd, 0);
    if (p != MAP_FAILED) {
        bytes_ = static_cast<const unsigned char*>(p);
        length_ = length;
        install_map_guard();
    }
}

void DataMap::shrink_to_file() {
    struct stat st {};
    const std::uint64_t whole = ::fstat(fd_, &st) == 0 && st.st_size > 0
                                    ? static_cast<std::uint64_t>(st.st_size) / kRecordSize
                                    : 0;
    if (whole < records_) {
        records_ = static_cast<std::uint32_t>(whole);
    }
}

DataMap::~DataMap() {
    release();
}

DataMap::DataMap(DataMap&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)),
      bytes_(std::exchange(other.bytes_, nullptr)),
      length_(std::exchange(other.length_, 0)),
      records_(std::exchange(other.records_, 0)) {}

DataMap& DataMap::operator=(DataMap&& other) noexcept {
    if (this != &other) {
        release();
        fd_ = std::exchange(other.fd_, -1);
        bytes_ = std::exchange(other.bytes_, nullptr);
        length_ = std::exchange(other.length_, 0);
        records_ = std::exchange(other.records_, 0);
    }
    return *this;
}

void DataMap::release() noexcept {
    if (bytes_ != nullptr) {
        ::munmap(const_cast<unsigned char*>(bytes_), length_);
    }
    bytes_ = nullptr;
    length_ = 0;
    records_ = 0;
    fd_ = -1;
}

E_DOG_DATA DataMap::record(std::uint32_t i) const {
    if (bytes_ != nullptr) {
        return decode_record(bytes_ + std::size_t{i} * kRecordSize);
    }
    RecordBytes b{};
    const auto offset = static_cast<off_t>(i) * static_cast<off_t>(kRecordSize);
    if (::pread(fd_, b.data(), b.size(), offset) != static_cast<ssize_t>(b.size())) {
        return E_DOG_DATA{};
    }
    return decode_record(b.data());
}

}  // namespace e_dog
