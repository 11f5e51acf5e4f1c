// A PBF file sorted by type and id (as extracts are: nodes, then ways, then
// relations, each by id) read block by block, so that each pass reads only
// the blocks it needs (see doc/osm-import.md, "Passes and memory"):
//   1. the relation blocks, found by bisection over the blocks: enforcement
//      relations, and so every node they name;
//   2. the node and way blocks: camera nodes and the nodes the relations
//      name, the roads through them; the id range of each batch of blocks
//      is kept;
//   3. only the batches of node blocks whose id range holds a position still
//      missing: the neighbours of the cameras on their roads.
#ifndef TOOL_OSM_PBF_H
#define TOOL_OSM_PBF_H

#include <optional>

#include "tool/osm_facts.h"
#include "tool/tool.h"

namespace edog_tool::osm {

// The facts of `in`, when it is such a PBF file; none when it is not (not
// PBF, not sorted, or its blocks out of order), and the general passes of
// tool/osm_reader.h read it instead. Damage inside a block fails as
// libosmium reports it.
std::optional<Facts> read_sorted_pbf(const InputFile& in, const ReadOptions& options);

}  // namespace edog_tool::osm

#endif  // TOOL_OSM_PBF_H
