// What the searches over one open data file hold of it, shared by the
// nearest search and the radius search: the file's map and a view of it (a
// window onto the map and the keys built from it). Each database handle has
// one. The module's own files only.
//
// Searches may run in several threads at once; each holds a reading::Mark
// while it runs (edog/search/read_marks.h). A view is built once, on the first search, whatever the
// number of threads asking, and never changes after it is published. A search that may have read
// zeros put in for pages the file lost (the map's fault count changed while it ran) runs again: on
// the same view with the map refreshed when the file is as the view was made of it, else on a view
// of the file as it is now. A view of fewer records than the file was opened with is replaced as
// soon as the file changes again (a copy over it makes it whole). A view replaced is freed once no
// search runs. Attaching and detaching must not overlap a search. The rules:
// doc/data-file-format.md.
#ifndef EDOG_SEARCH_STATE_H
#define EDOG_SEARCH_STATE_H

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "edog/datafile/data_map.h"
#include "edog/search/nearest_keys.h"
#include "edog/search/read_marks.h"
#include "geo/geohash_int.h"

namespace e_dog {

// Whether the search running in this thread found a record out of place
// (still_whole); cleared by SearchState::view().
inline bool& found_out_of_place() {
    thread_local bool found = false;
    return found;
}

struct SearchView {
    DataMap map;
    KeyArray keys;
    bool indexed = false;  // false: every search scans all records
    FileVersion version;   // of the file when the view was made
};

class SearchState {
public:
    SearchState() = default;
    ~SearchState() { detach(); }
    SearchState(const SearchState&) = delete;
    SearchState& operator=(const SearchState&) = delete;
    SearchState(SearchState&&) = delete;
    SearchState& operator=(SearchState&&) = delete;

    // The file open on `fd` with `records` whole records, or none (fd < 0).
    void attach(int fd, std::uint32_t records);
    void detach();

    // Records of the file as opened (0: nothing to search).
    [[nodiscard]] std::uint32_t records() const { return records_; }

    // The view to search: built by the first caller (the others wait for
    // it); made anew first when the current one is short of records and the
    // file has changed since. The map is refreshed first where zeros were
    // put in since it last was. Starts this thread's search afresh
    // (found_out_of_place).
    SearchView& view() {
        found_out_of_place() = false;
        // Sequentially consistent: ordered after this search's mark.
        SearchView* v = current_.load(std::memory_order_seq_cst);
        if (v != nullptr && v->map.records() == records_ && file_.clean()) {
            return *v;
        }
        return view_anew();
    }
    // The map's fault count: read by a search as it starts on a view.
    [[nodiscard]] std::uint64_t faults() const { return file_.faults(); }

    // After a search of `v` that started at fault count `seen`: false when
    // what it read can be trusted. True when it may have read zeros, or found
    // a record out of place: the search must run again on view(), which is
    // then the map refreshed (the file as the view was made of it) or a new
    // view (the file changed). `v` is not to be used after a true answer. A
    // search that must run again at every attempt fails: a page that cannot
    // be read where it must look, or a file cut again and again under it.
    bool renew_if_cut_short(const SearchView& v, std::uint64_t seen) {
        const bool zeros = file_.faults() != seen;
        return (zeros || found_out_of_place()) && renew(v, zeros);
    }

    // Bytes of the current view's keys (0 before the first search).
    [[nodiscard]] std::size_t key_bytes() const;
    // The file's map, which every view reads.
    [[nodiscard]] const FileMap& file() const { return file_; }
    // Views held: the current one and those replaced but not yet freed. Not
    // while a search runs.
    [[nodiscard]] std::size_t views_held() const {
        return (owned_ != nullptr ? 1 : 0) + retired_.size();
    }
    // Views made since attach. Not while a search runs.
    [[nodiscard]] std::size_t views_made() const { return views_made_; }

private:
    // Makes and publishes a view of the file as it is now (under change_).
    SearchView* publish_view();
    SearchView& view_anew();
    bool renew(const SearchView& v, bool zeros);

    FileMap file_;
    std::mutex change_;  // held while a view is made, published or freed
    std::atomic<SearchView*> current_{nullptr};
    std::unique_ptr<SearchView> owned_;  // the current view
    struct Retired {
        std::unique_ptr<SearchView> view;
        std::uint64_t stamp;
    };
    std::vector<Retired> retired_;  // replaced, maybe still read
    std::size_t views_made_ = 0;
    std::uint32_t records_ = 0;
};

// With keys, a record read for a search must still lie in its key's cell; one
// that does not was changed or cut under the map since the keys were built:
// the search notes it and the record is not to be used.
inline bool still_whole(const SearchView& v, std::uint32_t i, const Spot& spot) {
    if (v.indexed && !geo::CellBox(v.keys[i] >> kKeyShift, kCodeBits).holds(spot.lat, spot.lng)) {
        found_out_of_place() = true;
        return false;
    }
    return true;
}

}  // namespace e_dog

#endif  // EDOG_SEARCH_STATE_H
