/* A database handle: one data file open for the searches, beside the
 * module's globals. Any number of handles may be open at once, on the same
 * file or on others, and each may be searched from several threads at once;
 * opening and closing one must not overlap a search of it. A handle reads
 * the file through a read-only map and never deletes or changes it. Compiles
 * as C11 and as C++; the functions have C linkage. */
#ifndef EDOG_E_DOG_DB_H
#define EDOG_E_DOG_DB_H

#include "edog/e_dog_source_date.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct E_DOG_DB E_DOG_DB;

/* What e_dog_db_open sets *error to. */
enum {
    EDOG_DB_OK = 0,
    EDOG_DB_ERR_ARGUMENT = 1,    /* no path */
    EDOG_DB_ERR_OPEN = 2,        /* cannot be opened: errno tells why */
    EDOG_DB_ERR_NOT_REGULAR = 3, /* a directory, a device, a FIFO ... */
    EDOG_DB_ERR_NO_RECORD = 4,   /* holds no whole 56-byte record */
    EDOG_DB_ERR_TOO_MANY = 5,    /* more records than 32-bit record numbers reach */
    EDOG_DB_ERR_MEMORY = 6       /* no memory for the handle */
};

/* Opens the data file `path` (any length) read-only. NULL on failure, with
 * *error (when `error` is not NULL) set to one of the codes above; EDOG_DB_OK
 * on success. The file is never deleted or changed. */
E_DOG_DB* e_dog_db_open(const char* path, int* error);

/* Closes the handle; harmless for NULL. */
void e_dog_db_close(E_DOG_DB* db);

/* A short English text for an error code ("holds no whole record", ...);
 * "unknown error" for any other value. Never NULL. */
const char* e_dog_db_error_text(int error);

/* Whole records of the file as opened; 0 for NULL. */
long long e_dog_db_count(const E_DOG_DB* db);

/* Record `index` (0 to count - 1) into *out: 1, or 0 for an index out of
 * range or a record that can no longer be read; -1 for NULL arguments. */
int e_dog_db_record(const E_DOG_DB* db, long long index, E_DOG_DATA* out);

/* The camera with DirType 1 to 5 nearest to (lat, lng) and strictly closer
 * than `radius_m` metres by get_distance, over the whole file; of equally
 * near cameras the earlier record: the rule of e_dog_search_nearest. 1 and
 * *out set when one is found, 0 when none is, -1 for bad arguments (no
 * handle or no `out`, a position out of range, a radius that is not
 * positive and finite) and when the file cannot be read where the search
 * must look (a page the medium cannot read, or a file cut again and again
 * under the search; see doc/data-file-format.md). */
int e_dog_db_nearest(E_DOG_DB* db, double lat, double lng, double radius_m, E_DOG_HIT* out);

/* Every record strictly closer than `radius_m` metres, of any DirType,
 * nearest first and equal distances in file order, as e_dog_search_within:
 * how many there are, of which the first `max_out` are written to `out`; -1
 * for bad arguments (no handle, a position out of range, a radius that is
 * not positive and finite, a negative `max_out`, or no `out` for a positive
 * one) and, as for e_dog_db_nearest, when the file cannot be read where the
 * search must look. */
int e_dog_db_within(E_DOG_DB* db, double lat, double lng, double radius_m, E_DOG_HIT* out,
                    int max_out);

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* EDOG_E_DOG_DB_H */
