// One NMEA sentence read whole: its frame checked and, for the sentence types
// that say where the vehicle is (RMC, GGA, VTG, GLL, GNS), its fields. Shared
// by the line reader (gps/nmea.h) and the epoch reader (gps/nmea_epoch.h).
// The rules: doc/nmea.md.
#ifndef GPS_NMEA_SENTENCE_H
#define GPS_NMEA_SENTENCE_H

#include <string_view>

#include "gps/nmea.h"

namespace gps {

enum class Kind { kOther, kRmc, kGga, kVtg, kGll, kGns };

struct Sentence {
    Kind kind = Kind::kOther;
    // Talker, type, time, date, position and its validity, speed, course and
    // quality, as NMEA_FIX has them (VTG: speed and course only).
    NMEA_FIX fix{};
    int satellites = -1;  // GGA; -1 when empty
    int has_hdop = 0;
    double hdop = 0.0;
    int has_altitude = 0;
    double altitude_m = 0.0;
};

// Reads the sentence of `line`. NMEA_GOT_FIX with `out` filled for the types
// of `kinds_read` (RMC and GGA only, or all five); NMEA_GOT_OTHER for any
// other well-formed sentence, proprietary ones ("$P" and a maker) included;
// else the reason it is refused.
enum class Read { kRmcGga, kAll };
NMEA_STATUS read_sentence(std::string_view line, Read kinds_read, Sentence& out);

}  // namespace gps

#endif  // GPS_NMEA_SENTENCE_H
