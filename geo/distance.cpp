#include "geo/distance.h"

#include <cmath>

namespace {
using e_dog::kEarthRadiusKm;
constexpr double kTenthsOfMetrePerKm = 10000.0;
constexpr double kMetresPerKm = 1000.0;
}  // namespace

double e_dog::to_radians(double d) {
    return d * kFormulaPi / 180.0;
}

double e_dog::round(double d) {
    return std::floor(d + 0.5);
}

double e_dog::distance_m(double lat1, double lng1, double lat2, double lng2) {
    const double r1 = to_radians(lat1);
    const double r2 = to_radians(lat2);
    const double a = r1 - r2;
    const double b = to_radians(lng1) - to_radians(lng2);
    const double h = std::pow(std::sin(a / 2), 2.0) +
                     std::cos(r1) * std::cos(r2) * std::pow(std::sin(b / 2), 2.0);
    double s = 2 * std::asin(std::sqrt(h));
    s = s * kEarthRadiusKm;
    s = e_dog::round(s * kTenthsOfMetrePerKm) / kTenthsOfMetrePerKm;
    return s * kMetresPerKm;
}

double e_dog::bearing_deg(double lat1, double lng1, double lat2, double lng2) {
    const double p1 = to_radians(lat1);
    const double p2 = to_radians(lat2);
    const double dl = to_radians(lng2 - lng1);
    const double y = std::sin(dl) * std::cos(p2);
    const double x = std::cos(p1) * std::sin(p2) - std::sin(p1) * std::cos(p2) * std::cos(dl);
    return std::atan2(y, x) * 180.0 / kFormulaPi;
}
