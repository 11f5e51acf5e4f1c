// The module's lookup side: its data file opened for lookup (e_dog_init), the
// default database handle the module's searches go through, and the streams
// of the specified readers. The module's own files, the driver and tests.
#ifndef EDOG_LOOKUP_LOOKUP_H
#define EDOG_LOOKUP_LOOKUP_H

#include <cstddef>
#include <cstdint>

#include "edog/datafile/open_file.h"
#include "edog/e_dog_db.h"
#include "edog/e_dog_source_date.h"

namespace e_dog {

// Opens the data file `path` for lookup as e_dog_init opens the module's
// own, without printing: kOpen when the module is (or already was) open.
// A file without a whole record is deleted when `remove_empty` is set.
enum class OpenResult : std::uint8_t { kOpen, kCannotOpen, kTooManyRecords, kNoRecord };
OpenResult open_lookup(const char* path, bool remove_empty);

// The handle the module's searches (e_dog_search_nearest,
// e_dog_search_within) and a warner without sources of its own go through:
// the file e_dog_init opened; nullptr while the module is not open.
E_DOG_DB* default_db();

// While the module is open, a stream on the very file the lookup stream
// holds (the same inode), even if another file has been renamed over its
// name since; otherwise open_data_file().
UniqueFile open_lookup_file();

// Frees a queue made by LinkQueueInit, its entries and its sentinel, and sets
// `q` to nullptr. The program itself keeps its index to the end; this is for
// callers that build more than one.
void free_queue(LinkQueue& q);

// Of the default handle: the bytes of its key array and the views made (see
// edog/search/db.h); 0 while the module is not open.
std::size_t nearest_index_bytes();
std::size_t nearest_views_made();

}  // namespace e_dog

#endif  // EDOG_LOOKUP_LOOKUP_H
