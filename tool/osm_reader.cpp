#include "tool/osm_reader.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>
#include <unordered_set>

#include "tool/progress.h"

#if EDOG_WITH_OSMIUM
#include <osmium/io/bzip2_compression.hpp>
#include <osmium/io/gzip_compression.hpp>
#include <osmium/io/pbf_input.hpp>
#include <osmium/io/xml_input.hpp>
#include <osmium/osm.hpp>
#endif

namespace edog_tool::osm {

#if EDOG_WITH_OSMIUM
namespace {

using Ids = std::unordered_set<std::int64_t>;

bool tag_is(const osmium::TagList& tags, const char* key, const char* value) {
    const char* v = tags[key];
    return v != nullptr && std::strcmp(v, value) == 0;
}

std::string tag_or_empty(const osmium::TagList& tags, const char* key) {
    const char* v = tags[key];
    return v != nullptr ? v : "";
}

NodeFacts node_facts(const osmium::Node& n) {
    NodeFacts f;
    f.version = n.version();
    f.timestamp = n.timestamp().valid() ? n.timestamp().to_iso() : "";
    if (n.location().valid()) {
        f.at = Fixed{n.location().x(), n.location().y()};
    }
    f.speed_camera = tag_is(n.tags(), "highway", "speed_camera");
    f.maxspeed = tag_or_empty(n.tags(), "maxspeed");
    if (const char* d = n.tags()["direction"]) {
        f.direction = d;
    }
    return f;
}

// The enforcement kinds a relation's tags name, 0 for none of ours.
unsigned enforcement_kinds(const osmium::TagList& tags) {
    if (!tag_is(tags, "type", "enforcement")) {
        return 0;
    }
    const char* value = tags["enforcement"];
    unsigned kinds = 0;
    std::string_view rest = value != nullptr ? value : "";
    while (!rest.empty()) {
        const std::size_t semicolon = rest.find(';');
        const std::string_view one = rest.substr(0, semicolon);
        rest = semicolon == std::string_view::npos ? "" : rest.substr(semicolon + 1);
        if (one == "maxspeed") {
            kinds |= static_cast<unsigned>(Enforcement::kMaxspeed);
        } else if (one == "traffic_signals") {
            kinds |= static_cast<unsigned>(Enforcement::kTrafficSignals);
        } else if (one == "average_speed") {
            kinds |= static_cast<unsigned>(Enforcement::kAverageSpeed);
        }
    }
    return kinds;
}

RelationFacts relation_facts(const osmium::Relation& r, unsigned kinds) {
    RelationFacts f;
    f.id = r.id();
    f.kinds = kinds;
    f.maxspeed = tag_or_empty(r.tags(), "maxspeed");
    for (const osmium::RelationMember& m : r.members()) {
        std::vector<std::int64_t>* into = nullptr;
        if (std::strcmp(m.role(), "device") == 0) {
            into = &f.devices;
        } else if (std::strcmp(m.role(), "from") == 0) {
            into = &f.from;
        } else if (std::strcmp(m.role(), "to") == 0) {
            into = &f.to;
        }
        if (into == nullptr) {
            continue;  // force, section and others are no cameras
        }
        if (m.type() != osmium::item_type::node) {
            ++f.members_not_nodes;
        } else {
            into->push_back(m.ref());
        }
    }
    if ((kinds & static_cast<unsigned>(Enforcement::kAverageSpeed)) == 0) {
        f.from.clear();  // only average-speed relations make zones
        f.to.clear();
    }
    return f;
}

// Records the road `w` at each node of `at` on it, and the nodes next to
// them into `next`.
void record_way(const osmium::Way& w, const Ids& at, Facts& facts, Ids& next) {
    if (w.tags()["highway"] == nullptr) {
        return;
    }
    const osmium::WayNodeList& refs = w.nodes();
    const std::size_t n = refs.size();
    const bool closed = n > 2 && refs.front().ref() == refs.back().ref();
    for (std::size_t i = 0; i < (closed ? n - 1 : n); ++i) {
        const std::int64_t id = refs[i].ref();
        if (at.count(id) == 0) {
            continue;
        }
        std::vector<WayAt>& roads = facts.ways[id];
        if (std::any_of(roads.begin(), roads.end(),
                        [&](const WayAt& r) { return r.way == w.id(); })) {
            continue;  // a way that passes a node twice: its first pass counts
        }
        WayAt road;
        road.way = w.id();
        if (i > 0 || closed) {
            road.before = refs[i > 0 ? i - 1 : n - 2].ref();
        }
        if (i + 1 < n) {
            road.after = refs[i + 1].ref();
        }
        road.oneway = tag_or_empty(w.tags(), "oneway");
        road.implied_oneway = tag_is(w.tags(), "highway", "motorway") ||
                              tag_is(w.tags(), "junction", "roundabout") ||
                              tag_is(w.tags(), "junction", "circular");
        road.maxspeed = tag_or_empty(w.tags(), "maxspeed");
        for (const auto& id_next : {road.before, road.after}) {
            if (id_next && facts.neighbours.count(*id_next) == 0) {
                next.insert(*id_next);
            }
        }
        roads.push_back(std::move(road));
    }
}

// One pass over `in`: `visit` is called for each object of `bits` and
// answers whether to go on.
template <typename Visit>
void read_pass(const InputFile& in, const std::string& format, osmium::osm_entity_bits::type bits,
               bool quiet, const char* label, bool& sorted, Visit&& visit) {
    osmium::io::File file{in.path, format};
    osmium::io::Reader reader{file, bits, osmium::io::read_meta::yes};
    sorted = reader.header().get("sorting") == "Type_then_ID";
    Progress progress{quiet, in.size, label};
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
        progress.update(reader.offset());
    }
    reader.close();
}

// Positions of the nodes `wanted` into `facts.neighbours`.
void locate(const InputFile& in, const std::string& format, bool quiet, const char* label,
            Ids wanted, Facts& facts) {
    const std::int64_t highest = *std::max_element(wanted.begin(), wanted.end());
    bool sorted = false;
    read_pass(in, format, osmium::osm_entity_bits::node, quiet, label, sorted,
              [&](const osmium::OSMObject& o) {
                  if (wanted.erase(o.id()) != 0) {
                      const auto& n = static_cast<const osmium::Node&>(o);
                      if (n.location().valid()) {
                          facts.neighbours[o.id()] = Fixed{n.location().x(), n.location().y()};
                      }
                  }
                  return !wanted.empty() && !(sorted && o.id() > highest);
              });
    ++facts.passes;
}

Facts read_all(const InputFile& in, const std::string& format, bool quiet) {
    Facts facts;
    Ids cameras;
    Ids next;
    bool sorted = false;
    read_pass(in, format, osmium::osm_entity_bits::nwr, quiet, "pass 1", sorted,
              [&](const osmium::OSMObject& o) {
                  if (o.type() == osmium::item_type::node) {
                      ++facts.nodes_read;
                      if (tag_is(o.tags(), "highway", "speed_camera")) {
                          facts.nodes[o.id()] = node_facts(static_cast<const osmium::Node&>(o));
                          cameras.insert(o.id());
                      }
                  } else if (o.type() == osmium::item_type::way) {
                      ++facts.ways_read;
                      record_way(static_cast<const osmium::Way&>(o), cameras, facts, next);
                  } else if (o.type() == osmium::item_type::relation) {
                      ++facts.relations_read;
                      const auto& r = static_cast<const osmium::Relation&>(o);
                      if (const unsigned kinds = enforcement_kinds(r.tags()); kinds != 0) {
                          facts.relations.push_back(relation_facts(r, kinds));
                      }
                  }
                  return true;
              });
    facts.passes = 1;
    std::sort(facts.relations.begin(), facts.relations.end(),
              [](const RelationFacts& a, const RelationFacts& b) { return a.id < b.id; });

    // Members not met as cameras: their nodes, the roads through them and
    // the positions next to the cameras, in one pass over nodes and ways.
    Ids members;
    for (const RelationFacts& r : facts.relations) {
        for (const auto* list : {&r.devices, &r.from, &r.to}) {
            for (const std::int64_t id : *list) {
                if (facts.nodes.count(id) == 0) {
                    members.insert(id);
                }
            }
        }
    }
    if (members.empty()) {
        if (!next.empty()) {
            locate(in, format, quiet, "pass 2", std::move(next), facts);
        }
        return facts;
    }
    Ids found;
    Ids late;
    read_pass(in, format, osmium::osm_entity_bits::nwr, quiet, "pass 2", sorted,
              [&](const osmium::OSMObject& o) {
                  if (o.type() == osmium::item_type::node) {
                      const auto& n = static_cast<const osmium::Node&>(o);
                      if (members.count(o.id()) != 0) {
                          facts.nodes[o.id()] = node_facts(n);
                          found.insert(o.id());
                      }
                      if (next.count(o.id()) != 0 && n.location().valid()) {
                          facts.neighbours[o.id()] = Fixed{n.location().x(), n.location().y()};
                      }
                  } else if (o.type() == osmium::item_type::way) {
                      record_way(static_cast<const osmium::Way&>(o), found, facts, late);
                  }
                  // In a sorted file the relations come last: nothing more to find.
                  return o.type() != osmium::item_type::relation || !sorted;
              });
    facts.passes = 2;
    if (!late.empty()) {
        locate(in, format, quiet, "pass 3", std::move(late), facts);
    }
    return facts;
}

}  // namespace
#endif

