// The stages of one fix (warner/warn_state.h): gather the cameras in reach,
// retire the tracks out of reach, step each camera (warn, follow, pass) and
// apply the over-speed rule. The rules: doc/warner.md.
#include <algorithm>
#include <cmath>
#include <cstddef>

#include "edog/datafile/camera_kind.h"
#include "edog/lookup/lookup.h"
#include "geo/distance.h"
#include "warner/warn_state.h"

namespace e_dog::warn {

namespace {

constexpr double kFullCircle = 360.0;
constexpr double kBehindDeg = 90.0;  // a camera more than this off the course is behind

double to_rad(double deg) {
    return deg * kFormulaPi / 180.0;
}

// Initial bearing from (lat1, lng1) to (lat2, lng2), degrees from north.
double bearing_deg(double lat1, double lng1, double lat2, double lng2) {
    const double p1 = to_rad(lat1);
    const double p2 = to_rad(lat2);
    const double dl = to_rad(lng2 - lng1);
    const double y = std::sin(dl) * std::cos(p2);
    const double x = std::cos(p1) * std::sin(p2) - std::sin(p1) * std::cos(p2) * std::cos(dl);
    return std::atan2(y, x) * 180.0 / kFormulaPi;
}

// The angle between two directions, 0 to 180 degrees.
double angle_between(double a, double b) {
    return std::fabs(std::remainder(a - b, kFullCircle));
}

// Whether the camera watches traffic going `course`.
bool faces(const E_DOG_DATA& cam, double course, double tolerance) {
    if (!directed(cam.DirType, cam.Direction)) {
        return true;
    }
    const double dir = cam.Direction;
    return angle_between(course, dir) <= tolerance ||
           (cam.DirType == value(DirType::kBothWays) &&
            angle_between(course, dir + 180.0) <= tolerance);
}

// Whether the warner warns of this camera at all.
bool warnable(const EDOG_WARN_CONFIG& cfg, const E_DOG_DATA& cam) {
    return qualifies(cam.DirType) ||
           (cfg.warn_all_directions_type != 0 && cam.DirType == value(DirType::kAllDirections));
}

bool nearer(const Sighting& a, const Sighting& b) {
    if (a.hit.distance_m != b.hit.distance_m) {
        return a.hit.distance_m < b.hit.distance_m;
    }
    return a.source != b.source ? a.source < b.source : a.hit.record < b.hit.record;
}

EDOG_WARN_TRACK* find_track(State& s, const Sighting& cam) {
    for (std::size_t i = 0; i < s.track_count; ++i) {
        if (s.tracks[i].record == cam.hit.record && s.tracks[i].source == cam.source) {
            return &s.tracks[i];
        }
    }
    return nullptr;
}

}  // namespace

Motion motion_of(const EDOG_WARN_CONFIG& cfg, const GPS_INFO_T& fix) {
    const int speed = fix.current_speed;
    return {fix.lati,
            fix.longi,
            speed,
            fix.degrees,
            std::isfinite(fix.degrees) && speed >= cfg.min_speed_kmh,
            std::clamp(speed / 3.6 * cfg.lead_time_s, cfg.min_warn_m, cfg.max_warn_m)};
}

int gather(const State& s, const Motion& m, Sightings& out) {
    std::array<E_DOG_HIT, kMaxTracks> hits{};
    if (s.source_count == 0) {
        const int found = e_dog_search_within(m.lat, m.lng, s.config.rearm_m, hits.data(),
                                              static_cast<int>(kMaxTracks));
        const int n = std::min(found, static_cast<int>(kMaxTracks));
        for (int i = 0; i < n; ++i) {
            out[static_cast<std::size_t>(i)] = {hits[static_cast<std::size_t>(i)], 0};
        }
        return found < 0 ? -1 : n;
    }
    // The nearest kMaxTracks of every source together: each source's own
    // nearest kMaxTracks merged into those of the sources before it.
    std::size_t n = 0;
    std::array<Sighting, kMaxTracks> from_source{};
    std::array<Sighting, kMaxTracks * 2> merged{};
    for (std::size_t src = 0; src < s.source_count; ++src) {
        const int found = e_dog_db_within(s.sources[src], m.lat, m.lng, s.config.rearm_m,
                                          hits.data(), static_cast<int>(kMaxTracks));
        if (found < 0) {
            return -1;
        }
        const auto k = std::min(static_cast<std::size_t>(found), kMaxTracks);
        for (std::size_t i = 0; i < k; ++i) {
            from_source[i] = {hits[i], static_cast<INT32>(src)};
        }
        const auto end = std::merge(
            out.begin(), out.begin() + static_cast<std::ptrdiff_t>(n), from_source.begin(),
            from_source.begin() + static_cast<std::ptrdiff_t>(k), merged.begin(), nearer);
        n = std::min(static_cast<std::size_t>(end - merged.begin()), kMaxTracks);
        std::copy(merged.begin(), merged.begin() + static_cast<std::ptrdiff_t>(n), out.begin());
    }
    return static_cast<int>(n);
}

void retire(State& s, const Sightings& seen, std::size_t n, const Motion& m) {
    std::size_t kept = 0;
    for (std::size_t t = 0; t < s.track_count; ++t) {
        const EDOG_WARN_TRACK tr = s.tracks[t];
        const bool in_reach = std::any_of(
            seen.begin(), seen.begin() + static_cast<std::ptrdiff_t>(n),
            [&](const Sighting& c) { return c.hit.record == tr.record && c.source == tr.source; });
        if (in_reach) {
            s.tracks[kept++] = tr;
        } else if (tr.state == static_cast<INT32>(TrackState::kWarned)) {
            const Sighting gone{{tr.data, tr.record, s.config.rearm_m}, tr.source};
            add_event(s, EDOG_WARN_PASSED, gone, m.speed_kmh);
        }
    }
    s.track_count = kept;
}

const EDOG_WARN_TRACK* step_camera(State& s, const Sighting& cam, const Motion& m) {
    const EDOG_WARN_CONFIG& cfg = s.config;
    const E_DOG_DATA& data = cam.hit.data;
    if (!warnable(cfg, data)) {
        return nullptr;
    }
    EDOG_WARN_TRACK* tr = find_track(s, cam);
    if (tr == nullptr) {
        if (s.track_count == kMaxTracks) {
            return nullptr;
        }
        tr = &s.tracks[s.track_count++];
        *tr = {data, cam.hit.record,     static_cast<INT32>(TrackState::kArmed),
               1,    cam.hit.distance_m, cam.source};
    }
    const double d = cam.hit.distance_m;
    const double off_course =
        m.course_ok ? angle_between(bearing_deg(m.lat, m.lng, data.Gps_lat, data.Gps_lng), m.course)
                    : 0.0;
    const bool ahead = d <= cfg.near_m || (m.course_ok && off_course <= cfg.ahead_deg);
    if (tr->state == static_cast<INT32>(TrackState::kArmed) && m.course_ok && ahead &&
        d <= m.reach_m && faces(data, m.course, cfg.heading_tolerance_deg)) {
        tr->state = static_cast<INT32>(TrackState::kWarned);
        tr->closest_m = d;
        add_event(s, EDOG_WARN_WARN, cam, m.speed_kmh);
    } else if (tr->state == static_cast<INT32>(TrackState::kWarned)) {
        const bool behind = d > cfg.near_m && m.course_ok && off_course > kBehindDeg;
        if (behind || d > tr->closest_m + cfg.passed_margin_m) {
            tr->state = static_cast<INT32>(TrackState::kPassed);
            add_event(s, EDOG_WARN_PASSED, cam, m.speed_kmh);
            return nullptr;
        }
        tr->closest_m = std::min(tr->closest_m, d);
    }
    if (tr->state != static_cast<INT32>(TrackState::kWarned)) {
        return nullptr;
    }
    check_overspeed(s, *tr, cam, m);
    return tr;
}

void check_overspeed(State& s, EDOG_WARN_TRACK& tr, const Sighting& cam, const Motion& m) {
    const s32 limit = cam.hit.data.Speed;
    if (limit <= 0) {
        return;  // unknown limit
    }
    if (m.speed_kmh < limit) {
        tr.overspeed_armed = 1;
    } else if (m.speed_kmh > limit + s.config.overspeed_margin_kmh && tr.overspeed_armed != 0) {
        tr.overspeed_armed = 0;
        add_event(s, EDOG_WARN_OVERSPEED, cam, m.speed_kmh);
    }
}

void add_event(State& s, INT32 kind, const Sighting& cam, int speed_kmh) {
    if (s.event_count < kMaxEvents) {
        s.events[s.event_count++] = {kind, speed_kmh, cam.hit, cam.source};
    }
}

}  // namespace e_dog::warn
