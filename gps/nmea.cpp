#include "gps/nmea.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string_view>

#include "edog/e_dog_source_date.h"
#include "gps/nmea_fields.h"

namespace {

using gps::hex_value;
using gps::is_digit;
using gps::parse_coordinate;
using gps::parse_digits;
using gps::parse_number;
using gps::parse_time;
using std::string_view;

constexpr double kKmPerKnot = 1.852;
constexpr double kMaxKmh = 2147483647.0;
constexpr std::size_t kMaxFields = 24;

struct Fields {
    std::array<string_view, kMaxFields> f;
    std::size_t n = 0;
};

bool parse_date(string_view s, NMEA_FIX& fix) {
    gps::Date d{};
    if (!gps::parse_date(s, d)) {
        return false;
    }
    fix.year = d.year;
    fix.month = d.month;
    fix.day = d.day;
    fix.has_date = 1;
    return true;
}

void copy_text(char (&out)[16], string_view s) {
    const std::size_t n = std::min(s.size(), sizeof out - 1);
    std::memcpy(out, s.data(), n);
    out[n] = '\0';
}

// Time, position (4 fields from `at`) into `fix`; false when one is present
// but malformed. An empty latitude or longitude: no position.
bool parse_common(const Fields& fs, std::size_t time_at, std::size_t pos_at, NMEA_FIX& fix) {
    const string_view t = fs.f[time_at];
    if (!t.empty()) {
        if (!parse_time(t, fix.utc_s)) {
            return false;
        }
        fix.has_time = 1;
    }
    const string_view lat = fs.f[pos_at];
    const string_view ns = fs.f[pos_at + 1];
    const string_view lng = fs.f[pos_at + 2];
    const string_view ew = fs.f[pos_at + 3];
    double la = 0.0;
    double lo = 0.0;
    if ((!lat.empty() && (!parse_coordinate(lat, 90, la) || (ns != "N" && ns != "S"))) ||
        (!lng.empty() && (!parse_coordinate(lng, 180, lo) || (ew != "E" && ew != "W")))) {
        return false;
    }
    if (!lat.empty() && !lng.empty()) {
        fix.has_position = 1;
        fix.lat = ns == "S" ? -la : la;
        fix.lng = ew == "W" ? -lo : lo;
        fix.lat_dir = ns[0];
        fix.lng_dir = ew[0];
        copy_text(fix.lat_text, lat);
        copy_text(fix.lng_text, lng);
    }
    return true;
}

// An optional number field: empty, or a whole number.
bool optional_number(string_view s, bool signed_ok, int& has, double& out) {
    if (s.empty()) {
        return true;
    }
    has = 1;
    return parse_number(s, signed_ok, out);
}

NMEA_STATUS parse_rmc(const Fields& fs, NMEA_FIX& fix) {
    if (fs.n < 11 || fs.n > 13) {
        return NMEA_ERR_FIELD_COUNT;
    }
    const string_view status = fs.f[1];
    const string_view mode = fs.n > 11 ? fs.f[11] : string_view{};
    int has_var = 0;
    double var = 0.0;
    const bool ok = (status.empty() || status == "A" || status == "V") &&
                    parse_common(fs, 0, 2, fix) &&
                    optional_number(fs.f[6], false, fix.has_speed, fix.speed_knots) &&
                    optional_number(fs.f[7], false, fix.has_course, fix.course_deg) &&
                    (fs.f[8].empty() || parse_date(fs.f[8], fix)) &&
                    optional_number(fs.f[9], false, has_var, var) &&
                    (fs.f[10].empty() || fs.f[10] == "E" || fs.f[10] == "W") &&
                    (mode.empty() || (mode.size() == 1 && mode[0] >= 'A' && mode[0] <= 'Z'));
    if (!ok || (fix.has_course != 0 && fix.course_deg > 360.0)) {
        return NMEA_ERR_BAD_FIELD;
    }
    fix.valid = status == "A" && mode != "N" ? 1 : 0;
    return NMEA_GOT_FIX;
}

NMEA_STATUS parse_gga(const Fields& fs, NMEA_FIX& fix) {
    if (fs.n != 14) {
        return NMEA_ERR_FIELD_COUNT;
    }
    int quality = -1;
    int has = 0;
    double unused = 0.0;
    const bool ok = parse_common(fs, 0, 1, fix) &&
                    (fs.f[5].empty() ||
                     (parse_digits(fs.f[5], quality) && quality <= 8 && fs.f[5].size() == 1)) &&
                    optional_number(fs.f[6], false, has, unused) &&
                    optional_number(fs.f[7], false, has, unused) &&
                    optional_number(fs.f[8], true, has, unused) &&
                    optional_number(fs.f[10], true, has, unused) &&
                    optional_number(fs.f[12], false, has, unused);
    if (!ok) {
        return NMEA_ERR_BAD_FIELD;
    }
    fix.quality = quality;
    fix.valid = quality >= 1 ? 1 : 0;
    return NMEA_GOT_FIX;
}

bool is_blank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

}  // namespace

