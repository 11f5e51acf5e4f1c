// Opening and closing the module's data file for lookup, and the module's
// searches as a facade over the default handle on that file.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <limits>
#include <string>

#include "edog/datafile/atomic_file.h"
#include "edog/datafile/data_file_layout.h"
#include "edog/datafile/open_file.h"
#include "edog/e_dog_db.h"
#include "edog/e_dog_internal.h"
#include "edog/e_dog_source_date.h"
#include "edog/lookup/lookup.h"
#include "edog/search/db.h"
#include "edog/search/e_dog_answer.h"

namespace {

// The handle on the file e_dog_init opened, through a descriptor of its own.
E_DOG_DB* module_db = nullptr;

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

E_DOG_DB* e_dog::default_db() {
    return module_db;
}

std::size_t e_dog::nearest_index_bytes() {
    return module_db == nullptr ? 0 : db_index_bytes(*module_db);
}

std::size_t e_dog::nearest_views_made() {
    return module_db == nullptr ? 0 : db_views_made(*module_db);
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
    const std::uint64_t records = whole_records(::fileno(fp_e_dog));
    if (records > DataFileLayout::kMaxRecords) {
        // Record numbers are 32-bit signed throughout: refused, and kept.
        (void)std::fclose(fp_e_dog);
        fp_e_dog = nullptr;
        return OpenResult::kTooManyRecords;
    }
    e_dog_list_size = static_cast<std::uint32_t>(records);
    if (e_dog_list_size != 0) {
        e_dog_run_flag = 1;
        // The searches read through a descriptor of their own: the lookup
        // stream's offset is the specified readers'.
        module_db =
            db_adopt(UniqueFd(::fcntl(::fileno(fp_e_dog), F_DUPFD_CLOEXEC, 0)), e_dog_list_size);
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
    e_dog_db_close(module_db);
    module_db = nullptr;
    if (fp_e_dog != nullptr) {
        (void)std::fclose(fp_e_dog);
    }
    e_dog_run_flag = 0;
    fp_e_dog = nullptr;
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

E_DOG_DATA e_dog_search_nearest(double lati, double longi, double radius_m, E_DOG_LCD* p_lcd_rt) {
    E_DOG_HIT hit{};
    if (e_dog_run_flag == 0 || e_dog_db_nearest(module_db, lati, longi, radius_m, &hit) != 1) {
        return e_dog::no_camera(p_lcd_rt);
    }
    e_dog::show_camera(p_lcd_rt, hit.data, hit.distance_m);
    return hit.data;
}

int e_dog_search_within(double lati, double longi, double radius_m, E_DOG_HIT* out, int max_out) {
    if (e_dog_run_flag == 0) {
        return -1;
    }
    return e_dog_db_within(module_db, lati, longi, radius_m, out, max_out);
}
