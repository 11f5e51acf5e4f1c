// The NMEA reader on arbitrary bytes: as one line, fed byte by byte, and
// line by line into the epoch reader. A fix it gives holds a position in
// range and the fields it claims; a cycle holds at least one sentence.
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "edog/e_dog_source_date.h"
#include "fuzz/fuzz_support.h"
#include "gps/nmea.h"
#include "gps/nmea_epoch.h"

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
        fuzz::require(fix.valid == 1 && (info.current_speed >= 0) == (fix.has_speed != 0),
                      "fix record filled, speed -1 only when unknown");
    }
}

void check_epochs(const std::uint8_t* data, std::size_t size) {
    NMEA_EPOCH_READER reader;
    nmea_epoch_init(&reader);
    NMEA_EPOCH e{};
    const auto take = [&] {
        while (nmea_epoch_next(&reader, &e) == 1) {
            fuzz::require(e.sentences != 0, "a cycle of at least one sentence");
            fuzz::require(
                e.has_position == 0 || (std::fabs(e.lat) <= 90.0 && std::fabs(e.lng) <= 180.0),
                "cycle position in range");
            GPS_INFO_T info{};
            if (nmea_epoch_fill_gps_info(&e, &info) == 0) {
                fuzz::require((info.current_speed >= 0) == (e.has_speed != 0), "cycle speed");
            }
        }
    };
    std::size_t start = 0;
    for (std::size_t i = 0; i <= size; ++i) {
        if (i == size || data[i] == '\n') {
            (void)nmea_epoch_line(&reader, reinterpret_cast<const char*>(data) + start, i - start);
            take();
            start = i + 1;
        }
    }
    nmea_epoch_end(&reader);
    take();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    NMEA_FIX fix{};
    if (nmea_parse_line(reinterpret_cast<const char*>(data), size, &fix) == NMEA_GOT_FIX) {
        check_fix(fix);
    }
    check_epochs(data, size);
    NMEA_READER reader;
    nmea_reader_init(&reader);
    for (std::size_t i = 0; i < size; ++i) {
        if (nmea_reader_feed(&reader, data[i], &fix) == NMEA_GOT_FIX) {
            check_fix(fix);
        }
    }
    return 0;
}
