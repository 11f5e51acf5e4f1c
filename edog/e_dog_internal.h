// Private state of the camera module, for the module's own files, the driver
// and the tests.
#ifndef EDOG_E_DOG_INTERNAL_H
#define EDOG_E_DOG_INTERNAL_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>

#include "edog/e_dog_source_date.h"

extern UINT8 e_dog_run_flag;            // 1 while open for lookup with a record
extern std::FILE* fp_e_dog;             // the data file opened for lookup
extern std::uint32_t e_dog_list_size;   // number of camera records
extern GPSNode* edog_heap_buffer_addr;  // the build's node pool, null outside a build
extern LinkQueue q_header;              // the prefix index

namespace e_dog {

// Owning handle of a C stream; closes it when it goes out of scope.
struct FileCloser {
    void operator()(std::FILE* f) const noexcept {
        if (f != nullptr) {
            (void)std::fclose(f);
        }
    }
};
using UniqueFile = std::unique_ptr<std::FILE, FileCloser>;

// Node pool capacity of one build: the list head plus the cameras.
inline constexpr std::uint32_t kPoolNodes = 9216000;
inline constexpr std::uint32_t kMaxCameras = kPoolNodes - 1;

// Geohash precision of every stored code.
inline constexpr int kCodePrecision = 10;

// Size of the import's line buffer; a line is read in pieces of at most
// kLineBytes - 2 bytes.
inline constexpr std::size_t kLineBytes = 513;

// Applies one line of the camera list, as read (`length` bytes, NUL bytes
// included, then a terminating NUL), to `data`: the fields the line supplies
// replace those of the previous line, the position is taken from columns 2
// and 3 (0.0 where missing). A line that starts with a comma supplies nothing
// and `data` is left alone; the result is then true.
bool scan_camera_line(const char* line, std::size_t length, E_DOG_DATA& data);

// Orders two stored codes as strcmp does, never reading past their 12 bytes.
int compare_codes(const char* a, const char* b);

// e_dog_quick_sort without memory of its own: the nodes are compared where
// they lie. Used when the faster sort cannot have its array.
void sort_nodes_in_place(GPSNode* head, GPSNode* tail);

// Frees a queue made by LinkQueueInit, its entries and its sentinel, and sets
// `q` to nullptr. The program itself keeps its index to the end; this is for
// callers that build more than one.
void free_queue(LinkQueue& q);

// Opens `name` read-only, without blocking (a FIFO never waits for a writer),
// and only when it is a regular file; an empty handle otherwise.
UniqueFile open_regular_file(const char* name);

// Opens the data file as open_regular_file does, for one of the module's
// readers; when it cannot, prints the readers' open-failure line and returns
// an empty handle.
UniqueFile open_data_file();

// The same, but while the module is open: a stream on the very file the
// lookup stream holds (the same inode), even if another file has been renamed
// over its name since.
UniqueFile open_lookup_file();

// Opens the data file `path` for lookup as e_dog_init opens the module's
// own, without printing: kOpen when the module is (or already was) open.
// A file without a whole record is deleted when `remove_empty` is set.
enum class OpenResult : std::uint8_t { kOpen, kCannotOpen, kTooManyRecords, kNoRecord };
OpenResult open_lookup(const char* path, bool remove_empty);

// The whole build with a node pool of `pool_nodes` nodes (head included).
int build_data_file(std::uint32_t pool_nodes);

}  // namespace e_dog

#endif  // EDOG_E_DOG_INTERNAL_H
