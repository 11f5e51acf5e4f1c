#include "tool/osm_mapping.h"

#include <algorithm>
#include <numeric>
#include <unordered_map>
#include <unordered_set>

#include "edog/datafile/camera_kind.h"

namespace edog_tool::osm {

namespace {

constexpr double kFullCircle = 360.0;

// The low 32 bits of an id, as the list's 32-bit number.
std::uint32_t low_bits(std::int64_t id) {
    return static_cast<std::uint32_t>(static_cast<std::uint64_t>(id));
}

// What the relations say of one node.
struct Roles {
    unsigned device_kinds = 0;
    bool zone_end = false;
    const std::string* relation_limit = nullptr;  // the first relation's maxspeed
    const std::string* zone_limit = nullptr;
};

int camera_type(const NodeFacts& n, const Roles& r) {
    using e_dog::CameraType;
    const auto has = [&](Enforcement e) {
        return (r.device_kinds & static_cast<unsigned>(e)) != 0;
    };
    // A section's device, or a section's end that is no camera otherwise.
    const bool section =
        has(Enforcement::kAverageSpeed) || (r.device_kinds == 0 && r.zone_end && !n.speed_camera);
    CameraType t = CameraType::kSpeed;
    if (section) {
        t = CameraType::kSectionControl;
    } else if (has(Enforcement::kMaxspeed) && has(Enforcement::kTrafficSignals)) {
        t = CameraType::kSpeedAndRedLight;
    } else if (has(Enforcement::kTrafficSignals)) {
        t = CameraType::kRedLight;
    }
    return e_dog::value(t);
}

int camera_limit(const NodeFacts& n, const Roles& r, const std::vector<WayAt>* ways) {
    if (r.relation_limit != nullptr) {
        return limit_kmh(*r.relation_limit);
    }
    if (r.zone_limit != nullptr) {
        return limit_kmh(*r.zone_limit);
    }
    if (!n.maxspeed.empty()) {
        return limit_kmh(n.maxspeed);
    }
    if (ways == nullptr) {
        return 0;
    }
    // The roads it stands on, where those that say agree.
    const std::string* said = nullptr;
    for (const WayAt& w : *ways) {
        if (w.maxspeed.empty()) {
            continue;
        }
        if (said != nullptr && *said != w.maxspeed) {
            return 0;
        }
        said = &w.maxspeed;
    }
    return said != nullptr ? limit_kmh(*said) : 0;
}

void set_direction(Camera& c, const NodeFacts& n, const std::vector<WayAt>* ways,
                   const Facts& facts, std::uint64_t& unreadable) {
    using e_dog::DirType;
    DirectionTag tag{DirectionTag::Kind::kUnreadable, 0};
    if (n.direction) {
        tag = direction_tag(*n.direction);
        unreadable += tag.kind == DirectionTag::Kind::kUnreadable ? 1 : 0;
    }
    if (tag.kind == DirectionTag::Kind::kDegrees) {
        c.dirtype = e_dog::value(DirType::kOneWay);
        c.direction = tag.degrees;
        c.source = DirectionSource::kTag;
        return;
    }
    if (ways == nullptr || ways->size() != 1) {
        return;  // DirType 0
    }
    const WayAt& w = ways->front();
    const auto located = [&](const std::optional<std::int64_t>& id) -> std::optional<Fixed> {
        if (!id) {
            return std::nullopt;
        }
        const auto it = facts.neighbours.find(*id);
        return it == facts.neighbours.end() ? std::nullopt : std::optional<Fixed>(it->second);
    };
    const std::optional<double> along = bearing_at(c.at, located(w.before), located(w.after));
    if (!along) {
        return;
    }
    int sense = 0;
    c.source = DirectionSource::kWayBearing;
    if (tag.kind == DirectionTag::Kind::kForward || tag.kind == DirectionTag::Kind::kBackward) {
        sense = tag.kind == DirectionTag::Kind::kForward ? 1 : -1;
        c.source = DirectionSource::kAlongWay;
    } else {
        sense = oneway_sense(w);
    }
    c.dirtype = e_dog::value(sense == 0 ? DirType::kBothWays : DirType::kOneWay);
    c.direction = whole_degrees(*along + (sense < 0 ? kFullCircle / 2 : 0.0));
}

}  // namespace

bool Box::contains(const Fixed& p) const {
    const bool lat_in = p.lat() >= south && p.lat() <= north;
    const bool lng_in =
        west <= east ? p.lng() >= west && p.lng() <= east : p.lng() >= west || p.lng() <= east;
    return lat_in && lng_in;
}

std::vector<std::uint32_t> stable_numbers(const std::vector<std::int64_t>& ids,
                                          std::optional<std::uint32_t> excluded,
                                          std::uint64_t& moved) {
    std::vector<std::size_t> order(ids.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return std::pair(low_bits(ids[a]), ids[a]) < std::pair(low_bits(ids[b]), ids[b]);
    });
    std::unordered_set<std::uint32_t> used;
    used.reserve(ids.size() * 2);
    for (const std::int64_t id : ids) {
        used.insert(low_bits(id));
    }
    std::vector<std::uint32_t> numbers(ids.size());
    moved = 0;
    for (std::size_t k = 0; k < order.size(); ++k) {
        const std::uint32_t natural = low_bits(ids[order[k]]);
        const bool first = k == 0 || low_bits(ids[order[k - 1]]) != natural;
        if (first && natural != excluded) {
            numbers[order[k]] = natural;
            continue;
        }
        std::uint32_t v = natural + 1U;
        while (used.count(v) != 0 || v == excluded) {
            ++v;
        }
        used.insert(v);
        numbers[order[k]] = v;
        ++moved;
    }
    return numbers;
}

