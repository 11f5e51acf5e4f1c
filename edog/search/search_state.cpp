#include "edog/search/search_state.h"

#include <memory>
#include <mutex>
#include <utility>

namespace e_dog {

SearchView* SearchState::make_view(std::uint32_t at_most) {
    auto v = std::make_unique<SearchView>();
    v->map.attach(fd_, at_most);
    v->map.remap();  // the file as it is now: its whole records, at most those
    v->indexed = build_keys(v->map, v->keys);
    views_.push_back(std::move(v));
    return views_.back().get();
}

void SearchState::attach(int fd, std::uint32_t records) {
    detach();
    fd_ = fd;
    records_ = fd >= 0 ? records : 0;
}

void SearchState::detach() {
    current_.store(nullptr, std::memory_order_release);
    views_.clear();
    fd_ = -1;
    records_ = 0;
}

SearchView& SearchState::view() {
    SearchView* v = current_.load(std::memory_order_acquire);
    if (v == nullptr) {
        const std::lock_guard<std::mutex> lock(change_);
        v = current_.load(std::memory_order_relaxed);
        if (v == nullptr) {
            v = make_view(records_);
            current_.store(v, std::memory_order_release);
        }
    }
    return *v;
}

bool SearchState::renew_if_cut_short(const SearchView& v) {
    if (!v.map.cut_short()) {
        return false;
    }
    const std::lock_guard<std::mutex> lock(change_);
    if (current_.load(std::memory_order_relaxed) == &v) {
        current_.store(make_view(v.map.records()), std::memory_order_release);
    }
    return true;
}

std::size_t SearchState::key_bytes() const {
    const SearchView* v = current_.load(std::memory_order_acquire);
    return v == nullptr ? 0 : v->keys.memory();
}

}  // namespace e_dog
