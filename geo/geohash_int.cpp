#include "geo/geohash_int.h"

namespace geo {

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
