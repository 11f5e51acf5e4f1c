// A uniform grid over the takeable cameras, the nearest search's peer as a
// user tuning it would write it: a bitmap of the occupied cells with a count
// of the occupied cells before each 64-bit word, so that an empty cell costs
// one word and an occupied one finds its cameras without a hash; cameras
// stored by cell with their positions; a cheap lower bound of the distance
// (bench/peer_bound.h) before the formula. The cell size is a parameter;
// nearest_bench shows the tuning.
#ifndef BENCH_GRID_PEER_H
#define BENCH_GRID_PEER_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "edog/e_dog_source_date.h"

namespace bench {

class GridPeer {
public:
    GridPeer(const std::vector<E_DOG_DATA>& cams, double cell_deg);

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
    struct Word {
        std::uint64_t bits;  // cell 64 w + b is occupied when bit b is set
        std::uint32_t rank;  // occupied cells before this word
    };

    [[nodiscard]] std::int64_t row(double lat) const;
    [[nodiscard]] std::int64_t col(double lng) const;

    double per_deg_;  // cells per degree
    std::int64_t rows_;
    std::int64_t cols_;
    std::vector<Word> words_;
    std::vector<std::uint32_t> starts_;  // first point of each occupied cell, and the end
    std::vector<Point> points_;          // by cell, then index
};

}  // namespace bench

#endif  // BENCH_GRID_PEER_H
