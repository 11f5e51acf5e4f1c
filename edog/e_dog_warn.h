// The warning loop of a device: one call per GPS fix, for one vehicle. It
// announces each camera ahead on the vehicle's way once, early enough, and
// reports over-speed and the camera passed. Written up in doc/warner.md.
//
// Events: one fix can bring several (a camera passed and the next warned,
// two cameras reached at once). e_dog_warn_update answers the first and
// keeps the others; e_dog_warn_next hands them over one by one, until it
// answers EDOG_WARN_NONE. They are also readable at once in `events`. None
// is lost: the list holds two events for every camera that can be tracked.
#ifndef EDOG_E_DOG_WARN_H
#define EDOG_E_DOG_WARN_H

#include "edog/e_dog_source_date.h"

#ifdef __cplusplus
extern "C" {
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
    INT32 record;           // its record number
    INT32 state;            // 0 armed, 1 warned, 2 passed
    INT32 overspeed_armed;  // 1 while an over-speed may be reported
    double closest_m;       // closest approach since warned
} EDOG_WARN_TRACK;

typedef struct EDOG_WARN_EVENT {
    INT32 kind;        // EDOG_WARN_WARN, _OVERSPEED or _PASSED
    INT32 speed_kmh;   // the vehicle's speed at the fix
    E_DOG_HIT camera;  // the camera, its record number and distance
} EDOG_WARN_EVENT;

#define EDOG_WARN_MAX_TRACKS 64
#define EDOG_WARN_MAX_EVENTS (2 * EDOG_WARN_MAX_TRACKS)

typedef struct EDOG_WARNER {
    EDOG_WARN_CONFIG config;
    // Cameras within rearm_m; where more are, the nearest 64 (the others
    // count as out of reach).
    EDOG_WARN_TRACK tracks[EDOG_WARN_MAX_TRACKS];
    INT32 track_count;
    EDOG_WARN_EVENT events[EDOG_WARN_MAX_EVENTS];  // of the last fix, in order
    INT32 event_count;
    INT32 event_next;  // the next one e_dog_warn_next hands over
} EDOG_WARNER;

// The defaults above.
void e_dog_warn_default_config(EDOG_WARN_CONFIG* config);
// A warner with `config` (nullptr: the defaults) and nothing tracked.
void e_dog_warn_init(EDOG_WARNER* w, const EDOG_WARN_CONFIG* config);

// Takes one fix (lati, longi, current_speed in km/h, degrees: the course, NaN
// when unknown) and answers the first event it brings, EDOG_WARN_NONE for
// none; `alarm` (may be nullptr) gets that event's text and camera. `lcd`
// (may be nullptr) shows the nearest camera being warned (result 0, its
// limit, the distance) or result -1, and always cur_speed. Needs the module
// open (e_dog_init); without it, or for a fix without a position, nothing
// happens and nothing is tracked.
int e_dog_warn_update(EDOG_WARNER* w, const GPS_INFO_T* fix, EDOG_ALARM* alarm, E_DOG_LCD* lcd);

// The next event of the same fix, EDOG_WARN_NONE when all are handed over.
int e_dog_warn_next(EDOG_WARNER* w, EDOG_ALARM* alarm);

#ifdef __cplusplus
}  // extern "C"
#endif

#endif  // EDOG_E_DOG_WARN_H
