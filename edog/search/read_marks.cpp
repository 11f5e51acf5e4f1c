#include "edog/search/read_marks.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cstddef>

#include <linux/membarrier.h>

namespace e_dog::reading {

namespace {

constexpr std::size_t kSlots = 256;
std::array<detail::Slot, kSlots> slots;

bool heavy_barrier_available() noexcept {
    static const bool available = [] {
        const long cmds = ::syscall(SYS_membarrier, MEMBARRIER_CMD_QUERY, 0);
        return cmds >= 0 && (cmds & MEMBARRIER_CMD_PRIVATE_EXPEDITED) != 0 &&
               ::syscall(SYS_membarrier, MEMBARRIER_CMD_REGISTER_PRIVATE_EXPEDITED, 0) == 0;
    }();
    return available;
}

// A full barrier in every thread of the process. Without the kernel's help
// the marks are sequentially consistent stores, and so are the stamp, the
// publishing of views and the reading of the slots, which orders them.
void heavy_barrier() {
    if (heavy_barrier_available()) {
        (void)::syscall(SYS_membarrier, MEMBARRIER_CMD_PRIVATE_EXPEDITED, 0);
    }
}

// Gives the thread's slot back when the thread ends.
struct Release {
    Release() = default;
    ~Release() {
        detail::Slot* s = detail::my_slot;
        if (s != nullptr && s != &detail::no_slot) {
            s->epoch.store(0, std::memory_order_release);
            s->owned.store(false, std::memory_order_release);
        }
    }
    Release(const Release&) = delete;
    Release& operator=(const Release&) = delete;
    Release(Release&&) = delete;
    Release& operator=(Release&&) = delete;
};

}  // namespace

namespace detail {

Slot no_slot;
std::atomic<long> unslotted{0};
std::atomic<std::uint64_t> global_epoch{1};
// Known before any search runs; read as false before (then the marks are the
// sequentially consistent stores, which is as sound).
bool light_marks = heavy_barrier_available();

Slot* claim_slot() {
    thread_local Release release;
    (void)release;
    for (Slot& s : slots) {
        bool expected = false;
        if (s.owned.compare_exchange_strong(expected, true)) {
            return &s;
        }
    }
    return &no_slot;
}

}  // namespace detail

std::uint64_t retire_stamp() {
    return detail::global_epoch.fetch_add(1, std::memory_order_seq_cst) + 1;
}

bool ended_since(std::uint64_t stamp) {
    using detail::my_slot;
    heavy_barrier();
    const long own = my_slot == &detail::no_slot && detail::my_depth > 0 ? 1 : 0;
    if (detail::unslotted.load(std::memory_order_seq_cst) > own) {
        return false;
    }
    for (const detail::Slot& s : slots) {
        const std::uint64_t e = s.epoch.load(std::memory_order_seq_cst);
        if (&s != my_slot && e != 0 && e < stamp) {
            return false;
        }
    }
    return true;
}

}  // namespace e_dog::reading
