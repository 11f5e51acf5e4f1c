// The pieces of the database build that every builder shares: the camera
// list's line scanner and reader, the code of a camera, and the writer of a
// data file. The module's own build and the command-line tool both go
// through them, so that the same list gives the same file.
#ifndef EDOG_LIST_BUILD_H
#define EDOG_LIST_BUILD_H

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "edog/e_dog_source_date.h"

namespace e_dog {

// How one line of the camera list scanned.
struct LineScan {
    bool supplies_nothing = false;  // starts with a comma: the camera was left alone
    int fields = 0;                 // columns taken, in order, 0 to 7
    bool position_numeric = false;  // columns 2 and 3 were numbers and nothing else
    long idex = 0;                  // column 1 as read, before it is stored in 32 bits
};

// Applies one line of the camera list, as read (`length` bytes, NUL bytes
// included, then a terminating NUL), to `data`: the fields the line supplies
// replace those of the previous line, the position is taken from columns 2
// and 3 (0.0 where missing). A line that starts with a digit is read from
// its start, any other from its fourth byte (room for a byte-order mark).
LineScan scan_camera_fields(const char* line, std::size_t length, E_DOG_DATA& data);

// Sets the code of `data` from its position (10 characters, zero-filled
// behind them); false, and `data` untouched, when the position is out of
// range or not a number.
bool set_code(E_DOG_DATA& data);

// What the list reader finds, in list order. A piece is a line, or a part of
// one longer than the reader's buffer.
class ListSink {
public:
    ListSink() = default;
    virtual ~ListSink() = default;
    ListSink(const ListSink&) = delete;
    ListSink& operator=(const ListSink&) = delete;
    ListSink(ListSink&&) = delete;
    ListSink& operator=(ListSink&&) = delete;

    // A piece that starts with a comma (the camera before it is taken again).
    virtual void comma_piece(const char* piece, unsigned long piece_no) = 0;
    // Piece `piece_no` (from 1) gave a position the codec refuses.
    virtual void bad_position(unsigned long piece_no) = 0;
    // A camera, code set; false stops the reader (no room for it).
    virtual bool camera(const E_DOG_DATA& data, unsigned long piece_no) = 0;
    // Bytes of the list read so far, after every piece.
    virtual void progress(std::uint64_t /*bytes*/) {}
};

enum class ReadResult : std::uint8_t { kOk, kStopped, kReadError };

// Reads the list as the device's build does: pieces of at most 511 bytes
// ending at LF, each applied to the camera before it by scan_camera_fields.
ReadResult read_camera_list(std::FILE* list, ListSink& sink);

enum class WriteResult : std::uint8_t { kOk, kOpenFailed, kWriteFailed };

// Writes the records of the nodes from `first` on, in list order, as the
// data file `path`, whole or not at all (see edog/atomic_file.h); `count`
// gets the number of records.
WriteResult write_records(const GPSNode* first, const char* path, std::uint64_t& count);

}  // namespace e_dog

#endif  // EDOG_LIST_BUILD_H
