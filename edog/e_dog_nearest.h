// Module-internal side of the exact nearest-camera search: the module gives it
// the data file when it opens and takes it away when it closes; tests and
// benchmarks read what it holds and how its last search went.
#ifndef EDOG_E_DOG_NEAREST_H
#define EDOG_E_DOG_NEAREST_H

#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace e_dog {

// Gives the search the data file just opened for lookup, with its number of
// whole records; and takes it away again when it is closed.
void nearest_attach(std::FILE* f, std::uint32_t records);
void nearest_detach();

// Bytes of memory the search holds beside the file's map: its key array,
// built on the first search (0 before it or without one).
std::size_t nearest_index_bytes();

// How the last search that reached the file went: whether it used the key
// array (false: it scanned every record) and how many records it measured
// with get_distance, and the record number of the camera it answered (-1 for
// none).
struct NearestTrace {
    bool indexed = false;
    std::uint32_t measured = 0;
    bool from_nearby = false;  // answered from the list kept by an earlier search
    std::int64_t record = -1;
};
// Of the calling thread.
NearestTrace last_nearest_trace();

// How many views of the file (its map and keys) the searches have made since
// it was opened: 1 after the first search, whatever the number of threads
// making it; one more after each time the file was found cut short.
std::size_t nearest_views_made();

}  // namespace e_dog

#endif  // EDOG_E_DOG_NEAREST_H
