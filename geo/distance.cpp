#include "geo/distance.h"

#include <cmath>

namespace {
using e_dog::kEarthRadiusKm;
constexpr double kTenthsOfMetrePerKm = 10000.0;
constexpr double kMetresPerKm = 1000.0;
}  // namespace

double rad(double d) {
    return d * e_dog::kFormulaPi / 180.0;
}

double e_dog::round(double d) {
    return std::floor(d + 0.5);
}

double get_distance(double lat1, double lng1, double lat2, double lng2) {
    const double r1 = rad(lat1);
    const double r2 = rad(lat2);
    const double a = r1 - r2;
    const double b = rad(lng1) - rad(lng2);
    const double h = std::pow(std::sin(a / 2), 2.0) +
                     std::cos(r1) * std::cos(r2) * std::pow(std::sin(b / 2), 2.0);
    double s = 2 * std::asin(std::sqrt(h));
    s = s * kEarthRadiusKm;
    s = e_dog::round(s * kTenthsOfMetrePerKm) / kTenthsOfMetrePerKm;
    return s * kMetresPerKm;
}
