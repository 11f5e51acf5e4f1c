// How OpenStreetMap's objects become a camera list and a zones list: the
// type, limit and direction of each camera, stable camera numbers and one
// zone per average-speed relation. Pure functions over what the reader
// gathered (tool/osm_facts.h), with the tag values read by tool/osm_tags.h;
// the rules and their reasons are in doc/osm-import.md.
#ifndef TOOL_OSM_MAPPING_H
#define TOOL_OSM_MAPPING_H

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tool/osm_facts.h"
#include "tool/osm_tags.h"

namespace edog_tool::osm {

// Where a camera's DirType and Direction came from.
enum class DirectionSource : std::uint8_t {
    kTag,         // the node's direction in degrees: DirType 1
    kAlongWay,    // forward or backward: DirType 1 along or against the way
    kWayBearing,  // both, or no direction on one road: DirType 2 (1 on a one-way road)
    kNone,        // DirType 0
};

struct Camera {
    std::int64_t node = 0;
    std::uint32_t idex = 0;
    std::uint32_t version = 0;
    std::string timestamp;
    Fixed at;
    int type = 1;
    int speed = 0;
    int dirtype = 0;
    int direction = 0;
    DirectionSource source = DirectionSource::kNone;
};

struct Zone {
    std::int64_t relation = 0;
    std::uint32_t id = 0;
    std::uint32_t entry = 0;  // Idex
    std::uint32_t exit = 0;
    int speed = 0;  // the relation's limit; 0: the entry camera's
};

// A west, south, east, north box; `west` > `east` crosses the 180th meridian.
struct Box {
    double west = -180.0;
    double south = -90.0;
    double east = 180.0;
    double north = 90.0;
    [[nodiscard]] bool contains(const Fixed& p) const;
};

struct Import {
    std::vector<Camera> cameras;  // by node id
    std::vector<Zone> zones;      // by relation id
    // What was left out, by reason, each with its objects ("node 12", ...).
    std::map<std::string, std::vector<std::string>> refused;
    std::uint64_t outside_box = 0;
    std::uint64_t idex_collisions = 0;
    std::uint64_t direction_unreadable = 0;
};

// The cameras and zones `facts` give, within `box` when one is given.
Import map_facts(const Facts& facts, const std::optional<Box>& box);

// Numbers for objects from their OpenStreetMap ids: each keeps its id's low
// 32 bits where no other object's does; among objects with the same low
// bits the lowest id keeps them and each other takes the next number up
// that no object of the list has (never `excluded`). Answers the numbers in
// the order of `ids`, and counts the objects that had to move.
std::vector<std::uint32_t> stable_numbers(const std::vector<std::int64_t>& ids,
                                          std::optional<std::uint32_t> excluded,
                                          std::uint64_t& moved);

}  // namespace edog_tool::osm

#endif  // TOOL_OSM_MAPPING_H
