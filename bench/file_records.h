// The records of a data file through a plain read-only map, as a peer that
// answers with a record number would read the record its caller wants: the
// nearest search answers with the whole record, read from its own map of
// the same file, and a peer is timed doing the same.
#ifndef BENCH_FILE_RECORDS_H
#define BENCH_FILE_RECORDS_H

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>

#include "edog/datafile/data_file_layout.h"
#include "edog/datafile/e_dog_record.h"
#include "edog/e_dog_source_date.h"

namespace bench {

class FileRecords {
public:
    // Maps `path`; empty (every read a zero record) when it cannot.
    explicit FileRecords(const char* path) {
        const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
        struct stat st {};
        if (fd >= 0 && ::fstat(fd, &st) == 0 && st.st_size > 0) {
            void* p =
                ::mmap(nullptr, static_cast<std::size_t>(st.st_size), PROT_READ, MAP_SHARED, fd, 0);
            if (p != MAP_FAILED) {
                bytes_ = static_cast<const unsigned char*>(p);
                length_ = static_cast<std::size_t>(st.st_size);
            }
        }
        if (fd >= 0) {
            ::close(fd);
        }
    }
    ~FileRecords() {
        if (bytes_ != nullptr) {
            ::munmap(const_cast<unsigned char*>(bytes_), length_);  // NOLINT(*-const-cast)
        }
    }
    FileRecords(const FileRecords&) = delete;
    FileRecords& operator=(const FileRecords&) = delete;
    FileRecords(FileRecords&&) = delete;
    FileRecords& operator=(FileRecords&&) = delete;

    // Record `i` of the file (a zero record past its end).
    [[nodiscard]] E_DOG_DATA record(long i) const {
        if (i < 0 || static_cast<std::size_t>(i) >= e_dog::DataFileLayout::records(length_)) {
            return E_DOG_DATA{};
        }
        const std::size_t at = e_dog::DataFileLayout::offset_in_memory(static_cast<std::size_t>(i));
        return e_dog::decode_record(bytes_ + at);
    }

private:
    const unsigned char* bytes_ = nullptr;
    std::size_t length_ = 0;
};

}  // namespace bench

#endif  // BENCH_FILE_RECORDS_H
