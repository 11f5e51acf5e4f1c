// Geohash codes and cells as integers: a code of n characters is the number
// made of its 5n bits, longitude and latitude bits alternating from the top
// (longitude first). Cells are indices along each axis. The codec's alphabet
// lives here once; geohash.cpp uses it too. See doc/nearest-search.md.
#ifndef GEO_GEOHASH_INT_H
#define GEO_GEOHASH_INT_H

#include <array>
#include <cstddef>
#include <cstdint>

namespace geo {

// The base-32 alphabet. Its characters rise in byte order, so codes of equal
// length sort as their numbers do.
inline constexpr char kAlphabet[33] = "0123456789bcdefghjkmnpqrstuvwxyz";
inline constexpr int kBitsPerChar = 5;

// Alphabet value of each byte; kNotInAlphabet for bytes outside it.
inline constexpr std::uint8_t kNotInAlphabet = 32;
inline constexpr std::array<std::uint8_t, 256> kCharValue = [] {
    std::array<std::uint8_t, 256> t{};
    t.fill(kNotInAlphabet);
    for (std::uint8_t i = 0; i < 32; ++i) {
        t[static_cast<unsigned char>(kAlphabet[i])] = i;
    }
    return t;
}();

// Spreads the low 32 bits of x to the even bit positions, and back.
constexpr std::uint64_t spread(std::uint64_t x) {
    x &= 0xFFFFFFFFULL;
    x = (x | (x << 16U)) & 0x0000FFFF0000FFFFULL;
    x = (x | (x << 8U)) & 0x00FF00FF00FF00FFULL;
    x = (x | (x << 4U)) & 0x0F0F0F0F0F0F0F0FULL;
    x = (x | (x << 2U)) & 0x3333333333333333ULL;
    x = (x | (x << 1U)) & 0x5555555555555555ULL;
    return x;
}
constexpr std::uint64_t compact(std::uint64_t x) {
    x &= 0x5555555555555555ULL;
    x = (x | (x >> 1U)) & 0x3333333333333333ULL;
    x = (x | (x >> 2U)) & 0x0F0F0F0F0F0F0F0FULL;
    x = (x | (x >> 4U)) & 0x00FF00FF00FF00FFULL;
    x = (x | (x >> 8U)) & 0x0000FFFF0000FFFFULL;
    x = (x | (x >> 16U)) & 0x00000000FFFFFFFFULL;
    return x;
}

// Axis bits of a code of `bits` bits: longitude has the extra one when the
// count is odd.
constexpr int lng_bits(int bits) {
    return (bits + 1) / 2;
}
constexpr int lat_bits(int bits) {
    return bits / 2;
}

// 2^n for the axis bit counts a code can have (0 to 32).
inline constexpr std::array<double, 33> kPow2 = [] {
    std::array<double, 33> t{};
    double v = 1.0;
    for (double& e : t) {
        e = v;
        v *= 2;
    }
    return t;
}();

// The code value of the cell with these axis indices.
constexpr std::uint64_t interleave(std::uint64_t lng_idx, std::uint64_t lat_idx, int bits) {
    if (bits % 2 == 0) {
        return (spread(lng_idx) << 1U) | spread(lat_idx);
    }
    return spread(lng_idx) | (spread(lat_idx) << 1U);
}

// Writes the code of (lat, lng) with `precision` characters (1 to 12) and a
// terminator to `out`, the same code as halving each axis bit by bit gives
// (a position on a cell border belongs to the lower cell); false, with `out`
// untouched, for a position out of range or not a number. Safe to call from
// several threads at once.
bool encode_code(double lat, double lng, int precision, char* out);

// The value of the `chars` characters at `code`, or false when one is not of
// the alphabet or the byte after them is not the terminator.
bool code_value(const char* code, int chars, std::uint64_t& value);

// The closed box of the cell `value` of a code of `bits` bits. Its bounds are
// exact (whole multiples of a power of two), the same as geohash_decode's.
struct CellBox {
    constexpr CellBox(std::uint64_t value, int bits)
        : height(180.0 / kPow2[static_cast<std::size_t>(lat_bits(bits))]),
          width(360.0 / kPow2[static_cast<std::size_t>(lng_bits(bits))]),
          south(-90.0 + static_cast<double>(compact(bits % 2 == 0 ? value : value >> 1U)) * height),
          west(-180.0 + static_cast<double>(compact(bits % 2 == 0 ? value >> 1U : value)) * width) {
    }

    [[nodiscard]] constexpr bool holds(double lat, double lng) const {
        return lat >= south && lat <= south + height && lng >= west && lng <= west + width;
    }

    double height;
    double width;
    double south;
    double west;
};

// Cell index of a coordinate along an axis of `n` bits spanning [lo, lo+span],
// held inside the axis. Multiplying by the reciprocal may move a coordinate
// within a rounding error of a cell border to the next cell; callers widen
// their intervals by far more than that.
constexpr std::int64_t cell_index(double v, double lo, double span, int n) {
    const double cells = kPow2[static_cast<std::size_t>(n)];
    const double f = (v - lo) * (1 / span) * cells;
    if (!(f >= 0.0)) {
        return 0;
    }
    if (f >= cells) {
        return static_cast<std::int64_t>(cells) - 1;
    }
    return static_cast<std::int64_t>(f);  // truncation is the floor here
}

// A closed range of cell indices along one axis; empty when lo > hi.
struct IndexRange {
    std::int64_t lo;
    std::int64_t hi;
};

}  // namespace geo

#endif  // GEO_GEOHASH_INT_H
