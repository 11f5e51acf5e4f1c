#include "gps/nmea.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>
#include <string_view>

#include "edog/e_dog_source_date.h"
#include "gps/nmea_sentence.h"

namespace {

constexpr double kKmPerKnot = 1.852;
constexpr double kMaxKmh = 2147483647.0;

bool is_line_blank(char c) {
    return c == ' ' || c == '\t';
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

extern "C" NMEA_STATUS nmea_parse_line(const char* line, size_t length, NMEA_FIX* fix) {
    gps::Sentence s;
    const NMEA_STATUS st =
        gps::read_sentence(std::string_view(line, length), gps::Read::kRmcGga, s);
    if (st == NMEA_GOT_FIX && fix != nullptr) {
        *fix = s.fix;
    }
    return st;
}

extern "C" void nmea_reader_init(NMEA_READER* reader) {
    reader->len = 0;
    reader->state = 0;
}

extern "C" NMEA_STATUS nmea_reader_feed(NMEA_READER* reader, unsigned char byte, NMEA_FIX* fix) {
    const char c = static_cast<char>(byte);
    const bool in_sentence = reader->state == 1 || reader->state == 3;
    if (c == '$') {
        // A '$' within a sentence cuts it; one after a full sentence and
        // blanks comes too late, and the sentence was too long.
        const int was = reader->state;
        const bool doubled = was == 1 && reader->len == 1;
        reader->buf[0] = '$';
        reader->len = 1;
        reader->state = 1;
        if (was == 3) {
            return NMEA_ERR_TOO_LONG;
        }
        return doubled ? NMEA_ERR_DOUBLE_DOLLAR : was == 1 ? NMEA_ERR_CUT : NMEA_PENDING;
    }
    if (!in_sentence) {
        return NMEA_PENDING;  // garbage, a line end, or the rest of an overlong sentence
    }
    if (c == '\r' || c == '\n') {
        reader->state = 0;
        return nmea_parse_line(reader->buf, reader->len, fix);
    }
    if (reader->len == NMEA_MAX_SENTENCE) {
        // Blanks after a full sentence are no part of it (the line reader
        // trims them too); anything else makes it too long.
        if (is_line_blank(c)) {
            reader->state = 3;
            return NMEA_PENDING;
        }
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
    const double kmh = fix->has_speed != 0 ? std::floor(fix->speed_knots * kKmPerKnot + 0.5) : -1.0;
    info->current_speed = static_cast<s32>(std::min(kmh, kMaxKmh));
    info->degrees =
        fix->has_course != 0 ? fix->course_deg : std::numeric_limits<double>::quiet_NaN();
    return 0;
}
