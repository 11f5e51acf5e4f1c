// Records read in batches. See tool/record_reader.h.
#include "tool/record_reader.h"

namespace edog_tool {

RecordReader::RecordReader(const std::string& path)
    : in_(open_input(path)), batch_(kBatchRecords * e_dog::kRecordSize) {}

const unsigned char* RecordReader::next() {
    if (next_ >= records()) {
        return nullptr;
    }
    if (next_ >= batch_first_ + batch_records_) {
        const std::uint64_t left = records() - next_;
        const std::size_t n = left < kBatchRecords ? in_memory(left) : kBatchRecords;
        const std::size_t bytes = n * e_dog::kRecordSize;
        if (read_at(in_, batch_.data(), bytes, e_dog::DataFileLayout::offset(next_)) != bytes) {
            throw Failure(in_.path, "cut short while it was read");
        }
        batch_first_ = next_;
        batch_records_ = n;
    }
    const std::size_t k = in_memory(next_ - batch_first_);
    ++next_;
    return batch_.data() + k * e_dog::kRecordSize;
}

void RecordReader::rewind() {
    next_ = 0;
}

E_DOG_DATA RecordReader::at(std::uint64_t i) const {
    unsigned char bytes[e_dog::kRecordSize];
    if (i >= records() ||
        read_at(in_, bytes, sizeof bytes, e_dog::DataFileLayout::offset(i)) != sizeof bytes) {
        throw Failure(in_.path, "cut short while it was read");
    }
    return e_dog::decode_record(bytes);
}

e_dog::ZonesLoaded zones_of(const RecordReader& f) {
    return e_dog::load_zones(f.path(), f.size(), [&f](std::uint32_t i, E_DOG_DATA& out) {
        if (i >= f.records()) {
            return false;
        }
        out = f.at(i);
        return true;
    });
}

}  // namespace edog_tool
