#include "edog/search/nearest_bounds.h"

#include <array>
#include <cmath>
#include <limits>

namespace e_dog {

namespace {

// Cosines at every eighth of a degree from 0 to 90, in the formula's radians.
// The cosine falls over that span, so the entry at or above an angle is a
// lower bound of its cosine (and the entry of 1 / sqrt(cos) an upper bound of
// that), without calling the trigonometric functions on every search. An
// eighth of a degree widens the box in longitude by well under 1 % anywhere
// below 85 degrees of latitude.
constexpr double kStepsPerDeg = 8.0;
constexpr std::size_t kEntries = 721;  // 90 degrees and 0
// Makes the table's 1 / sqrt(cos) an upper bound despite its rounding.
constexpr double kRootSlack = 1e-12;

struct CosTable {
    std::array<double, kEntries> cos_floor;
    std::array<double, kEntries> rsqrt_ceil;  // upper bound of 1 / sqrt(cos)
};

const CosTable& cos_table() {
    static const CosTable table = [] {
        CosTable t{};
        for (std::size_t i = 0; i < kEntries; ++i) {
            const double c = std::cos(to_radians(static_cast<double>(i) / kStepsPerDeg));
            t.cos_floor[i] = std::max(0.0, c - kCosineSlack);
            t.rsqrt_ceil[i] = t.cos_floor[i] > 0.0
                                  ? 1 / std::sqrt(t.cos_floor[i]) * (1 + kRootSlack)
                                  : std::numeric_limits<double>::infinity();
        }
        return t;
    }();
    return table;
}

// The table entry at or above `abs_deg` (0 to 90).
std::size_t entry_above(double abs_deg) {
    const double steps = abs_deg * kStepsPerDeg;
    auto i = static_cast<std::size_t>(steps);
    return i + (static_cast<double>(i) < steps ? 1 : 0);
}

}  // namespace

double cos_floor(double abs_deg) {
    const double a = std::fabs(abs_deg);
    return a <= 90.0 ? cos_table().cos_floor[entry_above(a)] : 0.0;
}

ReachBox reach_box(double lat, double lng, double radius_m) {
    ReachBox box{};
    // Products with constant reciprocals instead of divisions: their rounding
    // is covered by the relative slack.
    constexpr double kPerEarthRadius = 1.0 / kEarthRadiusM;
    constexpr double kDegreesPerRadian = 180.0 / kFormulaPi * (1 + kRelativeSlack);
    const double theta = (radius_m + kRadiusMarginM) * kPerEarthRadius * (1 + kRelativeSlack);
    const double dlat = theta * kDegreesPerRadian + kEdgeEpsDeg;
    box.lat_lo = std::max(-90.0, lat - dlat);
    box.lat_hi = std::min(90.0, lat + dlat);

    // Every point of the latitude band is at least cos(lat) cos(band) dlng^2
    // away in the haversine sum, so larger longitude differences cannot be in
    // reach. Only lower bounds of the cosines are needed (the band's is the
    // cosine at its edge farthest from the equator), and sin(theta/2) <=
    // theta/2, asin(m) <= m + m^3 / (6 (1 - m^2)) (every later term of its
    // series has a coefficient below 1/6), which is m (1 + 2 m^2 / 9) for m up
    // to 1/2, and asin(m) <= m / sqrt(1 - m^2) above.
    double dlng = 360.0;
    const double abs_lat = std::fabs(lat);
    const double band_edge = abs_lat + dlat;
    box.cos_lat = cos_floor(abs_lat);
    box.cos_band = 0.0;
    if (band_edge < 90.0 && theta < kFormulaPi) {
        const CosTable& t = cos_table();
        box.cos_band = t.cos_floor[entry_above(band_edge)];
        const double m = theta / 2 * t.rsqrt_ceil[entry_above(abs_lat)] *
                         t.rsqrt_ceil[entry_above(band_edge)] * (1 + kRelativeSlack);
        double half = 2.0;  // half the longitude reach, in radians: none below pi
        if (m <= 0.5) {
            half = m * (1 + m * m * (2.0 / 9.0));
        } else if (m < 1.0) {
            half = m / std::sqrt(1 - m * m);
        }
        dlng = 2 * half * kDegreesPerRadian + kEdgeEpsDeg;
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
