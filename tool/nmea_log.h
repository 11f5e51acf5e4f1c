// An NMEA log read the way a device reads its receiver: line by line into
// the epoch reader (gps/nmea_epoch.h), one fix per receiver cycle. Refused
// lines are counted by reason and reported, a few of each reason unless all
// are asked for; blank lines are no sentences and no refusals.
#ifndef TOOL_NMEA_LOG_H
#define TOOL_NMEA_LOG_H

#include <cstdint>
#include <functional>
#include <map>
#include <string>

#include "gps/nmea_epoch.h"
#include "tool/tool.h"

namespace edog_tool {

struct LogCounts {
    std::uint64_t lines = 0;
    std::uint64_t fixes = 0;      // cycles handed over
    std::uint64_t valid = 0;      // of them, valid with a position
    std::uint64_t sentences = 0;  // read into a cycle
    std::uint64_t other = 0;      // accepted and ignored
    std::uint64_t refused = 0;
    std::map<int, std::uint64_t> by_reason;  // NMEA_STATUS -> refused lines
};

// Reads the log `path`; `on_fix` gets each cycle and the number of the line
// that completed it (the last line for the final cycle). Refusals go to
// standard error as "PATH:LINE: reason", the first few of each reason or,
// with `all_refusals`, every one; then one line per reason with more (see
// tool/findings.h). Answers the counts. Fails before reading when the file
// is not text that could be a log, after it when no line was a sentence.
// Reads line by line: memory does not grow with the log.
LogCounts read_log(const std::string& path, bool all_refusals,
                   const std::function<void(const NMEA_EPOCH&, std::uint64_t)>& on_fix);

// The time of a cycle as read: "hh:mm:ss.ss", three decimals where the
// receiver sent them, the leap second as 23:59:60; "--:--:--" without one.
std::string clock_text(const NMEA_EPOCH& e);
// "yyyy-mm-dd", or empty without a date.
std::string date_text(const NMEA_EPOCH& e);
// The sentence types of a cycle: "RMC+GGA".
std::string sentence_text(unsigned sentences);

}  // namespace edog_tool

#endif  // TOOL_NMEA_LOG_H
