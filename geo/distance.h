// Great-circle distance on a sphere of radius 6378.137 km (haversine formula).
#ifndef GEO_DISTANCE_H
#define GEO_DISTANCE_H

// Degrees to radians, with pi taken as 3.1415926 throughout.
double rad(double d);

namespace e_dog {
// floor(d + 0.5): half rounds up towards plus infinity (-2.5 gives -2). Not
// the maths library's round.
double round(double d);
}  // namespace e_dog

// Distance in metres between (lat1, lng1) and (lat2, lng2), in degrees,
// rounded to a tenth of a metre. NaN in, NaN out.
double get_distance(double lat1, double lng1, double lat2, double lng2);

#endif  // GEO_DISTANCE_H
