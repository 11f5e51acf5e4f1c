#include "tool/osm_pbf.h"

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "tool/osm_objects.h"
#include "tool/progress.h"
#include <osmium/io/pbf_input.hpp>
#include <protozero/pbf_reader.hpp>

namespace edog_tool::osm {

namespace {

// The format's own limits on a block's header and its data.
constexpr std::uint32_t kMaxHeaderBytes = 64U << 10;
constexpr std::uint64_t kMaxDataBytes = 32U << 20;
// Blocks handed to libosmium at once: enough to keep its decoding threads
// busy, little enough to hold.
constexpr std::uint64_t kBatchBytes = 4U << 20;

struct Block {
    std::uint64_t offset = 0;
    std::uint64_t size = 0;  // length, header and data
};

// A batch of consecutive data blocks [first, last), and the ids of the
// nodes read from it.
struct Batch {
    std::size_t first = 0;
    std::size_t last = 0;
    std::int64_t lowest = 0;
    std::int64_t highest = -1;
};

// The file's blocks: none when it is not a whole sequence of PBF blocks
// beginning with a header block.
struct Blocks {
    Block header;
    std::vector<Block> data;
};
std::optional<Blocks> index_blocks(const InputFile& in) {
    Blocks blocks;
    std::string head;
    bool first = true;
    for (std::uint64_t at = 0; at < in.size;) {
        unsigned char length[4];
        if (read_at(in, length, sizeof length, at) != sizeof length) {
            return std::nullopt;
        }
        const std::uint32_t n = (std::uint32_t{length[0]} << 24U) |
                                (std::uint32_t{length[1]} << 16U) |
                                (std::uint32_t{length[2]} << 8U) | std::uint32_t{length[3]};
        if (n == 0 || n > kMaxHeaderBytes) {
            return std::nullopt;
        }
        head.resize(n);
        if (read_at(in, head.data(), n, at + sizeof length) != n) {
            return std::nullopt;
        }
        std::string type;
        std::int64_t data_size = -1;
        protozero::pbf_reader message{head.data(), head.size()};
        while (message.next()) {
            if (message.tag() == 1) {
                type = message.get_string();
            } else if (message.tag() == 3) {
                data_size = message.get_int32();
            } else {
                message.skip();
            }
        }
        if (data_size < 0 || static_cast<std::uint64_t>(data_size) > kMaxDataBytes) {
            return std::nullopt;
        }
        const Block block{at, sizeof length + n + static_cast<std::uint64_t>(data_size)};
        if (block.size > in.size - at) {
            return std::nullopt;  // cut short: the general passes report it
        }
        if (first && type != "OSMHeader") {
            return std::nullopt;
        }
        if (first) {
            blocks.header = block;
        } else if (type == "OSMData") {
            blocks.data.push_back(block);
        }
        first = false;
        at += block.size;
    }
    return first ? std::nullopt : std::optional<Blocks>(std::move(blocks));
}

class SortedPbf {
public:
    SortedPbf(const InputFile& in, Blocks blocks) : in_(in), blocks_(std::move(blocks)) {}

    // Whether the header says the file is sorted by type and id.
    bool sorted() {
        const std::string bytes = read(0, 0);
        osmium::io::Reader reader{osmium::io::File{bytes.data(), bytes.size(), "pbf"},
                                  osmium::osm_entity_bits::nothing};
        const bool yes = reader.header().get("sorting") == "Type_then_ID";
        reader.close();
        return yes;
    }

    // The first data block holding relations (the number of blocks when none).
    std::size_t first_relation_block() {
        std::size_t lo = 0;
        std::size_t hi = blocks_.data.size();
        while (lo < hi) {
            const std::size_t mid = lo + (hi - lo) / 2;
            if (first_type(mid) == osmium::item_type::relation) {
                hi = mid;
            } else {
                lo = mid + 1;
            }
        }
        return lo;
    }

    // Batches of the data blocks [first, last).
    [[nodiscard]] std::vector<Batch> batches(std::size_t first, std::size_t last) const {
        std::vector<Batch> out;
        for (std::size_t b = first; b < last; ++b) {
            if (out.empty() || bytes(out.back().first, b + 1) > kBatchBytes) {
                out.push_back({b, b, 0, -1});
            }
            out.back().last = b + 1;
        }
        return out;
    }

    [[nodiscard]] std::size_t block_count() const { return blocks_.data.size(); }

    [[nodiscard]] std::uint64_t bytes(std::size_t first, std::size_t last) const {
        std::uint64_t n = 0;
        for (std::size_t b = first; b < last; ++b) {
            n += blocks_.data[b].size;
        }
        return n;
    }

