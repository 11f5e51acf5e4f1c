/* The warner in average-speed sections ("zones", edog/e_dog_zones.h): the
 * zones of the warner's sources followed from the entry camera to the exit
 * camera. Compiles as C11 and as C++; the functions have C linkage. Written
 * up in doc/warner.md ("Zones").
 *
 * A zone is entered when the vehicle passes its entry camera travelling the
 * way the camera watches and towards the exit camera, and ends when it passes
 * the exit camera, or when it leaves the section (see doc/warner.md). While
 * inside, the warner keeps the time since entry, the distance driven (the
 * reported speed integrated over time; the straight line across a gap in
 * the fixes), the average so far, the straight line to the exit camera and
 * the speed to hold from here to finish at the limit. Zones need the time of
 * each fix: e_dog_warn_update_at gives it; e_dog_warn_update counts each
 * fix one second after the one before. */
#ifndef EDOG_WARNER_E_DOG_WARN_ZONES_H
#define EDOG_WARNER_E_DOG_WARN_ZONES_H

#include "edog/e_dog_zones.h"
#include "warner/e_dog_warn.h"

#ifdef __cplusplus
extern "C" {
#endif

enum {
    EDOG_ZONE_ENTER = 1,     /* the entry camera passed: the section begins */
    EDOG_ZONE_OVERSPEED = 2, /* the average so far is above limit + margin */
    EDOG_ZONE_EXIT = 3,      /* the exit camera passed: the final average */
    EDOG_ZONE_LEFT = 4       /* the section left before its exit */
};

typedef struct EDOG_ZONE_EVENT {
    INT32 kind;         /* EDOG_ZONE_ENTER, ... */
    INT32 zone_id;      /* the zone, of source `source` */
    INT32 source;       /* as in EDOG_WARN_TRACK */
    INT32 limit_kmh;    /* the zone's limit */
    double average_kmh; /* so far (0 at EDOG_ZONE_ENTER) */
    double elapsed_s;   /* since the entry camera was passed */
    double driven_m;    /* since the entry camera */
    double remaining_m; /* straight line to the exit camera */
    double length_m;    /* straight line from entry to exit camera */
} EDOG_ZONE_EVENT;

typedef struct EDOG_ZONE_STATUS {
    INT32 zone_id;
    INT32 source;
    INT32 limit_kmh;
    double average_kmh;
    double elapsed_s;
    double driven_m;
    double remaining_m;
    double hold_kmh; /* the speed that finishes at the limit from here; 0 when too late */
} EDOG_ZONE_STATUS;

/* The most zone events one fix brings. */
#define EDOG_WARN_MAX_ZONE_EVENTS 8

/* e_dog_warn_update for a fix taken at `time_s` seconds (date and time of
 * the fix, any fixed origin: a zone may be driven across midnight); NaN when
 * unknown, which counts as one second after the fix before. */
int e_dog_warn_update_at(EDOG_WARNER* w, const GPS_INFO_T* fix, double time_s, EDOG_ALARM* alarm,
                         E_DOG_LCD* lcd);

/* The zone events of the last fix, in order: how many, and event `i` into
 * *out (1, or 0 for `i` out of range). */
int e_dog_warn_zone_event_count(const EDOG_WARNER* w);
int e_dog_warn_zone_event(const EDOG_WARNER* w, int i, EDOG_ZONE_EVENT* out);

/* The zone the vehicle is in after the last fix: 1 and *out set, or 0 when
 * it is in none. */
int e_dog_warn_zone_status(const EDOG_WARNER* w, EDOG_ZONE_STATUS* out);

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* EDOG_WARNER_E_DOG_WARN_ZONES_H */
