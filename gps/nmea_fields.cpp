#include "gps/nmea_fields.h"

#include <charconv>
#include <cmath>
#include <system_error>

namespace gps {

using std::string_view;

namespace {
constexpr std::size_t kMaxMinuteDecimals = 8;
constexpr std::size_t kMaxSecondDecimals = 3;
}  // namespace

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

int hex_value(char c) {
    if (is_digit(c)) {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

// Whole digits, as an int.
bool parse_digits(string_view s, int& out) {
    if (s.empty() || s.size() > 9) {
        return false;
    }
    out = 0;
    for (const char c : s) {
        if (!is_digit(c)) {
            return false;
        }
        out = out * 10 + (c - '0');
    }
    return true;
}

// A plain decimal number, the whole field: optional sign (where allowed),
// digits, optionally a point and more digits; at least one digit. No
// exponents, no "inf" or "nan".
bool parse_number(string_view s, bool signed_ok, double& out) {
    std::size_t i = 0;
    if (signed_ok && !s.empty() && (s[0] == '-' || s[0] == '+')) {
        ++i;
    }
    bool digit = false;
    bool point = false;
    for (std::size_t k = i; k < s.size(); ++k) {
        if (is_digit(s[k])) {
            digit = true;
        } else if (s[k] == '.' && !point) {
            point = true;
        } else {
            return false;
        }
    }
    if (!digit) {
        return false;
    }
    const char* first = s.data() + (s[0] == '+' ? 1 : 0);  // from_chars takes no '+'
    const auto [end, ec] = std::from_chars(first, s.data() + s.size(), out);
    return ec == std::errc() && end == s.data() + s.size();
}

// ddmm.mmm (latitude, max_deg 90) or dddmm.mmm (longitude, 180): the minutes
// are the two digits before the point, the degrees the digits before them.
bool parse_coordinate(string_view s, int max_deg, double& out) {
    const std::size_t dot = s.find('.');
    const string_view whole = s.substr(0, dot);
    const string_view decimals = dot == string_view::npos ? string_view{} : s.substr(dot + 1);
    int deg = 0;
    int min = 0;
    if (whole.size() < 2 || whole.size() > 5 || decimals.size() > kMaxMinuteDecimals ||
        (whole.size() > 2 && !parse_digits(whole.substr(0, whole.size() - 2), deg)) ||
        !parse_digits(whole.substr(whole.size() - 2), min)) {
        return false;
    }
    int frac = 0;
    if (!decimals.empty() && !parse_digits(decimals, frac)) {
        return false;
    }
    const double minutes = min + frac / std::pow(10.0, static_cast<double>(decimals.size()));
    out = deg + minutes / 60.0;
    return min < 60 && out <= max_deg;
}

// hhmmss with 0 to 3 decimals of the seconds; second 60 only as the leap
// second 23:59:60.
bool parse_time(string_view s, double& out) {
    const std::size_t dot = s.find('.');
    const string_view whole = s.substr(0, dot);
    const string_view decimals = dot == string_view::npos ? string_view{} : s.substr(dot + 1);
    int h = 0;
    int m = 0;
    int sec = 0;
    int frac = 0;
    if (whole.size() != 6 || decimals.size() > kMaxSecondDecimals ||
        !parse_digits(whole.substr(0, 2), h) || !parse_digits(whole.substr(2, 2), m) ||
        !parse_digits(whole.substr(4, 2), sec) ||
        (!decimals.empty() && !parse_digits(decimals, frac))) {
        return false;
    }
    out = h * 3600.0 + m * 60.0 + sec + frac / std::pow(10.0, static_cast<double>(decimals.size()));
    return h < 24 && m < 60 && (sec < 60 || (sec == 60 && h == 23 && m == 59));
}

int days_in_month(int year, int month) {
    constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : kDays[month - 1];
}

// ddmmyy, a day of the calendar; years 80-99 are 19xx, the others 20xx.
bool parse_date(string_view s, Date& out) {
    int d = 0;
    int m = 0;
    int y = 0;
    if (s.size() != 6 || !parse_digits(s.substr(0, 2), d) || !parse_digits(s.substr(2, 2), m) ||
        !parse_digits(s.substr(4, 2), y) || m < 1 || m > 12) {
        return false;
    }
    const int year = y >= 80 ? 1900 + y : 2000 + y;
    if (d < 1 || d > days_in_month(year, m)) {
        return false;
    }
    out = {year, m, d};
    return true;
}

}  // namespace gps
