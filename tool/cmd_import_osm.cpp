// edog-tool import-osm: a camera list, and optionally a zones list and an
// id map, from an OpenStreetMap file. See doc/osm-import.md.
#include <cinttypes>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>

#include "tool/commands.h"
#include "tool/file_kind.h"
#include "tool/findings.h"
#include "tool/osm_mapping.h"
#include "tool/osm_reader.h"
#include "tool/output.h"

namespace edog_tool {

namespace {

constexpr const char* kExpectOsm =
    "an OpenStreetMap file (XML .osm, .osm.gz or .osm.bz2, or PBF .osm.pbf)";
constexpr const char* kAttribution =
    "Data \xc2\xa9 OpenStreetMap contributors, under the Open Database License (ODbL): name them "
    "wherever this list, or a data file built from it, is shown or shared.";

// A position stored as degrees times 10^7, as exact decimal text.
std::string degrees_text(std::int32_t fixed) {
    constexpr std::int64_t kScale = 10'000'000;
    const std::int64_t v = fixed;
    const std::uint64_t a = static_cast<std::uint64_t>(v < 0 ? -v : v);
    char buf[32];
    (void)std::snprintf(buf, sizeof buf, "%s%" PRIu64 ".%07" PRIu64, v < 0 ? "-" : "",
                        a / static_cast<std::uint64_t>(kScale),
                        a % static_cast<std::uint64_t>(kScale));
    return buf;
}

std::string list_text(const osm::Import& imp) {
    std::string text;
    for (const osm::Camera& c : imp.cameras) {
        text += std::to_string(c.idex) + ',' + degrees_text(c.at.x) + ',' + degrees_text(c.at.y) +
                ',' + std::to_string(c.type) + ',' + std::to_string(c.speed) + ',' +
                std::to_string(c.dirtype) + ',' + std::to_string(c.direction) + '\n';
    }
    return text;
}

std::string zones_text(const osm::Import& imp) {
    std::string text;
    for (const osm::Zone& z : imp.zones) {
        text += std::to_string(z.id) + ',' + std::to_string(z.entry) + ',' + std::to_string(z.exit);
        text += z.speed > 0 ? ',' + std::to_string(z.speed) + '\n' : std::string("\n");
    }
    return text;
}

std::string ids_text(const osm::Import& imp) {
    std::string text = "idex\tosm_type\tosm_id\tversion\ttimestamp\n";
    for (const osm::Camera& c : imp.cameras) {
        text += std::to_string(c.idex) + "\tnode\t" + std::to_string(c.node) + '\t' +
                std::to_string(c.version) + '\t' + c.timestamp + '\n';
    }
    return text;
}

// The outputs asked for, each checked; two of them naming one file is
// refused.
struct Outputs {
    std::string list;
    std::string zones;
    std::string ids;
};
Outputs checked_outputs(const ImportOsmOptions& o) {
    Outputs out;
    std::map<std::filesystem::path, std::string> seen;
    const auto check = [&](const std::string& named, std::string& target) {
        if (named.empty()) {
            return;
        }
        target = checked_output(named, {o.input});
        const auto canonical = std::filesystem::weakly_canonical(target);
        const auto [it, fresh] = seen.emplace(canonical, named);
        if (!fresh) {
            throw Failure(named, "is also the output " + it->second +
                                     "; refused, nothing was read or written");
        }
    };
    check(o.output, out.list);
    check(o.zones, out.zones);
    check(o.ids, out.ids);
    return out;
}

void print_refusals(const osm::Import& imp, const std::string& input, bool verbose) {
    Findings findings(verbose);
    for (const auto& [reason, objects] : imp.refused) {
        for (const std::string& what : objects) {
            if (findings.count(reason)) {
                (void)std::fprintf(stderr, "%s: left out %s: %s\n", input.c_str(), what.c_str(),
                                   reason.c_str());
            }
        }
    }
    findings.print_rest(stderr, input, "objects left out");
}

void print_summary(const osm::Import& imp, const osm::Facts& facts, const ImportOsmOptions& o) {
    std::map<int, std::uint64_t> by_type;
    std::map<osm::DirectionSource, std::uint64_t> by_source;
    std::uint64_t no_limit = 0;
    std::uint64_t refused = 0;
    for (const osm::Camera& c : imp.cameras) {
        ++by_type[c.type];
        ++by_source[c.source];
        no_limit += c.speed == 0 ? 1 : 0;
    }
    for (const auto& [reason, objects] : imp.refused) {
        refused += objects.size();
    }
    const auto n = [](std::uint64_t v) { return static_cast<unsigned long long>(v); };
    (void)std::fprintf(stderr, "%s: %llu nodes, %llu ways, %llu relations read in %d passes\n",
                       o.input.c_str(), n(facts.nodes_read), n(facts.ways_read),
                       n(facts.relations_read), facts.passes);
    std::string types;
    for (const auto& [type, count] : by_type) {
        types += (types.empty() ? "" : ", ") + std::string("Type ") + std::to_string(type) + ": " +
                 std::to_string(count);
    }
    (void)std::fprintf(stderr, "%s: %zu cameras written (%s)\n", o.output.c_str(),
                       imp.cameras.size(), types.c_str());
    (void)std::fprintf(
        stderr,
        "%s: direction from the direction tag %llu, forward/backward on the road %llu, the "
        "road's bearing %llu, none %llu (DirType 0: warned only with warn_all_directions_type)\n",
        o.output.c_str(), n(by_source[osm::DirectionSource::kTag]),
        n(by_source[osm::DirectionSource::kAlongWay]),
        n(by_source[osm::DirectionSource::kWayBearing]), n(by_source[osm::DirectionSource::kNone]));
    (void)std::fprintf(stderr,
                       "%s: %llu without a limit (Speed 0), %llu unreadable directions, %llu "
                       "objects left out, %llu outside --bbox, %llu Idex moved by a collision\n",
                       o.output.c_str(), n(no_limit), n(imp.direction_unreadable), n(refused),
                       n(imp.outside_box), n(imp.idex_collisions));
}

}  // namespace

int run_import_osm(const ImportOsmOptions& o) {
    const InputFile in = open_input(o.input);
    const Outputs out = checked_outputs(o);
    const std::optional<std::string> format = osm::osm_format(in);
    if (!format) {
        refuse_kind(in, kExpectOsm);
    }
    const osm::Facts facts = osm::read_osm(in, *format, {o.quiet, !o.ids.empty()});
    const osm::Import imp = osm::map_facts(facts, o.box);
    print_refusals(imp, o.input, o.verbose);
    if (imp.cameras.empty()) {
        throw Failure(o.input, "no camera found (" + std::to_string(facts.nodes_read) + " nodes, " +
                                   std::to_string(facts.relations_read) + " relations read); " +
                                   o.output + " was not written");
    }
    write_whole(out.list, list_text(imp), o.output);
    if (!out.zones.empty()) {
        if (imp.zones.empty()) {
            (void)std::fprintf(stderr,
                               "%s: no average-speed zone found; not written (build the list "
                               "without --zones)\n",
                               o.zones.c_str());
        } else {
            write_whole(out.zones, zones_text(imp), o.zones);
            (void)std::fprintf(stderr, "%s: %zu zones written\n", o.zones.c_str(),
                               imp.zones.size());
        }
    }
    if (!out.ids.empty()) {
        write_whole(out.ids, ids_text(imp), o.ids);
    }
    print_summary(imp, facts, o);
    (void)std::fprintf(stderr, "%s\n", kAttribution);
    return 0;
}

}  // namespace edog_tool
