#include "bench/rtree_peer.h"

#include <cmath>
#include <utility>

#include "bench/peer_bound.h"
#include "edog/search/e_dog_answer.h"
#include "edog/search/nearest_bounds.h"
#include "geo/distance.h"
#include <boost/function_output_iterator.hpp>
#include <boost/geometry.hpp>
#include <boost/geometry/index/rtree.hpp>

namespace bench {

namespace {

namespace bg = boost::geometry;
namespace bgi = boost::geometry::index;
using Point = bg::model::point<double, 2, bg::cs::cartesian>;  // (latitude, longitude), radians
using Box = bg::model::box<Point>;
using Value = std::pair<Point, std::uint32_t>;

constexpr double kRadPerDeg = M_PI / 180.0;
// Widens the query box beyond the rounding of degrees to radians.
constexpr double kBoxSlackRad = 1e-12;

}  // namespace

struct RTreePeer::Tree {
    bgi::rtree<Value, bgi::rstar<16>> tree;
    std::vector<std::pair<double, double>> degrees;  // by camera: the formula takes degrees
};

RTreePeer::RTreePeer(const std::vector<E_DOG_DATA>& cams) : tree_(std::make_unique<Tree>()) {
    std::vector<Value> values;
    tree_->degrees.resize(cams.size());
    for (std::size_t i = 0; i < cams.size(); ++i) {
        const E_DOG_DATA& c = cams[i];
        tree_->degrees[i] = {c.Gps_lat, c.Gps_lng};
        if (e_dog::qualifies(c.DirType) && std::isfinite(c.Gps_lat) && std::isfinite(c.Gps_lng)) {
            values.emplace_back(Point(c.Gps_lat * kRadPerDeg, c.Gps_lng * kRadPerDeg),
                                static_cast<std::uint32_t>(i));
        }
    }
    tree_->tree = bgi::rtree<Value, bgi::rstar<16>>(values.begin(), values.end());
}

RTreePeer::~RTreePeer() = default;

long RTreePeer::nearest(double lat, double lng, double radius_m) const {
    const e_dog::ReachBox box = e_dog::reach_box(lat, lng, radius_m);
    const HaversineFloor floor(lat, lng, box.lat_lo, box.lat_hi);
    NearestSoFar best(radius_m);
    for (std::size_t i = 0; i < box.lng_count; ++i) {
        const Box b(Point(box.lat_lo * kRadPerDeg - kBoxSlackRad,
                          box.lng[i].first * kRadPerDeg - kBoxSlackRad),
                    Point(box.lat_hi * kRadPerDeg + kBoxSlackRad,
                          box.lng[i].second * kRadPerDeg + kBoxSlackRad));
        tree_->tree.query(
            bgi::intersects(b), boost::make_function_output_iterator([&](const Value& v) {
                const double plat = bg::get<0>(v.first) / kRadPerDeg;
                const double plng = bg::get<1>(v.first) / kRadPerDeg;
                if (floor.sum(plat, plng) <= best.limit) {
                    const auto [clat, clng] = tree_->degrees[v.second];
                    best.take(get_distance(lat, lng, clat, clng), static_cast<long>(v.second));
                }
            }));
    }
    return best.index;
}

}  // namespace bench
