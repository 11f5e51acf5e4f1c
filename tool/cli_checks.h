// What edog-tool's command line takes: numbers finite and within stated
// ranges (never NaN or an infinity), positions as two arguments or as one
// pasted from a map, and usage errors raised after parsing.
#ifndef TOOL_CLI_CHECKS_H
#define TOOL_CLI_CHECKS_H

#include <stdexcept>
#include <string>
#include <vector>

#include "tool/osm_mapping.h"
#include <CLI/CLI.hpp>

namespace edog_tool {

// A command line the tool does not take, found after parsing: main prints
// "edog-tool: " and the message, exit status 2.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A finite number from `lo` to `hi`; the range shows in --help.
CLI::Validator finite_in(double lo, double hi);
// A positive finite number of at most `hi`.
CLI::Validator positive_up_to(double hi);

// A position: "LAT LNG" as two arguments, or "LAT,LNG" (a comma, blanks
// allowed) as one, as a map copies it. Throws UsageError.
void parse_position(const std::vector<std::string>& args, double& lat, double& lng);

// A box "WEST,SOUTH,EAST,NORTH" in degrees; WEST beyond EAST crosses the
// 180th meridian. Throws UsageError.
osm::Box parse_box(const std::string& text);

}  // namespace edog_tool

#endif  // TOOL_CLI_CHECKS_H
