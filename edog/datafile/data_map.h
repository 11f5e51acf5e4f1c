// A read-only memory map of the open data file, owned: unmapped when its owner
// goes. Records are read from the map, or with pread where the file could not
// be mapped. The map sees the file that was opened even if another is renamed
// over it, and survives the file being cut short under it by another program
// (cut_short() tells, remap() recovers). See doc/data-file-format.md.
#ifndef EDOG_DATA_MAP_H
#define EDOG_DATA_MAP_H

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "edog/datafile/data_file_layout.h"
#include "edog/datafile/e_dog_record.h"
#include "edog/e_dog_source_date.h"

namespace e_dog {

class DataMap {
public:
    DataMap() = default;
    ~DataMap();
    DataMap(const DataMap&) = delete;
    DataMap& operator=(const DataMap&) = delete;
    DataMap(DataMap&& other) noexcept = delete;
    DataMap& operator=(DataMap&& other) noexcept = delete;

    [[nodiscard]] std::uint32_t records() const { return records_; }
    [[nodiscard]] bool mapped() const { return bytes_ != nullptr; }

    // Record `i` (below records()); an unreadable one reads as all zeros,
    // which no search takes.
    [[nodiscard]] E_DOG_DATA record(std::uint32_t i) const;
    // The fields a distance search needs of record `i`.
    [[nodiscard]] Spot spot(std::uint32_t i) const {
        if (bytes_ != nullptr) {
            return decode_spot(at(i));
        }
        const E_DOG_DATA rec = record(i);
        return {rec.Gps_lat, rec.Gps_lng, rec.DirType};
    }
    // Asks for record `i` to be brought into the cache (mapped files only).
    void prefetch(std::uint32_t i) const {
        if (bytes_ != nullptr) {
            const unsigned char* rec = at(i);
            __builtin_prefetch(rec);
            __builtin_prefetch(rec + kRecordSize - 1);
        }
    }

    // True when a read of the map went past the end of the file since the
    // last remap(): the file was cut short, the read saw zeros, and nothing
    // read from the map since then may be trusted.
    [[nodiscard]] bool cut_short() const { return cut_short_.load(std::memory_order_acquire); }

    // Marks the map cut short: a record read from it was found cut.
    void mark_cut_short() { cut_short_.store(true, std::memory_order_release); }

    // Maps the first `records` whole records of the file open on `fd`; the
    // descriptor stays the caller's and must stay open until reset().
    void attach(int fd, std::uint32_t records);
    // Maps the file anew as it is now: its whole records, never more than
    // before.
    void remap();
    // Unmaps; the map is empty afterwards.
    void reset();

private:
    void map(std::uint32_t records);
    [[nodiscard]] const unsigned char* at(std::uint32_t i) const {
        return bytes_ + DataFileLayout::offset_in_memory(i);
    }

    int fd_ = -1;
    const unsigned char* bytes_ = nullptr;
    std::size_t length_ = 0;
    std::uint32_t records_ = 0;
    // Set by the fault handler, which finds this map through a registry.
    std::atomic<bool> cut_short_{false};
};

}  // namespace e_dog

#endif  // EDOG_DATA_MAP_H
