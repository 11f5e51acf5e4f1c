#include "bench/grid_peer.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <optional>
#include <utility>

#include "bench/peer_bound.h"
#include "edog/search/e_dog_answer.h"
#include "edog/search/nearest_bounds.h"
#include "geo/distance.h"

namespace bench {

GridPeer::GridPeer(const std::vector<E_DOG_DATA>& cams, double cell_deg)
    : per_deg_(1.0 / cell_deg),
      rows_(static_cast<std::int64_t>(std::ceil(180.0 * per_deg_))),
      cols_(static_cast<std::int64_t>(std::ceil(360.0 * per_deg_))) {
    std::vector<std::pair<std::uint64_t, Point>> by_cell;
    for (std::size_t i = 0; i < cams.size(); ++i) {
        const E_DOG_DATA& c = cams[i];
        if (e_dog::qualifies(c.DirType) && std::isfinite(c.Gps_lat) && std::isfinite(c.Gps_lng)) {
            const auto cell = static_cast<std::uint64_t>(row(c.Gps_lat) * cols_ + col(c.Gps_lng));
            by_cell.push_back({cell, {c.Gps_lat, c.Gps_lng, static_cast<std::uint32_t>(i)}});
        }
    }
    std::sort(by_cell.begin(), by_cell.end(), [](const auto& a, const auto& b) {
        return a.first != b.first ? a.first < b.first : a.second.index < b.second.index;
    });
    words_.assign(static_cast<std::size_t>((rows_ * cols_ + 63) / 64), Word{0, 0});
    points_.reserve(by_cell.size());
    for (std::size_t i = 0; i < by_cell.size(); ++i) {
        const std::uint64_t cell = by_cell[i].first;
        if (i == 0 || cell != by_cell[i - 1].first) {
            words_[cell / 64].bits |= std::uint64_t{1} << (cell % 64);
            starts_.push_back(static_cast<std::uint32_t>(i));
        }
        points_.push_back(by_cell[i].second);
    }
    starts_.push_back(static_cast<std::uint32_t>(points_.size()));
    std::uint32_t rank = 0;
    for (Word& w : words_) {
        w.rank = rank;
        rank += static_cast<std::uint32_t>(std::popcount(w.bits));
    }
}

// floor() of a monotone expression: a position inside the reach box falls
// in a cell between the box corners' cells, so the grid is exact.
std::int64_t GridPeer::row(double lat) const {
    return std::clamp<std::int64_t>(static_cast<std::int64_t>((lat + 90.0) * per_deg_), 0,
                                    rows_ - 1);
}

std::int64_t GridPeer::col(double lng) const {
    return std::clamp<std::int64_t>(static_cast<std::int64_t>((lng + 180.0) * per_deg_), 0,
                                    cols_ - 1);
}

long GridPeer::nearest(double lat, double lng, double radius_m) const {
    const e_dog::ReachBox box = e_dog::reach_box(lat, lng, radius_m);
    NearestSoFar best(radius_m);
    std::optional<HaversineFloor> floor;  // the cosines only for a query that meets a camera
    for (std::int64_t r = row(box.lat_lo); r <= row(box.lat_hi); ++r) {
        for (std::size_t k = 0; k < box.lng_count; ++k) {
            for (std::int64_t c = col(box.lng[k].first); c <= col(box.lng[k].second); ++c) {
                const auto cell = static_cast<std::uint64_t>(r * cols_ + c);
                const Word& w = words_[cell / 64];
                if ((w.bits >> (cell % 64) & 1U) == 0) {
                    continue;
                }
                // This cell and the occupied ones before it in the word.
                const std::uint64_t below = w.bits & (~std::uint64_t{0} >> (63 - cell % 64));
                if (!floor) {
                    floor.emplace(lat, lng, box.lat_lo, box.lat_hi);
                }
                const std::uint32_t at =
                    w.rank + static_cast<std::uint32_t>(std::popcount(below)) - 1;
                for (std::uint32_t i = starts_[at]; i < starts_[at + 1]; ++i) {
                    const Point& p = points_[i];
                    if (floor->sum(p.lat, p.lng) <= best.limit) {
                        best.take(get_distance(lat, lng, p.lat, p.lng), static_cast<long>(p.index));
                    }
                }
            }
        }
    }
    return best.index;
}

std::size_t GridPeer::memory() const {
    return words_.capacity() * sizeof(Word) + starts_.capacity() * sizeof(std::uint32_t) +
           points_.capacity() * sizeof(Point);
}

}  // namespace bench
