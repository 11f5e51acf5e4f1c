// The commands of edog-tool. Each returns the program's exit status (0, or 1
// where the command's answer is "no": a file with problems, files that
// differ) and throws Failure when it cannot do its work. Results go to
// standard output, refused input and progress to standard error. Every
// command checks its inputs' kinds first (tool/file_kind.h) and reads data
// files and logs piece by piece, in memory that does not grow with them.
#ifndef TOOL_COMMANDS_H
#define TOOL_COMMANDS_H

#include <cstdint>
#include <optional>
#include <string>

#include "tool/osm_mapping.h"
#include "warner/e_dog_warn.h"

namespace edog_tool {

struct BuildOptions {
    std::string list;
    std::string output;
    bool compat = false;   // read the list exactly as the device's build does
    bool quiet = false;    // no progress bar
    bool verbose = false;  // every refused line and shared position
    std::string zones;     // a zones list to store beside the output, or none
};
int run_build(const BuildOptions& o);

struct VerifyOptions {
    std::string file;
    bool verbose = false;  // every problem, not the first few of each kind
    bool quiet = false;    // no progress line
};
int run_verify(const VerifyOptions& o);
int run_info(const std::string& file);

struct LookupOptions {
    std::string file;
    double lat = 0.0;
    double lng = 0.0;
    double radius_m = 800.0;
    bool all = false;
    bool json = false;
};
int run_lookup(const LookupOptions& o);

enum class DumpFormat { kList, kCsv, kGeoJson };
int run_dump(const std::string& file, DumpFormat format);
// The zones stored beside the data file, in `format` (kList: the zones list).
int run_dump_zones(const std::string& file, DumpFormat format);

int run_diff(const std::string& old_file, const std::string& new_file);
class RecordReader;
// diff's lines for the zones beside two data files; answers the number of
// zones added, removed and changed.
std::uint64_t print_zone_changes(const RecordReader& before, const RecordReader& after);

struct FixesOptions {
    std::string log;
    bool json = false;
    bool all_refusals = false;  // every refused line, not the first few of each reason
};
int run_fixes(const FixesOptions& o);

struct ReplayOptions {
    std::string file;
    std::string log;
    std::string svg;  // empty: no drawing
    bool json = false;
    bool all_refusals = false;
    EDOG_WARN_CONFIG config{};
};
int run_replay(const ReplayOptions& o);

struct ImportOsmOptions {
    std::string input;   // an OpenStreetMap file
    std::string output;  // the camera list to write
    std::string zones;   // a zones list to write, or none
    std::string ids;     // the map of Idex to OpenStreetMap objects, or none
    std::optional<osm::Box> box;
    bool quiet = false;    // no progress line
    bool verbose = false;  // every object left out, not the first few of each reason
};
int run_import_osm(const ImportOsmOptions& o);

}  // namespace edog_tool

#endif  // TOOL_COMMANDS_H
