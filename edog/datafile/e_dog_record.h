// The one place where a camera record is turned into the data file's 56 bytes
// and back. The file is little-endian with fixed offsets whatever the host;
// its format is written up in doc/data-file-format.md.
#ifndef EDOG_E_DOG_RECORD_H
#define EDOG_E_DOG_RECORD_H

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "edog/e_dog_source_date.h"

namespace e_dog {

inline constexpr std::size_t kRecordSize = 56;
using RecordBytes = std::array<unsigned char, kRecordSize>;

// Byte offsets of the fields in a record of the data file.
inline constexpr std::size_t kOffIdex = 0;
inline constexpr std::size_t kOffDirection = 4;
inline constexpr std::size_t kOffType = 8;
inline constexpr std::size_t kOffDirType = 12;
inline constexpr std::size_t kOffSpeed = 16;
inline constexpr std::size_t kOffLat = 24;
inline constexpr std::size_t kOffLng = 32;
inline constexpr std::size_t kOffCode = 40;
inline constexpr std::size_t kCodeBytes = 12;

// Geohash precision of every stored code.
inline constexpr int kCodePrecision = 10;

// Padding bytes (20-23, 52-55) are written as zeros so that the same list
// always gives the same file.
RecordBytes encode_record(const E_DOG_DATA& rec);

// Reads the 56 bytes at `bytes` as they stand; padding is ignored. The code is
// copied as its 12 bytes, terminated or not.
E_DOG_DATA decode_record(const unsigned char* bytes);

// The fields a distance search needs, read from the 56 bytes at `bytes`.
struct Spot {
    double lat;
    double lng;
    s32 dirtype;
};
Spot decode_spot(const unsigned char* bytes);

// Reads the next whole record from `f` into `rec`. A read of fewer than 56
// bytes counts as the end of the file: false, `rec` unchanged.
bool read_record(std::FILE* f, E_DOG_DATA& rec);

// Reads record `index` of the file open on `fd` with pread (the descriptor's
// offset is left alone): false, `rec` unchanged, when it cannot be read whole.
bool read_record_at(int fd, std::uint64_t index, E_DOG_DATA& rec);

// Positions `f` at record `index` (byte 56 * index); false on failure.
bool seek_record(std::FILE* f, long index);

// The code of `rec` as a terminated string, whatever its 12 bytes hold.
struct CodeText {
    char text[kCodeBytes + 1];
};
CodeText code_text(const E_DOG_DATA& rec);

// Orders two stored codes as strcmp does, never reading past their 12 bytes.
int compare_codes(const char* a, const char* b);

}  // namespace e_dog

#endif  // EDOG_E_DOG_RECORD_H
