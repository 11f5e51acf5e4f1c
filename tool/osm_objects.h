// What import-osm takes from each OpenStreetMap object libosmium reads:
// the facts of a node, the kinds of an enforcement relation and its
// members, the roads through the nodes looked for. Shared by the reader's
// passes (tool/osm_reader.cpp, tool/osm_pbf.cpp).
#ifndef TOOL_OSM_OBJECTS_H
#define TOOL_OSM_OBJECTS_H

#include <cstdint>
#include <unordered_set>

#include "tool/osm_facts.h"
#include <osmium/io/reader.hpp>
#include <osmium/osm.hpp>

namespace edog_tool::osm {

using Ids = std::unordered_set<std::int64_t>;

// A node tagged highway=speed_camera.
bool speed_camera(const osmium::OSMObject& o);

NodeFacts node_facts(const osmium::Node& n);

// The position of `n`, none when the file gives no valid one.
std::optional<Fixed> position(const osmium::Node& n);

// The enforcement kinds a relation's tags name, 0 for none of ours.
unsigned enforcement_kinds(const osmium::TagList& tags);

RelationFacts relation_facts(const osmium::Relation& r, unsigned kinds);

// Records the road `w` at each node of `at` on it, and the nodes next to
// them not yet placed into `next`.
void record_way(const osmium::Way& w, const Ids& at, Facts& facts, Ids& next);

// The node ids the relations name that are not in `facts.nodes` yet.
Ids members_not_met(const Facts& facts);

// Whether a reader decodes versions and timestamps.
inline osmium::io::read_meta metadata(bool wanted) {
    return wanted ? osmium::io::read_meta::yes : osmium::io::read_meta::no;
}

// Hands each object `reader` reads to `visit` until it answers false or the
// reader ends, calling `after_buffer()` after each buffer of objects; then
// closes the reader. Answers whether it read to the end.
template <typename Visit, typename AfterBuffer>
bool visit_objects(osmium::io::Reader& reader, Visit&& visit, AfterBuffer&& after_buffer) {
    bool more = true;
    while (more) {
        const osmium::memory::Buffer buffer = reader.read();
        if (!buffer) {
            break;
        }
        for (const osmium::OSMObject& o : buffer.select<osmium::OSMObject>()) {
            if (!visit(o)) {
                more = false;
                break;
            }
        }
        after_buffer();
    }
    reader.close();
    return more;
}

}  // namespace edog_tool::osm

#endif  // TOOL_OSM_OBJECTS_H
