// Private state of the camera module, for the module's own files, the driver
// and the tests. The module's helpers live in its rooms: the data file
// (edog/datafile/), the build (edog/builder/), the searches (edog/search/) and
// the lookup (edog/lookup/).
#ifndef EDOG_E_DOG_INTERNAL_H
#define EDOG_E_DOG_INTERNAL_H

#include <cstdint>
#include <cstdio>

#include "edog/e_dog_source_date.h"

extern UINT8 e_dog_run_flag;            // 1 while open for lookup with a record
extern std::FILE* fp_e_dog;             // the data file opened for lookup
extern std::uint32_t e_dog_list_size;   // number of camera records
extern GPSNode* edog_heap_buffer_addr;  // the build's node pool, null outside a build
extern LinkQueue q_header;              // the prefix index

#endif  // EDOG_E_DOG_INTERNAL_H
