// The camera list's scanner and reader and the data file's writer, shared by
// every build. See edog/builder/list_build.h.
#include "edog/builder/list_build.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "edog/datafile/atomic_file.h"
#include "edog/datafile/e_dog_record.h"
#include "geo/geohash_int.h"
namespace {

// The scanner reads a line as sscanf("%lld,%512[^,],%512[^,],%d,%d,%d,%d")
// and strtod on the two text columns read it, byte for byte the same (the
// differential fuzz target and tests compare them), in one pass and without
// the C library's format parsing. See doc/data-file-format.md.

constexpr std::size_t kColumnWidth = 512;  // the width of the text conversions

// isspace() of the C locale.
bool blank(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

bool digit(char c) {
    return c >= '0' && c <= '9';
}

// An integer conversion: blanks skipped, an optional sign, then at least one
// decimal digit, all of them taken; a value beyond long long is its limit,
// as strtoll gives. False (nothing taken) without a digit.
bool scan_integer(const char*& p, long long& value) {
    const char* s = p;
    while (blank(*s)) {
        ++s;
    }
    const bool negative = *s == '-';
    s += (*s == '-' || *s == '+') ? 1 : 0;
    if (!digit(*s)) {
        return false;
    }
    const unsigned long long limit =
        negative ? 0ULL - static_cast<unsigned long long>(LLONG_MIN) : LLONG_MAX;
    unsigned long long magnitude = 0;
    bool beyond = false;
    for (; digit(*s); ++s) {
        const auto d = static_cast<unsigned>(*s - '0');
        beyond = beyond || magnitude > (limit - d) / 10;
        magnitude = beyond ? limit : magnitude * 10 + d;
    }
    value = negative ? static_cast<long long>(0ULL - magnitude) : static_cast<long long>(magnitude);
    p = s;
    return true;
}

// "%d": read as a long (its limits where the text goes beyond them), then
// stored in an int, as the C library does; `fits` tells whether the number
// as written lies within the int's range.
bool scan_int(const char*& p, int& value, bool& fits) {
    long long v = 0;
    if (!scan_integer(p, v)) {
        return false;
    }
    const auto as_long = static_cast<long>(std::clamp<long long>(v, LONG_MIN, LONG_MAX));
    value = static_cast<int>(as_long);
    fits = v >= INT_MIN && v <= INT_MAX;
    return true;
}

// "%512[^,]": one to 512 bytes up to a comma or the end of the text.
bool scan_column(const char*& p, const char*& begin, const char*& end) {
    std::size_t n = 0;
    while (n < kColumnWidth && p[n] != ',' && p[n] != '\0') {
        ++n;
    }
    if (n == 0) {
        return false;
    }
    begin = p;
    end = p + n;
    p = end;
    return true;
}

bool comma(const char*& p) {
    if (*p != ',') {
        return false;
    }
    ++p;
    return true;
}

// strtod on the column: its value (of the longest number at its start, 0
// without one) and whether the column is that number with blanks behind.
// Plain decimal text goes through from_chars, which reads it to the same
// value (both round correctly); anything else (blanks in front, a plus
// sign, hexadecimal, words, a value out of range) through strtod itself.
bool numeric(const char* begin, const char* end, double& value) {
    const char* body = begin + (*begin == '-' ? 1 : 0);
    const bool hex = body + 1 < end && body[0] == '0' && (body[1] == 'x' || body[1] == 'X');
    if (body < end && (digit(*body) || *body == '.') && !hex) {
        double v = 0.0;
        const auto [ptr, ec] = std::from_chars(begin, end, v, std::chars_format::general);
        if (ec == std::errc{}) {
            value = v;
            const char* rest = ptr;
            while (rest < end && blank(*rest)) {
                ++rest;
            }
            return rest == end;
        }
    }
    char text[kColumnWidth + 1] = {};
    std::memcpy(text, begin, static_cast<std::size_t>(end - begin));
    char* stop = nullptr;
    value = std::strtod(text, &stop);
    if (stop == text) {
        return false;
    }
    while (blank(*stop)) {
        ++stop;
    }
    return *stop == '\0';
}

}  // namespace

e_dog::LineScan e_dog::scan_camera_fields(const char* line, std::size_t length, E_DOG_DATA& data) {
    LineScan scan;
    if (line[0] == ',') {
        scan.supplies_nothing = true;
        return scan;
    }
    const char* p = line;
    if (!digit(line[0])) {
        // Room for a byte-order mark: the first three bytes are skipped,
        // whatever they are (a NUL among them too), as far as the piece goes.
        p = line + (length < 3 ? length : 3);
    }
    // Read in 64 bits whatever the width of long, so that a number above
    // 2^31 is stored the same (its low 32 bits) on every target.
    long long idex = data.Idex;
    const char* lng_begin = nullptr;
    const char* lng_end = nullptr;
    const char* lat_begin = nullptr;
    const char* lat_end = nullptr;
    static_assert(sizeof(int) == sizeof(data.Type));
    // Fields that do not scan keep the previous line's values; the scan
    // stops at the first that does not.
    int fields = 0;
    if (scan_integer(p, idex)) {
        fields = 1;
        if (comma(p) && scan_column(p, lng_begin, lng_end)) {
            fields = 2;
            if (comma(p) && scan_column(p, lat_begin, lat_end)) {
                fields = 3;
                int* const rest[] = {&data.Type, &data.Speed, &data.DirType, &data.Direction};
                for (int* field : rest) {
                    bool fits = true;
                    if (!comma(p) || !scan_int(p, *field, fits)) {
                        break;
                    }
                    ++fields;
                    if (!fits && scan.unfit_column == 0) {
                        scan.unfit_column = fields;
                    }
                }
            }
        }
    }
    scan.fields = fields;
    scan.idex = idex;
    data.Idex = static_cast<INT32>(idex);
    double lat = 0.0;
    double lng = 0.0;
    const bool lng_ok = fields >= 2 && numeric(lng_begin, lng_end, lng);
    const bool lat_ok = fields >= 3 && numeric(lat_begin, lat_end, lat);
    scan.position_numeric = lng_ok && lat_ok;
    data.Gps_lat = lat;
    data.Gps_lng = lng;
    return scan;
}

bool e_dog::set_code(E_DOG_DATA& data) {
    char code[kCodePrecision + 1];
    if (!geo::encode_code(data.Gps_lat, data.Gps_lng, kCodePrecision, code)) {
        return false;
    }
    static_assert(sizeof data.encode_str > kCodePrecision);
    std::memset(data.encode_str, 0, sizeof data.encode_str);
    std::memcpy(data.encode_str, code, kCodePrecision);
    return true;
}

e_dog::WriteResult e_dog::write_records(const GPSNode* first, const char* path,
                                        std::uint64_t& count) {
    AtomicFile out(path);
    if (!out.ok()) {
        return WriteResult::kOpenFailed;
    }
    bool ok = true;
    count = 0;
    for (const GPSNode* n = first; n != nullptr && ok; n = n->link) {
        const RecordBytes bytes = encode_record(n->data);
        ok = std::fwrite(bytes.data(), 1, bytes.size(), out.stream()) == bytes.size();
        ++count;
    }
    return ok && out.commit() ? WriteResult::kOk : WriteResult::kWriteFailed;
}
