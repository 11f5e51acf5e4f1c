// A zones list: the average-speed sections to store with a data file, one
// zone per line "ZoneId,EntryIdex,ExitIdex[,Speed]" (lines end at LF, CR LF
// or CR; a byte-order mark is allowed on line 1). Lines that are not a zone
// are refused with their line number and reason, as camera lists are. See
// doc/edog-tool.md ("Zones").
#ifndef TOOL_ZONE_LIST_H
#define TOOL_ZONE_LIST_H

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "edog/datafile/zone_file.h"
#include "edog/e_dog_source_date.h"
#include "tool/camera_list.h"
#include "tool/tool.h"

namespace edog_tool {

// Speeds a zone may have, km/h.
inline constexpr int kMaxZoneKmh = 500;

struct ZoneLine {
    std::uint64_t line;
    std::uint32_t zone_id;
    std::uint32_t entry_idex;
    std::uint32_t exit_idex;
    int speed_kmh;  // 0: the entry camera's Speed
};

// Why a line is not a zone ("missing fields (2 of 3)", ...), or an empty
// text when it reads as one into `zone`.
std::string zone_refusal(std::string_view line, bool first, ZoneLine& zone);

// The zones of the list `in`, and its refused lines (the first few of each
// reason, all with `all_refusals`) with their counts; a zone number met a
// second time is refused.
struct ZoneList {
    std::vector<ZoneLine> zones;
    ListPart refused;  // only its refusals are used
};
ZoneList read_zone_list(const InputFile& in, bool all_refusals);

// The zones of `list` over the cameras sorted into `first` and on (the data
// file's records in order): each zone's cameras by record number. Zones
// whose cameras are not in the list exactly once, or whose limit is unknown,
// are refused into `list.refused`.
std::vector<e_dog::ZoneRecord> place_zones(ZoneList& list, const GPSNode* first);

}  // namespace edog_tool

#endif  // TOOL_ZONE_LIST_H
