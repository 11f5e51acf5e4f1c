#include "tool/osm_objects.h"

#include <algorithm>
#include <cstring>
#include <string_view>

namespace edog_tool::osm {

namespace {

bool tag_is(const osmium::TagList& tags, const char* key, const char* value) {
    const char* v = tags[key];
    return v != nullptr && std::strcmp(v, value) == 0;
}

std::string tag_or_empty(const osmium::TagList& tags, const char* key) {
    const char* v = tags[key];
    return v != nullptr ? v : "";
}

}  // namespace

bool speed_camera(const osmium::OSMObject& o) {
    return tag_is(o.tags(), "highway", "speed_camera");
}

std::optional<Fixed> position(const osmium::Node& n) {
    if (!n.location().valid()) {
        return std::nullopt;
    }
    return Fixed{n.location().x(), n.location().y()};
}

NodeFacts node_facts(const osmium::Node& n) {
    NodeFacts f;
    f.version = n.version();
    f.timestamp = n.timestamp().valid() ? n.timestamp().to_iso() : "";
    f.at = position(n);
    f.speed_camera = speed_camera(n);
    f.maxspeed = tag_or_empty(n.tags(), "maxspeed");
    if (const char* d = n.tags()["direction"]) {
        f.direction = d;
    }
    return f;
}

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

Ids members_not_met(const Facts& facts) {
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
    return members;
}

}  // namespace edog_tool::osm
