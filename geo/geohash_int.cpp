#include "geo/geohash_int.h"

#include <cmath>

namespace geo {

namespace {

// The cell of `v` along an axis [lo, lo + span] halved `n` times, a value on a
// border going to the lower half: the number of the 2^n - 1 inner borders
// that lie strictly below `v`. Every border lo + j * span / 2^n is a double
// exactly (at most 36 significant bits for n <= 30), and so is (border - lo)
// / step. Rounding is monotone, so the guess floor((v - lo) / step) is never
// below the cell; it is one above it where `v` lies on a border or just
// below one and the subtraction rounded up to it, which the check against
// the border itself corrects.
std::uint64_t axis_cell(double v, double lo, double span, int n) {
    const auto cells = static_cast<std::int64_t>(kPow2[static_cast<std::size_t>(n)]);
    const double step = span / kPow2[static_cast<std::size_t>(n)];
    const double guess = std::floor((v - lo) / step);
    std::int64_t i = 0;
    if (guess >= static_cast<double>(cells - 1)) {
        i = cells - 1;
    } else if (guess > 0.0) {
        i = static_cast<std::int64_t>(guess);
    }
    const auto border = [&](std::int64_t j) { return lo + static_cast<double>(j) * step; };
    while (i > 0 && !(v > border(i))) {
        --i;
    }
    return static_cast<std::uint64_t>(i);
}

}  // namespace

bool encode_code(double lat, double lng, int precision, char* out) {
    // Written so that NaN fails every comparison and is refused.
    if (!(lat >= -90.0 && lat <= 90.0) || !(lng >= -180.0 && lng <= 180.0)) {
        return false;
    }
    const int bits = precision * kBitsPerChar;
    std::uint64_t value = interleave(axis_cell(lng, -180.0, 360.0, lng_bits(bits)),
                                     axis_cell(lat, -90.0, 180.0, lat_bits(bits)), bits);
    out[precision] = '\0';
    for (int c = precision - 1; c >= 0; --c) {
        out[c] = kAlphabet[value & 31U];
        value >>= static_cast<unsigned>(kBitsPerChar);
    }
    return true;
}

bool code_value(const char* code, int chars, std::uint64_t& value) {
    value = 0;
    for (int c = 0; c < chars; ++c) {
        const std::uint8_t v = kCharValue[static_cast<unsigned char>(code[c])];
        if (v == kNotInAlphabet) {
            return false;
        }
        value = (value << static_cast<unsigned>(kBitsPerChar)) | static_cast<std::uint64_t>(v);
    }
    return code[chars] == '\0';
}

}  // namespace geo
