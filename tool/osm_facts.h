// What `edog-tool import-osm` gathers from an OpenStreetMap file: the nodes
// that may be cameras or zone ends, the roads through them and the
// enforcement relations. The reader (tool/osm_reader.h) fills it; the
// mapping (tool/osm_mapping.h) turns it into cameras and zones. Nothing here
// grows with the file: only with the cameras and relations in it. See
// doc/osm-import.md.
#ifndef TOOL_OSM_FACTS_H
#define TOOL_OSM_FACTS_H

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace edog_tool::osm {

// A position as OpenStreetMap stores it: degrees times 10^7, whole numbers.
struct Fixed {
    std::int32_t x = 0;  // longitude
    std::int32_t y = 0;  // latitude
    [[nodiscard]] double lng() const { return x / 1e7; }
    [[nodiscard]] double lat() const { return y / 1e7; }
};

// A node that is a camera (highway=speed_camera) or a member of an
// enforcement relation.
struct NodeFacts {
    std::uint32_t version = 0;
    std::string timestamp;    // ISO 8601, empty when the file has none
    std::optional<Fixed> at;  // none: the file gives no valid position
    bool speed_camera = false;
    std::string maxspeed;
    std::optional<std::string> direction;
};

// A road (a way with a highway tag) through a node, seen from the node.
struct WayAt {
    std::int64_t way = 0;
    std::optional<std::int64_t> before;  // the node before it on the way
    std::optional<std::int64_t> after;   // the node after it
    std::string oneway;                  // the oneway tag, "" when absent
    bool implied_oneway = false;         // motorway or roundabout
    std::string maxspeed;
};

// The kinds of enforcement that give cameras.
enum class Enforcement : std::uint8_t {
    kMaxspeed = 1,
    kTrafficSignals = 2,
    kAverageSpeed = 4,
};

struct RelationFacts {
    std::int64_t id = 0;
    unsigned kinds = 0;  // Enforcement bits (a value may list several: "maxspeed;traffic_signals")
    std::string maxspeed;
    std::vector<std::int64_t> devices;
    std::vector<std::int64_t> from;
    std::vector<std::int64_t> to;
    std::uint64_t members_not_nodes = 0;  // device, from or to members that are no node
};

// How the file is read: with a progress line or not, and with the objects'
// versions and timestamps or not (only the id map shows them, and reading
// every object's costs time).
struct ReadOptions {
    bool quiet = false;
    bool metadata = true;
};

struct Facts {
    std::unordered_map<std::int64_t, NodeFacts> nodes;
    std::unordered_map<std::int64_t, std::vector<WayAt>> ways;  // by node
    std::unordered_map<std::int64_t, Fixed> neighbours;  // nodes next to those on their roads
    std::vector<RelationFacts> relations;                // ordered by id
    std::uint64_t nodes_read = 0;
    std::uint64_t ways_read = 0;
    std::uint64_t relations_read = 0;
    int passes = 0;
};

}  // namespace edog_tool::osm

#endif  // TOOL_OSM_FACTS_H
