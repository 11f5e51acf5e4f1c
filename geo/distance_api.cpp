// The public names of the distance formula, thin wrappers over the module's
// own functions. They live in an object of their own: a program that defines
// its own `rad` or `get_distance` links without this one, and neither changes
// the module's answers (the module calls only e_dog::to_radians and
// e_dog::distance_m) nor is changed by the module.
#include "geo/distance.h"

double rad(double d) {
    return e_dog::to_radians(d);
}

double get_distance(double lat1, double lng1, double lat2, double lng2) {
    return e_dog::distance_m(lat1, lng1, lat2, lng2);
}
