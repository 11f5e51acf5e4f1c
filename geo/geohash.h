// Geohash codec: position to code and back, neighbouring cells, cell sizes.
// Compiles as C11 and as C++; the functions have C linkage.
//
// Every result lives in static storage of the module: a call overwrites the
// result of the previous call of the same operation, so a caller that needs two
// results at once copies the first. Single-threaded use only.
#ifndef GEO_GEOHASH_H
#define GEO_GEOHASH_H

#ifdef __cplusplus
extern "C" {
#endif

typedef struct Interval {
    double high;
    double low;
} Interval;

typedef struct GeoBoxDimension {
    double height;  // degrees of latitude
    double width;   // degrees of longitude
} GeoBoxDimension;

typedef struct GeoCoord {
    double latitude;  // centre of the cell
    double longitude;
    double north;  // bounds of the cell
    double east;
    double south;
    double west;
    GeoBoxDimension dimension;
} GeoCoord;

// Code of (lat, lng) with `precision` characters (1 to 12, anything else means
// 6), or nullptr when the position is out of range or not a number. The code
// lives in a static buffer that the next accepted encoding overwrites.
char* geohash_encode(double lat, double lng, int precision);

// Cell of `hash` (nullptr or empty gives all zeros). Characters outside the
// alphabet count as 'z'.
GeoCoord geohash_decode(const char* hash);

// The eight surrounding cells in the order N, NE, E, SE, S, SW, W, NW. With a
// nullptr `hash` the previous result is returned unchanged. Codes longer than
// 23 characters are cut to 23.
char** geohash_neighbors(const char* hash);

GeoBoxDimension geohash_dimensions_for_precision(int precision);

// Writes into `T` the cell next to `hash` in `direction` (0 north, 1 east,
// 2 south, 3 west) and returns `T`, which must hold strlen(hash) + 1 bytes.
// An empty code, a last character outside the alphabet or a direction outside
// 0 to 3 gives an empty string.
char* get_neighbor(const char* hash, int direction, char* T);

// Position of `c` among the characters of `string` (all 32 alphabet characters
// when `string` is the alphabet), or the all-ones value when it is absent.
unsigned int index_for_char(char c, const char* string);

#ifdef __cplusplus
}  // extern "C"
#endif

#endif  // GEO_GEOHASH_H
