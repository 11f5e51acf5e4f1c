// Reading an OpenStreetMap file (XML, plain or gzip or bzip2 compressed, or
// PBF) for `edog-tool import-osm`, with libosmium. The file is read in up
// to three passes, each keeping only what the cameras need, so that memory
// grows with the cameras and relations, not with the file (see
// doc/osm-import.md):
//   1. every object: camera nodes, the roads through them, enforcement
//      relations;
//   2. nodes and ways, when needed: relation members that are not tagged as
//      cameras, the roads through those, and the positions of the nodes next
//      to the cameras on their roads;
//   3. nodes, when needed: the positions next to the members found in 2.
// A pass over nodes alone ends as soon as it has what it looks for, or, in
// a file sorted by type and id, once past the highest id it looks for.
#ifndef TOOL_OSM_READER_H
#define TOOL_OSM_READER_H

#include <optional>
#include <string>

#include "tool/osm_facts.h"
#include "tool/tool.h"

namespace edog_tool::osm {

// The format to read `in` as, from its first bytes whatever its name:
// "pbf", "osm" (XML), "osm.gz" or "osm.bz2"; none when it is neither.
std::optional<std::string> osm_format(const InputFile& in);

// What `in` holds for the import. Fails ("PATH: ...") when the file is
// damaged or cut short.
Facts read_osm(const InputFile& in, const std::string& format, const ReadOptions& options);

}  // namespace edog_tool::osm

#endif  // TOOL_OSM_READER_H
