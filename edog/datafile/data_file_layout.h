// The shape of a data file: where its records lie and how many whole records
// a file of a given size holds. Every reader and writer asks here, so that a
// header or a format version, when the file gets one, is added in one place.
// The format: doc/data-file-format.md.
#ifndef EDOG_DATAFILE_DATA_FILE_LAYOUT_H
#define EDOG_DATAFILE_DATA_FILE_LAYOUT_H

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <limits>

#include "edog/datafile/e_dog_record.h"

namespace e_dog {

struct DataFileLayout {
    static constexpr std::uint64_t kRecordBytes = kRecordSize;
    // Record numbers are signed 32-bit throughout the module: a file with
    // more whole records is refused.
    static constexpr std::uint64_t kMaxRecords = std::numeric_limits<std::int32_t>::max();

    // Whole records in `size` bytes of a file (a file size, or the size of
    // its bytes in memory), in the same type.
    template <std::unsigned_integral Size>
    static constexpr Size records(Size size) {
        return size / Size{kRecordBytes};
    }
    // Bytes behind the last whole record.
    template <std::unsigned_integral Size>
    static constexpr Size trailing(Size size) {
        return size % Size{kRecordBytes};
    }
    // Where record `index` starts in the file.
    static constexpr std::uint64_t offset(std::uint64_t index) { return index * kRecordBytes; }
    // Where record `index` starts in the file's bytes in memory (a map or a
    // buffer, which never exceeds the address space).
    static constexpr std::size_t offset_in_memory(std::size_t index) {
        return index * std::size_t{kRecordBytes};
    }
    // Bytes of a file of `records` records.
    static constexpr std::uint64_t bytes(std::uint64_t records) { return offset(records); }
};

static_assert(DataFileLayout::records(DataFileLayout::bytes(3) + 55) == 3);
static_assert(DataFileLayout::offset_in_memory(2) == DataFileLayout::offset(2));
static_assert(DataFileLayout::offset(1) == 56 && DataFileLayout::trailing(57U) == 1);

}  // namespace e_dog

#endif  // EDOG_DATAFILE_DATA_FILE_LAYOUT_H
