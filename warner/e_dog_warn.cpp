// The warner's C interface: its storage, its sources, one fix through the
// stages of warner/warn_state.h, and its events handed over as texts.
#include "warner/e_dog_warn.h"

#include <array>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <limits>
#include <memory>
#include <new>

#include "edog/datafile/camera_kind.h"
#include "edog/search/e_dog_answer.h"
#include "warner/e_dog_warn_zones.h"
#include "warner/warn_state.h"

namespace e_dog::warn {

State& state_of(EDOG_WARNER* w) {
    return *std::launder(reinterpret_cast<State*>(w->opaque));
}

const State& state_of(const EDOG_WARNER* w) {
    return *std::launder(reinterpret_cast<const State*>(w->opaque));
}

}  // namespace e_dog::warn

namespace {

using e_dog::warn::State;

constexpr EDOG_WARN_CONFIG kDefaults{
    .warn_all_directions_type = 0,
    .heading_tolerance_deg = 45.0,
    .lead_time_s = 15.0,
    .min_warn_m = 150.0,
    .max_warn_m = 800.0,
    .overspeed_margin_kmh = 5,
    .min_speed_kmh = 5,
    .ahead_deg = 60.0,
    .near_m = 30.0,
    .passed_margin_m = 30.0,
    .rearm_m = 800.0,
};

void describe(const EDOG_WARN_EVENT& e, EDOG_ALARM* alarm) {
    if (alarm == nullptr) {
        return;
    }
    const E_DOG_DATA& cam = e.camera.data;
    const int metres = static_cast<int>(e.camera.distance_m);
    const char* kind = e_dog::type_text(cam.Type);
    if (e.kind == EDOG_WARN_WARN && cam.Speed > 0) {
        (void)std::snprintf(alarm->str, sizeof alarm->str, "%s %d km/h in %d m", kind, cam.Speed,
                            metres);
    } else if (e.kind == EDOG_WARN_WARN) {
        (void)std::snprintf(alarm->str, sizeof alarm->str, "%s in %d m", kind, metres);
    } else if (e.kind == EDOG_WARN_OVERSPEED) {
        (void)std::snprintf(alarm->str, sizeof alarm->str, "slow down: %d km/h, limit %d km/h",
                            e.speed_kmh, cam.Speed);
    } else {
        (void)std::snprintf(alarm->str, sizeof alarm->str, "%s passed", kind);
    }
    alarm->data = cam;
}

// The display: the nearest camera being warned, or result -1.
void show(E_DOG_LCD* lcd, const EDOG_WARN_TRACK* shown, double distance_m) {
    if (lcd != nullptr && shown != nullptr) {
        e_dog::show_camera(lcd, shown->data, distance_m);
    }
}

// Inside a zone, with no point camera to show: the zone on the display,
// "section 80 km/h: average 76 km/h, 2.3 km to go".
void show_zone(const State& s, EDOG_ALARM* alarm, E_DOG_LCD* lcd) {
    EDOG_ZONE_STATUS z{};
    if (!e_dog::warn::zone_status(s, z)) {
        return;
    }
    if (alarm != nullptr) {
        (void)std::snprintf(alarm->str, sizeof alarm->str,
                            "section %d km/h: average %.0f km/h, %.1f km to go", z.limit_kmh,
                            z.average_kmh, z.remaining_m / 1000.0);
        alarm->data = s.zone_runs[0].zone.exit;
    }
    if (lcd != nullptr && lcd->result != 0) {
        lcd->result = 0;
        lcd->limit_speed = z.limit_kmh;
        lcd->distance_val = static_cast<s32>(z.remaining_m);
    }
}

// Entry `i` of the first `count` of `items` into *out: 1, or 0 when there is
// no such entry.
template <typename T, std::size_t N>
int copy_out(const std::array<T, N>& items, std::size_t count, int i, T* out) {
    if (i < 0 || static_cast<std::size_t>(i) >= count || out == nullptr) {
        return 0;
    }
    *out = items[static_cast<std::size_t>(i)];
    return 1;
}

}  // namespace

size_t e_dog_warn_state_bytes(void) {
    return sizeof(State);
}

void e_dog_warn_default_config(EDOG_WARN_CONFIG* config) {
    *config = kDefaults;
}

void e_dog_warn_init(EDOG_WARNER* w, const EDOG_WARN_CONFIG* config) {
    State* s = std::construct_at(reinterpret_cast<State*>(w->opaque));
    s->config = config != nullptr ? *config : kDefaults;
}

