// The Geohash codec on arbitrary strings and positions.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "fuzz/fuzz_support.h"
#include "geo/geohash.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto lat = fuzz::take<double>(data, size);
    const auto lng = fuzz::take<double>(data, size);
    const auto precision = fuzz::take<std::int8_t>(data, size);
    const std::string text(reinterpret_cast<const char*>(data), size);
    const char* s = text.c_str();  // up to its first NUL
    const std::size_t len = std::strlen(s);

    const GeoCoord c = geohash_decode(s);
    fuzz::require(c.south <= c.north && c.west <= c.east, "decoded cell is a box");

    std::string out(len + 1, '\0');
    for (int dir = -1; dir <= 4; ++dir) {
        get_neighbor(s, dir, out.data());
        const std::size_t n = std::strlen(out.c_str());
        fuzz::require(n == 0 || n == len, "a neighbour keeps the length");
    }
    char** eight = geohash_neighbors(s);
    for (int i = 0; i < 8; ++i) {
        fuzz::require(std::strlen(eight[i]) <= 23, "neighbours fit their buffers");
    }

    const char* code = geohash_encode(lat, lng, precision);
    const bool in_range = lat >= -90.0 && lat <= 90.0 && lng >= -180.0 && lng <= 180.0;
    fuzz::require((code != nullptr) == in_range, "encoding refuses exactly the bad positions");
    if (code != nullptr) {
        const GeoCoord cell = geohash_decode(code);
        fuzz::require(
            lat <= cell.north && lat >= cell.south && lng <= cell.east && lng >= cell.west,
            "the cell of a code holds its position");
    }
    return 0;
}
