// The zones stage of the warner: average-speed sections followed from the
// entry camera to the exit camera. See warner/e_dog_warn_zones.h and
// doc/warner.md ("Zones").
#include <algorithm>
#include <cmath>
#include <limits>

#include "edog/datafile/camera_kind.h"
#include "edog/search/db.h"
#include "geo/distance.h"
#include "warner/warn_state.h"

namespace e_dog::warn {

namespace {

constexpr double kGapS = 2.5;            // a longer step between fixes is a gap
constexpr double kPassWidthM = 50.0;     // a camera passed no farther to the side
constexpr double kAverageFromM = 200.0;  // no over-speed before this distance
constexpr double kLeftBeyondM = 1000.0;  // left: farther from the exit than the length + this,
constexpr double kAwayM = 500.0;         // or this much farther than the closest
constexpr double kAwayS = 60.0;          // for this long
constexpr double kNearLatDeg = 0.05;     // entry cameras looked at: within this latitude
constexpr double kMetresPerDeg = e_dog::kEarthRadiusM * kFormulaPi / 180.0;
constexpr double kKmhPerMs = 3.6;
constexpr double kNone = std::numeric_limits<double>::quiet_NaN();

struct Place {
    double lat;
    double lng;
};

// Where the step from `p` to `q` passes the camera at `c`: the fraction of
// the step at which it is abreast of it, when that lies within the step and
// the camera is at most kPassWidthM to the side; NaN otherwise.
double passed_at(Place p, Place q, Place c) {
    const double kx = std::cos(c.lat * kFormulaPi / 180.0) * kMetresPerDeg;
    const double px = (p.lng - c.lng) * kx;
    const double py = (p.lat - c.lat) * kMetresPerDeg;
    const double dx = (q.lng - c.lng) * kx - px;
    const double dy = (q.lat - c.lat) * kMetresPerDeg - py;
    const double length2 = dx * dx + dy * dy;
    if (length2 <= 0.0) {
        return kNone;
    }
    const double f = -(px * dx + py * dy) / length2;
    const double side = std::fabs(px * dy - py * dx) / std::sqrt(length2);
    return f >= 0.0 && f < 1.0 && side <= kPassWidthM ? f : kNone;
}

double metres(Place a, Place b) {
    return distance_m(a.lat, a.lng, b.lat, b.lng);
}

// Average speed over `driven_m` in `elapsed_s`; 0 before any time passed.
double average_kmh(double driven_m, double elapsed_s) {
    return elapsed_s > 0.0 ? driven_m / elapsed_s * kKmhPerMs : 0.0;
}

Place at(const E_DOG_DATA& cam) {
    return {cam.Gps_lat, cam.Gps_lng};
}

void add_zone_event(State& s, INT32 kind, const ZoneRun& run, double elapsed_s,
                    double remaining_m) {
    if (s.zone_event_count == s.zone_events.size()) {
        return;
    }
    EDOG_ZONE_EVENT& e = s.zone_events[s.zone_event_count++];
    e = EDOG_ZONE_EVENT{};
    e.kind = kind;
    e.zone_id = run.zone.zone_id;
    e.source = run.source;
    e.limit_kmh = run.zone.speed_kmh;
    e.elapsed_s = elapsed_s;
    e.driven_m = run.driven_m;
    e.average_kmh = average_kmh(run.driven_m, elapsed_s);
    e.remaining_m = remaining_m;
    e.length_m = run.zone.length_m;
}

// Follows one zone over the step; false when the zone ended at it.
bool follow(State& s, ZoneRun& run, Place p, Place q, double t_p, double t_q, double step_m) {
    const double f = passed_at(p, q, at(run.zone.exit));
    if (!std::isnan(f)) {
        run.driven_m += f * step_m;
        add_zone_event(s, EDOG_ZONE_EXIT, run, t_p + f * (t_q - t_p) - run.enter_time, 0.0);
        return false;
    }
    run.driven_m += step_m;
    const double remaining = metres(q, at(run.zone.exit));
    const double elapsed = t_q - run.enter_time;
    if (remaining < run.closest_m) {
        run.closest_m = remaining;
        run.closest_time = t_q;
    }
    if (remaining > run.zone.length_m + kLeftBeyondM ||
        (remaining > run.closest_m + kAwayM && t_q - run.closest_time >= kAwayS)) {
        add_zone_event(s, EDOG_ZONE_LEFT, run, elapsed, remaining);
        return false;
    }
    const double average = average_kmh(run.driven_m, elapsed);
    if (average < run.zone.speed_kmh) {
        run.overspeed_armed = true;
    } else if (run.overspeed_armed && run.driven_m >= kAverageFromM &&
               average > run.zone.speed_kmh + s.config.overspeed_margin_kmh) {
        run.overspeed_armed = false;
        add_zone_event(s, EDOG_ZONE_OVERSPEED, run, elapsed, remaining);
    }
    return true;
}

// A camera that watches one direction of travel tells the zone's way by
// itself; for any other the exit camera must lie ahead.
bool one_way(const E_DOG_DATA& cam) {
    return cam.DirType == value(DirType::kOneWay) && directed(cam.DirType, cam.Direction);
}

bool towards(double course, const EDOG_ZONE& z) {
    return angle_between(course, bearing_deg(z.entry.Gps_lat, z.entry.Gps_lng, z.exit.Gps_lat,
                                             z.exit.Gps_lng)) < 90.0;
}

bool driving(const State& s, INT32 source, INT32 zone_id) {
    for (std::size_t i = 0; i < s.zone_run_count; ++i) {
        if (s.zone_runs[i].source == source && s.zone_runs[i].zone.zone_id == zone_id) {
            return true;
        }
    }
    return false;
}

// Zones of the sources whose entry camera the step passes, travelling the
// way the camera watches and towards the exit.
void enter(State& s, Place p, Place q, double t_p, double t_q, double step_m, double course) {
    for (std::size_t src = 0; src < s.source_count; ++src) {
        const auto source = static_cast<INT32>(src);
        const E_DOG_DB& db = *s.sources[src];
        const auto& order = db.zones_by_entry_lat;
        auto it = std::lower_bound(
            order.begin(), order.end(), q.lat - kNearLatDeg,
            [&db](std::uint32_t i, double lat) { return db.zones[i].entry.Gps_lat < lat; });
        for (; it != order.end() && db.zones[*it].entry.Gps_lat <= q.lat + kNearLatDeg; ++it) {
            const EDOG_ZONE& z = db.zones[*it];
            if (s.zone_run_count == s.zone_runs.size() || driving(s, source, z.zone_id)) {
                continue;
            }
            const double f = passed_at(p, q, at(z.entry));
            if (std::isnan(f) || !faces(z.entry, course, s.config.heading_tolerance_deg) ||
                (!one_way(z.entry) && !towards(course, z))) {
                continue;
            }
            ZoneRun& run = s.zone_runs[s.zone_run_count++];
            run = ZoneRun{z, source, t_p + f * (t_q - t_p), 0.0, z.length_m, t_q, true};
            add_zone_event(s, EDOG_ZONE_ENTER, run, 0.0, z.length_m);
            run.driven_m = (1.0 - f) * step_m;
        }
    }
}

}  // namespace

void follow_zones(State& s, const Motion& m, double time_s) {
    s.zone_event_count = 0;
    const LastFix before = s.last_fix;
    const double t_q = std::isnan(time_s) ? (before.known ? before.time + 1.0 : 0.0) : time_s;
    s.last_fix = LastFix{true, m.lat, m.lng, t_q, m.speed_kmh};
    const double dt = t_q - before.time;
    if (!before.known || !(dt > 0.0)) {
        return;  // nothing to follow yet, or a time that went back
    }
    const Place p{before.lat, before.lng};
    const Place q{m.lat, m.lng};
    const bool speeds = before.speed_kmh >= 0 && m.speed_kmh >= 0;
    // The reported speed over time, not the fixes' positions, whose noise
    // adds up; the straight line across a gap.
    const double step_m = dt > kGapS || !speeds
                              ? metres(p, q)
                              : (before.speed_kmh + m.speed_kmh) / 2.0 / kKmhPerMs * dt;
    std::size_t kept = 0;
    for (std::size_t i = 0; i < s.zone_run_count; ++i) {
        ZoneRun run = s.zone_runs[i];
        if (follow(s, run, p, q, before.time, t_q, step_m)) {
            s.zone_runs[kept++] = run;
        }
    }
    s.zone_run_count = kept;
    const double course = m.course_ok ? m.course : bearing_deg(p.lat, p.lng, q.lat, q.lng);
    enter(s, p, q, before.time, t_q, step_m, course);
}

bool zone_status(const State& s, EDOG_ZONE_STATUS& out) {
    if (s.zone_run_count == 0 || !s.last_fix.known) {
        return false;
    }
    const ZoneRun& run = s.zone_runs[0];
    const double elapsed = s.last_fix.time - run.enter_time;
    const double remaining = metres({s.last_fix.lat, s.last_fix.lng}, at(run.zone.exit));
    out = EDOG_ZONE_STATUS{};
    out.zone_id = run.zone.zone_id;
    out.source = run.source;
    out.limit_kmh = run.zone.speed_kmh;
    out.elapsed_s = elapsed;
    out.driven_m = run.driven_m;
    out.average_kmh = average_kmh(run.driven_m, elapsed);
    out.remaining_m = remaining;
    // The whole section at the limit takes (driven + remaining) / limit.
    const double allowed_s = (run.driven_m + remaining) / (run.zone.speed_kmh / kKmhPerMs);
    const double left_s = allowed_s - elapsed;
    out.hold_kmh = left_s > 0.0 ? remaining / left_s * kKmhPerMs : 0.0;
    return true;
}

}  // namespace e_dog::warn
