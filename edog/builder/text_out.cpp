#include "edog/builder/text_out.h"

#include <algorithm>
#include <charconv>
#include <cstring>

namespace e_dog {

char* LineOut::room(std::size_t n) {
    // A line that would not fit is written out in parts: same bytes.
    if (size_ + n > kCapacity) {
        write();
    }
    return buf_.data() + size_;
}

LineOut& LineOut::fixed(double v, int precision) {
    char* at = room(kNumberMax);
    const auto [end, ec] = std::to_chars(at, at + kNumberMax, v, std::chars_format::fixed,
                                         std::clamp(precision, 0, 17));
    size_ += ec == std::errc{} ? static_cast<std::size_t>(end - at) : 0;
    return *this;
}

LineOut& LineOut::integer(long long v, int digits) {
    constexpr std::size_t kMax = 24;  // sign and 20 digits
    char* at = room(kMax);
    char* p = at;
    unsigned long long magnitude = static_cast<unsigned long long>(v);
    if (v < 0) {
        *p++ = '-';
        magnitude = 0ULL - magnitude;
    }
    char digits_buf[kMax];
    const auto [end, ec] = std::to_chars(digits_buf, digits_buf + kMax, magnitude);
    const auto n = static_cast<std::size_t>(end - digits_buf);
    const auto wanted = static_cast<std::size_t>(std::clamp(digits, 1, 20));
    const std::size_t zeros = wanted > n ? wanted - n : 0;
    std::memset(p, '0', zeros);
    p += zeros;
    std::memcpy(p, digits_buf, n);
    size_ += static_cast<std::size_t>(p + n - at);
    return *this;
}

LineOut& LineOut::text(std::string_view s) {
    while (!s.empty()) {
        const std::size_t n = std::min(s.size(), kCapacity - size_);
        std::memcpy(room(0), s.data(), n);
        size_ += n;
        s.remove_prefix(n);
        if (!s.empty()) {
            write();
        }
    }
    return *this;
}

LineOut& LineOut::text(const char* s) {
    return text(std::string_view(s));
}

LineOut& LineOut::put(char c) {
    *room(1) = c;
    ++size_;
    return *this;
}

void LineOut::write() {
    (void)std::fwrite(buf_.data(), 1, size_, out_);
    size_ = 0;
}

}  // namespace e_dog
