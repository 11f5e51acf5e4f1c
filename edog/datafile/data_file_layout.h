// The shape of a data file: where its records lie and how many whole records
// a file of a given size holds. Every reader and writer asks here, so that a
// header or a format version, when the file gets one, is added in one place.
// The format: doc/data-file-format.md.
#ifndef EDOG_DATAFILE_DATA_FILE_LAYOUT_H
#define EDOG_DATAFILE_DATA_FILE_LAYOUT_H

#include <cstdint>
#include <limits>

#include "edog/datafile/e_dog_record.h"

namespace e_dog {

struct DataFileLayout {
    static constexpr std::uint64_t kRecordBytes = kRecordSize;
    // Record numbers are signed 32-bit throughout the module: a file with
    // more whole records is refused.
    static constexpr std::uint64_t kMaxRecords = std::numeric_limits<std::int32_t>::max();

    // Whole records in a file of `file_bytes` bytes.
    static constexpr std::uint64_t records(std::uint64_t file_bytes) {
        return file_bytes / kRecordBytes;
    }
    // Bytes behind the last whole record.
    static constexpr std::uint64_t trailing(std::uint64_t file_bytes) {
        return file_bytes % kRecordBytes;
    }
    // Where record `index` starts.
    static constexpr std::uint64_t offset(std::uint64_t index) { return index * kRecordBytes; }
    // Bytes of a file of `records` records.
    static constexpr std::uint64_t bytes(std::uint64_t records) { return offset(records); }
};

static_assert(DataFileLayout::records(DataFileLayout::bytes(3) + 55) == 3);
static_assert(DataFileLayout::offset(1) == 56 && DataFileLayout::trailing(57) == 1);

}  // namespace e_dog

#endif  // EDOG_DATAFILE_DATA_FILE_LAYOUT_H
