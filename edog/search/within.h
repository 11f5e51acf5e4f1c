// The radius search for callers inside the library: every camera within a
// radius, however many, of the DirTypes asked for, nearest first. The public
// e_dog_db_within (edog/e_dog_db.h) is this search with every DirType and a
// caller's array. The warner asks for the cameras it may warn about only, so
// that no other camera takes their place. See doc/nearest-search.md.
#ifndef EDOG_SEARCH_WITHIN_H
#define EDOG_SEARCH_WITHIN_H

#include <cstdint>
#include <vector>

#include "edog/e_dog_db.h"
#include "edog/e_dog_source_date.h"

namespace e_dog {

// The DirTypes a radius search takes: any, or those whose bit is set.
struct DirTypes {
    bool any = true;
    std::uint32_t bits = 0;  // bit d: DirType d, 0 to 31

    [[nodiscard]] constexpr bool takes(std::int32_t dirtype) const {
        return any || (dirtype >= 0 && dirtype < 32 &&
                       (bits >> static_cast<std::uint32_t>(dirtype) & 1U) != 0);
    }
};

// Every record of `db` strictly within `radius_m` of (lat, lng) whose DirType
// `types` takes, nearest first (ties: by record number), into `out`
// (emptied first). False, and `out` empty, for a null handle, a question no
// search takes, or a file that cannot be read where the search must look.
bool within_all(E_DOG_DB* db, double lat, double lng, double radius_m, DirTypes types,
                std::vector<E_DOG_HIT>& out);

}  // namespace e_dog

#endif  // EDOG_SEARCH_WITHIN_H
