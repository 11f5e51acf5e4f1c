// Tag values of OpenStreetMap as import-osm reads them: limits, directions,
// one-way roads, and the bearing of a road at a node. See doc/osm-import.md.
#ifndef TOOL_OSM_TAGS_H
#define TOOL_OSM_TAGS_H

#include <cstdint>
#include <optional>
#include <string_view>

#include "tool/osm_facts.h"

namespace edog_tool::osm {

// A maxspeed value in km/h: "50", "50 mph", "30 knots", "80 km/h"; 0 for
// "none", "signals", "variable", "walk", a country's default ("DE:urban")
// and anything unreadable or beyond 1 to 500 km/h.
int limit_kmh(std::string_view maxspeed);

// A direction tag: degrees (0 to 359, rounded; any real number is taken
// modulo 360), a cardinal point (N, NNE, ... NNW), or forward, backward,
// both. Anything else is unreadable.
struct DirectionTag {
    enum class Kind : std::uint8_t { kDegrees, kForward, kBackward, kBoth, kUnreadable };
    Kind kind = Kind::kUnreadable;
    int degrees = 0;
};
DirectionTag direction_tag(std::string_view value);

// The bearing of a road at a node, degrees 0 to 360: between the bearings
// of the segments into and out of it, or the one segment's at an end.
// None when no segment has length.
std::optional<double> bearing_at(const Fixed& at, const std::optional<Fixed>& before,
                                 const std::optional<Fixed>& after);

// A road's oneway tag as +1 (traffic along the way), -1 (against it) or 0.
int oneway_sense(const WayAt& way);

// `d` degrees as a whole number of degrees 0 to 359 (rounded, half away
// from zero).
int whole_degrees(double d);

}  // namespace edog_tool::osm

#endif  // TOOL_OSM_TAGS_H
