// Zones lists. See tool/zone_list.h.
#include "tool/zone_list.h"

#include <charconv>
#include <cstring>
#include <limits>
#include <map>
#include <unordered_map>

#include "tool/line_reader.h"

namespace edog_tool {

namespace {

std::string_view trimmed(std::string_view s) {
    const std::size_t a = s.find_first_not_of(" \t");
    if (a == std::string_view::npos) {
        return {};
    }
    return s.substr(a, s.find_last_not_of(" \t") - a + 1);
}

// `s` as a whole number from `low` to `high`.
bool whole(std::string_view s, std::uint64_t low, std::uint64_t high, std::uint64_t& out) {
    s = trimmed(s);
    const auto r = std::from_chars(s.data(), s.data() + s.size(), out);
    return !s.empty() && r.ec == std::errc() && r.ptr == s.data() + s.size() && out >= low &&
           out <= high;
}

// Where each camera number referred to lies among the sorted cameras.
struct Placed {
    std::uint32_t record = 0;
    std::uint32_t count = 0;
    const GPSNode* node = nullptr;
};

}  // namespace

std::string zone_refusal(std::string_view line, bool first, ZoneLine& zone) {
    if (first) {
        drop_byte_order_mark(line);
    }
    if (line.empty()) {
        return "empty line";
    }
    const std::string_view t = trimmed(line);
    if (t.empty()) {
        return "blank line";
    }
    if (t[0] == '#') {
        return "comment";
    }
    if (std::isalpha(static_cast<unsigned char>(t[0])) != 0) {
        return "header line";
    }
    std::vector<std::string_view> fields;
    for (std::size_t at = 0;;) {
        const std::size_t comma = line.find(',', at);
        fields.push_back(line.substr(at, comma == std::string_view::npos ? line.npos : comma - at));
        if (comma == std::string_view::npos) {
            break;
        }
        at = comma + 1;
    }
    if (fields.size() < 3) {
        return "missing fields (" + std::to_string(fields.size()) + " of 3)";
    }
    if (fields.size() > 4) {
        return "too many fields (" + std::to_string(fields.size()) + "; 3 or 4)";
    }
    constexpr std::uint64_t kMaxNumber = std::numeric_limits<std::uint32_t>::max();
    std::uint64_t id = 0;
    std::uint64_t entry = 0;
    std::uint64_t exit = 0;
    std::uint64_t speed = 0;
    if (!whole(fields[0], 1, kMaxNumber, id)) {
        return "zone number not a whole number from 1 to 4294967295";
    }
    if (!whole(fields[1], 0, kMaxNumber, entry) || !whole(fields[2], 0, kMaxNumber, exit)) {
        return "camera number not a whole number from 0 to 4294967295";
    }
    if (entry == exit) {
        return "entry and exit are the same camera";
    }
    if (fields.size() == 4 && !whole(fields[3], 1, kMaxZoneKmh, speed)) {
        return "Speed not a whole number from 1 to 500 (km/h)";
    }
    zone.zone_id = static_cast<std::uint32_t>(id);
    zone.entry_idex = static_cast<std::uint32_t>(entry);
    zone.exit_idex = static_cast<std::uint32_t>(exit);
    zone.speed_kmh = static_cast<int>(speed);
    return {};
}

ZoneList read_zone_list(const InputFile& in, bool all_refusals) {
    ZoneList list;
    list.refused.all_refusals = all_refusals;
    std::unordered_map<std::uint32_t, std::uint64_t> first_line;
    LineReader lines(in, 0, in.size);
    std::string_view line;
    while (lines.next(line)) {
        ZoneLine z{lines.line_no(), 0, 0, 0, 0};
        std::string why = lines.cut()
                              ? "line longer than " + std::to_string(kMaxLineBytes) + " bytes"
                              : zone_refusal(line, lines.line_no() == 1, z);
        if (why.empty()) {
            const auto [at, fresh] = first_line.emplace(z.zone_id, z.line);
            if (!fresh) {
                why = "zone number " + std::to_string(z.zone_id) + " already on line " +
                      std::to_string(at->second);
            }
        }
        if (why.empty()) {
            list.zones.push_back(z);
        } else {
            list.refused.refuse(lines.line_no(), std::move(why));
        }
    }
    list.refused.line_count = lines.line_no();
    return list;
}

std::vector<e_dog::ZoneRecord> place_zones(ZoneList& list, const GPSNode* first) {
    std::unordered_map<std::uint32_t, Placed> placed;
    for (const ZoneLine& z : list.zones) {
        placed.emplace(z.entry_idex, Placed{});
        placed.emplace(z.exit_idex, Placed{});
    }
    std::uint32_t record = 0;
    for (const GPSNode* n = first; n != nullptr; n = n->link, ++record) {
        const auto it = placed.find(camera_number(n->data.Idex));
        if (it != placed.end() && it->second.count++ == 0) {
            it->second.record = record;
            it->second.node = n;
        }
    }
    std::vector<e_dog::ZoneRecord> out;
    for (const ZoneLine& z : list.zones) {
        const Placed& entry = placed.at(z.entry_idex);
        const Placed& exit = placed.at(z.exit_idex);
        std::string why;
        for (const auto& [idex, p] :
             {std::pair{z.entry_idex, entry}, std::pair{z.exit_idex, exit}}) {
            if (why.empty() && p.count != 1) {
                why = "camera " + std::to_string(idex) +
                      (p.count == 0 ? " is not in the list"
                                    : " is in the list " + std::to_string(p.count) + " times");
            }
        }
        const int speed = z.speed_kmh != 0        ? z.speed_kmh
                          : entry.node != nullptr ? entry.node->data.Speed
                                                  : 0;
        if (why.empty() && (speed <= 0 || speed > kMaxZoneKmh)) {
            why = "no Speed given and the entry camera's (" + std::to_string(speed) +
                  ") is not one from 1 to 500 km/h";
        }
        if (!why.empty() || entry.node == nullptr || exit.node == nullptr) {
            list.refused.refuse(z.line, std::move(why));
            continue;
        }
        e_dog::ZoneRecord r{};
        r.zone_id = z.zone_id;
        r.speed_kmh = speed;
        r.entry_record = entry.record;
        r.entry_idex = z.entry_idex;
        r.exit_record = exit.record;
        r.exit_idex = z.exit_idex;
        std::memcpy(r.entry_code, entry.node->data.encode_str, sizeof r.entry_code);
        std::memcpy(r.exit_code, exit.node->data.encode_str, sizeof r.exit_code);
        out.push_back(r);
    }
    return out;
}

}  // namespace edog_tool
