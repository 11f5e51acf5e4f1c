// edog-tool fixes and replay: an NMEA log read by the module's NMEA reader,
// and replayed through the module's warner over a data file.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <map>
#include <set>
#include <string>

#include "edog/e_dog_source_date.h"
#include "gps/nmea.h"
#include "tool/commands.h"
#include "tool/svg.h"
#include "tool/tool.h"
#include "warner/e_dog_warn.h"

namespace edog_tool {

namespace {

using Json = nlohmann::ordered_json;

std::string clock_text(const NMEA_FIX& f) {
    if (f.has_time == 0) {
        return "--:--:--";
    }
    const auto whole = static_cast<long>(f.utc_s);
    const long minute_start = whole / 60 * 60;
    char text[32];
    (void)std::snprintf(text, sizeof text, "%02ld:%02ld:%05.2f", whole / 3600, whole / 60 % 60,
                        f.utc_s - static_cast<double>(minute_start));
    return text;
}

Json date_json(const NMEA_FIX& f) {
    if (f.has_date == 0) {
        return nullptr;
    }
    char text[16];
    (void)std::snprintf(text, sizeof text, "%04d-%02d-%02d", f.year, f.month, f.day);
    return text;
}

Json fix_json(const NMEA_FIX& f, std::uint64_t line) {
    Json j;
    j["line"] = line;
    j["type"] = f.type;
    j["talker"] = f.talker;
    j["utc_s"] = f.has_time != 0 ? number(f.utc_s) : Json(nullptr);
    j["date"] = date_json(f);
    j["valid"] = f.valid != 0;
    j["lat"] = f.has_position != 0 ? number(f.lat) : Json(nullptr);
    j["lng"] = f.has_position != 0 ? number(f.lng) : Json(nullptr);
    j["speed_knots"] = f.has_speed != 0 ? number(f.speed_knots) : Json(nullptr);
    j["course_deg"] = f.has_course != 0 ? number(f.course_deg) : Json(nullptr);
    return j;
}

void print_fix(const NMEA_FIX& f, std::uint64_t line) {
    const Json date = date_json(f);
    std::printf("line %llu  %s %s  %s  %s  %s", static_cast<unsigned long long>(line), f.type,
                f.talker, clock_text(f).c_str(),
                date.is_null() ? "----------" : date.get<std::string>().c_str(),
                f.valid != 0 ? "valid  " : "invalid");
    if (f.has_position != 0) {
        std::printf("  %.6f %.6f", f.lat, f.lng);
    } else {
        std::printf("  no position");
    }
    if (f.has_speed != 0) {
        std::printf("  %.1f kn", f.speed_knots);
    }
    if (f.has_course != 0) {
        std::printf("  course %.1f", f.course_deg);
    }
    std::putchar('\n');
}

// The summary goes to standard output, or to standard error beside JSON.
std::FILE* summary_stream(bool json) {
    return json ? stderr : stdout;
}

const char* event_name(int kind) {
    switch (kind) {
    case EDOG_WARN_WARN:
        return "warn";
    case EDOG_WARN_OVERSPEED:
        return "overspeed";
    default:
        return "passed";
    }
}

// One epoch gives one fix: a GGA with the time of the RMC just taken repeats
// it (without speed or course) and is not fed again.
bool repeats(const NMEA_FIX& f, const NMEA_FIX& last, bool have_last) {
    return have_last && std::string(f.type) == "GGA" && f.has_time != 0 && last.has_time != 0 &&
           f.utc_s == last.utc_s;
}

}  // namespace

int run_fixes(const std::string& log, bool json) {
    const std::string text = read_text(log);
    Lines reader(text);
    std::string_view line;
    std::uint64_t fixes = 0;
    std::uint64_t rmc = 0;
    std::uint64_t valid = 0;
    std::uint64_t other = 0;
    std::uint64_t refused = 0;
    while (reader.next(line)) {
        NMEA_FIX fix{};
        const NMEA_STATUS status = nmea_parse_line(line.data(), line.size(), &fix);
        if (status == NMEA_GOT_FIX) {
            ++fixes;
            rmc += std::string(fix.type) == "RMC" ? 1U : 0U;
            valid += fix.valid != 0 ? 1U : 0U;
            json ? print_json(fix_json(fix, reader.line_no())) : print_fix(fix, reader.line_no());
        } else if (status == NMEA_GOT_OTHER) {
            ++other;
        } else {
            ++refused;
            (void)std::fprintf(stderr, "%s:%llu: %s\n", log.c_str(),
                               static_cast<unsigned long long>(reader.line_no()),
                               nmea_status_text(status));
        }
    }
    (void)std::fprintf(
        summary_stream(json),
        "%s: %llu lines, %llu fixes (%llu RMC, %llu GGA; %llu valid), %llu other "
        "sentences, %llu refused\n",
        log.c_str(), static_cast<unsigned long long>(reader.line_no()),
        static_cast<unsigned long long>(fixes), static_cast<unsigned long long>(rmc),
        static_cast<unsigned long long>(fixes - rmc), static_cast<unsigned long long>(valid),
        static_cast<unsigned long long>(other), static_cast<unsigned long long>(refused));
    finish_output();
    return 0;
}

namespace {

// What a replay gathers beside the events it prints: the drive to draw, the
// cameras seen near it and the counts of the summary.
struct ReplayLog {
    Drive drive;
    std::map<std::int32_t, std::size_t> near;  // record -> its place in drive.cameras
    std::set<std::int32_t> warned;
    std::uint64_t counts[4] = {};
    std::uint64_t fed = 0;

