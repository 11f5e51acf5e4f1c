#include "edog/search/search_state.h"

#include <algorithm>
#include <memory>
#include <mutex>
#include <utility>

#include "edog/datafile/open_file.h"

namespace e_dog {

SearchView* SearchState::publish_view() {
    auto v = std::make_unique<SearchView>();
    // Keys built while the file loses pages hold zeros: built again, a few
    // times; pages that stay unreadable give records no search near them
    // takes, and the searches that reach them fail.
    constexpr int kBuilds = 3;
    for (int build = 0; build < kBuilds; ++build) {
        const std::uint64_t before = file_.faults();
        if (owned_ != nullptr || !file_.clean()) {
            file_.refresh();  // pages the file has are read from it again
        }
        v->version = file_version(file_.fd());
        const std::uint64_t whole = whole_records(file_.fd());
        v->map.attach(file_, static_cast<std::uint32_t>(std::min<std::uint64_t>(whole, records_)));
        v->indexed = build_keys(v->map, v->keys);
        if (file_.faults() == before) {
            break;
        }
    }
    ++views_made_;
    current_.store(v.get(), std::memory_order_seq_cst);
    if (owned_ != nullptr) {
        retired_.push_back({std::move(owned_), reading::retire_stamp()});
    }
    owned_ = std::move(v);
    std::erase_if(retired_, [](const Retired& r) { return reading::ended_since(r.stamp); });
    return owned_.get();
}

void SearchState::attach(int fd, std::uint32_t records) {
    detach();
    records_ = fd >= 0 ? records : 0;
    if (fd >= 0) {
        file_.attach(fd, records);
    }
}

void SearchState::detach() {
    current_.store(nullptr);
    owned_.reset();
    retired_.clear();
    file_.reset();
    views_made_ = 0;
    records_ = 0;
}

SearchView& SearchState::view_anew() {
    const std::lock_guard<std::mutex> lock(change_);
    SearchView* v = current_.load(std::memory_order_relaxed);
    if (v == nullptr) {
        return *publish_view();
    }
    if (v->map.records() < records_ && file_version(file_.fd()) != v->version) {
        return *publish_view();  // short of records, and the file changed: maybe whole again
    }
    if (!file_.clean()) {
        file_.refresh();
    }
    return *v;
}

bool SearchState::renew(const SearchView& v, bool zeros) {
    const std::lock_guard<std::mutex> lock(change_);
    if (current_.load(std::memory_order_relaxed) != &v) {
        return true;  // another search made a new view already
    }
    if (file_version(file_.fd()) != v.version || !zeros) {
        (void)publish_view();  // the file changed: new keys
    } else {
        file_.refresh();  // the file as the view was made of it: zeros in the map only
    }
    return true;
}

std::size_t SearchState::key_bytes() const {
    const SearchView* v = current_.load(std::memory_order_acquire);
    return v == nullptr ? 0 : v->keys.memory();
}

}  // namespace e_dog
