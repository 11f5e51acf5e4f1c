// The stages of one fix (warner/warn_state.h): gather the cameras in reach,
// retire the tracks out of reach, step each camera (warn, follow, pass) and
// apply the over-speed rule. The rules: doc/warner.md.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <numeric>
#include <tuple>
#include <vector>

#include "edog/datafile/camera_kind.h"
#include "edog/lookup/lookup.h"
#include "edog/search/within.h"
#include "geo/distance.h"
#include "warner/warn_state.h"

namespace e_dog::warn {

namespace {

constexpr double kFullCircle = 360.0;
constexpr double kBehindDeg = 90.0;  // a camera more than this off the course is behind

// Whether the warner warns of cameras of this DirType at all.
bool warnable(const EDOG_WARN_CONFIG& cfg, std::int32_t dirtype) {
    return qualifies(dirtype) ||
           (cfg.warn_all_directions_type != 0 && dirtype == value(DirType::kAllDirections));
}

bool nearer(const Sighting& a, const Sighting& b) {
    if (a.hit.distance_m != b.hit.distance_m) {
        return a.hit.distance_m < b.hit.distance_m;
    }
    return a.source != b.source ? a.source < b.source : a.hit.record < b.hit.record;
}

// A camera's identity: its source, Idex and position, whatever its record
// number in the file of the moment.
bool same_camera(const EDOG_WARN_TRACK& t, const Sighting& c) {
    const E_DOG_DATA& d = c.hit.data;
    return t.source == c.source && t.data.Idex == d.Idex && t.data.Gps_lat == d.Gps_lat &&
           t.data.Gps_lng == d.Gps_lng;
}

EDOG_WARN_TRACK* find_track(State& s, const Sighting& cam) {
    for (std::size_t i = 0; i < s.track_count; ++i) {
        if (same_camera(s.tracks[i], cam)) {
            return &s.tracks[i];
        }
    }
    return nullptr;
}

// The rule a camera gives the driver; the same rule at one place is one camera.
auto rule_of(const E_DOG_DATA& d) {
    return std::make_tuple(d.Type, d.Speed, d.DirType, d.Direction);
}

// Of two cameras of one rule at one place, the one announced: the first by
// source, Idex and position, so that the choice stays the same at every fix.
auto identity_of(const Sighting& c) {
    const E_DOG_DATA& d = c.hit.data;
    return std::make_tuple(c.source, d.Idex, d.Gps_lat, d.Gps_lng, c.hit.record);
}

// Drops from `cams` every camera with the rule of another within kSamePlaceM
// of it that is announced instead. Sorted by rule and latitude, each camera
// is compared with the few that follow it within that distance.
void drop_repeats(std::vector<Sighting>& cams) {
    constexpr double kMetresPerDegree = 111'000.0;  // a lower bound, for the latitude window
    std::vector<std::size_t> order(cams.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    const auto key = [&](std::size_t i) {
        return std::make_tuple(rule_of(cams[i].hit.data), cams[i].hit.data.Gps_lat);
    };
    std::sort(order.begin(), order.end(),
              [&](std::size_t a, std::size_t b) { return key(a) < key(b); });
    std::vector<bool> repeat(cams.size(), false);
    for (std::size_t x = 0; x < order.size(); ++x) {
        const Sighting& a = cams[order[x]];
        for (std::size_t y = x + 1; y < order.size(); ++y) {
            const Sighting& b = cams[order[y]];
            if (rule_of(a.hit.data) != rule_of(b.hit.data) ||
                b.hit.data.Gps_lat - a.hit.data.Gps_lat > kSamePlaceM / kMetresPerDegree) {
                break;
            }
            if (distance_m(a.hit.data.Gps_lat, a.hit.data.Gps_lng, b.hit.data.Gps_lat,
                           b.hit.data.Gps_lng) < kSamePlaceM) {
                repeat[identity_of(a) < identity_of(b) ? order[y] : order[x]] = true;
            }
        }
    }
    std::size_t kept = 0;
    for (std::size_t i = 0; i < cams.size(); ++i) {
        if (!repeat[i]) {
            cams[kept++] = cams[i];
        }
    }
    cams.resize(kept);
}

// The DirTypes the warner warns of.
DirTypes warnable_types(const EDOG_WARN_CONFIG& cfg) {
    DirTypes t{false, 0};
    for (std::int32_t d = 0; d < 32; ++d) {
        if (warnable(cfg, d)) {
            t.bits |= 1U << static_cast<std::uint32_t>(d);
        }
    }
    return t;
}

}  // namespace

double angle_between(double a, double b) {
    return std::fabs(std::remainder(a - b, kFullCircle));
}

bool faces(const E_DOG_DATA& cam, double course, double tolerance) {
    if (!directed(cam.DirType, cam.Direction)) {
        return true;
    }
    const double dir = cam.Direction;
    return angle_between(course, dir) <= tolerance ||
           (cam.DirType == value(DirType::kBothWays) &&
            angle_between(course, dir + 180.0) <= tolerance);
}

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
    // Kept from fix to fix so that a drive allocates only as its areas grow.
    thread_local std::vector<E_DOG_HIT> hits;
    thread_local std::vector<Sighting> cams;
    cams.clear();
    const DirTypes types = warnable_types(s.config);
    const std::size_t sources = std::max<std::size_t>(s.source_count, 1);
    for (std::size_t src = 0; src < sources; ++src) {
        E_DOG_DB* db = s.source_count == 0 ? default_db() : s.sources[src];
        if (!within_all(db, m.lat, m.lng, s.config.rearm_m, types, hits)) {
            return -1;
        }
        for (const E_DOG_HIT& h : hits) {
            cams.push_back({h, static_cast<INT32>(src)});
        }
    }
    drop_repeats(cams);
    const std::size_t n = std::min(cams.size(), kMaxTracks);
    std::partial_sort(cams.begin(), cams.begin() + static_cast<std::ptrdiff_t>(n), cams.end(),
                      nearer);
    std::copy(cams.begin(), cams.begin() + static_cast<std::ptrdiff_t>(n), out.begin());
    return static_cast<int>(n);
}

void retire(State& s, const Sightings& seen, std::size_t n, const Motion& m) {
    std::size_t kept = 0;
    for (std::size_t t = 0; t < s.track_count; ++t) {
        const EDOG_WARN_TRACK tr = s.tracks[t];
        const bool in_reach =
            std::any_of(seen.begin(), seen.begin() + static_cast<std::ptrdiff_t>(n),
                        [&](const Sighting& c) { return same_camera(tr, c); });
        const bool left_behind =
            distance_m(m.lat, m.lng, tr.data.Gps_lat, tr.data.Gps_lng) >= s.config.rearm_m;
        if (in_reach) {
            s.tracks[kept++] = tr;
        } else if (tr.state == static_cast<INT32>(TrackState::kWarned) && left_behind) {
            const Sighting gone{{tr.data, tr.record, s.config.rearm_m}, tr.source};
            add_event(s, EDOG_WARN_PASSED, gone, m.speed_kmh);
        }
    }
    s.track_count = kept;
}

const EDOG_WARN_TRACK* step_camera(State& s, const Sighting& cam, const Motion& m) {
    const EDOG_WARN_CONFIG& cfg = s.config;
    const E_DOG_DATA& data = cam.hit.data;
    if (!warnable(cfg, data.DirType)) {
        return nullptr;
    }
    EDOG_WARN_TRACK* tr = find_track(s, cam);
    if (tr != nullptr) {  // the file may have changed: the camera as it is now
        tr->data = data;
        tr->record = cam.hit.record;
    } else {
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
    if (limit <= 0 || m.speed_kmh < 0) {
        return;  // unknown limit, or unknown speed
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
