#include "edog/search/nearest_cover.h"

#include <algorithm>
#include <array>

namespace e_dog {

namespace {

using geo::IndexRange;
using geo::lat_bits;
using geo::lng_bits;

constexpr std::uint64_t kMaxCells = 4;  // cells per query at the chosen length

// The same ranges at a code length of `bits` bits: the cells holding the fine
// cells, found by dropping each axis's low index bits.
CellRanges coarsen(const CellRanges& fine, int bits) {
    const auto lat_shift = static_cast<unsigned>(lat_bits(kCodeBits) - lat_bits(bits));
    const auto lng_shift = static_cast<unsigned>(lng_bits(kCodeBits) - lng_bits(bits));
    CellRanges r = fine;
    r.lat = {fine.lat.lo >> lat_shift, fine.lat.hi >> lat_shift};
    for (std::size_t i = 0; i < r.lng_count; ++i) {
        r.lng[i] = {fine.lng[i].lo >> lng_shift, fine.lng[i].hi >> lng_shift};
    }
    return r;
}

// The fine indices of the coarse cell `idx` (coarse = fine >> shift) that
// lie in `fine`; empty when lo > hi.
IndexRange clip(IndexRange fine, std::int64_t idx, unsigned shift) {
    const std::int64_t first = idx << shift;
    const std::int64_t last = ((idx + 1) << shift) - 1;
    return {std::max(first, fine.lo), std::min(last, fine.hi)};
}

// The smallest range holding both; empty ranges add nothing.
IndexRange hull(IndexRange a, IndexRange b) {
    if (a.lo > a.hi) {
        return b;
    }
    if (b.lo > b.hi) {
        return a;
    }
    return {std::min(a.lo, b.lo), std::max(a.hi, b.hi)};
}

std::uint64_t corner_key(std::int64_t lng_idx, std::int64_t lat_idx) {
    return geo::interleave(static_cast<std::uint64_t>(lng_idx), static_cast<std::uint64_t>(lat_idx),
                           kCodeBits)
           << kKeyShift;
}

}  // namespace

std::uint64_t CellRanges::cell_count() const {
    std::uint64_t n = 0;
    for (std::size_t i = 0; i < lng_count; ++i) {
        n += static_cast<std::uint64_t>(lng[i].hi - lng[i].lo + 1);
    }
    return n * static_cast<std::uint64_t>(lat.hi - lat.lo + 1);
}

CellRanges fine_cells(const ReachBox& box) {
    CellRanges r;
    const int nlat = lat_bits(kCodeBits);
    const int nlng = lng_bits(kCodeBits);
    r.lat = {geo::cell_index(box.lat_lo - kEdgeEpsDeg, -90.0, 180.0, nlat),
             geo::cell_index(box.lat_hi + kEdgeEpsDeg, -90.0, 180.0, nlat)};
    for (std::size_t i = 0; i < box.lng_count; ++i) {
        r.lng[i] = {geo::cell_index(box.lng[i].first - kEdgeEpsDeg, -180.0, 360.0, nlng),
                    geo::cell_index(box.lng[i].second + kEdgeEpsDeg, -180.0, 360.0, nlng)};
    }
    r.lng_count = box.lng_count;
    return r;
}

namespace {

// Whether any cell of the occupancy bitmap in the index ranges `lat` and
// `lng` (at the bitmap's code length) is marked. The cells' code bits:
// latitude and longitude indices spread to alternate bits, longitude on top
// (the odd positions of an even count, the even positions of an odd one).
// The next cell along an axis is the spread index plus one carried through
// the other axis's bits.
bool any_occupied(const KeyArray& keys, IndexRange lat, const IndexRange* lng,
                  std::size_t lng_count) {
    constexpr std::int64_t kMaxSide = 4;
    const unsigned lat_at = keys.occupancy_bits() % 2 == 0 ? 0U : 1U;
    const std::uint64_t lat_mask = 0x5555555555555555ULL << lat_at;
    const std::uint64_t lng_mask = lat_mask ^ 0xFFFFFFFFFFFFFFFFULL;
    if (lat.hi - lat.lo >= kMaxSide) {
        return true;
    }
    const std::uint64_t lat_first = geo::spread(static_cast<std::uint64_t>(lat.lo)) << lat_at;
    for (std::size_t r = 0; r < lng_count; ++r) {
        if (lng[r].hi - lng[r].lo >= kMaxSide) {
            return true;
        }
        const std::uint64_t lng_first = geo::spread(static_cast<std::uint64_t>(lng[r].lo))
                                        << (1U - lat_at);
        std::uint64_t la = lat_first;
        for (std::int64_t i = lat.lo; i <= lat.hi; ++i) {
            std::uint64_t lo = lng_first;
            for (std::int64_t j = lng[r].lo; j <= lng[r].hi; ++j) {
                if (keys.occupied(la | lo)) {
                    return true;
                }
                lo = ((lo | ~lng_mask) + 1) & lng_mask;
            }
            la = ((la | ~lat_mask) + 1) & lat_mask;
        }
    }
    return false;
}

}  // namespace

bool may_hold_keys(const KeyArray& keys, const CellRanges& fine) {
    const int bits = keys.occupancy_bits();
    const auto lat_shift = static_cast<unsigned>(lat_bits(kCodeBits) - lat_bits(bits));
    const auto lng_shift = static_cast<unsigned>(lng_bits(kCodeBits) - lng_bits(bits));
    std::array<IndexRange, 2> lng{};
    for (std::size_t r = 0; r < fine.lng_count; ++r) {
        lng[r] = {fine.lng[r].lo >> lng_shift, fine.lng[r].hi >> lng_shift};
    }
    return any_occupied(keys, {fine.lat.lo >> lat_shift, fine.lat.hi >> lat_shift}, lng.data(),
                        fine.lng_count);
}

bool may_hold_keys(const KeyArray& keys, const ReachBox& box) {
    // fine_cells' arithmetic at fewer bits: the products differ by a power of
    // two, exactly, so each index is the fine one shifted down.
    const int nlat = lat_bits(keys.occupancy_bits());
    const int nlng = lng_bits(keys.occupancy_bits());
    std::array<IndexRange, 2> lng{};
    for (std::size_t r = 0; r < box.lng_count; ++r) {
        lng[r] = {geo::cell_index(box.lng[r].first - kEdgeEpsDeg, -180.0, 360.0, nlng),
                  geo::cell_index(box.lng[r].second + kEdgeEpsDeg, -180.0, 360.0, nlng)};
    }
    return any_occupied(keys,
                        {geo::cell_index(box.lat_lo - kEdgeEpsDeg, -90.0, 180.0, nlat),
                         geo::cell_index(box.lat_hi + kEdgeEpsDeg, -90.0, 180.0, nlat)},
                        lng.data(), box.lng_count);
}

int cover_bits(const ReachBox& box, const CellRanges& fine) {
    // Cells smaller than half the box in either direction cannot cover it in
    // a few, so the search starts where they are at least that large.
    double width = 0.0;
    for (std::size_t i = 0; i < box.lng_count; ++i) {
        width += box.lng[i].second - box.lng[i].first;
    }
    const double height = box.lat_hi - box.lat_lo;
    int chars = kCodeChars;
    while (chars > 1 &&
           (180.0 / geo::kPow2[static_cast<std::size_t>(lat_bits(5 * chars))] * 2 < height ||
            360.0 / geo::kPow2[static_cast<std::size_t>(lng_bits(5 * chars))] * 2 < width)) {
        --chars;
    }
    while (chars > 1 && coarsen(fine, 5 * chars).cell_count() > kMaxCells) {
        --chars;
    }
    return 5 * chars;
}

bool cover_ranges(const CellRanges& fine, int bits, Cover& cover) {
    const CellRanges cells = coarsen(fine, bits);
    cover.count = 0;
    if (cells.cell_count() > Cover::kMaxRanges) {
        return false;
    }
    // The part of a cell inside the box runs, in code order, from its
    // south-west fine cell to its north-east one.
    const auto lat_shift = static_cast<unsigned>(lat_bits(kCodeBits) - lat_bits(bits));
    const auto lng_shift = static_cast<unsigned>(lng_bits(kCodeBits) - lng_bits(bits));
    for (std::int64_t la = cells.lat.lo; la <= cells.lat.hi; ++la) {
        const IndexRange lat_part = clip(fine.lat, la, lat_shift);
        for (std::size_t r = 0; r < cells.lng_count; ++r) {
            for (std::int64_t lo = cells.lng[r].lo; lo <= cells.lng[r].hi; ++lo) {
                IndexRange lng_part{1, 0};
                for (std::size_t f = 0; f < fine.lng_count; ++f) {
                    lng_part = hull(lng_part, clip(fine.lng[f], lo, lng_shift));
                }
                if (lat_part.lo > lat_part.hi || lng_part.lo > lng_part.hi) {
                    continue;
                }
                cover.ranges[cover.count++] = {corner_key(lng_part.lo, lat_part.lo),
                                               corner_key(lng_part.hi, lat_part.hi) | kKeyLowBits,
                                               0};
            }
        }
    }
    // Into code order; there are only a few.
    for (std::size_t i = 1; i < cover.count; ++i) {
        const KeyRange range = cover.ranges[i];
        std::size_t j = i;
        for (; j > 0 && cover.ranges[j - 1].first > range.first; --j) {
            cover.ranges[j] = cover.ranges[j - 1];
        }
        cover.ranges[j] = range;
    }
    return true;
}

void drop_unoccupied(const KeyArray& keys, int bits, Cover& cover) {
    if (bits < keys.occupancy_bits()) {
        return;
    }
    // A range lies in one cell of `bits` bits, so in one of the bitmap's.
    const auto shift = static_cast<unsigned>(kKeyBits - keys.occupancy_bits());
    std::size_t kept = 0;
    for (std::size_t i = 0; i < cover.count; ++i) {
        if (keys.occupied(cover.ranges[i].first >> shift)) {
            cover.ranges[kept++] = cover.ranges[i];
        }
    }
    cover.count = kept;
}

}  // namespace e_dog
