// The NMEA reader on arbitrary bytes: as one line, and fed byte by byte. A
// fix it gives holds a position in range and the fields it claims.
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "edog/e_dog_source_date.h"
#include "fuzz/fuzz_support.h"
#include "gps/nmea.h"

namespace {

void check_fix(const NMEA_FIX& fix) {
    if (fix.has_position != 0) {
        fuzz::require(std::fabs(fix.lat) <= 90.0 && std::fabs(fix.lng) <= 180.0,
                      "position in range");
        fuzz::require(fix.lat_dir == 'N' || fix.lat_dir == 'S', "latitude direction");
    }
    if (fix.has_time != 0) {
        fuzz::require(fix.utc_s >= 0.0 && fix.utc_s < 86401.0, "time of day");
    }
    fuzz::require(fix.quality >= -1 && fix.quality <= 8, "quality");
    GPS_INFO_T info{};
    if (nmea_fill_gps_info(&fix, &info) == 0) {
        fuzz::require(fix.valid == 1 && info.current_speed >= 0, "fix record filled");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    NMEA_FIX fix{};
    if (nmea_parse_line(reinterpret_cast<const char*>(data), size, &fix) == NMEA_GOT_FIX) {
        check_fix(fix);
    }
    NMEA_READER reader;
    nmea_reader_init(&reader);
    for (std::size_t i = 0; i < size; ++i) {
        if (nmea_reader_feed(&reader, data[i], &fix) == NMEA_GOT_FIX) {
            check_fix(fix);
        }
    }
    return 0;
}
