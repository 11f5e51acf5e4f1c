#include "tool/osm_reader.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>
#include <unordered_set>

#include "tool/progress.h"

#if EDOG_WITH_OSMIUM
#include "tool/osm_objects.h"
#include "tool/osm_pbf.h"
#include <osmium/io/bzip2_compression.hpp>
#include <osmium/io/gzip_compression.hpp>
#include <osmium/io/pbf_input.hpp>
#include <osmium/io/xml_input.hpp>
#include <osmium/osm.hpp>
#endif

namespace edog_tool::osm {

#if EDOG_WITH_OSMIUM
namespace {

// One pass over `in`: `visit` is called for each object of `bits` and
// answers whether to go on.
template <typename Visit>
void read_pass(const InputFile& in, const std::string& format, osmium::osm_entity_bits::type bits,
               const ReadOptions& options, const char* label, bool& sorted, Visit&& visit) {
    osmium::io::File file{in.path, format};
    osmium::io::Reader reader{file, bits, metadata(options.metadata)};
    sorted = reader.header().get("sorting") == "Type_then_ID";
    Progress progress{options.quiet, in.size, label};
    (void)visit_objects(reader, visit, [&] { progress.update(reader.offset()); });
}

// Positions of the nodes `wanted` into `facts.neighbours`.
void locate(const InputFile& in, const std::string& format, const ReadOptions& options,
            const char* label, Ids wanted, Facts& facts) {
    const std::int64_t highest = *std::max_element(wanted.begin(), wanted.end());
    bool sorted = false;
    read_pass(in, format, osmium::osm_entity_bits::node, {options.quiet, false}, label, sorted,
              [&](const osmium::OSMObject& o) {
                  if (wanted.erase(o.id()) != 0) {
                      if (const auto p = position(static_cast<const osmium::Node&>(o))) {
                          facts.neighbours[o.id()] = *p;
                      }
                  }
                  return !wanted.empty() && !(sorted && o.id() > highest);
              });
    ++facts.passes;
}

Facts read_all(const InputFile& in, const std::string& format, const ReadOptions& options) {
    if (format == "pbf") {
        if (std::optional<Facts> sorted = read_sorted_pbf(in, options)) {
            return std::move(*sorted);
        }
    }
    Facts facts;
    Ids cameras;
    Ids next;
    bool sorted = false;
    read_pass(in, format, osmium::osm_entity_bits::nwr, options, "pass 1", sorted,
              [&](const osmium::OSMObject& o) {
                  if (o.type() == osmium::item_type::node) {
                      ++facts.nodes_read;
                      if (speed_camera(o)) {
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
    const Ids members = members_not_met(facts);
    if (members.empty()) {
        if (!next.empty()) {
            locate(in, format, options, "pass 2", std::move(next), facts);
        }
        return facts;
    }
    Ids found;
    Ids late;
    read_pass(in, format, osmium::osm_entity_bits::nwr, options, "pass 2", sorted,
              [&](const osmium::OSMObject& o) {
                  if (o.type() == osmium::item_type::node) {
                      const auto& n = static_cast<const osmium::Node&>(o);
                      if (members.count(o.id()) != 0) {
                          facts.nodes[o.id()] = node_facts(n);
                          found.insert(o.id());
                      }
                      if (next.count(o.id()) != 0 && n.location().valid()) {
                          facts.neighbours[o.id()] = *position(n);
                      }
                  } else if (o.type() == osmium::item_type::way) {
                      record_way(static_cast<const osmium::Way&>(o), found, facts, late);
                  }
                  // In a sorted file the relations come last: nothing more to find.
                  return o.type() != osmium::item_type::relation || !sorted;
              });
    facts.passes = 2;
    if (!late.empty()) {
        locate(in, format, options, "pass 3", std::move(late), facts);
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

Facts read_osm(const InputFile& in, const std::string& format, const ReadOptions& options) {
#if !EDOG_WITH_OSMIUM
    (void)format;
    (void)options;
    throw Failure(in.path, "this edog-tool was built without OpenStreetMap import (libosmium)");
#else
    try {
        return read_all(in, format, options);
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
