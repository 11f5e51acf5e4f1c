// Fixed-width integers and doubles as little-endian bytes, whatever the
// host: how every file of the module stores its numbers.
#ifndef EDOG_DATAFILE_LITTLE_ENDIAN_H
#define EDOG_DATAFILE_LITTLE_ENDIAN_H

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace e_dog::le {

// On a little-endian host the bytes are the value's own: one copy, which
// the compiler makes a single load or store (it does not fold the byte loop).
constexpr bool kNativeLittle = std::endian::native == std::endian::little;

inline void put_u32(unsigned char* out, std::uint32_t v) {
    if constexpr (kNativeLittle) {
        std::memcpy(out, &v, sizeof v);
        return;
    }
    for (std::size_t i = 0; i < 4; ++i) {
        out[i] = static_cast<unsigned char>(v >> (8 * i));
    }
}

inline void put_u64(unsigned char* out, std::uint64_t v) {
    if constexpr (kNativeLittle) {
        std::memcpy(out, &v, sizeof v);
        return;
    }
    for (std::size_t i = 0; i < 8; ++i) {
        out[i] = static_cast<unsigned char>(v >> (8 * i));
    }
}

inline std::uint32_t get_u32(const unsigned char* in) {
    std::uint32_t v = 0;
    if constexpr (kNativeLittle) {
        std::memcpy(&v, in, sizeof v);
        return v;
    }
    for (std::size_t i = 0; i < 4; ++i) {
        v |= static_cast<std::uint32_t>(in[i]) << (8 * i);
    }
    return v;
}

inline std::uint64_t get_u64(const unsigned char* in) {
    std::uint64_t v = 0;
    if constexpr (kNativeLittle) {
        std::memcpy(&v, in, sizeof v);
        return v;
    }
    for (std::size_t i = 0; i < 8; ++i) {
        v |= static_cast<std::uint64_t>(in[i]) << (8 * i);
    }
    return v;
}

inline void put_i32(unsigned char* out, std::int32_t v) {
    put_u32(out, static_cast<std::uint32_t>(v));
}
inline std::int32_t get_i32(const unsigned char* in) {
    return static_cast<std::int32_t>(get_u32(in));
}
inline void put_f64(unsigned char* out, double v) {
    put_u64(out, std::bit_cast<std::uint64_t>(v));
}
inline double get_f64(const unsigned char* in) {
    return std::bit_cast<double>(get_u64(in));
}

}  // namespace e_dog::le

#endif  // EDOG_DATAFILE_LITTLE_ENDIAN_H
