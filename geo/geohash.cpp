#include "geo/geohash.h"

#include <array>
#include <cmath>
#include <cstring>

#include "geo/geohash_int.h"

namespace {

// The base-32 alphabet: 32 characters, then a terminator that is not part of it.
constexpr const char* char_map = geo::kAlphabet;
constexpr std::size_t kAlphabetSize = sizeof geo::kAlphabet - 1;

constexpr int kMaxPrecision = 12;
constexpr int kDefaultPrecision = 6;
constexpr int kBitsPerChar = geo::kBitsPerChar;
constexpr std::size_t kBufSize = 24;

// Indexed [odd length][direction]; direction 0 north, 1 east, 2 south, 3 west.
constexpr std::array<std::array<const char*, 4>, 2> kNeighbors = {{
    {"p0r21436x8zb9dcf5h7kjnmqesgutwvy", "bc01fg45238967deuvhjyznpkmstqrwx",
     "14365h7k9dcfesgujnmqp0r2twvyx8zb", "238967debc01fg45kmstqrwxuvhjyznp"},
    {"bc01fg45238967deuvhjyznpkmstqrwx", "p0r21436x8zb9dcf5h7kjnmqesgutwvy",
     "238967debc01fg45kmstqrwxuvhjyznp", "14365h7k9dcfesgujnmqp0r2twvyx8zb"},
}};
constexpr std::array<std::array<const char*, 4>, 2> kBorders = {{
    {"prxz", "bcfguvyz", "028b", "0145hjnp"},
    {"bcfguvyz", "prxz", "0145hjnp", "028b"},
}};

char geohash_encode_buf[kBufSize];
char neighbor_1[kBufSize];
char neighbor_2[kBufSize];
char neighbor_3[kBufSize];
char neighbor_4[kBufSize];
char neighbor_5[kBufSize];
char neighbor_6[kBufSize];
char neighbor_7[kBufSize];
char neighbor_8[kBufSize];
char* neighbors[8] = {};

// Position of `c` in a terminated string, or -1.
int find_in(char c, const char* s) {
    const char* hit = (c == '\0') ? nullptr : std::strchr(s, c);
    return hit == nullptr ? -1 : static_cast<int>(hit - s);
}

}  // namespace

unsigned int index_for_char(char c, const char* string) {
    if (string == nullptr) {
        return ~0U;
    }
    const std::size_t n = (string == char_map) ? kAlphabetSize : std::strlen(string);
    for (std::size_t i = 0; i < n; ++i) {
        if (string[i] == c) {
            return static_cast<unsigned int>(i);
        }
    }
    return ~0U;
}

char* geohash_encode(double lat, double lng, int precision) {
    if (precision < 1 || precision > kMaxPrecision) {
        precision = kDefaultPrecision;
    }
    return geo::encode_code(lat, lng, precision, geohash_encode_buf) ? geohash_encode_buf : nullptr;
}

GeoCoord geohash_decode(const char* hash) {
    GeoCoord coord{0.0, 0.0, 0.0, 0.0, 0.0, 0.0, {0.0, 0.0}};
    if (hash == nullptr || hash[0] == '\0') {
        return coord;
    }
    Interval lat_iv{90.0, -90.0};
    Interval lng_iv{180.0, -180.0};
    bool lng_bit = true;
    for (const char* c = hash; *c != '\0'; ++c) {
        // A character outside the alphabet yields all ones, like 'z'.
        const unsigned int v = index_for_char(*c, char_map);
        for (unsigned int j = 0; j < kBitsPerChar; ++j) {
            Interval& iv = lng_bit ? lng_iv : lat_iv;
            const double delta = (iv.high - iv.low) / 2;
            if (((v >> (4U - j)) & 1U) != 0U) {
                iv.low += delta;
            } else {
                iv.high -= delta;
            }
            lng_bit = !lng_bit;
        }
    }
    coord.latitude = lat_iv.high - (lat_iv.high - lat_iv.low) / 2;
    coord.longitude = lng_iv.high - (lng_iv.high - lng_iv.low) / 2;
    coord.north = lat_iv.high;
    coord.east = lng_iv.high;
    coord.south = lat_iv.low;
    coord.west = lng_iv.low;
    return coord;
}

char* get_neighbor(const char* hash, int direction, char* T) {
    const std::size_t len = std::strlen(hash);
    if (len == 0 || direction < 0 || direction > 3) {
        T[0] = '\0';
        return T;
    }
    const auto dir = static_cast<std::size_t>(direction);
    std::memmove(T, hash, len + 1);
    // Move the last character; while it crosses the border of its parent cell,
    // move the parent too. A one-character code on the border wraps around.
    for (std::size_t i = len; i-- > 0;) {
        const std::size_t odd = (i + 1) % 2;
        const int k = find_in(T[i], kNeighbors[odd][dir]);
        if (k < 0) {
            T[0] = '\0';
            return T;
        }
        const bool on_border = find_in(T[i], kBorders[odd][dir]) >= 0;
        T[i] = char_map[k];
        if (!on_border) {
            break;
        }
    }
    return T;
}

char** geohash_neighbors(const char* hash) {
    if (hash == nullptr) {
        return neighbors;
    }
    char code[kBufSize] = {};
    std::strncpy(code, hash, kBufSize - 1);

    char* bufs[8] = {neighbor_1, neighbor_2, neighbor_3, neighbor_4,
                     neighbor_5, neighbor_6, neighbor_7, neighbor_8};
    for (char* b : bufs) {
        std::memset(b, 0, kBufSize);
    }
    enum : int { kNorth = 0, kEast = 1, kSouth = 2, kWest = 3 };
    get_neighbor(code, kNorth, neighbor_1);
    get_neighbor(neighbor_1, kEast, neighbor_2);
    get_neighbor(code, kEast, neighbor_3);
    get_neighbor(neighbor_3, kSouth, neighbor_4);
    get_neighbor(code, kSouth, neighbor_5);
    get_neighbor(neighbor_5, kWest, neighbor_6);
    get_neighbor(code, kWest, neighbor_7);
    get_neighbor(neighbor_7, kNorth, neighbor_8);
    for (std::size_t i = 0; i < 8; ++i) {
        neighbors[i] = bufs[i];
    }
    return neighbors;
}

GeoBoxDimension geohash_dimensions_for_precision(int precision) {
    if (precision <= 0) {
        return {0.0, 0.0};
    }
    // Past about 440 characters both sizes are 0 anyway; the cap keeps the
    // exponents well inside int for every precision.
    constexpr int kCap = 1000;
    const int p = precision < kCap ? precision : kCap;
    const int lat_cuts = kBitsPerChar * p / 2;
    const int lng_cuts = lat_cuts + (p % 2);
    return {std::ldexp(180.0, -lat_cuts), std::ldexp(360.0, -lng_cuts)};
}
