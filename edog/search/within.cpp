// Every camera of a handle's data file within a radius, by the same key ranges as the nearest
// search (doc/nearest-search.md), for a device that warns of the cameras ahead.
#include "edog/search/within.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "edog/e_dog_db.h"
#include "edog/e_dog_source_date.h"
#include "edog/search/db.h"
#include "edog/search/e_dog_answer.h"
#include "edog/search/key_walk.h"
#include "edog/search/nearest_bounds.h"
#include "edog/search/nearest_keys.h"
#include "edog/search/search_state.h"
#include "geo/distance.h"
#include "geo/geohash_int.h"

namespace {

struct Hit {
    double distance;
    std::uint32_t index;
    bool operator<(const Hit& o) const {
        return distance < o.distance || (distance == o.distance && index < o.index);
    }
};

struct Question {
    double lat;
    double lng;
    double radius_m;
    e_dog::DirTypes types;
};

// Measures record `i` at `spot`, kept when strictly within the radius and of
// a DirType asked for.
void measure(e_dog::SearchView& s, std::uint32_t i, const e_dog::Spot& spot, const Question& q,
             std::vector<Hit>& hits) {
    if (!q.types.takes(spot.dirtype) || !e_dog::still_whole(s, i, spot)) {
        return;
    }
    const double lat = q.lat;
    const double lng = q.lng;
    const double radius_m = q.radius_m;
    const double d = e_dog::distance_m(lat, lng, spot.lat, spot.lng);
    if (d < radius_m) {
        hits.push_back({d, i});
    }
}

void collect(e_dog::SearchView& s, const Question& q, std::vector<Hit>& hits) {
    if (s.indexed &&
        e_dog::walk_keys_in_reach(s.keys, e_dog::reach_box(q.lat, q.lng, q.radius_m),
                                  e_dog::kPlaced, [&](std::uint64_t /*key*/, std::uint32_t at) {
                                      measure(s, at, s.map.spot(at), q, hits);
                                  })) {
        return;
    }
    // Every record, read in runs (no page of the map is touched).
    s.map.read_in_runs(0, s.map.records(), [&](std::uint32_t i, const unsigned char* rec) {
        measure(s, i, e_dog::decode_spot(rec), q, hits);
        return true;
    });
}

// The search: the first `max_out` hits, nearest first, given to `take`; the
// number of hits. A search that may have read zeros put in for pages the file
// lost, or found records out of their cells, runs again; -1 when every
// attempt did (doc/data-file-format.md).
template <typename Take>
long long search(e_dog::SearchState& state, const Question& q, std::size_t max_out, Take take) {
    const e_dog::reading::Mark marked;
    std::vector<Hit> hits;
    constexpr int kAttempts = 3;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        hits.clear();
        const std::uint64_t seen = state.faults();
        e_dog::SearchView& s = state.view();
        collect(s, q, hits);
        const auto shown = std::min(hits.size(), max_out);
        std::partial_sort(hits.begin(), hits.begin() + static_cast<std::ptrdiff_t>(shown),
                          hits.end());
        for (std::size_t k = 0; k < shown; ++k) {
            take(k, E_DOG_HIT{s.map.record(hits[k].index), static_cast<INT32>(hits[k].index),
                              hits[k].distance});
        }
        if (!state.renew_if_cut_short(s, seen)) {
            return static_cast<long long>(std::min<std::size_t>(hits.size(), INT_MAX));
        }
    }
    return -1;
}

}  // namespace

bool e_dog::within_all(E_DOG_DB* db, double lat, double lng, double radius_m, DirTypes types,
                       std::vector<E_DOG_HIT>& out) {
    out.clear();
    if (db == nullptr || !searchable(lat, lng, radius_m)) {
        return false;
    }
    if (db->state.records() == 0) {
        return true;
    }
    const long long n = search(db->state, {lat, lng, radius_m, types}, SIZE_MAX,
                               [&](std::size_t k, const E_DOG_HIT& h) {
                                   if (k == 0) {
                                       out.clear();  // an earlier attempt's hits
                                   }
                                   out.push_back(h);
                               });
    out.resize(n < 0 ? 0 : std::min(out.size(), static_cast<std::size_t>(n)));
    return n >= 0;
}

int e_dog_db_within(E_DOG_DB* db, double lat, double lng, double radius_m, E_DOG_HIT* out,
                    int max_out) {
    if (db == nullptr || !e_dog::searchable(lat, lng, radius_m) || max_out < 0 ||
        (out == nullptr && max_out > 0)) {
        return -1;
    }
    if (db->state.records() == 0) {
        return 0;
    }
    return static_cast<int>(search(db->state, {lat, lng, radius_m, {}},
                                   static_cast<std::size_t>(max_out),
                                   [&](std::size_t k, const E_DOG_HIT& h) { out[k] = h; }));
}
