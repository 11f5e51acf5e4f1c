// The warning loop of a device: one call per GPS fix, for one vehicle. It
// announces each camera ahead on the vehicle's way once, early enough, and
// reports over-speed and the camera passed. Written up in doc/warner.md.
//
// Cameras come from the module's open data file (e_dog_init), or from the
// database handles the warner is given (edog/e_dog_db.h): the maker's list
// and the driver's own list, say, at once.
//
// Events: one fix can bring several (a camera passed and the next warned,
// two cameras reached at once). e_dog_warn_update answers the first and
// keeps the others; e_dog_warn_next hands them over one by one, until it
// answers EDOG_WARN_NONE. e_dog_warn_event reads any of them. None is lost:
// a fix brings at most EDOG_WARN_MAX_EVENTS, a passed event for each track
// dropped and a warning and an over-speed for each camera in reach.
//
// Cameras: only those the warner may warn about are gathered and tracked
// (DirType 1 to 5, and 0 with warn_all_directions_type), the nearest
// EDOG_WARN_MAX_TRACKS of them, so that no other camera takes their place.
// A camera is known by its source, Idex and position, not by its record
// number: a file replaced by another (e_dog_exit and e_dog_init, or under an
// open handle) keeps the state of each camera still in it. Cameras of one
// rule (Type, Speed, DirType, Direction) at one place, within 5 m, are
// announced once.
//
// Storage: a warner lives in memory its caller gives, so that a device needs
// no malloc: declare an EDOG_WARNER (static, on the stack or in a struct of
// its own) and pass its address. Its inside is the library's: read it through
// the functions below, never directly. A later version of the library keeps
// its added state in the room EDOG_WARNER_BYTES leaves, so that a program
// compiled against this header keeps working with it; that size never
// shrinks, and e_dog_warn_state_bytes() tells how much of it is in use.
#ifndef EDOG_WARNER_E_DOG_WARN_H
#define EDOG_WARNER_E_DOG_WARN_H

#include "edog/e_dog_db.h"
#include "edog/e_dog_source_date.h"

#ifdef __cplusplus
#include <cstddef>
extern "C" {
#else
#include <stddef.h>
#endif

enum {
    EDOG_WARN_NONE = 0,
    EDOG_WARN_WARN = 1,       // a camera ahead is announced
    EDOG_WARN_OVERSPEED = 2,  // faster than the announced camera's limit
    EDOG_WARN_PASSED = 3      // the announced camera is behind
};

typedef struct EDOG_WARN_CONFIG {
    int warn_all_directions_type;  // 1: DirType 0 is warned too, as all directions
    double heading_tolerance_deg;  // course against a camera's Direction: 45
    double lead_time_s;            // warning distance D = speed x lead time: 15 s,
    double min_warn_m;             // held between 150 m
    double max_warn_m;             // and 800 m
    int overspeed_margin_kmh;      // over-speed above Speed + 5 km/h
    int min_speed_kmh;             // no new warning below 5 km/h
    double ahead_deg;              // ahead: bearing within 60 degrees of the course,
    double near_m;                 // or within 30 m
    double passed_margin_m;        // passed: 30 m past the closest approach
    double rearm_m;                // warned again only after going 800 m away
} EDOG_WARN_CONFIG;

typedef struct EDOG_WARN_TRACK {
    E_DOG_DATA data;        // the camera
    INT32 record;           // its record number in its source at the last fix
    INT32 state;            // 0 armed, 1 warned, 2 passed
    INT32 overspeed_armed;  // 1 while an over-speed may be reported
    double closest_m;       // closest approach since warned
    INT32 source;           // which source: the index given to e_dog_warn_set_sources, 0 without
} EDOG_WARN_TRACK;

typedef struct EDOG_WARN_EVENT {
    INT32 kind;        // EDOG_WARN_WARN, _OVERSPEED or _PASSED
    INT32 speed_kmh;   // the vehicle's speed at the fix
    E_DOG_HIT camera;  // the camera, its record number and distance
    INT32 source;      // which source the camera is from, as in EDOG_WARN_TRACK
} EDOG_WARN_EVENT;

#define EDOG_WARN_MAX_TRACKS 64
#define EDOG_WARN_MAX_EVENTS (3 * EDOG_WARN_MAX_TRACKS)
#define EDOG_WARN_MAX_SOURCES 8

#define EDOG_WARNER_BYTES 32768
typedef union EDOG_WARNER {
    unsigned char opaque[EDOG_WARNER_BYTES];
    double align_double;
    long long align_long_long;
    void* align_pointer;
} EDOG_WARNER;

// Bytes of EDOG_WARNER this library uses.
size_t e_dog_warn_state_bytes(void);

// The defaults above.
void e_dog_warn_default_config(EDOG_WARN_CONFIG* config);
// A warner with `config` (nullptr: the defaults), on the module's open file,
// with nothing tracked.
void e_dog_warn_init(EDOG_WARNER* w, const EDOG_WARN_CONFIG* config);

// Warns from `count` open handles (at most EDOG_WARN_MAX_SOURCES; 0: the
// module's open file again) from the next fix on; what was tracked is
// forgotten. The handles must stay open while the warner uses them. 0, or -1
// (nothing changed) for too many or a null handle.
int e_dog_warn_set_sources(EDOG_WARNER* w, E_DOG_DB* const* sources, int count);

// Takes one fix (lati, longi, current_speed in km/h or -1 when unknown,
// degrees: the course, NaN when unknown) and answers the first event it brings, EDOG_WARN_NONE for
// none; `alarm` (may be nullptr) gets that event's text and camera. `lcd`
// (may be nullptr) shows the nearest camera being warned (result 0, its
// limit, the distance) or result -1, and always cur_speed. Without sources
// it needs the module open (e_dog_init); without it, or for a fix without a
// position, nothing happens and the tracks wait for a file. A fix without a
// speed or course warns of nothing new and reports no over-speed.
int e_dog_warn_update(EDOG_WARNER* w, const GPS_INFO_T* fix, EDOG_ALARM* alarm, E_DOG_LCD* lcd);

// The next event of the same fix, EDOG_WARN_NONE when all are handed over.
int e_dog_warn_next(EDOG_WARNER* w, EDOG_ALARM* alarm);

// The events of the last fix, in order: how many, and event `i` into *out
// (1, or 0 for `i` out of range).
int e_dog_warn_event_count(const EDOG_WARNER* w);
int e_dog_warn_event(const EDOG_WARNER* w, int i, EDOG_WARN_EVENT* out);

// The cameras tracked after the last fix: how many, and
// track `i` into *out (1, or 0 for `i` out of range).
int e_dog_warn_track_count(const EDOG_WARNER* w);
int e_dog_warn_track(const EDOG_WARNER* w, int i, EDOG_WARN_TRACK* out);

#ifdef __cplusplus
}  // extern "C"
#endif

#endif  // EDOG_WARNER_E_DOG_WARN_H
