// Inside of a warner (warner/e_dog_warn.h): the state kept in the caller's
// EDOG_WARNER and the stages one fix goes through. The warner's own files
// and tests only.
#ifndef EDOG_WARNER_WARN_STATE_H
#define EDOG_WARNER_WARN_STATE_H

#include <array>
#include <cstddef>
#include <cstdint>

#include "edog/e_dog_db.h"
#include "edog/e_dog_source_date.h"
#include "warner/e_dog_warn.h"
#include "warner/e_dog_warn_zones.h"

namespace e_dog::warn {

enum class TrackState : INT32 { kArmed = 0, kWarned = 1, kPassed = 2 };

inline constexpr std::size_t kMaxTracks = EDOG_WARN_MAX_TRACKS;
inline constexpr std::size_t kMaxEvents = EDOG_WARN_MAX_EVENTS;
inline constexpr std::size_t kMaxSources = EDOG_WARN_MAX_SOURCES;
// One fix brings at most: a passed event for each track it drops, and for
// each camera in reach (at most kMaxTracks) a warning and an over-speed, or a
// passed event. The list holds that many, so no event is ever dropped.
static_assert(kMaxEvents >= kMaxTracks + 2 * kMaxTracks, "every event of a fix has room");
// Cameras of one rule this close together are one camera, announced once.
inline constexpr double kSamePlaceM = 5.0;

// A zone being driven (warner/e_dog_warn_zones.h).
struct ZoneRun {
    EDOG_ZONE zone;
    INT32 source;
    double enter_time;    // when the entry camera was passed
    double driven_m;      // since then
    double closest_m;     // least straight line to the exit camera so far
    double closest_time;  // when it was reached
    bool overspeed_armed;
};
inline constexpr std::size_t kMaxZoneRuns = 4;
inline constexpr std::size_t kMaxZoneEvents = EDOG_WARN_MAX_ZONE_EVENTS;
// Each zone driven brings at most one event a fix, and at most as many are
// entered as there is room for.
static_assert(kMaxZoneEvents >= 2 * kMaxZoneRuns, "every zone event of a fix has room");

// The fix before, for the zones.
struct LastFix {
    bool known = false;
    double lat = 0.0;
    double lng = 0.0;
    double time = 0.0;
    int speed_kmh = -1;
};

struct State {
    EDOG_WARN_CONFIG config{};
    std::array<E_DOG_DB*, kMaxSources> sources{};
    std::size_t source_count = 0;  // 0: the module's open file
    std::array<EDOG_WARN_TRACK, kMaxTracks> tracks{};
    std::size_t track_count = 0;
    std::array<EDOG_WARN_EVENT, kMaxEvents> events{};
    std::size_t event_count = 0;
    std::size_t event_next = 0;  // the next one e_dog_warn_next hands over
    std::array<ZoneRun, kMaxZoneRuns> zone_runs{};
    std::size_t zone_run_count = 0;
    std::array<EDOG_ZONE_EVENT, kMaxZoneEvents> zone_events{};
    std::size_t zone_event_count = 0;
    LastFix last_fix;
};
static_assert(sizeof(State) <= EDOG_WARNER_BYTES, "the published storage must hold the state");
static_assert(alignof(State) <= alignof(EDOG_WARNER), "the published storage must align it");

// The state in a caller's storage.
State& state_of(EDOG_WARNER* w);
const State& state_of(const EDOG_WARNER* w);

// A camera in reach at this fix and the source it is from.
struct Sighting {
    E_DOG_HIT hit;
    INT32 source;
};
using Sightings = std::array<Sighting, kMaxTracks>;

// The angle between two directions, 0 to 180 degrees.
double angle_between(double a, double b);
// Whether the camera watches traffic going `course` (its DirType and
// Direction, within `tolerance` degrees).
bool faces(const E_DOG_DATA& cam, double course, double tolerance);

// The vehicle at this fix, as the stages see it.
struct Motion {
    double lat;
    double lng;
    int speed_kmh;
    double course;   // degrees; meaningful only when course_ok
    bool course_ok;  // course known and speed at least min_speed_kmh
    double reach_m;  // the warning distance D at this speed
};
Motion motion_of(const EDOG_WARN_CONFIG& cfg, const GPS_INFO_T& fix);

// The stages of one fix, in order.
// gather: the cameras the warner may warn about within rearm_m of every
// source, each place and rule once, nearest first, at most kMaxTracks; how
// many, or -1 when no source can be searched.
int gather(const State& s, const Motion& m, Sightings& out);
// retire: tracks no longer in reach are dropped (armed again); a warned one
// among them that the vehicle left behind is reported passed. One that lies
// within reach but was not found is no longer in its file: it goes silently.
void retire(State& s, const Sightings& seen, std::size_t n, const Motion& m);
// step: one camera in reach; answers its track while it is being warned,
// nullptr otherwise.
const EDOG_WARN_TRACK* step_camera(State& s, const Sighting& cam, const Motion& m);
// overspeed: the over-speed rule for a camera being warned.
void check_overspeed(State& s, EDOG_WARN_TRACK& tr, const Sighting& cam, const Motion& m);

void add_event(State& s, INT32 kind, const Sighting& cam, int speed_kmh);

// zones: the zones of the sources followed from the fix before to this one,
// taken at `time_s` (NaN: one second after the fix before); their events
// into s.zone_events. See warner/warn_zones.cpp.
void follow_zones(State& s, const Motion& m, double time_s);
// The first zone being driven after the last fix into `out`; false for none.
bool zone_status(const State& s, EDOG_ZONE_STATUS& out);

}  // namespace e_dog::warn

#endif  // EDOG_WARNER_WARN_STATE_H
