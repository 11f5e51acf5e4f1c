// What the searches over the open data file hold of it, shared by the
// nearest search and the radius search: the map, the keys and how the last
// nearest search went. The module's own files only.
#ifndef EDOG_SEARCH_STATE_H
#define EDOG_SEARCH_STATE_H

#include "edog/data_map.h"
#include "edog/e_dog_nearest.h"
#include "edog/nearest_keys.h"
#include "geo/geohash_int.h"

namespace e_dog {

struct SearchState {
    DataMap map;
    KeyArray keys;  // built on the first search
    bool keys_built = false;
    bool indexed = false;  // false: every search scans all records
    NearestTrace trace;
};

extern SearchState search_state;

// Builds the keys, from a fresh map of the file as it is now, unless built.
void ensure_keys(SearchState& s);

// After a search: when the map was found cut short, maps the file anew and
// drops the keys, and answers true: the search must run again.
bool renew_if_cut_short(SearchState& s);

// With keys, a record read for a search must still lie in its key's cell; one
// that does not was cut short under the map since the keys were built: the
// map is marked cut short and the record is not to be used.
inline bool still_whole(SearchState& s, std::uint32_t i, const Spot& spot) {
    if (s.indexed && !geo::CellBox(s.keys[i] >> kKeyShift, kCodeBits).holds(spot.lat, spot.lng)) {
        s.map.mark_cut_short();
        return false;
    }
    return true;
}

}  // namespace e_dog

#endif  // EDOG_SEARCH_STATE_H
