// The exact nearest-camera search over a read-only map of a handle's data file:
// the reach box of the radius is covered with key ranges, the keys in them
// are tested against the box, and candidates are measured nearest distance
// floor first, so that usually only the nearest camera's record is read.
// How and why it is exact: doc/nearest-search.md.
#include <array>
#include <cmath>
#include <cstdint>
#include <limits>

#include "edog/datafile/data_map.h"
#include "edog/e_dog_db.h"
#include "edog/e_dog_source_date.h"
#include "edog/search/db.h"
#include "edog/search/e_dog_answer.h"
#include "edog/search/key_walk.h"
#include "edog/search/nearest_bounds.h"
#include "edog/search/nearest_keys.h"
#include "edog/search/nearest_nearby.h"
#include "edog/search/search_state.h"
#include "edog/search/search_trace.h"
#include "geo/distance.h"
#include "geo/geohash_int.h"

namespace {

using e_dog::DataMap;
using e_dog::DistanceFloor;
using e_dog::KeyArray;

// How the last search of this thread went.
thread_local e_dog::NearestTrace trace;
// What this thread's last searches found around their position.
thread_local e_dog::Nearby nearby;

struct Best {
    double distance;
    std::int64_t index = -1;
};

// Measures record `i` at `spot` if it qualifies; it becomes the best when it
// is nearer, or as near and earlier in the file (candidates may come out of
// file order). With keys, a record must still lie in its key's cell: one that
// does not was cut short under the map since the keys were built.
void consider(e_dog::SearchView& v, std::uint32_t i, const e_dog::Spot& spot, double lati,
              double longi, double radius_m, Best& best) {
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

// Every record, read in runs (no page of the map is touched).
void scan_all(e_dog::SearchView& v, double lati, double longi, double radius_m, Best& best) {
    v.map.read_in_runs(0, v.map.records(), [&](std::uint32_t i, const unsigned char* rec) {
        consider(v, i, e_dog::decode_spot(rec), lati, longi, radius_m, best);
        return true;
    });
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
            consider(view_, indices_[m], view_.map.spot(indices_[m]), lati_, longi_, radius_m_,
                     best_);
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
    bool fits = true;
    const bool covered = e_dog::walk_keys_in_reach(
        v.keys, wide, e_dog::kTakeable, [&](std::uint64_t key, std::uint32_t at) {
            fits = nearby.count < e_dog::Nearby::kCapacity;
            if (fits) {
                nearby.found[nearby.count++] = {key, at};
            }
            return fits;
        });
    if (!covered || !fits) {
        nearby.count = 0;
        return false;
    }
    nearby.keys_id = v.keys.id();
    nearby.radius_m = radius_m;
    nearby.box = wide;
    return true;
}

// Measures the candidates of this thread's nearby list, which holds every
// candidate of the search's box.
void search_nearby(const DistanceFloor& floor, Candidates& candidates) {
    trace.from_nearby = true;
    for (std::size_t i = 0; i < nearby.count; ++i) {
        candidates.add(floor.sum(nearby.found[i].key >> e_dog::kKeyShift), nearby.found[i].index);
    }
    candidates.flush();
}

void search_indexed(e_dog::SearchView& v, double lati, double longi, double radius_m, Best& best) {
    v.keys.prefetch_cell(lati, longi);  // its misses overlap the reach box
    const e_dog::ReachBox box = e_dog::reach_box(lati, longi, radius_m);
    // A nearby list that serves answers without the bitmap's cache miss.
    if (!nearby.serves(v.keys.id(), radius_m, box)) {
        if (!e_dog::may_hold_keys(v.keys, box)) {
            // No record in reach: nothing to measure, and an empty area is
            // worth a nearby list when the drive comes close to cameras again.
            nearby.last_lat = lati;
            nearby.last_lng = longi;
            nearby.worth_keeping = true;
            return;
        }
        // Close by the last search, in an area sparse enough: keep a list.
        if (nearby.worth_keeping && nearby.follows_on(lati, longi, box.cos_lat)) {
            nearby.worth_keeping = keep_nearby(
                v, e_dog::reach_box(lati, longi, radius_m + e_dog::Nearby::kMarginM), radius_m);
        }
    }
    nearby.last_lat = lati;
    nearby.last_lng = longi;
    const DistanceFloor floor(box, lati, longi);
    Candidates candidates(v, lati, longi, radius_m, best);
    if (nearby.serves(v.keys.id(), radius_m, box)) {
        search_nearby(floor, candidates);
        return;
    }
    std::size_t in_reach = 0;
    const bool covered =
        e_dog::walk_keys_in_cells(v.keys, box, e_dog::fine_cells(box), e_dog::kTakeable,
                                  [&](std::uint64_t key, std::uint32_t at) {
                                      ++in_reach;
                                      candidates.add(floor.sum(key >> e_dog::kKeyShift), at);
                                  });
    if (!covered) {
        scan_all(v, lati, longi, radius_m, best);  // cannot happen: one character has 32 cells
        return;
    }
    candidates.flush();
    nearby.worth_keeping = in_reach <= e_dog::Nearby::kCapacity / 2;
}

// One search of the handle's file: 1 and `out` for a camera, 0 for none.
// A search that may have read zeros put in for pages the file lost, or found
// records out of their cells, runs again (doc/data-file-format.md); -1 when
// every attempt did: the file cannot be read where the search must look.
int nearest_in(e_dog::SearchState& state, double lati, double longi, double radius_m,
               E_DOG_HIT& out) {
    const e_dog::reading::Mark marked;
    constexpr int kAttempts = 3;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        const std::uint64_t seen = state.faults();
        e_dog::SearchView& v = state.view();
        if (v.map.records() == 0) {
            return 0;
        }
        trace = {v.indexed, 0};
        Best best{radius_m};
        if (v.indexed) {
            search_indexed(v, lati, longi, radius_m, best);
        } else {
            scan_all(v, lati, longi, radius_m, best);
        }
        const auto index = static_cast<std::uint32_t>(best.index);
        const E_DOG_DATA rec = best.index >= 0 ? v.map.record(index) : E_DOG_DATA{};
        if (!state.renew_if_cut_short(v, seen)) {
            if (best.index < 0) {
                return 0;
            }
            out = {rec, static_cast<INT32>(index), best.distance};
            trace.record = best.index;
            return 1;
        }
    }
    return -1;
}

}  // namespace

e_dog::NearestTrace e_dog::last_nearest_trace() {
    return trace;
}

void e_dog::clear_nearest_trace() {
    trace = {};
}

int e_dog_db_nearest(E_DOG_DB* db, double lat, double lng, double radius_m, E_DOG_HIT* out) {
    if (db == nullptr || out == nullptr || !e_dog::searchable(lat, lng, radius_m)) {
        return -1;
    }
    if (db->state.records() == 0) {
        return 0;
    }
    return nearest_in(db->state, lat, lng, radius_m, *out);
}
