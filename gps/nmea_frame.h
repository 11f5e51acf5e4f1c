// The frame of an NMEA sentence: what a line must be around its fields.
// Shared by the line reader and, through it, the byte feeder and the epoch
// reader. The rules: doc/nmea.md.
#ifndef GPS_NMEA_FRAME_H
#define GPS_NMEA_FRAME_H

#include <string_view>

#include "gps/nmea.h"

namespace gps {

// The sentence of a line: blanks around it trimmed, printable ASCII, one '$'
// first, and a checksum of two hex digits that matches. `body` gets what lies
// between the '$' and the '*'. NMEA_GOT_FIX for a sound frame; NMEA_GOT_OTHER
// for a proprietary sentence ("$P...") without a checksum, which is allowed;
// else the reason the line is refused. The checks come in the order the byte
// feeder meets them, so that both judge every line alike: a second '$' before
// the sentence grew too long cuts it.
NMEA_STATUS frame_sentence(std::string_view line, std::string_view& body);

}  // namespace gps

#endif  // GPS_NMEA_FRAME_H
