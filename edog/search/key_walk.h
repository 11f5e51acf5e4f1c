// The one walk over the keys in reach of a search: the reach box's fine
// cells, the key ranges that cover them at the chosen code length, and every
// key in those ranges whose fine cell lies in the box and that carries the
// flags asked for; where the occupancy bitmap says no placed key is in the
// cells, none at all. The nearest search, its nearby list and the radius search
// all find their candidates this way. See doc/nearest-search.md.
#ifndef EDOG_SEARCH_KEY_WALK_H
#define EDOG_SEARCH_KEY_WALK_H

#include <cstdint>
#include <utility>

#include "edog/search/nearest_bounds.h"
#include "edog/search/nearest_cover.h"
#include "edog/search/nearest_keys.h"

namespace e_dog {

// Calls visit(key, record) for every key of `keys` in reach of `box` (whose
// fine cells are `fine`) with all the flags of `need` (kTakeable, kPlaced),
// in key order; a visit that answers false ends the walk. False, visiting
// nothing, when the box cannot be covered by key ranges (it always can: one
// code character has 32 cells). The caller has asked may_hold_keys first.
template <typename Visit>
bool walk_keys_in_cells(const KeyArray& keys, const ReachBox& box, const CellRanges& fine,
                        std::uint64_t need, Visit&& visit) {
    const KeyBox in_box(fine.lat, fine.lng.data(), fine.lng_count);
    Cover cover;
    const int bits = cover_bits(box, fine);
    if (!cover_ranges(in_box, bits, cover)) {
        return false;
    }
    // A takeable key has a position too: every key asked for has its cell
    // marked.
    if ((need & (kTakeable | kPlaced)) != 0) {
        drop_unoccupied(keys, bits, cover);
    }
    scan_key_ranges(keys, cover.ranges, cover.count, in_box, need, std::forward<Visit>(visit));
    return true;
}

// The same, for a box whose fine cells are not yet known: nothing where the
// occupancy bitmap says no placed key is in them.
template <typename Visit>
bool walk_keys_in_reach(const KeyArray& keys, const ReachBox& box, std::uint64_t need,
                        Visit&& visit) {
    if (!may_hold_keys(keys, box)) {
        return true;
    }
    return walk_keys_in_cells(keys, box, fine_cells(box), need, std::forward<Visit>(visit));
}

}  // namespace e_dog

#endif  // EDOG_SEARCH_KEY_WALK_H