    // Reads the objects of `bits` in `batch`; `visit` answers whether to go on.
    template <typename Visit>
    bool read_batch(const Batch& batch, osmium::osm_entity_bits::type bits, bool metadata,
                    Visit&& visit) {
        const std::string bytes = read(batch.first, batch.last);
        osmium::io::Reader reader{osmium::io::File{bytes.data(), bytes.size(), "pbf"}, bits,
                                  osm::metadata(metadata)};
        return visit_objects(reader, visit, [] {});
    }

private:
    // The header block and the data blocks [first, last), as one PBF file.
    std::string read(std::size_t first, std::size_t last) {
        std::string out(blocks_.header.size + bytes(first, last), '\0');
        std::size_t at = 0;
        const auto copy = [&](const Block& b) {
            if (read_at(in_, out.data() + at, b.size, b.offset) != b.size) {
                throw Failure(in_.path, "was cut short while it was read");
            }
            at += b.size;
        };
        copy(blocks_.header);
        for (std::size_t b = first; b < last; ++b) {
            copy(blocks_.data[b]);
        }
        return out;
    }

    osmium::item_type first_type(std::size_t block) {
        osmium::item_type type = osmium::item_type::node;  // an empty block sorts anywhere
        read_batch({block, block + 1, 0, -1}, osmium::osm_entity_bits::nwr, false,
                   [&](const osmium::OSMObject& o) {
                       type = o.type();
                       return false;
                   });
        return type;
    }

    const InputFile& in_;
    Blocks blocks_;
};

}  // namespace

std::optional<Facts> read_sorted_pbf(const InputFile& in, const ReadOptions& options) {
    std::optional<Blocks> blocks = index_blocks(in);
    if (!blocks) {
        return std::nullopt;
    }
    SortedPbf file(in, std::move(*blocks));
    if (!file.sorted()) {
        return std::nullopt;
    }
    const std::size_t relations_from = file.first_relation_block();
    std::vector<Batch> batches = file.batches(0, relations_from);
    Facts facts;
    bool in_order = true;  // a sort the blocks do not keep sends the file to the general passes

    // 1. The relations, and every node they name.
    for (const Batch& batch : file.batches(relations_from, file.block_count())) {
        file.read_batch(
            batch, osmium::osm_entity_bits::nwr, false, [&](const osmium::OSMObject& o) {
                in_order = o.type() == osmium::item_type::relation;
                ++facts.relations_read;
                const auto& r = static_cast<const osmium::Relation&>(o);
                if (const unsigned kinds = in_order ? enforcement_kinds(r.tags()) : 0; kinds != 0) {
                    facts.relations.push_back(relation_facts(r, kinds));
                }
                return in_order;
            });
        if (!in_order) {
            return std::nullopt;
        }
    }
    std::sort(facts.relations.begin(), facts.relations.end(),
              [](const RelationFacts& a, const RelationFacts& b) { return a.id < b.id; });
    const Ids members = members_not_met(facts);

    // 2. Nodes and ways: the cameras, the members, the roads through them.
    Ids at;
    Ids next;
    {
        Progress progress{options.quiet, file.bytes(0, relations_from), "nodes and ways"};
        std::uint64_t done = 0;
        for (Batch& batch : batches) {
            file.read_batch(
                batch, osmium::osm_entity_bits::nwr, options.metadata,
                [&](const osmium::OSMObject& o) {
                    if (o.type() == osmium::item_type::node) {
                        ++facts.nodes_read;
                        const bool none_yet = batch.highest < batch.lowest;
                        batch.lowest = none_yet ? o.id() : std::min(batch.lowest, o.id());
                        batch.highest = none_yet ? o.id() : std::max(batch.highest, o.id());
                        if (speed_camera(o) || members.count(o.id()) != 0) {
                            facts.nodes[o.id()] = node_facts(static_cast<const osmium::Node&>(o));
                            at.insert(o.id());
                        }
                    } else if (o.type() == osmium::item_type::way) {
                        ++facts.ways_read;
                        record_way(static_cast<const osmium::Way&>(o), at, facts, next);
                    } else {
                        in_order = false;
                    }
                    return in_order;
                });
            if (!in_order) {
                return std::nullopt;
            }
            done += file.bytes(batch.first, batch.last);
            progress.update(done);
        }
    }
    facts.passes = 2;

    // 3. The positions next to them, from the batches whose ids hold them.
    std::vector<std::int64_t> wanted(next.begin(), next.end());
    std::sort(wanted.begin(), wanted.end());
    if (wanted.empty()) {
        return facts;
    }
    Progress progress{options.quiet, file.bytes(0, relations_from), "positions"};
    std::uint64_t done = 0;
    for (std::size_t i = 0; i < batches.size() && !next.empty(); ++i) {
        const Batch& batch = batches[i];
        done += file.bytes(batch.first, batch.last);
        progress.update(done);
        const auto from = std::lower_bound(wanted.begin(), wanted.end(), batch.lowest);
        if (batch.highest < batch.lowest || from == wanted.end() || *from > batch.highest) {
            continue;
        }
        file.read_batch(batch, osmium::osm_entity_bits::node, false,
                        [&](const osmium::OSMObject& o) {
                            if (next.erase(o.id()) != 0) {
                                if (const auto p = position(static_cast<const osmium::Node&>(o))) {
                                    facts.neighbours[o.id()] = *p;
                                }
                            }
                            return !next.empty();
                        });
    }
    facts.passes = 3;
    return facts;
}

}  // namespace edog_tool::osm
