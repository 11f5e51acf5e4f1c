// The exact nearest-camera search over a read-only map of the open data file:
// the reach box of the radius is covered with key ranges, the keys in them
// are tested against the box, and candidates are measured nearest distance
// floor first, so that usually only the nearest camera's record is read.
// How and why it is exact: doc/nearest-search.md.
#include "edog/e_dog_nearest.h"

#include <array>
#include <cmath>
#include <cstdint>
#include <limits>

#include "edog/data_map.h"
#include "edog/e_dog_answer.h"
#include "edog/e_dog_internal.h"
#include "edog/e_dog_source_date.h"
#include "edog/nearest_bounds.h"
#include "edog/nearest_cover.h"
#include "edog/nearest_keys.h"
#include "edog/nearest_nearby.h"
#include "edog/search_state.h"
#include "geo/distance.h"
#include "geo/geohash_int.h"

namespace {

using e_dog::DataMap;
using e_dog::DistanceFloor;
using e_dog::KeyArray;

e_dog::SearchState& state = e_dog::search_state;

// How the last search of this thread went.
thread_local e_dog::NearestTrace trace;
// What this thread's last searches found around their position.
thread_local e_dog::Nearby nearby;

struct Best {
    double distance;
    std::int64_t index = -1;
};

// Measures record `i` if it qualifies; it becomes the best when it is nearer,
// or as near and earlier in the file (candidates may come out of file order).
// With keys, a record must still lie in its key's cell: one that does not was
// cut short under the map since the keys were built.
void consider(e_dog::SearchView& v, std::uint32_t i, double lati, double longi, double radius_m,
              Best& best) {
    const e_dog::Spot spot = v.map.spot(i);
    if (!e_dog::qualifies(spot.dirtype)) {
        return;
    }
    if (!e_dog::still_whole(v, i, spot)) {
        return;
    }
    ++trace.measured;
    const double d = e_dog::distance_m(lati, longi, spot.lat, spot.lng);
    if (d < radius_m && (d < best.distance || (d == best.distance && i < best.index))) {
        best.distance = d;
        best.index = i;
    }
}

void scan_all(e_dog::SearchView& v, double lati, double longi, double radius_m, Best& best) {
    for (std::uint32_t i = 0; i < v.map.records(); ++i) {
        consider(v, i, lati, longi, radius_m, best);
    }
}

// Candidates of one query, measured nearest floor first: once the nearest
// floor left exceeds the best distance found, no other can be nearer.
class Candidates {
public:
    Candidates(e_dog::SearchView& v, double lati, double longi, double radius_m, Best& best)
        : view_(v),
          lati_(lati),
          longi_(longi),
          radius_m_(radius_m),
          best_(best),
          limit_(DistanceFloor::limit(best.distance)) {}

    void add(double sum, std::uint32_t index) {
        if (sum > limit_) {
            return;
        }
        if (count_ == kCapacity) {
            flush();
        }
        sums_[count_] = sum;
        indices_[count_] = index;
        ++count_;
        // The nearest so far is likely to be read: start fetching its record.
        if (sum < lowest_) {
            lowest_ = sum;
            view_.map.prefetch(index);
        }
    }

    void flush() {
        while (count_ > 0) {
            std::size_t m = 0;
            for (std::size_t i = 1; i < count_; ++i) {
                m = sums_[i] < sums_[m] ? i : m;
            }
            if (sums_[m] > limit_) {
                break;
            }
            consider(view_, indices_[m], lati_, longi_, radius_m_, best_);
            limit_ = DistanceFloor::limit(best_.distance);
            --count_;
            sums_[m] = sums_[count_];
            indices_[m] = indices_[count_];
        }
        count_ = 0;
    }

private:
    static constexpr std::size_t kCapacity = 64;

