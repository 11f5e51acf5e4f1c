#include "gps/nmea_frame.h"

#include <cstddef>
#include <string_view>

#include "gps/nmea_fields.h"

namespace gps {

namespace {

using std::string_view;

bool is_blank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

}  // namespace

NMEA_STATUS frame_sentence(string_view line, string_view& body) {
    string_view s = line;
    while (!s.empty() && is_blank(s.front())) {
        s.remove_prefix(1);
    }
    while (!s.empty() && is_blank(s.back())) {
        s.remove_suffix(1);
    }
    if (s.empty()) {
        return NMEA_ERR_EMPTY;
    }
    const std::size_t second = s.find('$', 1);
    if (s[0] == '$' && second != string_view::npos && second <= NMEA_MAX_SENTENCE) {
        return second == 1 ? NMEA_ERR_DOUBLE_DOLLAR : NMEA_ERR_CUT;
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
    const std::size_t star = s.find('*');
    if (star == string_view::npos) {
        if (s.size() > 1 && s[1] == 'P') {
            body = s.substr(1);
            return NMEA_GOT_OTHER;
        }
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

}  // namespace gps
