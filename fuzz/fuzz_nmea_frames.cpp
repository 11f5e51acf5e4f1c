// The two NMEA readers against each other: each line of the input, fed byte
// by byte to the feeder, must be judged as the line reader judges it, with
// the same fix, whatever its length, blanks, '$'s or bytes. Lines that do
// not begin with '$' (after blanks) are the line reader's alone: the feeder
// skips what comes before a '$' and must give nothing for a line without one.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "fuzz/fuzz_support.h"
#include "gps/nmea.h"

namespace {

bool same_fix(const NMEA_FIX& a, const NMEA_FIX& b) {
    const auto same = [](double x, double y) { return x == y || (std::isnan(x) && std::isnan(y)); };
    return std::strcmp(a.talker, b.talker) == 0 && std::strcmp(a.type, b.type) == 0 &&
           a.valid == b.valid && a.has_time == b.has_time && same(a.utc_s, b.utc_s) &&
           a.has_date == b.has_date && a.year == b.year && a.month == b.month && a.day == b.day &&
           a.has_position == b.has_position && same(a.lat, b.lat) && same(a.lng, b.lng) &&
           std::strcmp(a.lat_text, b.lat_text) == 0 && a.has_speed == b.has_speed &&
           same(a.speed_knots, b.speed_knots) && a.has_course == b.has_course &&
           same(a.course_deg, b.course_deg) && a.quality == b.quality;
}

void check_line(std::string_view line) {
    NMEA_FIX by_line{};
    const NMEA_STATUS want = nmea_parse_line(line.data(), line.size(), &by_line);
    NMEA_READER reader;
    nmea_reader_init(&reader);
    NMEA_FIX fed{};
    NMEA_STATUS first = NMEA_PENDING;
    for (const char c : line) {
        const NMEA_STATUS st = nmea_reader_feed(&reader, static_cast<unsigned char>(c), &fed);
        if (first == NMEA_PENDING) {
            first = st;
        }
    }
    const NMEA_STATUS at_end = nmea_reader_feed(&reader, '\n', &fed);
    if (first == NMEA_PENDING) {
        first = at_end;
    }
    const std::size_t start = line.find_first_not_of(" \t");
    if (start == std::string_view::npos || line[start] != '$') {
        fuzz::require(line.find('$') != std::string_view::npos || first == NMEA_PENDING,
                      "the feeder gives nothing for a line without '$'");
        return;
    }
    fuzz::require(first == want, "the feeder judges a line as the line reader does");
    if (want == NMEA_GOT_FIX) {
        fuzz::require(same_fix(fed, by_line), "the feeder reads the line reader's fix");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view rest(reinterpret_cast<const char*>(data), size);
    while (true) {
        const std::size_t end = rest.find_first_of("\r\n");
        check_line(rest.substr(0, end));
        if (end == std::string_view::npos) {
            return 0;
        }
        rest.remove_prefix(end + 1);
    }
}
