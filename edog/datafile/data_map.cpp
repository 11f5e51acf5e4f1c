#include "edog/datafile/data_map.h"

#include <sys/mman.h>
#include <unistd.h>

#include <array>
#include <csignal>
#include <cstdint>
#include <mutex>

#include "edog/datafile/open_file.h"

namespace e_dog {

namespace {

// Reading a page of a file map that lies past the file's end raises SIGBUS.
// The handler below finds the map the faulting address belongs to, puts a
// page of zeros in place of the missing one (so the read goes on and sees
// zeros) and marks the map cut short. Any other SIGBUS goes to the handler
// that was installed before. Maps are found through a small fixed registry
// of lock-free slots, which the handler can read safely.
constexpr std::size_t kSlots = 32;
struct Slot {
    std::atomic<const unsigned char*> lo{nullptr};
    std::atomic<std::size_t> len{0};
    std::atomic<std::atomic<bool>*> flag{nullptr};
};
std::array<Slot, kSlots> registry;
struct sigaction previous_sigbus {};
std::uintptr_t page_size = 4096;

bool replace_with_zeros(const unsigned char* addr) {
    for (Slot& s : registry) {
        const unsigned char* lo = s.lo.load(std::memory_order_acquire);
        const std::size_t len = s.len.load(std::memory_order_acquire);
        std::atomic<bool>* flag = s.flag.load(std::memory_order_acquire);
        if (lo == nullptr || flag == nullptr || addr < lo || addr >= lo + len) {
            continue;
        }
        const unsigned char* page =
            addr - (reinterpret_cast<std::uintptr_t>(addr) & (page_size - 1));
        if (::mmap(const_cast<unsigned char*>(page), page_size, PROT_READ,
                   MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0) == MAP_FAILED) {
            return false;
        }
        flag->store(true, std::memory_order_release);
        return true;
    }
    return false;
}

void on_sigbus(int sig, siginfo_t* info, void* context) {
    if (replace_with_zeros(static_cast<const unsigned char*>(info->si_addr))) {
        return;  // the read runs again and finds zeros
    }
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

void install_handler() {
    static std::once_flag once;
    std::call_once(once, [] {
        page_size = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
        struct sigaction sa {};
        sa.sa_sigaction = on_sigbus;
        sa.sa_flags = SA_SIGINFO;
        (void)sigemptyset(&sa.sa_mask);
        (void)::sigaction(SIGBUS, &sa, &previous_sigbus);
    });
}

void enrol(const unsigned char* lo, std::size_t len, std::atomic<bool>* flag) {
    for (Slot& s : registry) {
        const unsigned char* expected = nullptr;
        if (s.lo.compare_exchange_strong(expected, lo, std::memory_order_acq_rel)) {
            s.len.store(len, std::memory_order_release);
            s.flag.store(flag, std::memory_order_release);
            return;
        }
    }
    // All slots taken: this map is read unguarded.
}

void withdraw(const unsigned char* lo) {
    for (Slot& s : registry) {
        if (s.lo.load(std::memory_order_acquire) == lo) {
            s.flag.store(nullptr, std::memory_order_release);
            s.len.store(0, std::memory_order_release);
            s.lo.store(nullptr, std::memory_order_release);
            return;
        }
    }
}

}  // namespace

void DataMap::attach(int fd, std::uint32_t records) {
    reset();
    fd_ = fd;
    map(records);
}

DataMap::~DataMap() {
    reset();
}

void DataMap::map(std::uint32_t records) {
    records_ = records;
    const auto length = DataFileLayout::offset_in_memory(records);
    void* p = length == 0 ? MAP_FAILED : ::mmap(nullptr, length, PROT_READ, MAP_SHARED, fd_, 0);
    if (p != MAP_FAILED) {
        bytes_ = static_cast<const unsigned char*>(p);
        length_ = length;
        install_handler();
        enrol(bytes_, length_, &cut_short_);
    }
}

void DataMap::reset() {
    if (bytes_ != nullptr) {
        withdraw(bytes_);
        ::munmap(const_cast<unsigned char*>(bytes_), length_);
    }
    bytes_ = nullptr;
    length_ = 0;
    records_ = 0;
    fd_ = -1;
    cut_short_.store(false, std::memory_order_release);
}

void DataMap::remap() {
    const std::uint64_t whole = whole_records(fd_);
    const std::uint32_t keep = whole < records_ ? static_cast<std::uint32_t>(whole) : records_;
    attach(fd_, keep);
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
