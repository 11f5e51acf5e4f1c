// How every reader of the module opens a file: read-only, without blocking,
// regular files only, and owned (closed when its owner goes).
#ifndef EDOG_DATAFILE_OPEN_FILE_H
#define EDOG_DATAFILE_OPEN_FILE_H

#include <cstdint>
#include <cstdio>
#include <memory>

namespace e_dog {

// Owning handle of a C stream; closes it when it goes out of scope.
struct FileCloser {
    void operator()(std::FILE* f) const noexcept {
        if (f != nullptr) {
            (void)std::fclose(f);
        }
    }
};
using UniqueFile = std::unique_ptr<std::FILE, FileCloser>;

// Owning file descriptor; closes it when it goes out of scope.
class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    ~UniqueFd();
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    UniqueFd(UniqueFd&& other) noexcept : fd_(other.release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept;

    [[nodiscard]] int get() const { return fd_; }
    [[nodiscard]] explicit operator bool() const { return fd_ >= 0; }
    int release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }

private:
    int fd_ = -1;
};

// Opens `name` read-only, without blocking (a FIFO never waits for a writer),
// and only when it is a regular file; an empty handle otherwise, with errno
// telling why (EINVAL for something that is not a regular file).
UniqueFd open_regular_fd(const char* name);

// The same as a stream.
UniqueFile open_regular_file(const char* name);

// Whole records of the file open on `fd` as it is now; 0 when it cannot be
// told.
std::uint64_t whole_records(int fd);

// Opens the module's data file (e_dog_datafile) as open_regular_file does,
// for one of the module's readers; when it cannot, or the file holds more
// records than e_dog_init takes, prints the readers' open-failure line and
// returns an empty handle.
UniqueFile open_data_file();

}  // namespace e_dog

#endif  // EDOG_DATAFILE_OPEN_FILE_H
