// Opening and closing the data file for lookup.
#include <sys/stat.h>

#include <cstdio>

#include "edog/e_dog_internal.h"
#include "edog/e_dog_nearest.h"
#include "edog/e_dog_record.h"
#include "edog/e_dog_source_date.h"

int e_dog_init() {
    if (e_dog_run_flag != 0) {
        return 0;
    }
    // Read-only: a data file on a read-only medium must still serve lookups.
    fp_e_dog = std::fopen(e_dog_datafile, "rb");
    struct stat st {};
    if (fp_e_dog != nullptr && (::fstat(::fileno(fp_e_dog), &st) != 0 || !S_ISREG(st.st_mode))) {
        // Something that is not a regular file (a directory, say) holds no
        // records and must not be deleted as an empty data file.
        (void)std::fclose(fp_e_dog);
        fp_e_dog = nullptr;
    }
    if (fp_e_dog == nullptr) {
        e_dog_run_flag = 0;
        e_dog_list_size = 0;
        std::printf("======== Erro ff_fopen file:%s fail!\n", e_dog_datafile);
        return -1;
    }
    off_t end = -1;
    if (::fseeko(fp_e_dog, 0, SEEK_END) == 0) {
        end = ::ftello(fp_e_dog);
    }
    const auto records = end > 0 ? static_cast<unsigned long long>(end) / e_dog::kRecordSize : 0ULL;
    e_dog_list_size = static_cast<std::uint32_t>(records);
    if (e_dog_list_size != 0) {
        e_dog_run_flag = 1;
        e_dog::nearest_attach(fp_e_dog, e_dog_list_size);
        return 0;
    }
    e_dog_run_flag = 0;
    (void)std::fclose(fp_e_dog);
    fp_e_dog = nullptr;
    (void)std::remove(e_dog_datafile);
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
    UniqueFile f(std::fopen(e_dog_datafile, "rb"));
    if (!f) {
        std::printf("########## e_dog_write_list_to_file open input file: %s fail!\n",
                    e_dog_datafile);
    }
    return f;
}
