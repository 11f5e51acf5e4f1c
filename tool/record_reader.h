// The records of a data file read in batches: the memory held is one batch
// (kBatchRecords records), whatever the file's size.
#ifndef TOOL_RECORD_READER_H
#define TOOL_RECORD_READER_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "edog/datafile/data_file_layout.h"
#include "edog/datafile/e_dog_record.h"
#include "edog/e_dog_source_date.h"
#include "edog/search/zones_load.h"
#include "tool/tool.h"

namespace edog_tool {

inline constexpr std::size_t kBatchRecords = 4096;

class RecordReader {
public:
    // Opens `path`; fails as open_input() does.
    explicit RecordReader(const std::string& path);

    [[nodiscard]] const InputFile& input() const { return in_; }
    [[nodiscard]] const std::string& path() const { return in_.path; }
    [[nodiscard]] std::uint64_t size() const { return in_.size; }
    // Whole records, and the bytes behind the last one.
    [[nodiscard]] std::uint64_t records() const { return e_dog::DataFileLayout::records(in_.size); }
    [[nodiscard]] std::uint64_t trailing() const {
        return e_dog::DataFileLayout::trailing(in_.size);
    }

    // The bytes of the next record, from the first, valid until the next
    // call; nullptr after the last whole one. Fails when the file is cut
    // short while it is read.
    const unsigned char* next();
    // Number of the record next() handed out last.
    [[nodiscard]] std::uint64_t index() const { return next_ - 1; }
    // Starts again from the first record.
    void rewind();

    // Record `i`, read where it lies.
    [[nodiscard]] E_DOG_DATA at(std::uint64_t i) const;

private:
    InputFile in_;
    std::vector<unsigned char> batch_;
    std::uint64_t batch_first_ = 0;  // record number of batch_[0]
    std::size_t batch_records_ = 0;
    std::uint64_t next_ = 0;  // record number next() hands out next
};

// The zones stored beside the data file `f` (edog/search/zones_load.h),
// checked against its records.
e_dog::ZonesLoaded zones_of(const RecordReader& f);

}  // namespace edog_tool

#endif  // TOOL_RECORD_READER_H
