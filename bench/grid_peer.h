// A plain uniform grid of 0.025-degree cells over the takeable cameras, the
// simplest exact peer of the nearest search: a hash of the occupied cells to
// their cameras' positions, probed cell by cell over the reach box.
#ifndef BENCH_GRID_PEER_H
#define BENCH_GRID_PEER_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "edog/e_dog_source_date.h"

namespace bench {

class GridPeer {
public:
    explicit GridPeer(const std::vector<E_DOG_DATA>& cams);

    // Index of the nearest takeable camera strictly within `radius_m`
    // (earlier index on ties), or -1.
    [[nodiscard]] long nearest(double lat, double lng, double radius_m) const;

    [[nodiscard]] std::size_t memory() const;

private:
    struct Point {
        double lat;
        double lng;
        std::uint32_t index;
    };
    struct Slot {
        std::uint32_t cell;  // kEmpty when free
        std::uint32_t begin;
        std::uint32_t end;
    };
    static constexpr std::uint32_t kEmpty = 0xffffffffU;

    [[nodiscard]] const Slot* find(std::uint32_t cell) const;

    std::vector<Point> points_;  // by cell
    std::vector<Slot> slots_;    // open addressing, power-of-two size
    std::uint32_t mask_ = 0;
};

}  // namespace bench

#endif  // BENCH_GRID_PEER_H
