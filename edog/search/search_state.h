// What the searches over one open data file hold of it, shared by the
// nearest search and the radius search: a view of the file (its map and the
// keys built from it). Each database handle has one. The module's own files
// only.
//
// Searches may run in several threads at once. A view is built once, on the
// first search, whatever the number of threads asking, and never changes
// after it is published; a view found cut short is replaced by a new one,
// and the old one is kept until the handle closes, since another search may
// still be reading it. Attaching and detaching must not overlap a search.
#ifndef EDOG_SEARCH_STATE_H
#define EDOG_SEARCH_STATE_H

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "edog/datafile/data_map.h"
#include "edog/search/nearest_keys.h"
#include "geo/geohash_int.h"

namespace e_dog {

struct SearchView {
    DataMap map;
    KeyArray keys;
    bool indexed = false;  // false: every search scans all records
};

class SearchState {
public:
    // The file open on `fd` with `records` whole records, or none (fd < 0).
    void attach(int fd, std::uint32_t records);
    void detach();

    // Records of the file as opened (0: nothing to search).
    [[nodiscard]] std::uint32_t records() const { return records_; }

    // The view to search: the file mapped anew as it is now and its keys,
    // built by the first caller; the others wait for it.
    SearchView& view();

    // After a search of `v`: when its map was found cut short, publishes a
    // view of the file as it is now (unless another search did already) and
    // answers true: the search must run again on view().
    bool renew_if_cut_short(const SearchView& v);

    // Bytes of the current view's keys (0 before the first search).
    [[nodiscard]] std::size_t key_bytes() const;
    // Views made since attach. Not while a search runs.
    [[nodiscard]] std::size_t views_made() const { return views_.size(); }

private:
    SearchView* make_view(std::uint32_t at_most);

    std::mutex change_;  // held while a view is made
    std::atomic<SearchView*> current_{nullptr};
    std::vector<std::unique_ptr<SearchView>> views_;  // every view made since attach
    int fd_ = -1;
    std::uint32_t records_ = 0;
};

// With keys, a record read for a search must still lie in its key's cell; one
// that does not was cut short under the map since the keys were built: the
// map is marked cut short and the record is not to be used.
inline bool still_whole(SearchView& v, std::uint32_t i, const Spot& spot) {
    if (v.indexed && !geo::CellBox(v.keys[i] >> kKeyShift, kCodeBits).holds(spot.lat, spot.lng)) {
        v.map.mark_cut_short();
        return false;
    }
    return true;
}

}  // namespace e_dog

#endif  // EDOG_SEARCH_STATE_H
