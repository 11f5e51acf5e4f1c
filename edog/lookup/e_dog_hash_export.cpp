// Feeds the code of every record of the data file into the string table.
#include <cstdio>

#include "edog/datafile/e_dog_record.h"
#include "edog/datafile/open_file.h"
#include "edog/e_dog_internal.h"
#include "edog/e_dog_source_date.h"
#include "hash/HashAlgo.h"

int e_dog_hash_to_file() {
    // A stream of its own, read-only: the lookup stream is not touched.
    const e_dog::UniqueFile in = e_dog::open_data_file();
    if (!in) {
        return -1;
    }
    E_DOG_DATA rec{};
    while (e_dog::read_record(in.get(), rec)) {
        // Every code is offered in file order; a full table refuses it.
        (void)CHashAlgo_SetHashTable(e_dog::code_text(rec).text);
    }
    return 0;
}