extern "C" const char* nmea_status_text(NMEA_STATUS status) {
    switch (status) {
    case NMEA_GOT_FIX:
        return "fix";
    case NMEA_GOT_OTHER:
        return "other sentence";
    case NMEA_PENDING:
        return "pending";
    case NMEA_ERR_EMPTY:
        return "empty line";
    case NMEA_ERR_NO_DOLLAR:
        return "no '$'";
    case NMEA_ERR_TEXT_BEFORE_DOLLAR:
        return "text before '$'";
    case NMEA_ERR_DOUBLE_DOLLAR:
        return "'$$'";
    case NMEA_ERR_NON_ASCII:
        return "byte that is not printable ASCII";
    case NMEA_ERR_TOO_LONG:
        return "too long";
    case NMEA_ERR_NO_CHECKSUM:
        return "no checksum";
    case NMEA_ERR_BAD_HEX:
        return "checksum not two hex digits";
    case NMEA_ERR_JUNK_AFTER_CHECKSUM:
        return "text after the checksum";
    case NMEA_ERR_WRONG_CHECKSUM:
        return "wrong checksum";
    case NMEA_ERR_BAD_ADDRESS:
        return "bad address";
    case NMEA_ERR_FIELD_COUNT:
        return "wrong number of fields";
    case NMEA_ERR_BAD_FIELD:
        return "malformed field";
    case NMEA_ERR_CUT:
        return "sentence cut off by a new '$'";
    }
    return "unknown";
}

namespace {

// The sentence of a line: blanks around it trimmed, printable ASCII, one
// '$' first, and a checksum of two hex digits that matches. `body` gets what
// lies between the '$' and the '*'; NMEA_GOT_FIX stands for a sound frame.
NMEA_STATUS frame(string_view s, string_view& body) {
    while (!s.empty() && is_blank(s.front())) {
        s.remove_prefix(1);
    }
    while (!s.empty() && is_blank(s.back())) {
        s.remove_suffix(1);
    }
    if (s.empty()) {
        return NMEA_ERR_EMPTY;
    }
    if (s.size() > NMEA_MAX_SENTENCE) {
        return NMEA_ERR_TOO_LONG;
    }
    for (const char c : s) {
        if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) > 0x7e) {
            return NMEA_ERR_NON_ASCII;
        }
    }
    if (s[0] != '$') {
        return s.find('$') == string_view::npos ? NMEA_ERR_NO_DOLLAR : NMEA_ERR_TEXT_BEFORE_DOLLAR;
    }
    if (s.size() > 1 && s[1] == '$') {
        return NMEA_ERR_DOUBLE_DOLLAR;
    }
    const std::size_t star = s.find('*');
    if (star == string_view::npos) {
        return NMEA_ERR_NO_CHECKSUM;
    }
    const string_view sum = s.substr(star + 1);
    if (sum.size() < 2 || hex_value(sum[0]) < 0 || hex_value(sum[1]) < 0) {
        return NMEA_ERR_BAD_HEX;
    }
    if (sum.size() > 2) {
        return NMEA_ERR_JUNK_AFTER_CHECKSUM;
    }
    unsigned x = 0;
    for (std::size_t i = 1; i < star; ++i) {
        x ^= static_cast<unsigned char>(s[i]);
    }
    if (x != static_cast<unsigned>(hex_value(sum[0]) * 16 + hex_value(sum[1]))) {
        return NMEA_ERR_WRONG_CHECKSUM;
    }
    body = s.substr(1, star - 1);
    return NMEA_GOT_FIX;
}

