// How the nearest-camera search covers its reach box with key ranges: a code
// length whose cells cover the box in at most four cells, and for each such
// cell the range of keys from the south-west to the north-east fine cell of
// its part inside the box. See doc/nearest-search.md.
#ifndef EDOG_NEAREST_COVER_H
#define EDOG_NEAREST_COVER_H

#include <array>
#include <cstddef>
#include <cstdint>

#include "edog/search/nearest_bounds.h"
#include "edog/search/nearest_keys.h"
#include "geo/geohash_int.h"

namespace e_dog {

// The box's cell index ranges at a code length of `bits` bits.
struct CellRanges {
    geo::IndexRange lat{};
    std::array<geo::IndexRange, 2> lng{};
    std::size_t lng_count = 0;

    [[nodiscard]] std::uint64_t cell_count() const;
};

// The box's fine (50-bit) cells.
CellRanges fine_cells(const ReachBox& box);

// False when no placed key lies in the fine cells: every cell of the keys'
// occupancy bitmap that they touch is empty. True when one is not, or when
// they span more than four cells along an axis.
bool may_hold_keys(const KeyArray& keys, const CellRanges& fine);
// The same for the fine cells of `box` (fine_cells(box)), found without
// them: the bitmap's cells come from the box's degrees directly, which keeps
// a search where there is no camera short.
bool may_hold_keys(const KeyArray& keys, const ReachBox& box);

// The code length in bits (a multiple of 5) whose cells cover the box in at
// most four cells; 5 where even that is not enough.
int cover_bits(const ReachBox& box, const CellRanges& fine);

// Keys first to last (both whole keys, inclusive), in code order.
struct KeyRange {
    std::uint64_t first;
    std::uint64_t last;
    std::uint32_t start;  // where the search for `first` starts, filled by the search
};

struct Cover {
    static constexpr std::size_t kMaxRanges = 64;  // 32 cells of one character, two sides
    // Only the first `count` entries are ever read.
    std::array<KeyRange, kMaxRanges> ranges;  // NOLINT(cppcoreguidelines-pro-type-member-init)
    std::size_t count = 0;
};

// The key ranges that cover the key box's fine cells at a code length of
// `bits` bits, one for each cell of that length the box touches, sorted by
// their first key (they do not overlap). False when the cells are more than
// kMaxRanges.
bool cover_ranges(const KeyBox& box, int bits, Cover& cover);

// Drops the ranges whose cell (at a code length of `bits` bits, at least
// the occupancy bitmap's) holds no placed key: they can give no key with a
// position. Keeps them all when the cells are larger than the bitmap's.
void drop_unoccupied(const KeyArray& keys, int bits, Cover& cover);

}  // namespace e_dog

#endif  // EDOG_NEAREST_COVER_H
