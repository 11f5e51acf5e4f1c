#include "edog/datafile/data_map.h"

#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <mutex>

#include "edog/datafile/open_file.h"

namespace e_dog {

namespace {

// Reading a page of a file map that the file no longer has (cut short), or
// that cannot be read (an I/O error), raises SIGBUS. The handler below finds
// the map the faulting address belongs to, puts a page of zeros in place of
// the missing one (so that the read goes on and sees zeros) and counts the
// fault on the map. A SIGBUS of any other address is not ours: the handler
// that was installed before is put back and the handler returns, so that the
// faulting instruction runs again and the kernel delivers the signal to that
// handler with its own flags (SA_RESETHAND, SA_SIGINFO, ...), or ends the
// process as it would have without this one. The next file map installs
// this handler again.
//
// Maps are found through a fixed registry of lock-free slots, which the
// handler can read safely: one per open file map, whatever the number of
// times it is cut, refreshed or searched. A map that finds no free slot is
// not made: its records are read with pread.
constexpr std::size_t kSlots = 64;
struct Slot {
    std::atomic<const unsigned char*> lo{nullptr};
    std::atomic<std::size_t> len{0};
    std::atomic<std::atomic<std::uint64_t>*> faults{nullptr};
};
std::array<Slot, kSlots> registry;
struct sigaction previous_sigbus {};
const auto page_size = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
std::mutex install_lock;

// mmap over pages other threads may be reading. The kernel replaces the
// pages at once; ThreadSanitizer, which takes a new map for a write to the
// memory, is told that these are no accesses of this thread's.
#if defined(__SANITIZE_THREAD__)
extern "C" void __tsan_ignore_thread_begin();  // NOLINT(bugprone-reserved-identifier)
extern "C" void __tsan_ignore_thread_end();    // NOLINT(bugprone-reserved-identifier)
void* map_over(void* at, std::size_t length, int flags, int fd) {
    __tsan_ignore_thread_begin();
    void* p = ::mmap(at, length, PROT_READ, flags | MAP_FIXED, fd, 0);
    __tsan_ignore_thread_end();
    return p;
}
#else
void* map_over(void* at, std::size_t length, int flags, int fd) {
    return ::mmap(at, length, PROT_READ, flags | MAP_FIXED, fd, 0);
}
#endif

bool replace_with_zeros(const unsigned char* addr) {
    for (Slot& s : registry) {
        const unsigned char* lo = s.lo.load(std::memory_order_acquire);
        const std::size_t len = s.len.load(std::memory_order_acquire);
        std::atomic<std::uint64_t>* faults = s.faults.load(std::memory_order_acquire);
        if (lo == nullptr || faults == nullptr || addr < lo || addr >= lo + len) {
            continue;
        }
        auto* page = const_cast<unsigned char*>(
            addr - (reinterpret_cast<std::uintptr_t>(addr) & (page_size - 1)));
        if (map_over(page, page_size, MAP_PRIVATE | MAP_ANONYMOUS, -1) == MAP_FAILED) {
            return false;
        }
        faults->fetch_add(1, std::memory_order_acq_rel);
        return true;
    }
    return false;
}

void on_sigbus(int /*sig*/, siginfo_t* info, void* /*context*/) {
    if (replace_with_zeros(static_cast<const unsigned char*>(info->si_addr))) {
        return;  // the read runs again and finds zeros
    }
    (void)::sigaction(SIGBUS, &previous_sigbus, nullptr);
}

// Installs the handler unless it is installed; keeps what was there before.
void install_handler() {
    const std::lock_guard<std::mutex> lock(install_lock);
    struct sigaction now {};
    if (::sigaction(SIGBUS, nullptr, &now) == 0 && (now.sa_flags & SA_SIGINFO) != 0 &&
        now.sa_sigaction == on_sigbus) {
        return;
    }
    struct sigaction sa {};
    sa.sa_sigaction = on_sigbus;
    sa.sa_flags = SA_SIGINFO;
    (void)sigemptyset(&sa.sa_mask);
    (void)::sigaction(SIGBUS, &sa, &previous_sigbus);
}

bool enrol(const unsigned char* lo, std::size_t len, std::atomic<std::uint64_t>* faults) {
    for (Slot& s : registry) {
        const unsigned char* expected = nullptr;
        if (s.lo.compare_exchange_strong(expected, lo, std::memory_order_acq_rel)) {
            s.len.store(len, std::memory_order_release);
            s.faults.store(faults, std::memory_order_release);
            return true;
        }
    }
    return false;
}

void withdraw(const unsigned char* lo) {
    for (Slot& s : registry) {
        if (s.lo.load(std::memory_order_acquire) == lo) {
            s.faults.store(nullptr, std::memory_order_release);
            s.len.store(0, std::memory_order_release);
            s.lo.store(nullptr, std::memory_order_release);
            return;
        }
    }
}

}  // namespace

FileVersion file_version(int fd) {
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0) {
        return {};
    }
    constexpr std::int64_t kNsPerS = 1'000'000'000;
    const std::int64_t size = st.st_size;  // off_t and time_t: as wide, or narrower
    const std::int64_t seconds = st.st_mtim.tv_sec;
    return {size, seconds * kNsPerS + st.st_mtim.tv_nsec};
}

