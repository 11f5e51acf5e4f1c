// A Boost.Geometry R*-tree (rstar<16>, packed by its range constructor) over
// the takeable cameras' (latitude, longitude) in radians, the nearest
// search's other peer as a user tuning it would write it: the reach box
// queried in radians, the lower bound of bench/peer_bound.h on the point the
// tree hands back, and the formula (on the camera's degrees) only for the
// points that pass.
#ifndef BENCH_RTREE_PEER_H
#define BENCH_RTREE_PEER_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "edog/e_dog_source_date.h"

namespace bench {

class RTreePeer {
public:
    explicit RTreePeer(const std::vector<E_DOG_DATA>& cams);
    ~RTreePeer();
    RTreePeer(const RTreePeer&) = delete;
    RTreePeer& operator=(const RTreePeer&) = delete;
    RTreePeer(RTreePeer&&) = delete;
    RTreePeer& operator=(RTreePeer&&) = delete;

    // Index of the nearest takeable camera strictly within `radius_m`
    // (earlier index on ties), or -1.
    [[nodiscard]] long nearest(double lat, double lng, double radius_m) const;

private:
    struct Tree;
    std::unique_ptr<Tree> tree_;
};

}  // namespace bench

#endif  // BENCH_RTREE_PEER_H
