// The open data file in memory: one read-only map per open file (FileMap),
// the size of the file as opened, kept at one address for the life of the
// handle, and windows onto it (DataMap) of the records a view of the file
// searches. Records are read from the map, or with pread where the file
// could not be mapped. The map sees the file that was opened even if another
// is renamed over it.
//
// Another program may cut the file short under the map, or copy another
// file over it; a page may be unreadable (a bad flash block). A read of such
// a page would raise SIGBUS: the fault guard puts a page of zeros in its
// place, the read goes on and sees zeros, and the map counts the fault, so
// that a search can tell that it may have read zeros: the count changed
// while it ran. refresh() maps the file again over the same addresses: the
// pages the file has are read from it again. See doc/data-file-format.md.
#ifndef EDOG_DATA_MAP_H
#define EDOG_DATA_MAP_H

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "edog/datafile/data_file_layout.h"
#include "edog/datafile/e_dog_record.h"
#include "edog/e_dog_source_date.h"

namespace e_dog {

// What tells one state of a file from another: its size and the time of its
// last change.
struct FileVersion {
    std::int64_t size = -1;
    std::int64_t changed_ns = 0;
    friend bool operator==(const FileVersion&, const FileVersion&) = default;
};
// The version of the file open on `fd`; size -1 when it cannot be told.
FileVersion file_version(int fd);

class FileMap {
public:
    FileMap() = default;
    ~FileMap();
    FileMap(const FileMap&) = delete;
    FileMap& operator=(const FileMap&) = delete;
    FileMap(FileMap&&) = delete;
    FileMap& operator=(FileMap&&) = delete;

    // Maps the first `records` records of the file open on `fd` (the
    // descriptor stays the caller's and must stay open until reset()). Where
    // the file cannot be mapped, or every guarded slot is taken, records are
    // read with pread.
    void attach(int fd, std::uint32_t records);
    // Unmaps; nothing is attached afterwards.
    void reset();
    // Maps the file again over the same addresses, as it is now. Reads in
    // other threads go on: they see the file's pages, or zeros where it has
    // none. Not from two threads at once.
    void refresh();
    // No page of zeros was put in since the last refresh (or attach).
    [[nodiscard]] bool clean() const {
        return faults_.load(std::memory_order_acquire) == clean_at_.load(std::memory_order_acquire);
    }

    [[nodiscard]] int fd() const { return fd_; }
    [[nodiscard]] std::uint32_t records() const { return records_; }
    [[nodiscard]] const unsigned char* bytes() const { return bytes_; }
    // Pages of this map the fault guard has put zeros in, since attach.
    [[nodiscard]] std::uint64_t faults() const { return faults_.load(std::memory_order_acquire); }
    // Counts records a read with pread found the file no longer has, as a
    // fault: a search that read them runs again, as after a fault of the map.
    void note_lost_records() const { faults_.fetch_add(1, std::memory_order_acq_rel); }

private:
    int fd_ = -1;
    const unsigned char* bytes_ = nullptr;
    std::size_t length_ = 0;
    std::uint32_t records_ = 0;
    // Counted by the fault handler, which finds this map through a registry,
    // and by reads that come up short.
    mutable std::atomic<std::uint64_t> faults_{0};
    std::atomic<std::uint64_t> clean_at_{0};  // faults_ when last refreshed
};

// A window onto a file's map: its first records(), as one view of the file
// searches them.
class DataMap {
public:
    DataMap() = default;
    DataMap(const DataMap&) = delete;
    DataMap& operator=(const DataMap&) = delete;
    DataMap(DataMap&&) = delete;
    DataMap& operator=(DataMap&&) = delete;

    // The first `records` (at most file.records()) of `file`, which must
    // outlive the window.
    void attach(const FileMap& file, std::uint32_t records);

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
    // Records [first, first + count) into `out` (56 bytes each), read from
    // the file with pread: a large run costs far less so than through the
    // map, whose every page would have to be mapped in. Bytes the file no
    // longer has read as zeros and count as a fault of the map, as they
    // would through it (without a signal for each page).
    void read_records(std::uint32_t first, std::uint32_t count, unsigned char* out) const;
    // Calls visit(i, bytes) for records [first, last) in order, read with
    // read_records in runs of kRunRecords (112 KB, a buffer that stays in
    // the core's cache); a visit that answers false ends the reading, and
    // so does the result.
    template <typename Visit>
    bool read_in_runs(std::uint32_t first, std::uint32_t last, Visit&& visit) const {
        const auto buffer = std::make_unique<unsigned char[]>(kRunRecords * kRecordSize);
        for (std::uint32_t run = first; run < last; run += kRunRecords) {
            const std::uint32_t count = last - run < kRunRecords ? last - run : kRunRecords;
            read_records(run, count, buffer.get());
            for (std::uint32_t k = 0; k < count; ++k) {
                if (!visit(run + k, buffer.get() + std::size_t{k} * kRecordSize)) {
                    return false;
                }
            }
        }
        return true;
    }
    static constexpr std::uint32_t kRunRecords = 2048;
    // Asks for record `i` to be brought into the cache (mapped files only).
    void prefetch(std::uint32_t i) const {
        if (bytes_ != nullptr) {
            const unsigned char* rec = at(i);
            __builtin_prefetch(rec);
            __builtin_prefetch(rec + kRecordSize - 1);
        }
    }

private:
    [[nodiscard]] const unsigned char* at(std::uint32_t i) const {
        return bytes_ + DataFileLayout::offset_in_memory(i);
    }

    const FileMap* file_ = nullptr;
    const unsigned char* bytes_ = nullptr;
    int fd_ = -1;
    std::uint32_t records_ = 0;
};

}  // namespace e_dog

#endif  // EDOG_DATA_MAP_H