FileMap::~FileMap() {
    reset();
}

void FileMap::attach(int fd, std::uint32_t records) {
    reset();
    fd_ = fd;
    records_ = records;
    const auto length = DataFileLayout::offset_in_memory(records);
    void* p = length == 0 ? MAP_FAILED : ::mmap(nullptr, length, PROT_READ, MAP_SHARED, fd_, 0);
    if (p == MAP_FAILED) {
        return;
    }
    install_handler();
    if (!enrol(static_cast<const unsigned char*>(p), length, &faults_)) {
        ::munmap(p, length);  // unguarded, a cut file would end the process: read with pread
        return;
    }
    bytes_ = static_cast<const unsigned char*>(p);
    length_ = length;
}

void FileMap::reset() {
    if (bytes_ != nullptr) {
        withdraw(bytes_);
        ::munmap(const_cast<unsigned char*>(bytes_), length_);
    }
    bytes_ = nullptr;
    length_ = 0;
    records_ = 0;
    fd_ = -1;
    faults_.store(0, std::memory_order_release);
    clean_at_.store(0, std::memory_order_release);
}

void FileMap::refresh() {
    // A fault counted after this load may have put zeros over the new map:
    // the map is then not clean.
    const std::uint64_t before = faults_.load(std::memory_order_acquire);
    if (bytes_ != nullptr) {
        install_handler();  // a host's handler may have been put back
        (void)map_over(const_cast<unsigned char*>(bytes_), length_, MAP_SHARED, fd_);
    }
    clean_at_.store(before, std::memory_order_release);
}

void DataMap::attach(const FileMap& file, std::uint32_t records) {
    file_ = &file;
    bytes_ = file.bytes();
    fd_ = file.fd();
    records_ = records < file.records() ? records : file.records();
}

void DataMap::read_records(std::uint32_t first, std::uint32_t count, unsigned char* out) const {
    const std::size_t want = DataFileLayout::offset_in_memory(count);
    std::size_t got = 0;
    while (got < want) {
        const auto at = static_cast<off_t>(DataFileLayout::offset(first) + got);
        const ssize_t n = ::pread(fd_, out + got, want - got, at);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        got += static_cast<std::size_t>(n);
    }
    if (got == want) {
        return;
    }
    // The file is shorter than the window, or a read failed: zeros, as the
    // fault guard would put in, and counted as it would count them, so that
    // the search knows it read zeros and runs again.
    std::memset(out + got, 0, want - got);
    if (bytes_ != nullptr) {
        file_->note_lost_records();
    }
}

E_DOG_DATA DataMap::record(std::uint32_t i) const {
    if (bytes_ != nullptr) {
        return decode_record(at(i));
    }
    E_DOG_DATA rec{};
    (void)read_record_at(fd_, i, rec);
    return rec;
}

}  // namespace e_dog