    // The cameras the warner tracks after a fix.
    void note_cameras(const EDOG_WARNER& w) {
        EDOG_WARN_TRACK tr{};
        for (int t = 0; e_dog_warn_track(&w, t, &tr) == 1; ++t) {
            const E_DOG_DATA& c = tr.data;
            if (near.emplace(tr.record, drive.cameras.size()).second) {
                drive.cameras.push_back({{c.Gps_lat, c.Gps_lng}, camera_number(c.Idex), false});
            }
        }
    }

    void note_event(const EDOG_WARN_EVENT& ev, const NMEA_FIX& fix) {
        ++counts[ev.kind & 3];
        if (ev.kind == EDOG_WARN_WARN) {
            warned.insert(ev.camera.record);
            const auto at = near.find(ev.camera.record);
            if (at != near.end()) {
                drive.cameras[at->second].warned = true;
            }
        }
        drive.events.push_back({{fix.lat, fix.lng}, ev.kind});
    }
};

void print_event(const EDOG_WARN_EVENT& ev, const NMEA_FIX& fix, std::uint64_t line_no, bool json) {
    const E_DOG_DATA& c = ev.camera.data;
    if (json) {
        Json j;
        j["line"] = line_no;
        j["utc_s"] = fix.has_time != 0 ? number(fix.utc_s) : Json(nullptr);
        j["event"] = event_name(ev.kind);
        j["idex"] = camera_number(c.Idex);
        j["record"] = ev.camera.record;
        j["distance_m"] = number(ev.camera.distance_m);
        j["limit_kmh"] = c.Speed;
        j["speed_kmh"] = ev.speed_kmh;
        j["lat"] = number(fix.lat);
        j["lng"] = number(fix.lng);
        print_json(j);
        return;
    }
    std::printf("%s  line %llu  %-9s  idex %u  record %d  %.0f m  limit %d  speed %d km/h\n",
                clock_text(fix).c_str(), static_cast<unsigned long long>(line_no),
                event_name(ev.kind), camera_number(c.Idex), ev.camera.record, ev.camera.distance_m,
                c.Speed, ev.speed_kmh);
}

}  // namespace

int run_replay(const ReplayOptions& o) {
    const Database db(o.file);
    const std::string text = read_text(o.log);
    Lines reader(text);
    EDOG_WARNER warner;
    e_dog_warn_init(&warner, &o.config);
    E_DOG_DB* const sources[] = {db.get()};
    (void)e_dog_warn_set_sources(&warner, sources, 1);
    ReplayLog log;
    NMEA_FIX last{};
    bool have_last = false;
    std::string_view line;
    while (reader.next(line)) {
        NMEA_FIX fix{};
        if (nmea_parse_line(line.data(), line.size(), &fix) != NMEA_GOT_FIX ||
            repeats(fix, last, have_last)) {
            continue;
        }
        last = fix;
        have_last = true;
        GPS_INFO_T info{};
        if (nmea_fill_gps_info(&fix, &info) != 0) {
            continue;  // not valid, or no position
        }
        ++log.fed;
        (void)e_dog_warn_update(&warner, &info, nullptr, nullptr);
        log.drive.track.push_back({fix.lat, fix.lng});
        log.note_cameras(warner);
        EDOG_WARN_EVENT ev{};
        for (int e = 0; e_dog_warn_event(&warner, e, &ev) == 1; ++e) {
            log.note_event(ev, fix);
            print_event(ev, fix, reader.line_no(), o.json);
        }
    }
    (void)std::fprintf(summary_stream(o.json),
                       "%s: %llu fixes, %llu warnings, %llu over-speed, %llu passed, %zu cameras "
                       "warned\n",
                       o.log.c_str(), static_cast<unsigned long long>(log.fed),
                       static_cast<unsigned long long>(log.counts[EDOG_WARN_WARN]),
                       static_cast<unsigned long long>(log.counts[EDOG_WARN_OVERSPEED]),
                       static_cast<unsigned long long>(log.counts[EDOG_WARN_PASSED]),
                       log.warned.size());
    if (!o.svg.empty()) {
        write_drive_svg(o.svg, log.drive);
    }
    finish_output();
    return 0;
}

}  // namespace edog_tool
