// Every camera of a handle's data file within a radius, by the same key ranges as the nearest
// search (doc/nearest-search.md), for a device that warns of the cameras ahead.
#include <algorithm>
#include <climits>
#include <cmath>
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

// Measures record `i`, kept when strictly within the radius.
void measure(e_dog::SearchView& s, std::uint32_t i, double lat, double lng, double radius_m,
             std::vector<Hit>& hits) {
    const e_dog::Spot spot = s.map.spot(i);
    if (!e_dog::still_whole(s, i, spot)) {
        return;
    }
    const double d = e_dog::distance_m(lat, lng, spot.lat, spot.lng);
    if (d < radius_m) {
        hits.push_back({d, i});
    }
}

void collect(e_dog::SearchView& s, double lat, double lng, double radius_m,
             std::vector<Hit>& hits) {
    if (s.indexed &&
        e_dog::walk_keys_in_reach(s.keys, e_dog::reach_box(lat, lng, radius_m), e_dog::kPlaced,
                                  [&](std::uint64_t /*key*/, std::uint32_t at) {
                                      measure(s, at, lat, lng, radius_m, hits);
                                  })) {
        return;
    }
    for (std::uint32_t i = 0; i < s.map.records(); ++i) {
        measure(s, i, lat, lng, radius_m, hits);
    }
}

}  // namespace

int e_dog_db_within(E_DOG_DB* db, double lat, double lng, double radius_m, E_DOG_HIT* out,
                    int max_out) {
    if (db == nullptr || !e_dog::searchable(lat, lng, radius_m) || max_out < 0 ||
        (out == nullptr && max_out > 0)) {
        return -1;
    }
    e_dog::SearchState& state = db->state;
    if (state.records() == 0) {
        return 0;
    }
    std::vector<Hit> hits;
    constexpr int kAttempts = 3;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        hits.clear();
        e_dog::SearchView& s = state.view();
        collect(s, lat, lng, radius_m, hits);
        const auto shown = std::min(hits.size(), static_cast<std::size_t>(max_out));
        std::partial_sort(hits.begin(), hits.begin() + static_cast<std::ptrdiff_t>(shown),
                          hits.end());
        for (std::size_t k = 0; k < shown; ++k) {
            out[k] = {s.map.record(hits[k].index), static_cast<INT32>(hits[k].index),
                      hits[k].distance};
        }
        if (!state.renew_if_cut_short(s)) {
            break;
        }
        hits.clear();  // cut short again and again: nothing can be trusted
    }
    return static_cast<int>(std::min<std::size_t>(hits.size(), INT_MAX));
}
