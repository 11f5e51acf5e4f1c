#include "edog/e_dog_warn.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>

#include "edog/e_dog_answer.h"
#include "geo/distance.h"

namespace {

enum TrackState : INT32 { kArmed = 0, kWarned = 1, kPassed = 2 };

constexpr double kFullCircle = 360.0;

double to_rad(double deg) {
    return deg * e_dog::kFormulaPi / 180.0;
}

// Initial bearing from (lat1, lng1) to (lat2, lng2), degrees from north.
double bearing_deg(double lat1, double lng1, double lat2, double lng2) {
    const double p1 = to_rad(lat1);
    const double p2 = to_rad(lat2);
    const double dl = to_rad(lng2 - lng1);
    const double y = std::sin(dl) * std::cos(p2);
    const double x = std::cos(p1) * std::sin(p2) - std::sin(p1) * std::cos(p2) * std::cos(dl);
    return std::atan2(y, x) * 180.0 / e_dog::kFormulaPi;
}

// The angle between two directions, 0 to 180 degrees.
double angle_between(double a, double b) {
    return std::fabs(std::remainder(a - b, kFullCircle));
}

// Whether the camera watches traffic going `course`.
bool faces(const E_DOG_DATA& cam, double course, double tolerance) {
    const bool directed =
        (cam.DirType == 1 || cam.DirType == 2) && cam.Direction >= 0 && cam.Direction <= 359;
    if (!directed) {
        return true;
    }
    const double dir = cam.Direction;
    return angle_between(course, dir) <= tolerance ||
           (cam.DirType == 2 && angle_between(course, dir + 180.0) <= tolerance);
}

const char* kind_text(s32 type) {
    switch (type) {
    case 1:
        return "speed camera";
    case 2:
        return "speed and red light camera";
    case 3:
        return "red light camera";
    case 4:
        return "section control";
    case 5:
        return "mobile camera";
    case 6:
        return "railway crossing";
    default:
        return "camera";
    }
}

void describe(const EDOG_WARN_EVENT& e, EDOG_ALARM* alarm) {
    if (alarm == nullptr) {
        return;
    }
    const E_DOG_DATA& cam = e.camera.data;
    const int metres = static_cast<int>(e.camera.distance_m);
    if (e.kind == EDOG_WARN_WARN && cam.Speed > 0) {
        (void)std::snprintf(alarm->str, sizeof alarm->str, "%s %d km/h in %d m",
                            kind_text(cam.Type), cam.Speed, metres);
    } else if (e.kind == EDOG_WARN_WARN) {
        (void)std::snprintf(alarm->str, sizeof alarm->str, "%s in %d m", kind_text(cam.Type),
                            metres);
    } else if (e.kind == EDOG_WARN_OVERSPEED) {
        (void)std::snprintf(alarm->str, sizeof alarm->str, "slow down: %d km/h, limit %d km/h",
                            e.speed_kmh, cam.Speed);
    } else {
        (void)std::snprintf(alarm->str, sizeof alarm->str, "%s passed", kind_text(cam.Type));
    }
    alarm->data = cam;
}

EDOG_WARN_TRACK* find_track(EDOG_WARNER& w, INT32 record) {
    for (INT32 i = 0; i < w.track_count; ++i) {
        if (w.tracks[i].record == record) {
            return &w.tracks[i];
        }
    }
    return nullptr;
}

void add_event(EDOG_WARNER& w, INT32 kind, const E_DOG_HIT& cam, INT32 speed) {
    if (w.event_count < EDOG_WARN_MAX_EVENTS) {
        w.events[w.event_count++] = {kind, speed, cam};
    }
}

}  // namespace

void e_dog_warn_default_config(EDOG_WARN_CONFIG* config) {
    *config = {0, 45.0, 15.0, 150.0, 800.0, 5, 5, 60.0, 30.0, 30.0, 800.0};
}

void e_dog_warn_init(EDOG_WARNER* w, const EDOG_WARN_CONFIG* config) {
    *w = EDOG_WARNER{};
    if (config != nullptr) {
        w->config = *config;
    } else {
        e_dog_warn_default_config(&w->config);
    }
}

