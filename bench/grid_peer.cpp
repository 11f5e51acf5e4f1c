#include "bench/grid_peer.h"

#include <algorithm>
#include <bit>
#include <cmath>

#include "edog/search/e_dog_answer.h"
#include "edog/search/nearest_bounds.h"
#include "geo/distance.h"

namespace bench {

namespace {

constexpr double kCellDeg = 0.025;
constexpr std::int64_t kCols = 14400;  // 360 / 0.025
constexpr std::int64_t kRows = 7200;   // 180 / 0.025

// floor() of a monotone expression: a position inside the box always falls
// in a cell between the box corners' cells, so the grid is exact.
std::int64_t row(double lat) {
    return std::clamp<std::int64_t>(static_cast<std::int64_t>(std::floor((lat + 90.0) / kCellDeg)),
                                    0, kRows - 1);
}
std::int64_t col(double lng) {
    return std::clamp<std::int64_t>(static_cast<std::int64_t>(std::floor((lng + 180.0) / kCellDeg)),
                                    0, kCols - 1);
}
std::uint32_t cell_of(std::int64_t r, std::int64_t c) {
    return static_cast<std::uint32_t>(r * kCols + c);
}
std::uint32_t hash(std::uint32_t cell) {
    return cell * 0x9E3779B1U;
}

}  // namespace

GridPeer::GridPeer(const std::vector<E_DOG_DATA>& cams) {
    std::vector<std::pair<std::uint32_t, Point>> by_cell;
    for (std::size_t i = 0; i < cams.size(); ++i) {
        const E_DOG_DATA& c = cams[i];
        if (e_dog::qualifies(c.DirType) && std::isfinite(c.Gps_lat) && std::isfinite(c.Gps_lng)) {
            by_cell.push_back({cell_of(row(c.Gps_lat), col(c.Gps_lng)),
                               {c.Gps_lat, c.Gps_lng, static_cast<std::uint32_t>(i)}});
        }
    }
    std::sort(by_cell.begin(), by_cell.end(), [](const auto& a, const auto& b) {
        return a.first != b.first ? a.first < b.first : a.second.index < b.second.index;
    });
    std::size_t cells = 0;
    for (std::size_t i = 0; i < by_cell.size(); ++i) {
        cells += i == 0 || by_cell[i].first != by_cell[i - 1].first ? 1U : 0U;
    }
    const std::size_t size = std::bit_ceil(std::max<std::size_t>(2 * cells, 16));
    slots_.assign(size, Slot{kEmpty, 0, 0});
    mask_ = static_cast<std::uint32_t>(size - 1);
    points_.reserve(by_cell.size());
    Slot* slot = nullptr;
    for (std::size_t i = 0; i < by_cell.size(); ++i) {
        const std::uint32_t cell = by_cell[i].first;
        if (i == 0 || cell != by_cell[i - 1].first) {
            std::uint32_t s = hash(cell) & mask_;
            while (slots_[s].cell != kEmpty) {
                s = (s + 1) & mask_;
            }
            const auto at = static_cast<std::uint32_t>(points_.size());
            slot = &slots_[s];
            *slot = {cell, at, at};
        }
        points_.push_back(by_cell[i].second);
        ++slot->end;
    }
}

const GridPeer::Slot* GridPeer::find(std::uint32_t cell) const {
    for (std::uint32_t s = hash(cell) & mask_;; s = (s + 1) & mask_) {
        if (slots_[s].cell == cell) {
            return &slots_[s];
        }
        if (slots_[s].cell == kEmpty) {
            return nullptr;
        }
    }
}

long GridPeer::nearest(double lat, double lng, double radius_m) const {
    const e_dog::ReachBox box = e_dog::reach_box(lat, lng, radius_m);
    long best = -1;
    double best_d = radius_m;
    for (std::int64_t r = row(box.lat_lo); r <= row(box.lat_hi); ++r) {
        for (std::size_t k = 0; k < box.lng_count; ++k) {
            for (std::int64_t c = col(box.lng[k].first); c <= col(box.lng[k].second); ++c) {
                const Slot* slot = find(cell_of(r, c));
                if (slot == nullptr) {
                    continue;
                }
                for (std::uint32_t i = slot->begin; i < slot->end; ++i) {
                    const Point& p = points_[i];
                    const double d = get_distance(lat, lng, p.lat, p.lng);
                    const auto idx = static_cast<long>(p.index);
                    if (d < best_d || (d == best_d && best >= 0 && idx < best)) {
                        best_d = d;
                        best = idx;
                    }
                }
            }
        }
    }
    return best;
}

std::size_t GridPeer::memory() const {
    return points_.capacity() * sizeof(Point) + slots_.capacity() * sizeof(Slot);
}

}  // namespace bench
