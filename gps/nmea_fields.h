// The field grammar of NMEA sentences: each parser takes a whole field and
// fails on anything more or less. See doc/nmea.md.
#ifndef GPS_NMEA_FIELDS_H
#define GPS_NMEA_FIELDS_H

#include <string_view>

namespace gps {

bool is_digit(char c);
// A hex digit's value, or -1.
int hex_value(char c);
// Whole digits (1 to 9 of them), as an int.
bool parse_digits(std::string_view s, int& out);
// A plain decimal number: optional sign (where allowed), digits, optionally a
// point and more digits; at least one digit. No exponents, no "inf" or "nan".
bool parse_number(std::string_view s, bool signed_ok, double& out);
// ddmm.m (latitude, max_deg 90) or dddmm.m (longitude, 180) with 0 to 8
// decimals of the minutes: the minutes are the two digits before the point,
// the degrees the digits before them (there may be none, or fewer than
// usual). Decimal degrees out, not signed.
bool parse_coordinate(std::string_view s, int max_deg, double& out);
// hhmmss with 0 to 3 decimals of the seconds: seconds since midnight (86400
// and up only for the leap second 23:59:60).
bool parse_time(std::string_view s, double& out);
struct Date {
    int year;
    int month;
    int day;
};
// Days of `month` (1-12) in `year`, leap years counted.
int days_in_month(int year, int month);
// ddmmyy, a day of the calendar.
bool parse_date(std::string_view s, Date& out);

}  // namespace gps

#endif  // GPS_NMEA_FIELDS_H
