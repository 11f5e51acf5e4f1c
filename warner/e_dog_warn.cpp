// The warner's C interface: its storage, its sources, one fix through the
// stages of warner/warn_state.h, and its events handed over as texts.
#include "warner/e_dog_warn.h"

#include <array>
#include <cstddef>
#include <cstdio>
#include <memory>
#include <new>

#include "edog/datafile/camera_kind.h"
#include "edog/search/e_dog_answer.h"
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
    return 0;
}

int e_dog_warn_update(EDOG_WARNER* w, const GPS_INFO_T* fix, EDOG_ALARM* alarm, E_DOG_LCD* lcd) {
    namespace warn = e_dog::warn;
    State& s = warn::state_of(w);
    s.event_count = 0;
    s.event_next = 0;
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
    show(lcd, shown, shown_m);
    return e_dog_warn_next(w, alarm);
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
