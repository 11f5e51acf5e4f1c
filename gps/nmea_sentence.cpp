#include "gps/nmea_sentence.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstring>
#include <string_view>

#include "gps/nmea_fields.h"
#include "gps/nmea_frame.h"

namespace gps {

namespace {

using std::string_view;

constexpr std::size_t kMaxFields = 24;
constexpr double kFullCircle = 360.0;
constexpr double kKmhPerKnot = 1.852;

struct Fields {
    std::array<string_view, kMaxFields> f;
    std::size_t n = 0;
};

bool is_capital_or_digit(char c) {
    return (c >= 'A' && c <= 'Z') || is_digit(c);
}

void copy_text(char (&out)[16], string_view s) {
    const std::size_t n = std::min(s.size(), sizeof out - 1);
    std::memcpy(out, s.data(), n);
    out[n] = '\0';
}

bool read_date(string_view s, NMEA_FIX& fix) {
    Date d{};
    if (!parse_date(s, d)) {
        return false;
    }
    fix.year = d.year;
    fix.month = d.month;
    fix.day = d.day;
    fix.has_date = 1;
    return true;
}

bool read_time(string_view t, NMEA_FIX& fix) {
    if (t.empty()) {
        return true;
    }
    fix.has_time = 1;
    return parse_time(t, fix.utc_s);
}

// The position of four fields from `at` into `fix`; false when present but
// malformed. An empty latitude or longitude: no position.
bool read_position(const Fields& fs, std::size_t at, NMEA_FIX& fix) {
    const string_view lat = fs.f[at];
    const string_view ns = fs.f[at + 1];
    const string_view lng = fs.f[at + 2];
    const string_view ew = fs.f[at + 3];
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

bool optional_letter(string_view s, char letter) {
    return s.empty() || (s.size() == 1 && s[0] == letter);
}

// A mode indicator: one capital letter, or empty.
bool mode_letter(string_view s) {
    return s.empty() || (s.size() == 1 && s[0] >= 'A' && s[0] <= 'Z');
}

NMEA_STATUS parse_rmc(const Fields& fs, NMEA_FIX& fix) {
    if (fs.n < 11 || fs.n > 13) {
        return NMEA_ERR_FIELD_COUNT;
    }
    const string_view status = fs.f[1];
    const string_view mode = fs.n > 11 ? fs.f[11] : string_view{};
    int has_var = 0;
    double var = 0.0;
    const bool ok = (status.empty() || status == "A" || status == "V") && read_time(fs.f[0], fix) &&
                    read_position(fs, 2, fix) &&
                    optional_number(fs.f[6], false, fix.has_speed, fix.speed_knots) &&
                    optional_number(fs.f[7], false, fix.has_course, fix.course_deg) &&
                    (fs.f[8].empty() || read_date(fs.f[8], fix)) &&
                    optional_number(fs.f[9], false, has_var, var) &&
                    (fs.f[10].empty() || fs.f[10] == "E" || fs.f[10] == "W") && mode_letter(mode);
    if (!ok || (fix.has_course != 0 && fix.course_deg > kFullCircle)) {
        return NMEA_ERR_BAD_FIELD;
    }
    fix.valid = status == "A" && mode != "N" ? 1 : 0;
    return NMEA_GOT_FIX;
}

NMEA_STATUS parse_gga(const Fields& fs, Sentence& out) {
    if (fs.n != 14) {
        return NMEA_ERR_FIELD_COUNT;
    }
    NMEA_FIX& fix = out.fix;
    int quality = -1;
    int has = 0;
    double unused = 0.0;
    const string_view sats = fs.f[6];
    const bool ok = read_time(fs.f[0], fix) && read_position(fs, 1, fix) &&
                    (fs.f[5].empty() ||
                     (parse_digits(fs.f[5], quality) && quality <= 8 && fs.f[5].size() == 1)) &&
                    (sats.empty() || (sats.size() <= 3 && parse_digits(sats, out.satellites))) &&
                    optional_number(fs.f[7], false, out.has_hdop, out.hdop) &&
                    optional_number(fs.f[8], true, out.has_altitude, out.altitude_m) &&
                    optional_number(fs.f[10], true, has, unused) &&
                    optional_number(fs.f[12], false, has, unused);
    if (!ok) {
        return NMEA_ERR_BAD_FIELD;
    }
    fix.quality = quality;
    fix.valid = quality >= 1 ? 1 : 0;
    return NMEA_GOT_FIX;
}

// VTG: course true, T, course magnetic, M, knots, N, km/h, K, [mode].
NMEA_STATUS parse_vtg(const Fields& fs, NMEA_FIX& fix) {
    if (fs.n != 8 && fs.n != 9) {
        return NMEA_ERR_FIELD_COUNT;
    }
    int has_mag = 0;
    double mag = 0.0;
    int has_kmh = 0;
    double kmh = 0.0;
    const string_view mode = fs.n == 9 ? fs.f[8] : string_view{};
    const bool ok =
        optional_number(fs.f[0], false, fix.has_course, fix.course_deg) &&
        optional_letter(fs.f[1], 'T') && optional_number(fs.f[2], false, has_mag, mag) &&
        optional_letter(fs.f[3], 'M') &&
        optional_number(fs.f[4], false, fix.has_speed, fix.speed_knots) &&
        optional_letter(fs.f[5], 'N') && optional_number(fs.f[6], false, has_kmh, kmh) &&
        optional_letter(fs.f[7], 'K') && mode_letter(mode);
    if (!ok || (fix.has_course != 0 && fix.course_deg > kFullCircle)) {
        return NMEA_ERR_BAD_FIELD;
    }
    if (fix.has_speed == 0 && has_kmh != 0) {
        fix.has_speed = 1;
        fix.speed_knots = kmh / kKmhPerKnot;
    }
    fix.valid = mode != "N" ? 1 : 0;
    return NMEA_GOT_FIX;
}

// GLL: latitude, N/S, longitude, E/W, time, status, [mode]. The old form of
// four fields (no time, no status) says nothing of a fix's validity.
NMEA_STATUS parse_gll(const Fields& fs, NMEA_FIX& fix) {
    if (fs.n == 4) {
        return NMEA_GOT_OTHER;
    }
    if (fs.n != 6 && fs.n != 7) {
        return NMEA_ERR_FIELD_COUNT;
    }
    const string_view status = fs.f[5];
    const string_view mode = fs.n == 7 ? fs.f[6] : string_view{};
    const bool ok = read_position(fs, 0, fix) && read_time(fs.f[4], fix) &&
                    (status.empty() || status == "A" || status == "V") && mode_letter(mode);
    if (!ok) {
        return NMEA_ERR_BAD_FIELD;
    }
    fix.valid = status == "A" && mode != "N" ? 1 : 0;
    return NMEA_GOT_FIX;
}

// GNS: time, position, mode (a letter per system), satellites, HDOP,
// altitude, geoid separation, age, station, [navigational status].
NMEA_STATUS parse_gns(const Fields& fs, NMEA_FIX& fix) {
    if (fs.n != 12 && fs.n != 13) {
        return NMEA_ERR_FIELD_COUNT;
    }
    const string_view mode = fs.f[5];
    int has = 0;
    double unused = 0.0;
    const bool ok =
        read_time(fs.f[0], fix) && read_position(fs, 1, fix) && mode.size() <= 8 &&
        std::all_of(mode.begin(), mode.end(), [](char c) { return c >= 'A' && c <= 'Z'; }) &&
        optional_number(fs.f[6], false, has, unused) &&
        optional_number(fs.f[7], false, has, unused) && optional_number(fs.f[8], true, has, unused);
    if (!ok) {
        return NMEA_ERR_BAD_FIELD;
    }
    // A system in a fixing mode: autonomous, differential, precise, RTK.
    fix.valid = mode.find_first_of("ADPRF") != string_view::npos ? 1 : 0;
    return NMEA_GOT_FIX;
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

Kind kind_of(string_view type, Read kinds_read) {
    if (type == "RMC") {
        return Kind::kRmc;
    }
    if (type == "GGA") {
        return Kind::kGga;
    }
    if (kinds_read == Read::kRmcGga) {
        return Kind::kOther;
    }
    if (type == "VTG") {
        return Kind::kVtg;
    }
    if (type == "GLL") {
        return Kind::kGll;
    }
    return type == "GNS" ? Kind::kGns : Kind::kOther;
}

}  // namespace

NMEA_STATUS read_sentence(string_view line, Read kinds_read, Sentence& out) {
    string_view body;
    const NMEA_STATUS framed = frame_sentence(line, body);
    if (framed != NMEA_GOT_FIX && framed != NMEA_GOT_OTHER) {
        return framed;
    }
    const string_view address = body.substr(0, body.find(','));
    if (!body.empty() && body[0] == 'P') {  // proprietary: 'P' and a maker of three
        return address.size() >= 4 &&
                       std::all_of(address.begin() + 1, address.begin() + 4, is_capital_or_digit)
                   ? NMEA_GOT_OTHER
                   : NMEA_ERR_BAD_ADDRESS;
    }
    if (address.size() != 5 || !std::all_of(address.begin(), address.end(), is_capital_or_digit)) {
        return NMEA_ERR_BAD_ADDRESS;
    }
    const Kind kind = kind_of(address.substr(2), kinds_read);
    if (kind == Kind::kOther) {
        return NMEA_GOT_OTHER;
    }
    Fields fs;
    if (address.size() < body.size() && !split_fields(body.substr(address.size() + 1), fs)) {
        return NMEA_ERR_FIELD_COUNT;
    }
    Sentence s;
    s.kind = kind;
    s.fix.quality = -1;
    std::memcpy(s.fix.talker, address.data(), 2);
    std::memcpy(s.fix.type, address.data() + 2, 3);
    NMEA_STATUS st = NMEA_GOT_OTHER;
    switch (kind) {
    case Kind::kRmc:
        st = parse_rmc(fs, s.fix);
        break;
    case Kind::kGga:
        st = parse_gga(fs, s);
        break;
    case Kind::kVtg:
        st = parse_vtg(fs, s.fix);
        break;
    case Kind::kGll:
        st = parse_gll(fs, s.fix);
        break;
    case Kind::kGns:
        st = parse_gns(fs, s.fix);
        break;
    case Kind::kOther:
        break;
    }
    if (st == NMEA_GOT_FIX) {
        out = s;
    }
    return st;
}

}  // namespace gps
