// A read-only memory map of the open data file, owned: unmapped when its owner
// goes. Records are read from the map, or with pread where the file could not
// be mapped. The map sees the file that was opened even if another is renamed
// over it. Reads of the map run inside guarded(), which survives the file
// being shrunk under the map by another program. See doc/data-file-format.md.
#ifndef EDOG_DATA_MAP_H
#define EDOG_DATA_MAP_H

#include <csetjmp>
#include <cstddef>
#include <cstdint>

#include "edog/e_dog_record.h"
#include "edog/e_dog_source_date.h"

namespace e_dog {

// A guarded stretch of map reads on this thread: where a read of [lo, lo+len)
// faults, control returns to `env`.
struct MapGuard {
    sigjmp_buf env;
    const unsigned char* lo;
    std::size_t len;
    MapGuard* outer;
};
// The innermost guard of this thread, or null.
extern thread_local MapGuard* t_map_guard;
// Installs, once per process, the SIGBUS handler that returns a faulting read
// of a guarded map to its guard. Every other SIGBUS goes to the handler that
// was there before (or ends the process as it would have).
void install_map_guard();

class DataMap {
public:
    DataMap() = default;
    // Maps the first `records` whole records of the file open on `fd`; the
    // descriptor stays the caller's and must stay open while this lives.
    DataMap(int fd, std::uint32_t records);
    ~DataMap();
    DataMap(const DataMap&) = delete;
    DataMap& operator=(const DataMap&) = delete;
    DataMap(DataMap&& other) noexcept;
    DataMap& operator=(DataMap&& other) noexcept;

    [[nodiscard]] std::uint32_t records() const { return records_; }
    [[nodiscard]] bool mapped() const { return bytes_ != nullptr; }

    // Record `i` (below records()); an unreadable one reads as all zeros,
    // which no search takes.
    [[nodiscard]] E_DOG_DATA record(std::uint32_t i) const;
    // The fields a distance search needs of record `i`.
    [[nodiscard]] Spot spot(std::uint32_t i) const {
        if (bytes_ != nullptr) {
            return decode_spot(bytes_ + std::size_t{i} * kRecordSize);
        }
        const E_DOG_DATA rec = record(i);
        return {rec.Gps_lat, rec.Gps_lng, rec.DirType};
    }
    // Asks for record `i` to be brought into the cache (mapped files only).
    void prefetch(std::uint32_t i) const {
        if (bytes_ != nullptr) {
            const unsigned char* rec = bytes_ + std::size_t{i} * kRecordSize;
            __builtin_prefetch(rec);
            __builtin_prefetch(rec + kRecordSize - 1);
        }
    }

    // Runs `body`, which reads records of this map, and answers true; or
    // false when a read faulted because the file has shrunk under the map, in
    // which case `body` was cut short where it read (so every object that
    // lives in it from the read up to here must be trivially destructible),
    // and nothing it did may be trusted.
    template <typename Body>
    bool guarded(Body&& body) const {
        MapGuard guard{};
        guard.lo = bytes_;
        guard.len = length_;
        guard.outer = t_map_guard;
        // The signal mask is not saved: the handler leaves SIGBUS unblocked.
        if (sigsetjmp(guard.env, 0) != 0) {
            t_map_guard = guard.outer;
            return false;
        }
        t_map_guard = &guard;
        body();
        t_map_guard = guard.outer;
        return true;
    }

    // After a guarded read failed: from now on only the records that are
    // whole in the file as it is now are read (never more than before).
    void shrink_to_file();

private:
    void release() noexcept;

    int fd_ = -1;
    const unsigned char* bytes_ = nullptr;
    std::size_t length_ = 0;
    std::uint32_t records_ = 0;
};

}  // namespace e_dog

#endif  // EDOG_DATA_MAP_H
