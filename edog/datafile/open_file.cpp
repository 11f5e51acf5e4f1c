#include "edog/datafile/open_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "edog/datafile/data_file_layout.h"
#include "edog/e_dog_source_date.h"

namespace e_dog {

UniqueFd::~UniqueFd() {
    if (fd_ >= 0) {
        (void)::close(fd_);
    }
}

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
    if (this != &other) {
        UniqueFd old(fd_);
        fd_ = other.release();
    }
    return *this;
}

UniqueFd open_regular_fd(const char* name) {
    // Without blocking: opening a FIFO would wait for a writer forever.
    UniqueFd fd(::open(name, O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (!fd) {
        return fd;
    }
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) {
        return UniqueFd{};
    }
    if (!S_ISREG(st.st_mode)) {
        errno = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        return UniqueFd{};
    }
    return fd;
}

UniqueFile open_regular_file(const char* name) {
    UniqueFd fd = open_regular_fd(name);
    if (!fd) {
        return UniqueFile{};
    }
    UniqueFile f(::fdopen(fd.get(), "rb"));
    if (f) {
        (void)fd.release();
    }
    return f;
}

std::uint64_t whole_records(int fd) {
    struct stat st {};
    if (::fstat(fd, &st) != 0 || st.st_size <= 0) {
        return 0;
    }
    return DataFileLayout::records(static_cast<std::uint64_t>(st.st_size));
}

UniqueFile open_data_file() {
    UniqueFile f = open_regular_file(e_dog_datafile);
    // More records than record numbers count: e_dog_init refuses such a file,
    // and no reader goes through it either (a sparse one may hold terabytes).
    if (f && whole_records(::fileno(f.get())) > DataFileLayout::kMaxRecords) {
        f.reset();
    }
    if (!f) {
        std::printf("########## e_dog_write_list_to_file open input file: %s fail!\n",
                    e_dog_datafile);
    }
    return f;
}

}  // namespace e_dog
