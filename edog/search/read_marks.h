// Grace periods for what running searches may still read. A search marks its
// thread as reading for as long as it runs: one store to a slot of the
// thread's own, no read-modify-write shared between threads. A view replaced
// under running searches is stamped when it is retired and freed once every
// search that may hold it has ended. The replacing side, which is rare, pays
// for the ordering: a barrier on every thread of the process (membarrier(2))
// where the kernel offers it; where it does not, the mark is a sequentially
// consistent store. See doc/data-file-format.md.
#ifndef EDOG_SEARCH_READ_MARKS_H
#define EDOG_SEARCH_READ_MARKS_H

#include <atomic>
#include <cstdint>

namespace e_dog::reading {

namespace detail {

// A thread's slot holds the epoch its running search started in, or 0 while
// it runs none.
struct alignas(64) Slot {
    std::atomic<std::uint64_t> epoch{0};
    std::atomic<bool> owned{false};
};
extern Slot no_slot;                 // a thread's slot when every slot was taken
extern std::atomic<long> unslotted;  // searches running in threads without a slot
extern std::atomic<std::uint64_t> global_epoch;
extern bool light_marks;  // the replacing side's barrier stands for the marks' fences
// The thread's slot (claimed by its first search) and its marks' depth:
// constant-initialised, so that a mark costs no initialisation check.
// NOLINTBEGIN(cppcoreguidelines-avoid-non-const-global-variables)
inline thread_local Slot* my_slot = nullptr;
inline thread_local int my_depth = 0;
// NOLINTEND(cppcoreguidelines-avoid-non-const-global-variables)
Slot* claim_slot();

}  // namespace detail

// This thread reads, from construction to destruction (nested marks count as
// one).
class Mark {
public:
    Mark() {
        using namespace detail;
        if (my_depth++ > 0) {
            return;
        }
        if (my_slot == nullptr) {
            my_slot = claim_slot();
        }
        if (my_slot == &no_slot) {
            unslotted.fetch_add(1, std::memory_order_seq_cst);
            return;
        }
        const std::uint64_t e = global_epoch.load(std::memory_order_acquire);
        if (light_marks) {
            my_slot->epoch.store(e, std::memory_order_relaxed);
            std::atomic_signal_fence(std::memory_order_seq_cst);
        } else {
            my_slot->epoch.store(e, std::memory_order_seq_cst);
        }
    }
    ~Mark() {
        using namespace detail;
        if (--my_depth > 0) {
            return;
        }
        if (my_slot == &no_slot) {
            unslotted.fetch_sub(1, std::memory_order_release);
        } else {
            my_slot->epoch.store(0, std::memory_order_release);
        }
    }
    Mark(const Mark&) = delete;
    Mark& operator=(const Mark&) = delete;
    Mark(Mark&&) = delete;
    Mark& operator=(Mark&&) = delete;
};

// A stamp for something just unpublished: searches that start from now on
// cannot find it.
std::uint64_t retire_stamp();

// Whether every search that was running when `stamp` was taken has ended,
// the calling thread's own (which must not touch what it retired) left out.
bool ended_since(std::uint64_t stamp);

}  // namespace e_dog::reading

#endif  // EDOG_SEARCH_READ_MARKS_H
