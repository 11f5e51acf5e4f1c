/* Average-speed sections ("zones") of a data file, as a database handle
 * (edog/e_dog_db.h) opens them: e_dog_db_open reads the zones file beside
 * the data file (FILE.zones, written by `edog-tool build --zones`) and keeps
 * its zones when every zone's cameras are records of the file. A zone runs
 * from its entry camera to its exit camera, in that direction, with a
 * limit; a section watched both ways is two zones. Compiles as C11 and as
 * C++; the functions have C linkage. See doc/data-file-format.md. */
#ifndef EDOG_E_DOG_ZONES_H
#define EDOG_E_DOG_ZONES_H

#include "edog/e_dog_db.h"
#include "edog/e_dog_source_date.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct EDOG_ZONE {
    INT32 zone_id;      /* positive, unique in the file */
    INT32 speed_kmh;    /* the zone's limit */
    INT32 entry_record; /* record numbers of its cameras in the data file */
    INT32 exit_record;
    E_DOG_DATA entry; /* the cameras */
    E_DOG_DATA exit;
    double length_m; /* straight line from the entry camera to the exit camera */
} EDOG_ZONE;

/* What a handle made of the zones file. */
enum {
    EDOG_ZONES_NONE = 0,   /* no zones file */
    EDOG_ZONES_LOADED = 1, /* its zones are the handle's */
    EDOG_ZONES_STALE = 2,  /* written for another data file: no zones */
    EDOG_ZONES_DAMAGED = 3 /* not a sound zones file: no zones */
};

/* One of the states above; EDOG_ZONES_NONE for NULL. */
int e_dog_db_zones_state(const E_DOG_DB* db);

/* Zones of the handle, in the zones file's order; 0 for NULL. */
int e_dog_db_zone_count(const E_DOG_DB* db);

/* Zone `i` (0 to count - 1) into *out: 1, or 0 for an index out of range;
 * -1 for NULL arguments. */
int e_dog_db_zone(const E_DOG_DB* db, int i, EDOG_ZONE* out);

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* EDOG_E_DOG_ZONES_H */
