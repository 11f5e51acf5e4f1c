#include "edog/search/nearest_cover.h"

#include <algorithm>
#include <array>

namespace e_dog {

namespace {

using geo::IndexRange;
using geo::lat_bits;
using geo::lng_bits;

constexpr std::uint64_t kMaxCells = 4;  // cells per query at the chosen length

// The next cell along one axis, from the axis's code bits (`mask`) of a
// cell: those bits plus one, with the carry run through every other bit.
constexpr std::uint64_t next_along(std::uint64_t axis, std::uint64_t mask) {
    return ((axis | ~mask) + 1) & mask;
}

// Twice the height and width in degrees of the cells of codes of 0 to 10
// characters.
struct CellSize {
    double height;
    double width;
};
constexpr std::array<CellSize, kCodeChars + 1> kTwoCells = [] {
    std::array<CellSize, kCodeChars + 1> t{};
    int bits = 0;
    for (CellSize& e : t) {
        e = {180.0 / geo::kPow2[static_cast<std::size_t>(lat_bits(bits))] * 2,
             360.0 / geo::kPow2[static_cast<std::size_t>(lng_bits(bits))] * 2};
        bits += geo::kBitsPerChar;
    }
    return t;
}();

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

// Whether any cell of the occupancy bitmap in `cells` (index ranges at the
// bitmap's code length) is marked. The cells' code bits: latitude and
// longitude indices spread to alternate bits, longitude on top (the odd
// positions of an even count, the even positions of an odd one).
bool any_occupied(const KeyArray& keys, const CellRanges& cells) {
    constexpr std::int64_t kMaxSide = 4;
    const IndexRange lat = cells.lat;
    const unsigned lat_at = keys.occupancy_bits() % 2 == 0 ? 0U : 1U;
    const std::uint64_t lat_mask = 0x5555555555555555ULL << lat_at;
    const std::uint64_t lng_mask = lat_mask ^ 0xFFFFFFFFFFFFFFFFULL;
    if (lat.hi - lat.lo >= kMaxSide) {
        return true;
    }
    const std::uint64_t lat_first = geo::spread(static_cast<std::uint64_t>(lat.lo)) << lat_at;
    const auto spread_lng = [lat_at](std::int64_t idx) {
        return geo::spread(static_cast<std::uint64_t>(idx)) << (1U - lat_at);
    };
    // Most boxes touch at most two cells along each axis: their four bits
    // (some the same) are tested without a loop.
    if (const IndexRange one = cells.lng[0];
        cells.lng_count == 1 && lat.hi - lat.lo <= 1 && one.hi - one.lo <= 1) {
        const std::uint64_t lng_first = spread_lng(one.lo);
        const std::uint64_t lat_last =
            lat.hi > lat.lo ? next_along(lat_first, lat_mask) : lat_first;
        const std::uint64_t lng_last =
            one.hi > one.lo ? next_along(lng_first, lng_mask) : lng_first;
        const auto bit = [&keys](std::uint64_t cell) { return keys.occupied(cell) ? 1U : 0U; };
        return (bit(lat_first | lng_first) | bit(lat_first | lng_last) | bit(lat_last | lng_first) |
                bit(lat_last | lng_last)) != 0U;
    }
    for (std::size_t r = 0; r < cells.lng_count; ++r) {
        const IndexRange across = cells.lng[r];
        if (across.hi - across.lo >= kMaxSide) {
            return true;
        }
        std::uint64_t la = lat_first;
        for (std::int64_t i = lat.lo; i <= lat.hi; ++i) {
            std::uint64_t lo = spread_lng(across.lo);
            for (std::int64_t j = across.lo; j <= across.hi; ++j) {
                if (keys.occupied(la | lo)) {
                    return true;
                }
                lo = next_along(lo, lng_mask);
            }
            la = next_along(la, lat_mask);
        }
    }
    return false;
}

}  // namespace

bool may_hold_keys(const KeyArray& keys, const CellRanges& fine) {
    return any_occupied(keys, coarsen(fine, keys.occupancy_bits()));
}

bool may_hold_keys(const KeyArray& keys, const ReachBox& box) {
    // fine_cells' arithmetic at fewer bits: the products differ by a power of
    // two, exactly, so each index is the fine one shifted down.
    const int nlat = lat_bits(keys.occupancy_bits());
    const int nlng = lng_bits(keys.occupancy_bits());
    CellRanges cells;
    cells.lat = {geo::cell_index(box.lat_lo - kEdgeEpsDeg, -90.0, 180.0, nlat),
                 geo::cell_index(box.lat_hi + kEdgeEpsDeg, -90.0, 180.0, nlat)};
    for (std::size_t r = 0; r < box.lng_count; ++r) {
        cells.lng[r] = {geo::cell_index(box.lng[r].first - kEdgeEpsDeg, -180.0, 360.0, nlng),
                        geo::cell_index(box.lng[r].second + kEdgeEpsDeg, -180.0, 360.0, nlng)};
    }
    cells.lng_count = box.lng_count;
    return any_occupied(keys, cells);
}

int cover_bits(const ReachBox& box, const CellRanges& fine) {
    // Cells smaller than half the box in either direction cannot cover it in
    // a few, so the search starts where they are at least that large.
    double width = 0.0;
    for (std::size_t i = 0; i < box.lng_count; ++i) {
        width += box.lng[i].second - box.lng[i].first;
    }
    const double height = box.lat_hi - box.lat_lo;
    std::size_t chars = kCodeChars;
    while (chars > 1 && (kTwoCells[chars].height < height || kTwoCells[chars].width < width)) {
        --chars;
    }
    int bits = geo::kBitsPerChar * static_cast<int>(chars);
    while (bits > geo::kBitsPerChar && coarsen(fine, bits).cell_count() > kMaxCells) {
        bits -= geo::kBitsPerChar;
    }
    return bits;
}

namespace {

// One axis's part of a box inside one cell of the cover's length, as the
// axis's key bits of its first and last fine cell.
struct Part {
    std::uint64_t first;
    std::uint64_t last;
};

// Splits the axis range `s` (key bits of the axis `mask`) at the borders of
// cells whose axis bits below them are `below`, appending the parts to
// `parts` from `count` on; false when they would be more than kMaxRanges.
// Within a cell the axis bits above `below` are fixed: a part runs from the
// range's first cell, or the cell's first, to its last, or the cell's last.
// The next cell's first follows the cell's last fine cell.
bool split_axis(KeyBox::Span s, std::uint64_t mask, std::uint64_t below,
                std::array<Part, Cover::kMaxRanges>& parts, std::size_t& count) {
    const std::uint64_t hi = s.hi();
    std::uint64_t first = s.lo;
    for (;;) {
        if (count == parts.size()) {
            return false;
        }
        if ((first & ~below) == (hi & ~below)) {
            parts[count++] = {first, hi};
            return true;
        }
        parts[count++] = {first, first | below};
        first = next_along(first | below, mask);
    }
}

}  // namespace

bool cover_ranges(const KeyBox& box, int bits, Cover& cover) {
    cover.count = 0;
    // Key bits below the cells of `bits` bits.
    const std::uint64_t below =
        (std::uint64_t{1} << static_cast<unsigned>(kKeyShift + kCodeBits - bits)) - 1;
    // Only the first lat_count and lng_count entries are ever read.
    std::array<Part, Cover::kMaxRanges> lat;  // NOLINT(cppcoreguidelines-pro-type-member-init)
    std::array<Part, Cover::kMaxRanges> lng;  // NOLINT(cppcoreguidelines-pro-type-member-init)
    std::size_t lat_count = 0;
    std::size_t lng_count = 0;
    if (!split_axis(box.lat(), KeyBox::kLatKeyMask, KeyBox::kLatKeyMask & below, lat, lat_count)) {
        return false;
    }
    const std::uint64_t lng_below = KeyBox::kLngKeyMask & below;
    for (std::size_t r = 0; r < box.lng_count(); ++r) {
        const std::size_t from = lng_count;
        if (!split_axis(box.lng(r), KeyBox::kLngKeyMask, lng_below, lng, lng_count)) {
            return false;
        }
        // Two longitude ranges meeting in one cell make one part there.
        std::size_t i = from;
        while (i < lng_count) {
            const auto same_cell = [&](const Part& p) {
                return (p.first & ~lng_below) == (lng[i].first & ~lng_below);
            };
            const auto j = std::find_if(lng.begin(), lng.begin() + from, same_cell);
            if (j == lng.begin() + from) {
                ++i;
                continue;
            }
            *j = {std::min(j->first, lng[i].first), std::max(j->last, lng[i].last)};
            lng[i] = lng[--lng_count];
        }
    }
    if (lat_count * lng_count > Cover::kMaxRanges) {
        return false;
    }
    // The part of a cell inside the box runs, in code order, from its
    // south-west fine cell to its north-east one.
    for (std::size_t a = 0; a < lat_count; ++a) {
        for (std::size_t o = 0; o < lng_count; ++o) {
            cover.ranges[cover.count++] = {lat[a].first | lng[o].first,
                                           lat[a].last | lng[o].last | kKeyLowBits, 0};
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
