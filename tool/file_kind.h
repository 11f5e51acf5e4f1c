// What kind of file an input is: every input of edog-tool is checked before
// use, and a file of the wrong kind is refused with one line naming it, what
// it looks like and what was expected:
//   "d.nmea: this looks like an NMEA log, beginning "$GPRMC,0800...";
//    expected a data file of 56-byte records with Geohash codes"
#ifndef TOOL_FILE_KIND_H
#define TOOL_FILE_KIND_H

#include <string>

#include "edog/e_dog_source_date.h"
#include "tool/record_reader.h"
#include "tool/tool.h"

namespace edog_tool {

// A record as a build writes it: a code of 10 Geohash characters followed
// by zeros, and that code the encoding of its position.
bool code_well_formed(const E_DOG_DATA& r);
bool record_sound(const E_DOG_DATA& r);

// What the start of `in` looks like, in words: "an empty file", "a data
// file (3 records)", "an NMEA log, beginning "$GPRMC,..."", "a GPX file,
// beginning ...", "a camera list, beginning ...", "nothing but zero bytes
// (...)", "binary data", ...
std::string looks_like(const InputFile& in);

// Fails with "PATH: this looks like ...; expected EXPECTED".
[[noreturn]] void refuse_kind(const InputFile& in, const std::string& expected);

enum class DataCheck {
    kSound,    // whole records, at least one, every sampled record sound
    kRecords,  // an empty file, or one in which a sampled record is sound
               // (verify, which reports the rest); text and zeros are refused
};
// Checks that `f` is a data file: its size, and records sampled evenly
// through it (at most 64, the first and the last among them).
void expect_data_file(const RecordReader& f, DataCheck check);

// Checks that `in` is text that could be the input `kind`: not empty, not
// binary, not a data file, not another format's text (nor a log given as a
// list, or a list as a log). Whether a sentence, a camera or a zone is in it
// is known only once it is read.
enum class TextInput { kLog, kCameraList, kZonesList };
void expect_text(const InputFile& in, TextInput kind);

// What a command expects, for refuse_kind().
inline constexpr const char* kExpectDataFile = "a data file of 56-byte records with Geohash codes";
inline constexpr const char* kExpectLog =
    "an NMEA log (lines of $..RMC, $..GGA and other sentences)";
inline constexpr const char* kExpectList =
    "a camera list (Idex,longitude,latitude,Type,Speed,DirType,Direction per line)";
inline constexpr const char* kExpectZones =
    "a zones list (ZoneId,EntryIdex,ExitIdex[,Speed] per line)";

}  // namespace edog_tool

#endif  // TOOL_FILE_KIND_H
