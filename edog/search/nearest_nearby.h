// What one thread's last nearest search found around its position, so that
// the next fixes of a drive, a few tens of metres on, are answered without
// looking up keys: every takeable record whose key lies in the fine cells of
// a reach box somewhat wider than the search's own. A later search whose
// reach box lies inside that box, on the same keys and radius, has all its
// candidates in the list. See doc/nearest-search.md.
#ifndef EDOG_NEAREST_NEARBY_H
#define EDOG_NEAREST_NEARBY_H

#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "edog/search/nearest_bounds.h"
#include "geo/distance.h"

namespace e_dog {

// True when every position of `inner` is in `outer`.
inline bool box_holds(const ReachBox& outer, const ReachBox& inner) {
    if (inner.lat_lo < outer.lat_lo || inner.lat_hi > outer.lat_hi) {
        return false;
    }
    for (std::size_t i = 0; i < inner.lng_count; ++i) {
        bool held = false;
        for (std::size_t o = 0; o < outer.lng_count; ++o) {
            held = held || (outer.lng[o].first <= inner.lng[i].first &&
                            inner.lng[i].second <= outer.lng[o].second);
        }
        if (!held) {
            return false;
        }
    }
    return true;
}

struct Nearby {
    // Metres the kept box reaches beyond the radius: some ten fixes of a
    // drive at motorway speed.
    static constexpr double kMarginM = 300.0;
    static constexpr std::size_t kCapacity = 16;

    struct Entry {
        std::uint64_t key;
        std::uint32_t index;
    };

    std::uint64_t keys_id = 0;  // the key array the list was taken from; 0: none kept
    double radius_m = 0.0;
    ReachBox box{};
    std::array<Entry, kCapacity> found{};
    std::size_t count = 0;
    // False after an area too crowded to keep: searches do not try to keep
    // one again until a search finds few candidates.
    bool worth_keeping = true;
    // Where the thread's last search was: a list is kept only for a search
    // close to the one before, as on a drive, and not for searches scattered
    // at random, which would never use it.
    double last_lat = 0.0;
    double last_lng = 0.0;

    // Whether (lat, lng) is within about a margin of the last search;
    // `cos_lat` is the cosine of lat or less.
    [[nodiscard]] bool follows_on(double lat, double lng, double cos_lat) const {
        constexpr double kDegrees = kMarginM / (kEarthRadiusM * kFormulaPi / 180.0);
        return std::fabs(lat - last_lat) < kDegrees &&
               std::fabs(lng - last_lng) * cos_lat < kDegrees;
    }

    [[nodiscard]] bool serves(std::uint64_t id, double radius, const ReachBox& reach) const {
        return keys_id == id && id != 0 && radius_m == radius && box_holds(box, reach);
    }
};

}  // namespace e_dog

#endif  // EDOG_NEAREST_NEARBY_H
