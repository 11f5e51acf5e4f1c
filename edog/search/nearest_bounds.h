// Conservative bounds of the distance formula for the nearest-camera search:
// a box of degrees that holds every position within a radius, and a floor of
// the distance from a position to any point of a 10-character cell. Both err
// only on the safe side (the box only grows, the floor only shrinks), by the
// named slacks below. See doc/nearest-search.md.
#ifndef EDOG_NEAREST_BOUNDS_H
#define EDOG_NEAREST_BOUNDS_H

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <utility>

#include "geo/distance.h"
#include "geo/geohash_int.h"

namespace e_dog {

// Metres added to a radius: more than the formula's rounding to 0.1 m.
inline constexpr double kRadiusMarginM = 1.0;
// Degrees added at every box edge and cell border: far more than the floating
// error of the degree arithmetic there (about 1e-14 degrees).
inline constexpr double kEdgeEpsDeg = 1e-9;
// Relative slack of angles converted between the formula's radians and
// degrees, and of the floor's comparison: well above a few rounding errors
// (each about 1e-16 relative).
inline constexpr double kRelativeSlack = 1e-9;
// Subtracted from the cosine bounds: a little more than the floating error
// of a cosine and of the formula's own cosines (each about 1e-16).
inline constexpr double kCosineSlack = 1e-15;
// Subtracted from the band's cosine for the floor: candidate cells reach at
// most one fine cell (under 1e-7 radians) beyond the band, and a cosine
// changes no faster than its argument.
inline constexpr double kCellOverhangCos = 1e-6;

// Degree intervals that hold every position within `radius_m` metres of
// (lat, lng) by get_distance, with a margin for its rounding: one latitude
// interval and one or two longitude intervals (two across longitude +-180).
struct ReachBox {
    double lat_lo;
    double lat_hi;
    std::pair<double, double> lng[2];
    std::size_t lng_count;
    double cos_lat;   // lower bound of the cosine of the position's latitude (formula's radians)
    double cos_band;  // lower bound of the cosine over the latitude band (0 near a pole)
};
ReachBox reach_box(double lat, double lng, double radius_m);

// A lower bound of the cosine of `abs_deg` degrees in the formula's radians,
// from a table; 0 beyond 90 degrees (and for NaN).
double cos_floor(double abs_deg);

// A lower bound of get_distance from a position to any point of a fine cell,
// so that most candidates are dismissed without reading their record. It is
// kept as the haversine sum it bounds (`sum`), which orders cells as the
// distance does, and compared with `limit`, the largest sum of a cell that may
// still hold a camera within a distance. The bound is used only where the box
// neither wraps nor touches longitude +-180 (no difference there exceeds 180
// degrees); elsewhere every sum is 0.
class DistanceFloor {
public:
    static constexpr int kCellBits = 50;  // 10-character cells

    DistanceFloor(const ReachBox& box, double lat, double lng)
        : lat_(lat),
          lng_(lng),
          cos_product_(box.cos_lat * std::max(0.0, box.cos_band - kCellOverhangCos)),
          active_(box.lng_count == 1 && box.lng[0].first > -180.0 && box.lng[0].second < 180.0) {}

    [[nodiscard]] double sum(std::uint64_t cell_value) const {
        if (!active_) {
            return 0.0;
        }
        const geo::CellBox cell(cell_value, kCellBits);
        const double dlat = std::max({0.0, cell.south - lat_, lat_ - (cell.south + cell.height)});
        const double dlng = std::max({0.0, cell.west - lng_, lng_ - (cell.west + cell.width)});
        // Half-angles in the formula's radians; sin(x)^2 >= x^2 (1 - x^2/3).
        const double a = dlat * kHalfRadian;
        const double b = dlng * kHalfRadian;
        return a * a * (1 - a * a * kThird) + cos_product_ * b * b * (1 - b * b * kThird);
    }

    // asin(y) >= y, so a cell is at least 2 R sqrt(sum) away; the slack
    // covers the formula's rounding and floating error.
    [[nodiscard]] static double limit(double distance) {
        const double root =
            (distance + kDistanceResolutionM) / (2 * kEarthRadiusM * (1 - kRelativeSlack));
        return root * root;
    }

private:
    static constexpr double kHalfRadian = kFormulaPi / 360.0;  // half of one degree
    static constexpr double kThird = 1.0 / 3.0;

    double lat_;
    double lng_;
    double cos_product_;
    bool active_;
};

}  // namespace e_dog

#endif  // EDOG_NEAREST_BOUNDS_H