Import map_facts(const Facts& facts, const std::optional<Box>& box) {
    Import out;
    const auto refuse = [&](const std::string& reason, std::string what) {
        out.refused[reason].push_back(std::move(what));
    };
    std::unordered_map<std::int64_t, Roles> roles;
    for (const RelationFacts& r : facts.relations) {
        const std::string rel = "relation " + std::to_string(r.id);
        if (r.members_not_nodes > 0) {
            refuse("a device, from or to member that is no node", rel);
        }
        const std::string* limit = r.maxspeed.empty() ? nullptr : &r.maxspeed;
        for (const std::int64_t d : r.devices) {
            if (facts.nodes.count(d) == 0) {
                refuse("member node not in the file", "node " + std::to_string(d) + " of " + rel);
                continue;
            }
            Roles& role = roles[d];
            role.device_kinds |= r.kinds;
            role.relation_limit = role.relation_limit != nullptr ? role.relation_limit : limit;
        }
        if ((r.kinds & static_cast<unsigned>(Enforcement::kAverageSpeed)) == 0) {
            continue;
        }
        for (const auto* ends : {&r.from, &r.to}) {
            for (const std::int64_t e : *ends) {
                if (facts.nodes.count(e) == 0) {
                    refuse("member node not in the file",
                           "node " + std::to_string(e) + " of " + rel);
                    continue;
                }
                Roles& role = roles[e];
                role.zone_end = true;
                role.zone_limit = role.zone_limit != nullptr ? role.zone_limit : limit;
            }
        }
    }

    std::vector<std::int64_t> ids;
    for (const auto& [id, n] : facts.nodes) {
        const auto role = roles.find(id);
        if (n.speed_camera || role != roles.end()) {
            ids.push_back(id);
        }
    }
    std::sort(ids.begin(), ids.end());
    std::vector<std::int64_t> kept;
    for (const std::int64_t id : ids) {
        const NodeFacts& n = facts.nodes.at(id);
        if (!n.at) {
            refuse("no valid position", "node " + std::to_string(id));
            continue;
        }
        if (box && !box->contains(*n.at)) {
            ++out.outside_box;
            continue;
        }
        const auto role = roles.find(id);
        const Roles r = role != roles.end() ? role->second : Roles{};
        const auto way = facts.ways.find(id);
        const std::vector<WayAt>* ways = way != facts.ways.end() ? &way->second : nullptr;
        Camera c{id,
                 0,
                 n.version,
                 n.timestamp,
                 *n.at,
                 camera_type(n, r),
                 camera_limit(n, r, ways),
                 0,
                 0,
                 DirectionSource::kNone};
        set_direction(c, n, ways, facts, out.direction_unreadable);
        out.cameras.push_back(std::move(c));
        kept.push_back(id);
    }
    const std::vector<std::uint32_t> idex = stable_numbers(kept, std::nullopt, out.idex_collisions);
    std::unordered_map<std::int64_t, const Camera*> by_node;
    for (std::size_t i = 0; i < out.cameras.size(); ++i) {
        out.cameras[i].idex = idex[i];
        by_node[out.cameras[i].node] = &out.cameras[i];
    }

    std::vector<std::int64_t> zone_relations;
    for (const RelationFacts& r : facts.relations) {
        if ((r.kinds & static_cast<unsigned>(Enforcement::kAverageSpeed)) == 0) {
            continue;
        }
        const std::string rel = "relation " + std::to_string(r.id);
        if (r.from.size() != 1 || r.to.size() != 1) {
            refuse("no zone: an average-speed relation needs one from and one to member", rel);
            continue;
        }
        if (r.from.front() == r.to.front()) {
            refuse("no zone: from and to are the same node", rel);
            continue;
        }
        const auto entry = by_node.find(r.from.front());
        const auto exit = by_node.find(r.to.front());
        if (entry == by_node.end() || exit == by_node.end()) {
            refuse("no zone: its from or to node was not imported", rel);
            continue;
        }
        const int limit = r.maxspeed.empty() ? 0 : limit_kmh(r.maxspeed);
        if (limit == 0 && entry->second->speed == 0) {
            refuse("no zone: no limit on the relation or its entry", rel);
            continue;
        }
        out.zones.push_back({r.id, 0, entry->second->idex, exit->second->idex, limit});
        zone_relations.push_back(r.id);
    }
    std::uint64_t moved = 0;
    const std::vector<std::uint32_t> zone_ids = stable_numbers(zone_relations, 0U, moved);
    for (std::size_t i = 0; i < out.zones.size(); ++i) {
        out.zones[i].id = zone_ids[i];
    }
    return out;
}

}  // namespace edog_tool::osm