    e_dog::SearchView& view_;
    double lati_;
    double longi_;
    double radius_m_;
    Best& best_;
    double limit_;
    double lowest_ = std::numeric_limits<double>::infinity();
    std::size_t count_ = 0;
    // Only the first count_ entries are ever read.
    std::array<double, kCapacity> sums_;  // NOLINT(cppcoreguidelines-pro-type-member-init)
    std::array<std::uint32_t, kCapacity>
        indices_;  // NOLINT(cppcoreguidelines-pro-type-member-init)
};

// Keeps every takeable key in the fine cells of `wide` as this thread's
// nearby list; false, keeping none, when they are more than the list holds.
bool keep_nearby(const e_dog::SearchView& v, const e_dog::ReachBox& wide, double radius_m) {
    nearby.keys_id = 0;
    nearby.count = 0;
    const e_dog::CellRanges fine = e_dog::fine_cells(wide);
    e_dog::Cover cover;
    if (!e_dog::cover_ranges(fine, e_dog::cover_bits(wide, fine), cover)) {
        return false;
    }
    const e_dog::KeyBox in_box(fine.lat, fine.lng.data(), fine.lng_count);
    bool fits = true;
    e_dog::scan_key_ranges(v.keys, cover.ranges, cover.count, in_box, e_dog::kTakeable,
                           [&](std::uint64_t key, std::uint32_t at) {
                               fits = nearby.count < e_dog::Nearby::kCapacity;
                               if (fits) {
                                   nearby.found[nearby.count++] = {key, at};
                               }
                               return fits;
                           });
    if (!fits) {
        nearby.count = 0;
        return false;
    }
    nearby.keys_id = v.keys.id();
    nearby.radius_m = radius_m;
    nearby.box = wide;
    return true;
}

void search_indexed(e_dog::SearchView& v, double lati, double longi, double radius_m, Best& best) {
    const e_dog::ReachBox box = e_dog::reach_box(lati, longi, radius_m);
    const DistanceFloor floor(box, lati, longi);
    Candidates candidates(v, lati, longi, radius_m, best);
    // Where the last search kept a list of the area, or the area is sparse
    // enough to keep one, every candidate is in the list.
    if (!nearby.serves(v.keys.id(), radius_m, box) && nearby.worth_keeping &&
        nearby.follows_on(lati, longi, box.cos_lat)) {
        nearby.worth_keeping = keep_nearby(
            v, e_dog::reach_box(lati, longi, radius_m + e_dog::Nearby::kMarginM), radius_m);
    }
    nearby.last_lat = lati;
    nearby.last_lng = longi;
    if (nearby.serves(v.keys.id(), radius_m, box)) {
        trace.from_nearby = true;
        for (std::size_t i = 0; i < nearby.count; ++i) {
            candidates.add(floor.sum(nearby.found[i].key >> e_dog::kKeyShift),
                           nearby.found[i].index);
        }
        candidates.flush();
        return;
    }
    const e_dog::CellRanges fine = e_dog::fine_cells(box);
    e_dog::Cover cover;
    if (!e_dog::cover_ranges(fine, e_dog::cover_bits(box, fine), cover)) {
        scan_all(v, lati, longi, radius_m, best);  // cannot happen: one character has 32 cells
        return;
    }
    const e_dog::KeyBox in_box(fine.lat, fine.lng.data(), fine.lng_count);
    std::size_t in_reach = 0;
    e_dog::scan_key_ranges(v.keys, cover.ranges, cover.count, in_box, e_dog::kTakeable,
                           [&](std::uint64_t key, std::uint32_t at) {
                               ++in_reach;
                               candidates.add(floor.sum(key >> e_dog::kKeyShift), at);
                           });
    candidates.flush();
    nearby.worth_keeping = in_reach <= e_dog::Nearby::kCapacity / 2;
}

}  // namespace

e_dog::SearchState e_dog::search_state;

e_dog::SearchView* e_dog::SearchState::make_view(std::uint32_t at_most) {
    auto v = std::make_unique<SearchView>();
    v->map.attach(fd_, at_most);
    v->map.remap();  // the file as it is now: its whole records, at most those
    v->indexed = build_keys(v->map, v->keys);
    views_.push_back(std::move(v));
    return views_.back().get();
}

void e_dog::SearchState::attach(int fd, std::uint32_t records) {
    detach();
    fd_ = fd;
    records_ = fd >= 0 ? records : 0;
}

void e_dog::SearchState::detach() {
    current_.store(nullptr, std::memory_order_release);
    views_.clear();
    fd_ = -1;
    records_ = 0;
    trace = {};
}

e_dog::SearchView& e_dog::SearchState::view() {
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

bool e_dog::SearchState::renew_if_cut_short(const SearchView& v) {
    if (!v.map.cut_short()) {
        return false;
    }
    const std::lock_guard<std::mutex> lock(change_);
    if (current_.load(std::memory_order_relaxed) == &v) {
        current_.store(make_view(v.map.records()), std::memory_order_release);
    }
    return true;
}

std::size_t e_dog::SearchState::key_bytes() const {
    const SearchView* v = current_.load(std::memory_order_acquire);
    return v == nullptr ? 0 : v->keys.memory();
}

void e_dog::nearest_attach(std::FILE* f, std::uint32_t records) {
    state.attach(f != nullptr && records != 0 ? ::fileno(f) : -1, records);
}

void e_dog::nearest_detach() {
    state.detach();
}

std::size_t e_dog::nearest_index_bytes() {
    return state.key_bytes();
}

e_dog::NearestTrace e_dog::last_nearest_trace() {
    return trace;
}

std::size_t e_dog::nearest_views_made() {
    return state.views_made();
}

E_DOG_DATA e_dog_search_nearest(double lati, double longi, double radius_m, E_DOG_LCD* p_lcd_rt) {
    E_DOG_DATA rt = e_dog::no_camera(p_lcd_rt);
    if (e_dog_run_flag == 0 || state.records() == 0 || !e_dog::searchable(lati, longi, radius_m)) {
        return rt;
    }
    // A file cut short under the map by another program reads zeros where it
    // lost pages, or records out of their cells; the search then starts again
    // on a view of the file as it is now.
    constexpr int kAttempts = 3;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        e_dog::SearchView& v = state.view();
        trace = {v.indexed, 0};
        Best best{radius_m};
        if (v.indexed) {
            search_indexed(v, lati, longi, radius_m, best);
        } else {
            scan_all(v, lati, longi, radius_m, best);
        }
        if (best.index >= 0) {
            rt = v.map.record(static_cast<std::uint32_t>(best.index));
        }
        if (!state.renew_if_cut_short(v)) {
            if (best.index >= 0) {
                e_dog::show_camera(p_lcd_rt, rt, best.distance);
                trace.record = best.index;
            }
            return rt;
        }
        rt = e_dog::no_camera(p_lcd_rt);
        if (state.view().map.records() == 0) {
            break;
        }
    }
    return rt;
}
