// Inside of the database handle (edog/e_dog_db.h): the descriptor it owns
// and the search state over it. The module's own files, tests and
// benchmarks only.
#ifndef EDOG_SEARCH_DB_H
#define EDOG_SEARCH_DB_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "edog/datafile/open_file.h"
#include "edog/e_dog_db.h"
#include "edog/e_dog_zones.h"
#include "edog/search/search_state.h"

struct E_DOG_DB {
    e_dog::UniqueFd fd;
    e_dog::SearchState state;
    int zones_state = EDOG_ZONES_NONE;
    std::vector<EDOG_ZONE> zones;
    // Indexes into `zones` in the order of their entry cameras' latitudes,
    // for the warner to find the zones it may enter near a position.
    std::vector<std::uint32_t> zones_by_entry_lat;

    E_DOG_DB(e_dog::UniqueFd file, std::uint32_t records) : fd(std::move(file)) {
        state.attach(fd.get(), records);
    }
    ~E_DOG_DB();
    E_DOG_DB(const E_DOG_DB&) = delete;
    E_DOG_DB& operator=(const E_DOG_DB&) = delete;
    E_DOG_DB(E_DOG_DB&&) = delete;
    E_DOG_DB& operator=(E_DOG_DB&&) = delete;
};

namespace e_dog {

// A handle over `fd`, open on a data file of `records` whole records (at
// least one); nullptr when memory runs out. The handle owns the descriptor.
E_DOG_DB* db_adopt(UniqueFd fd, std::uint32_t records);

// Reads the zones file of `data_path` into `db`: its zones when each one's
// cameras are records of the file (zones_state tells what became of it).
void db_load_zones(E_DOG_DB& db, const std::string& data_path);

// Bytes the handle's searches hold beside the file's map: the key array,
// built on the first search (0 before it or without one).
std::size_t db_index_bytes(const E_DOG_DB& db);

// Views of the file (map and keys) made since the handle opened: 1 after the
// first search, whatever the number of threads making it; one more after
// each time the file was found cut short.
std::size_t db_views_made(const E_DOG_DB& db);
// Views the handle holds: the current one and those replaced while a search
// could still read them.
std::size_t db_views_held(const E_DOG_DB& db);

}  // namespace e_dog

#endif  // EDOG_SEARCH_DB_H