int e_dog_warn_set_sources(EDOG_WARNER* w, E_DOG_DB* const* sources, int count) {
    if (count < 0 || static_cast<std::size_t>(count) > e_dog::warn::kMaxSources ||
        (count > 0 && sources == nullptr)) {
        return -1;
    }
    for (int i = 0; i < count; ++i) {
        if (sources[i] == nullptr) {
            return -1;
        }
    }
    State& s = e_dog::warn::state_of(w);
    for (int i = 0; i < count; ++i) {
        s.sources[static_cast<std::size_t>(i)] = sources[i];
    }
    s.source_count = static_cast<std::size_t>(count);
    s.track_count = 0;  // record numbers of other files
    s.event_count = 0;
    s.event_next = 0;
    s.zone_run_count = 0;  // zones of other files
    s.zone_event_count = 0;
    return 0;
}

int e_dog_warn_update(EDOG_WARNER* w, const GPS_INFO_T* fix, EDOG_ALARM* alarm, E_DOG_LCD* lcd) {
    return e_dog_warn_update_at(w, fix, std::numeric_limits<double>::quiet_NaN(), alarm, lcd);
}

int e_dog_warn_update_at(EDOG_WARNER* w, const GPS_INFO_T* fix, double time_s, EDOG_ALARM* alarm,
                         E_DOG_LCD* lcd) {
    namespace warn = e_dog::warn;
    State& s = warn::state_of(w);
    s.event_count = 0;
    s.event_next = 0;
    s.zone_event_count = 0;
    if (fix == nullptr) {
        return EDOG_WARN_NONE;
    }
    if (lcd != nullptr) {
        lcd->result = -1;
        lcd->cur_speed = fix->current_speed;
    }
    const warn::Motion m = warn::motion_of(s.config, *fix);
    warn::Sightings seen{};
    const int found = warn::gather(s, m, seen);
    if (found < 0) {
        return EDOG_WARN_NONE;
    }
    const auto n = static_cast<std::size_t>(found);
    warn::retire(s, seen, n, m);
    const EDOG_WARN_TRACK* shown = nullptr;
    double shown_m = 0.0;
    for (std::size_t i = 0; i < n; ++i) {  // nearest first
        const EDOG_WARN_TRACK* warned = warn::step_camera(s, seen[i], m);
        if (warned != nullptr && shown == nullptr) {
            shown = warned;
            shown_m = seen[i].hit.distance_m;
        }
    }
    warn::follow_zones(s, m, time_s);
    show(lcd, shown, shown_m);
    const int first = e_dog_warn_next(w, alarm);
    if (first == EDOG_WARN_NONE) {
        show_zone(s, alarm, lcd);
    }
    return first;
}

int e_dog_warn_next(EDOG_WARNER* w, EDOG_ALARM* alarm) {
    State& s = e_dog::warn::state_of(w);
    if (s.event_next >= s.event_count) {
        return EDOG_WARN_NONE;
    }
    const EDOG_WARN_EVENT& e = s.events[s.event_next++];
    describe(e, alarm);
    return e.kind;
}

int e_dog_warn_event_count(const EDOG_WARNER* w) {
    return static_cast<int>(e_dog::warn::state_of(w).event_count);
}

int e_dog_warn_event(const EDOG_WARNER* w, int i, EDOG_WARN_EVENT* out) {
    const State& s = e_dog::warn::state_of(w);
    return copy_out(s.events, s.event_count, i, out);
}

int e_dog_warn_track_count(const EDOG_WARNER* w) {
    return static_cast<int>(e_dog::warn::state_of(w).track_count);
}

int e_dog_warn_track(const EDOG_WARNER* w, int i, EDOG_WARN_TRACK* out) {
    const State& s = e_dog::warn::state_of(w);
    return copy_out(s.tracks, s.track_count, i, out);
}

int e_dog_warn_zone_event_count(const EDOG_WARNER* w) {
    return static_cast<int>(e_dog::warn::state_of(w).zone_event_count);
}

int e_dog_warn_zone_event(const EDOG_WARNER* w, int i, EDOG_ZONE_EVENT* out) {
    const State& s = e_dog::warn::state_of(w);
    return copy_out(s.zone_events, s.zone_event_count, i, out);
}

int e_dog_warn_zone_status(const EDOG_WARNER* w, EDOG_ZONE_STATUS* out) {
    EDOG_ZONE_STATUS z{};
    if (out == nullptr || !e_dog::warn::zone_status(e_dog::warn::state_of(w), z)) {
        return 0;
    }
    *out = z;
    return 1;
}
