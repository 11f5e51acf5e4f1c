// Great-circle distance on a sphere of radius 6378.137 km (haversine formula).
// The C view holds rad and get_distance; the rest is for C++.
#ifndef GEO_DISTANCE_H
#define GEO_DISTANCE_H

#ifdef __cplusplus
namespace e_dog {
// The formula's constants. Code that bounds distances uses these same values,
// so its bounds hold for the distances the formula gives.
inline constexpr double kFormulaPi = 3.1415926;  // pi as every conversion takes it
inline constexpr double kEarthRadiusKm = 6378.137;
inline constexpr double kEarthRadiusM = 6378137.0;
// Distances come back rounded to this many metres.
inline constexpr double kDistanceResolutionM = 0.1;
}  // namespace e_dog

extern "C" {
#endif

// Degrees to radians, with pi taken as 3.1415926 throughout.
double rad(double d);

// Distance in metres between (lat1, lng1) and (lat2, lng2), in degrees,
// rounded to a tenth of a metre. NaN in, NaN out.
double get_distance(double lat1, double lng1, double lat2, double lng2);

#ifdef __cplusplus
}  // extern "C"

namespace e_dog {
// floor(d + 0.5): half rounds up towards plus infinity (-2.5 gives -2). Not
// the maths library's round.
double round(double d);
}  // namespace e_dog

namespace e_dog {
// The same two functions under the module's own names. The module's code
// calls only these, so a program's own `rad` or `get_distance` cannot change
// its answers; the public names above are wrappers over them.
double to_radians(double d);
double distance_m(double lat1, double lng1, double lat2, double lng2);

// Initial great-circle bearing from (lat1, lng1) to (lat2, lng2), degrees
// from north (-180 to 180), with the formula's pi.
double bearing_deg(double lat1, double lng1, double lat2, double lng2);
}  // namespace e_dog
#endif

#endif  // GEO_DISTANCE_H
