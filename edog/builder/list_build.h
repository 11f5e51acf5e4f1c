// The pieces of the database build that every builder shares: the camera
// list's line scanner and reader, the code of a camera, and the writer of a
// data file. The module's own build and the command-line tool both go
// through them, so that the same list gives the same file.
#ifndef EDOG_LIST_BUILD_H
#define EDOG_LIST_BUILD_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "edog/e_dog_source_date.h"
#include <string.h>  // memrchr

namespace e_dog {

// Node pool capacity of one build: the list head plus the cameras.
inline constexpr std::uint32_t kPoolNodes = 9216000;
inline constexpr std::uint32_t kMaxCameras = kPoolNodes - 1;

// Size of the import's line buffer; a line is read in pieces of at most
// kLineBytes - 2 bytes.
inline constexpr std::size_t kLineBytes = 513;

// The module's whole build (e_dog_updata_tsk) with a node pool of
// `pool_nodes` nodes (head included).
int build_data_file(std::uint32_t pool_nodes);

// Applies one line of the camera list, as read (`length` bytes, NUL bytes
// included, then a terminating NUL), to `data`: the fields the line supplies
// replace those of the previous line, the position is taken from columns 2
// and 3 (0.0 where missing). A line that starts with a comma supplies nothing
// and `data` is left alone; the result is then true.
bool scan_camera_line(const char* line, std::size_t length, E_DOG_DATA& data);

// e_dog_quick_sort without memory of its own: the nodes are compared where
// they lie. Used when the faster sort cannot have its array.
void sort_nodes_in_place(GPSNode* head, GPSNode* tail);

// How one line of the camera list scanned.
struct LineScan {
    bool supplies_nothing = false;  // starts with a comma: the camera was left alone
    int fields = 0;                 // columns taken, in order, 0 to 7
    bool position_numeric = false;  // columns 2 and 3 were numbers and nothing else
    long long idex = 0;             // column 1 as read, before it is stored in 32 bits
    int unfit_column = 0;  // the first of columns 4-7 whose number lies beyond an int (0: none)
};

// Applies one line of the camera list, as read (`length` bytes, NUL bytes
// included, then a terminating NUL), to `data`: the fields the line supplies
// replace those of the previous line, the position is taken from columns 2
// and 3 (0.0 where missing). A line that starts with a digit is read from
// its start, any other from its fourth byte (room for a byte-order mark).
LineScan scan_camera_fields(const char* line, std::size_t length, E_DOG_DATA& data);

// Sets the code of `data` from its position (10 characters, zero-filled
// behind them); false, and `data` untouched, when the position is out of
// range or not a number. Safe to call from several threads at once.
bool set_code(E_DOG_DATA& data);

enum class ReadResult : std::uint8_t { kOk, kStopped, kReadError };

// Reads the list as the device's build does: pieces of at most 511 bytes
// ending at LF, each applied to the camera before it by scan_camera_fields.
// A piece is a line, or a part of one longer than that. `sink` is told, in
// list order (piece numbers from 1):
//   comma_piece(const char* piece, unsigned long piece_no)
//       a piece that starts with a comma (the camera before it is taken again);
//   bad_position(unsigned long piece_no)
//       a position the codec refuses;
//   bool camera(const E_DOG_DATA& data, unsigned long piece_no)
//       a camera, code set; false stops the reader (no room for it);
//   progress(std::uint64_t bytes)
//       bytes of the list read so far, after every piece.
// A template rather than virtual calls: the build runs where a failed check
// of a dynamic type could not even be reported (no file descriptor left).
template <typename Sink>
ReadResult read_camera_list(std::FILE* list, Sink& sink) {
    constexpr int kFill = 0x7f;  // fills the buffer before a read; any byte but NUL
    E_DOG_DATA data{};
    char buf[kLineBytes] = {};
    unsigned long piece_no = 0;
    std::uint64_t bytes = 0;
    // The buffer is filled with a byte other than NUL before every read, so
    // that the last NUL in it is the one fgets wrote: the piece's length
    // counts any NUL bytes the piece itself holds.
    constexpr int kReadBytes = static_cast<int>(sizeof buf) - 1;
    std::memset(buf, kFill, sizeof buf - 1);
    while (std::fgets(buf, kReadBytes, list) != nullptr) {
        ++piece_no;
        const auto* end = static_cast<const char*>(::memrchr(buf, '\0', sizeof buf - 1));
        const auto length = static_cast<std::size_t>(end - buf);
        bytes += length;
        if (scan_camera_fields(buf, length, data).supplies_nothing) {
            sink.comma_piece(buf, piece_no);
        }
        if (!set_code(data)) {
            sink.bad_position(piece_no);
        } else if (!sink.camera(data, piece_no)) {
            return ReadResult::kStopped;
        }
        sink.progress(bytes);
        std::memset(buf, kFill, sizeof buf - 1);
    }
    return std::ferror(list) != 0 ? ReadResult::kReadError : ReadResult::kOk;
}

enum class WriteResult : std::uint8_t { kOk, kOpenFailed, kWriteFailed };

// Writes the records of the nodes from `first` on, in list order, as the
// data file `path`, whole or not at all (see edog/datafile/atomic_file.h); `count`
// gets the number of records.
WriteResult write_records(const GPSNode* first, const char* path, std::uint64_t& count);

}  // namespace e_dog

#endif  // EDOG_LIST_BUILD_H
