// Opening and closing the data file for lookup, and the one way every reader
// of the module opens a file.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <limits>
#include <string>

#include "edog/atomic_file.h"
#include "edog/e_dog_internal.h"
#include "edog/e_dog_nearest.h"
#include "edog/e_dog_record.h"
#include "edog/e_dog_source_date.h"

namespace {

// Same file: same device and inode.
bool same_file(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Deletes `name` only while it names the file `opened` describes, so that a
// file renamed into its place meanwhile is kept. The name is first moved
// aside, atomically, so that the file tested is the file deleted; a file that
// is not the one opened is put back, unless a newer one has taken the name
// by then.
void remove_if_still(const char* name, const struct stat& opened) {
    const std::string aside = e_dog::unique_name_beside(name);
    if (std::rename(name, aside.c_str()) != 0) {
        return;
    }
    struct stat moved {};
    if (::lstat(aside.c_str(), &moved) != 0 || !same_file(moved, opened)) {
        (void)::link(aside.c_str(), name);  // fails when the name is taken again
    }
    (void)::unlink(aside.c_str());
}

}  // namespace

e_dog::UniqueFile e_dog::open_regular_file(const char* name) {
    // Without blocking: opening a FIFO would wait for a writer forever.
    const int fd = ::open(name, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return UniqueFile{};
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        (void)::close(fd);
        return UniqueFile{};
    }
    UniqueFile f(::fdopen(fd, "rb"));
    if (!f) {
        (void)::close(fd);
    }
    return f;
}

e_dog::OpenResult e_dog::open_lookup(const char* path, bool remove_empty) {
    if (e_dog_run_flag != 0) {
        return OpenResult::kOpen;
    }
    // Read-only: a data file on a read-only medium must still serve lookups.
    // Something that is not a regular file (a directory, a device, a FIFO)
    // holds no records and must not be deleted as an empty data file.
    fp_e_dog = open_regular_file(path).release();
    struct stat opened {};
    if (fp_e_dog != nullptr && ::fstat(::fileno(fp_e_dog), &opened) != 0) {
        (void)std::fclose(fp_e_dog);
        fp_e_dog = nullptr;
    }
    e_dog_run_flag = 0;
    e_dog_list_size = 0;
    if (fp_e_dog == nullptr) {
        return OpenResult::kCannotOpen;
    }
    off_t end = -1;
    if (::fseeko(fp_e_dog, 0, SEEK_END) == 0) {
        end = ::ftello(fp_e_dog);
    }
    const std::uint64_t records =
        end > 0 ? static_cast<std::uint64_t>(end) / kRecordSize : std::uint64_t{0};
    if (records > static_cast<std::uint64_t>(std::numeric_limits<INT32>::max())) {
        // Record numbers are 32-bit signed throughout: refused, and kept.
        (void)std::fclose(fp_e_dog);
        fp_e_dog = nullptr;
        return OpenResult::kTooManyRecords;
    }
    e_dog_list_size = static_cast<std::uint32_t>(records);
    if (e_dog_list_size != 0) {
        e_dog_run_flag = 1;
        nearest_attach(fp_e_dog, e_dog_list_size);
        return OpenResult::kOpen;
    }
    (void)std::fclose(fp_e_dog);
    fp_e_dog = nullptr;
    if (remove_empty) {
        remove_if_still(path, opened);
    }
    return OpenResult::kNoRecord;
}

int e_dog_init() {
    switch (e_dog::open_lookup(e_dog_datafile, true)) {
    case e_dog::OpenResult::kOpen:
        return 0;
    case e_dog::OpenResult::kCannotOpen:
        std::printf("======== Erro ff_fopen file:%s fail!\n", e_dog_datafile);
        return -1;
    case e_dog::OpenResult::kTooManyRecords:
        std::printf("======== Erro file:%s holds too many records!\n", e_dog_datafile);
        return -1;
    case e_dog::OpenResult::kNoRecord:
        break;
    }
    return -1;
}

void e_dog_exit() {
    e_dog::nearest_detach();
    if (fp_e_dog != nullptr) {
        (void)std::fclose(fp_e_dog);
    }
    e_dog_run_flag = 0;
    fp_e_dog = nullptr;
}

e_dog::UniqueFile e_dog::open_data_file() {
    UniqueFile f = open_regular_file(e_dog_datafile);
    if (!f) {
        std::printf("########## e_dog_write_list_to_file open input file: %s fail!\n",
                    e_dog_datafile);
    }
    return f;
}

e_dog::UniqueFile e_dog::open_lookup_file() {
    if (fp_e_dog == nullptr) {
        return open_data_file();
    }
    // A second stream on the open file itself, whatever the name names now.
    // It shares the lookup stream's file offset; every lookup positions its
    // stream before it reads.
    const int fd = ::fcntl(::fileno(fp_e_dog), F_DUPFD_CLOEXEC, 0);
    UniqueFile f(fd >= 0 ? ::fdopen(fd, "rb") : nullptr);
    if (!f && fd >= 0) {
        (void)::close(fd);
    }
    if (!f || ::fseeko(f.get(), 0, SEEK_SET) != 0) {
        std::printf("########## e_dog_write_list_to_file open input file: %s fail!\n",
                    e_dog_datafile);
        return UniqueFile{};
    }
    return f;
}