int e_dog_warn_update(EDOG_WARNER* w, const GPS_INFO_T* fix, EDOG_ALARM* alarm, E_DOG_LCD* lcd) {
    const EDOG_WARN_CONFIG& cfg = w->config;
    w->event_count = 0;
    w->event_next = 0;
    if (fix == nullptr) {
        return EDOG_WARN_NONE;
    }
    if (lcd != nullptr) {
        lcd->result = -1;
        lcd->cur_speed = fix->current_speed;
    }
    std::array<E_DOG_HIT, EDOG_WARN_MAX_TRACKS> hits{};
    const int found =
        e_dog_search_within(fix->lati, fix->longi, cfg.rearm_m, hits.data(), EDOG_WARN_MAX_TRACKS);
    if (found < 0) {
        return EDOG_WARN_NONE;
    }
    const int n = std::min(found, EDOG_WARN_MAX_TRACKS);
    const int speed = fix->current_speed;
    const double course = fix->degrees;
    const bool course_ok = std::isfinite(course) && speed >= cfg.min_speed_kmh;
    const double reach = std::clamp(speed / 3.6 * cfg.lead_time_s, cfg.min_warn_m, cfg.max_warn_m);

    // Cameras warned but now out of reach (a jump of the fix) are passed;
    // every camera out of reach is armed again.
    std::array<EDOG_WARN_TRACK, EDOG_WARN_MAX_TRACKS> kept{};
    INT32 kept_count = 0;
    for (INT32 t = 0; t < w->track_count; ++t) {
        const EDOG_WARN_TRACK& tr = w->tracks[t];
        const auto in_reach = std::find_if(hits.begin(), hits.begin() + n, [&](const E_DOG_HIT& h) {
            return h.record == tr.record;
        });
        if (in_reach != hits.begin() + n) {
            kept[static_cast<std::size_t>(kept_count++)] = tr;
        } else if (tr.state == kWarned) {
            E_DOG_HIT gone{};
            gone.data = tr.data;
            gone.record = tr.record;
            gone.distance_m = cfg.rearm_m;
            add_event(*w, EDOG_WARN_PASSED, gone, speed);
        }
    }
    std::copy(kept.begin(), kept.begin() + kept_count, w->tracks);
    w->track_count = kept_count;

    const E_DOG_HIT* shown = nullptr;
    for (int i = 0; i < n; ++i) {  // nearest first
        const E_DOG_HIT& hit = hits[static_cast<std::size_t>(i)];
        const E_DOG_DATA& cam = hit.data;
        if (!e_dog::qualifies(cam.DirType) &&
            !(cfg.warn_all_directions_type != 0 && cam.DirType == 0)) {
            continue;
        }
        EDOG_WARN_TRACK* tr = find_track(*w, hit.record);
        if (tr == nullptr) {
            if (w->track_count == EDOG_WARN_MAX_TRACKS) {
                continue;
            }
            tr = &w->tracks[w->track_count++];
            *tr = {cam, hit.record, kArmed, 1, hit.distance_m};
        }
        const double d = hit.distance_m;
        const double off_course =
            course_ok ? angle_between(bearing_deg(fix->lati, fix->longi, cam.Gps_lat, cam.Gps_lng),
                                      course)
                      : 0.0;
        const bool ahead = d <= cfg.near_m || (course_ok && off_course <= cfg.ahead_deg);
        if (tr->state == kArmed && course_ok && ahead && d <= reach &&
            faces(cam, course, cfg.heading_tolerance_deg)) {
            tr->state = kWarned;
            tr->closest_m = d;
            add_event(*w, EDOG_WARN_WARN, hit, speed);
        } else if (tr->state == kWarned) {
            const bool behind = d > cfg.near_m && course_ok && off_course > 90.0;
            if (behind || d > tr->closest_m + cfg.passed_margin_m) {
                tr->state = kPassed;
                add_event(*w, EDOG_WARN_PASSED, hit, speed);
                continue;
            }
            tr->closest_m = std::min(tr->closest_m, d);
        }
        if (tr->state != kWarned) {
            continue;
        }
        if (cam.Speed > 0 && speed < cam.Speed) {
            tr->overspeed_armed = 1;
        } else if (cam.Speed > 0 && speed > cam.Speed + cfg.overspeed_margin_kmh &&
                   tr->overspeed_armed != 0) {
            tr->overspeed_armed = 0;
            add_event(*w, EDOG_WARN_OVERSPEED, hit, speed);
        }
        if (shown == nullptr) {
            shown = &hit;
        }
    }
    if (lcd != nullptr && shown != nullptr) {
        e_dog::show_camera(lcd, shown->data, shown->distance_m);
    }
    return e_dog_warn_next(w, alarm);
}

int e_dog_warn_next(EDOG_WARNER* w, EDOG_ALARM* alarm) {
    if (w->event_next >= w->event_count) {
        return EDOG_WARN_NONE;
    }
    const EDOG_WARN_EVENT& e = w->events[w->event_next++];
    describe(e, alarm);
    return e.kind;
}
