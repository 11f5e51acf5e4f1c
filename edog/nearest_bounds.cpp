#include "edog/nearest_bounds.h"

#include <cmath>

namespace e_dog {

ReachBox reach_box(double lat, double lng, double radius_m) {
    ReachBox box{};
    const double theta = (radius_m + kRadiusMarginM) / kEarthRadiusM;  // in the formula's radians
    const double dlat = theta * 180.0 / kFormulaPi * (1 + kRelativeSlack) + kEdgeEpsDeg;
    box.lat_lo = std::max(-90.0, lat - dlat);
    box.lat_hi = std::min(90.0, lat + dlat);

    // Every point of the latitude band is at least cos(band) * |dlng| away in
    // the haversine sum, so larger longitude differences cannot be in reach.
    // Only bounds are needed, and they come from one sine and cosine: the
    // band's cosine from the angle sum with cos(d) >= 1 - d^2/2 and
    // sin(d) <= d, sin(theta/2) <= theta/2, asin(m) <= m / sqrt(1 - m^2).
    double dlng = 360.0;
    const double r = to_radians(lat);
    box.cos_lat = std::cos(r);
    const double sin_abs = std::fabs(std::sin(r));
    const double d = to_radians(dlat);
    box.cos_band = 0.0;
    if (std::fabs(lat) + dlat < 90.0) {
        box.cos_band = std::max(0.0, box.cos_lat * (1 - d * d / 2) - sin_abs * d - kCosineSumSlack);
    }
    const double c = box.cos_lat * box.cos_band;
    if (c > 0.0 && theta < kFormulaPi) {
        const double m = theta / 2 / std::sqrt(c);
        if (m < 1.0) {
            dlng = 2 * m / std::sqrt(1 - m * m) * 180.0 / kFormulaPi * (1 + kRelativeSlack) +
                   kEdgeEpsDeg;
        }
    }
    if (dlng >= 180.0) {
        box.lng[0] = {-180.0, 180.0};
        box.lng_count = 1;
        return box;
    }
    const double lo = lng - dlng;
    const double hi = lng + dlng;
    if (lo < -180.0) {
        box.lng[0] = {lo + 360.0, 180.0};
        box.lng[1] = {-180.0, hi};
        box.lng_count = 2;
    } else if (hi > 180.0) {
        box.lng[0] = {lo, 180.0};
        box.lng[1] = {-180.0, hi - 360.0};
        box.lng_count = 2;
    } else {
        box.lng[0] = {lo, hi};
        box.lng_count = 1;
    }
    return box;
}

}  // namespace e_dog
