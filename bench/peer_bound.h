// The cheap filter both peers of the nearest search run before the distance
// formula, as a user tuning them would write it: a lower bound of the
// haversine sum from degree differences alone (no trigonometry per camera),
// compared with the largest sum a camera nearer than the best so far can
// have.
#ifndef BENCH_PEER_BOUND_H
#define BENCH_PEER_BOUND_H

#include <algorithm>
#include <cmath>

#include "geo/distance.h"

namespace bench {

class HaversineFloor {
public:
    // For a query at (lat, lng) in degrees whose reach lies between
    // latitudes `lat_lo` and `lat_hi`: two cosines per query.
    HaversineFloor(double lat, double lng, double lat_lo, double lat_hi)
        : lat_(lat),
          lng_(lng),
          cos_product_(
              std::max(0.0, std::cos(lat * kRad) - kSlack) *
              std::max(0.0,
                       std::cos(std::max(std::fabs(lat_lo), std::fabs(lat_hi)) * kRad) - kSlack)) {}

    // At most the haversine sum of get_distance to (lat, lng) in degrees:
    // sin(x)^2 >= x^2 (1 - x^2 / 3).
    [[nodiscard]] double sum(double lat, double lng) const {
        double dlng = std::fabs(lng - lng_);
        dlng = dlng > 180.0 ? 360.0 - dlng : dlng;
        const double a = (lat - lat_) * kHalfRad;
        const double b = dlng * kHalfRad;
        return a * a * (1 - a * a * kThird) + cos_product_ * b * b * (1 - b * b * kThird);
    }

    // The largest sum of a camera that may be within `distance_m` (with the
    // formula's rounding and a margin for floating error).
    [[nodiscard]] static double limit(double distance_m) {
        const double root = (distance_m + 1.0) / (2 * e_dog::kEarthRadiusM);
        return root * root * (1 + 1e-9);
    }

private:
    static constexpr double kRad = e_dog::kFormulaPi / 180.0;
    static constexpr double kHalfRad = kRad / 2;
    static constexpr double kThird = 1.0 / 3.0;
    static constexpr double kSlack = 1e-12;

    double lat_;
    double lng_;
    double cos_product_;
};

// The nearest camera measured so far (earlier index on ties, none beyond the
// radius), and the bound's limit it sets for the cameras still to come.
struct NearestSoFar {
    explicit NearestSoFar(double radius_m)
        : distance(radius_m), limit(HaversineFloor::limit(radius_m)) {}

    void take(double d, long idx) {
        if (d < distance || (d == distance && index >= 0 && idx < index)) {
            distance = d;
            index = idx;
            limit = HaversineFloor::limit(d);
        }
    }

    long index = -1;
    double distance;
    double limit;
};

}  // namespace bench

#endif  // BENCH_PEER_BOUND_H