std::optional<std::string> osm_format(const InputFile& in) {
    std::array<char, 1024> head{};
    const std::size_t n = read_at(in, head.data(), head.size(), 0);
    const std::string_view s(head.data(), n);
    const auto byte = [&](std::size_t i) { return i < n ? static_cast<unsigned char>(s[i]) : 0U; };
    if (byte(0) == 0x1fU && byte(1) == 0x8bU) {
        return "osm.gz";
    }
    if (s.substr(0, 3) == "BZh") {
        return "osm.bz2";
    }
    // PBF: a 4-byte header length, then a header whose first field is the
    // blob type "OSMHeader".
    constexpr std::string_view kPbfType = "OSMHeader";
    if (byte(0) == 0 && byte(1) == 0 && byte(4) == 0x0aU && byte(5) == kPbfType.size() &&
        s.substr(6, kPbfType.size()) == kPbfType) {
        return "pbf";
    }
    const std::size_t start = s.find_first_not_of(" \t\r\n\xef\xbb\xbf");
    if (start != std::string_view::npos && s[start] == '<' &&
        s.find("<osm") != std::string_view::npos) {
        return "osm";
    }
    return std::nullopt;
}

Facts read_osm(const InputFile& in, const std::string& format, bool quiet) {
#if !EDOG_WITH_OSMIUM
    (void)format;
    (void)quiet;
    throw Failure(in.path, "this edog-tool was built without OpenStreetMap import (libosmium)");
#else
    try {
        return read_all(in, format, quiet);
    } catch (const Failure&) {
        throw;
    } catch (const std::bad_alloc&) {
        throw;
    } catch (const std::exception& e) {
        throw Failure(in.path, std::string("cannot be read as an OpenStreetMap file: ") + e.what());
    }
#endif
}

}  // namespace edog_tool::osm