// Five upper-case letters or digits: talker and sentence type.
bool valid_address(string_view address) {
    return address.size() == 5 && std::all_of(address.begin(), address.end(), [](char c) {
               return (c >= 'A' && c <= 'Z') || is_digit(c);
           });
}

// The comma-separated fields of `rest`; false when they are too many.
bool split_fields(string_view rest, Fields& fs) {
    while (true) {
        if (fs.n == kMaxFields) {
            return false;
        }
        const std::size_t comma = rest.find(',');
        fs.f[fs.n++] = rest.substr(0, comma);
        if (comma == string_view::npos) {
            return true;
        }
        rest.remove_prefix(comma + 1);
    }
}

}  // namespace

extern "C" NMEA_STATUS nmea_parse_line(const char* line, size_t length, NMEA_FIX* fix) {
    string_view body;
    const NMEA_STATUS framed = frame(string_view(line, length), body);
    if (framed != NMEA_GOT_FIX) {
        return framed;
    }
    const string_view address = body.substr(0, body.find(','));
    if (!valid_address(address)) {
        return NMEA_ERR_BAD_ADDRESS;
    }
    const string_view type = address.substr(2);
    if (type != "RMC" && type != "GGA") {
        return NMEA_GOT_OTHER;
    }
    Fields fs;
    if (address.size() < body.size() && !split_fields(body.substr(address.size() + 1), fs)) {
        return NMEA_ERR_FIELD_COUNT;
    }
    NMEA_FIX out{};
    out.quality = -1;
    std::memcpy(out.talker, address.data(), 2);
    std::memcpy(out.type, type.data(), 3);
    const NMEA_STATUS st = type == "RMC" ? parse_rmc(fs, out) : parse_gga(fs, out);
    if (st == NMEA_GOT_FIX && fix != nullptr) {
        *fix = out;
    }
    return st;
}

extern "C" void nmea_reader_init(NMEA_READER* reader) {
    reader->len = 0;
    reader->state = 0;
}

extern "C" NMEA_STATUS nmea_reader_feed(NMEA_READER* reader, unsigned char byte, NMEA_FIX* fix) {
    const char c = static_cast<char>(byte);
    if (c == '$') {
        const bool cut = reader->state == 1;
        reader->buf[0] = '$';
        reader->len = 1;
        reader->state = 1;
        return cut ? NMEA_ERR_CUT : NMEA_PENDING;
    }
    if (reader->state != 1) {
        return NMEA_PENDING;  // garbage, a line end, or the rest of an overlong sentence
    }
    if (c == '\r' || c == '\n') {
        reader->state = 0;
        return nmea_parse_line(reader->buf, reader->len, fix);
    }
    if (reader->len == NMEA_MAX_SENTENCE) {
        reader->state = 2;
        return NMEA_ERR_TOO_LONG;
    }
    reader->buf[reader->len++] = c;
    return NMEA_PENDING;
}

extern "C" int nmea_fill_gps_info(const NMEA_FIX* fix, struct gps_info_s* info) {
    if (fix == nullptr || info == nullptr || fix->valid == 0 || fix->has_position == 0) {
        return -1;
    }
    info->lat_dir = fix->lat_dir;
    info->lng_dir = fix->lng_dir;
    for (std::size_t i = 0; i < sizeof info->latitude; ++i) {
        info->latitude[i] = fix->lat_text[i];
        info->longitude[i] = fix->lng_text[i];
    }
    info->lati = fix->lat;
    info->longi = fix->lng;
    // Held to what the record can count; no receiver reports more.
    const double kmh = fix->has_speed != 0 ? std::floor(fix->speed_knots * kKmPerKnot + 0.5) : 0.0;
    info->current_speed = static_cast<s32>(std::min(kmh, kMaxKmh));
    info->degrees =
        fix->has_course != 0 ? fix->course_deg : std::numeric_limits<double>::quiet_NaN();
    return 0;
}
