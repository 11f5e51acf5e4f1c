// The zones of a data file as a reader keeps them: the zones file read
// (edog/datafile/zone_file.h) and each zone's cameras checked against the
// data file's records. Used by the database handle and by edog-tool.
#ifndef EDOG_SEARCH_ZONES_LOAD_H
#define EDOG_SEARCH_ZONES_LOAD_H

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "edog/e_dog_source_date.h"
#include "edog/e_dog_zones.h"

namespace e_dog {

struct ZonesLoaded {
    int state = EDOG_ZONES_NONE;  // EDOG_ZONES_NONE, _LOADED, _STALE or _DAMAGED
    std::string why;              // for _STALE and _DAMAGED
    std::vector<EDOG_ZONE> zones;
};

// The zones of the data file `data_path` of `data_file_bytes` bytes;
// `record_at(i, out)` reads record i of the data file (false when it
// cannot). Zones whose cameras are not the records named make the whole
// file stale.
ZonesLoaded load_zones(const std::string& data_path, std::uint64_t data_file_bytes,
                       const std::function<bool(std::uint32_t, E_DOG_DATA&)>& record_at);

}  // namespace e_dog

#endif  // EDOG_SEARCH_ZONES_LOAD_H
