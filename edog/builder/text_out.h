// Lines of text built with std::to_chars, byte for byte as printf would
// format them ("%f" and "%.Nf", "%ld" and "%.Nld", "%s"), at a fraction of
// its cost: the build prints every camera twice, and printf's formatting of
// floating-point numbers was most of its time. to_chars with a precision
// rounds as printf does (the exact binary value, ties to even), and writes
// "inf", "-inf", "nan" and "-nan" as it does. The tests compare the two on
// a million values. See doc/data-file-format.md.
#ifndef EDOG_TEXT_OUT_H
#define EDOG_TEXT_OUT_H

#include <array>
#include <cstddef>
#include <cstdio>
#include <string_view>

namespace e_dog {

// Text for one stream, kept until write(); a line too long for the buffer
// goes out in parts, the same bytes.
class LineOut {
public:
    explicit LineOut(std::FILE* out) : out_(out) {}

    // printf's "%.{precision}f" (precision 0 to 17).
    LineOut& fixed(double v, int precision);
    // printf's "%.{digits}lld" (digits 1 to 20): at least `digits` digits,
    // zeros after the sign.
    LineOut& integer(long long v, int digits = 1);
    // printf's "%s": the text up to its first NUL.
    LineOut& text(const char* s);
    LineOut& text(std::string_view s);
    LineOut& put(char c);

    [[nodiscard]] std::string_view view() const { return {buf_.data(), size_}; }
    // Writes the text to the stream (in order with its other output) and
    // empties the buffer.
    void write();

private:
    // Room for the longest line the build prints: two numbers of up to 309
    // integer digits, their decimals, a code and a few integers.
    static constexpr std::size_t kCapacity = 2048;
    // The most one number takes: sign, 309 digits, point, 17 decimals.
    static constexpr std::size_t kNumberMax = 330;

    char* room(std::size_t n);

    std::FILE* out_;
    std::array<char, kCapacity> buf_{};
    std::size_t size_ = 0;
};

}  // namespace e_dog

#endif  // EDOG_TEXT_OUT_H
