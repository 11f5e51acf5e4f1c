// edog-tool fixes and replay: an NMEA log read by the module's epoch reader,
// one fix per receiver cycle, and replayed through the module's warner over
// a data file.
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <map>
#include <set>
#include <string>

#include "edog/e_dog_source_date.h"
#include "gps/nmea_epoch.h"
#include "tool/commands.h"
#include "tool/file_kind.h"
#include "tool/nmea_log.h"
#include "tool/output.h"
#include "tool/svg.h"
#include "tool/tool.h"
#include "warner/e_dog_warn.h"
#include "warner/e_dog_warn_zones.h"

namespace edog_tool {

namespace {

using Json = nlohmann::ordered_json;

Json fix_json(const NMEA_EPOCH& f, std::uint64_t line) {
    const auto optional = [](int has, double v) { return has != 0 ? number(v) : Json(nullptr); };
    const std::string date = date_text(f);
    Json j;
    j["line"] = line;
    j["sentences"] = sentence_text(f.sentences);
    j["utc_s"] = optional(f.has_time, f.utc_s);
    j["time"] = f.has_time != 0 ? Json(clock_text(f)) : Json(nullptr);
    j["date"] = date.empty() ? Json(nullptr) : Json(date);
    j["valid"] = f.valid != 0;
    j["lat"] = optional(f.has_position, f.lat);
    j["lng"] = optional(f.has_position, f.lng);
    j["speed_knots"] = optional(f.has_speed, f.speed_knots);
    j["course_deg"] = optional(f.has_course, f.course_deg);
    j["quality"] = f.quality >= 0 ? Json(f.quality) : Json(nullptr);
    j["satellites"] = f.satellites >= 0 ? Json(f.satellites) : Json(nullptr);
    j["hdop"] = optional(f.has_hdop, f.hdop);
    j["altitude_m"] = optional(f.has_altitude, f.altitude_m);
    return j;
}

void print_fix(const NMEA_EPOCH& f, std::uint64_t line) {
    const std::string date = date_text(f);
    std::printf("line %llu  %-7s  %s  %s  %s", static_cast<unsigned long long>(line),
                sentence_text(f.sentences).c_str(), clock_text(f).c_str(),
                date.empty() ? "----------" : date.c_str(), f.valid != 0 ? "valid  " : "invalid");
    if (f.has_position != 0) {
        std::printf("  %.6f %.6f", f.lat, f.lng);
    } else {
        std::printf("  no position");
    }
    if (f.has_speed != 0) {
        std::printf("  %.1f kn", f.speed_knots);
    } else {
        std::printf("  no speed");
    }
    if (f.has_course != 0) {
        std::printf("  course %.1f", f.course_deg);
    }
    if (f.satellites >= 0) {
        std::printf("  %d sats", f.satellites);
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

}  // namespace

int run_fixes(const FixesOptions& o) {
    const LogCounts c =
        read_log(o.log, o.all_refusals, [&](const NMEA_EPOCH& f, std::uint64_t line) {
            o.json ? print_json(fix_json(f, line)) : print_fix(f, line);
        });
    (void)std::fprintf(
        summary_stream(o.json),
        "%s: %llu lines, %llu fixes (%llu valid) from %llu sentences, %llu other "
        "sentences, %llu refused\n",
        o.log.c_str(), static_cast<unsigned long long>(c.lines),
        static_cast<unsigned long long>(c.fixes), static_cast<unsigned long long>(c.valid),
        static_cast<unsigned long long>(c.sentences), static_cast<unsigned long long>(c.other),
        static_cast<unsigned long long>(c.refused));
    finish_output();
    return 0;
}

namespace {

// What a replay gathers beside the events it prints: the drive to draw, the
// cameras seen near it and the counts of the summary.
struct ReplayLog {
    bool drawing = false;  // without a drawing only the summary's counts are kept
    Drive drive;
    std::map<std::int32_t, std::size_t> near;  // record -> its place in drive.cameras
    std::set<std::int32_t> warned;
    std::set<std::int32_t> zones_drawn;
    std::uint64_t counts[4] = {};
    std::uint64_t fed = 0;

    // The cameras the warner tracks after a fix.
    void note_cameras(const EDOG_WARNER& w) {
        if (!drawing) {
            return;
        }
        EDOG_WARN_TRACK tr{};
        for (int t = 0; e_dog_warn_track(&w, t, &tr) == 1; ++t) {
            const E_DOG_DATA& c = tr.data;
            if (near.emplace(tr.record, drive.cameras.size()).second) {
                drive.cameras.push_back(
                    {{c.Gps_lat, c.Gps_lng}, camera_number(c.Idex), false, c.DirType, c.Direction});
            }
        }
    }

    // A zone event: its mark, and the zone's line once.
    void note_zone_event(const EDOG_ZONE_EVENT& ev, const NMEA_EPOCH& fix, const E_DOG_DB* db) {
        drive.add_event({{fix.lat, fix.lng}, kZoneEvent + ev.kind});
        if (!zones_drawn.insert(ev.zone_id).second) {
            return;
        }
        EDOG_ZONE z{};
        for (int i = 0; e_dog_db_zone(db, i, &z) == 1; ++i) {
            if (z.zone_id == ev.zone_id) {
                drive.zones.push_back({{z.entry.Gps_lat, z.entry.Gps_lng},
                                       {z.exit.Gps_lat, z.exit.Gps_lng},
                                       z.zone_id});
                return;
            }
        }
    }

    void note_event(const EDOG_WARN_EVENT& ev, const NMEA_EPOCH& fix) {
        ++counts[ev.kind & 3];
        if (ev.kind == EDOG_WARN_WARN) {
            warned.insert(ev.camera.record);
        }
        if (!drawing) {
            return;
        }
        if (ev.kind == EDOG_WARN_WARN) {
            const auto at = near.find(ev.camera.record);
            if (at != near.end()) {
                drive.cameras[at->second].warned = true;
            }
        }
        drive.add_event({{fix.lat, fix.lng}, ev.kind});
    }
};

void print_event(const EDOG_WARN_EVENT& ev, const NMEA_EPOCH& fix, std::uint64_t line_no,
                 bool json) {
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

const char* zone_event_name(int kind) {
    switch (kind) {
    case EDOG_ZONE_ENTER:
        return "zone_enter";
    case EDOG_ZONE_OVERSPEED:
        return "zone_overspeed";
    case EDOG_ZONE_EXIT:
        return "zone_exit";
    default:
        return "zone_left";
    }
}

void print_zone_event(const EDOG_ZONE_EVENT& ev, const NMEA_EPOCH& fix, int speed_kmh,
                      std::uint64_t line_no, bool json) {
    const double average = std::round(ev.average_kmh * 10.0) / 10.0;
    if (json) {
        Json j;
        j["line"] = line_no;
        j["utc_s"] = fix.has_time != 0 ? number(fix.utc_s) : Json(nullptr);
        j["event"] = zone_event_name(ev.kind);
        j["zone"] = ev.zone_id;
        j["limit_kmh"] = ev.limit_kmh;
        j["average_kmh"] = number(average);
        j["elapsed_s"] = number(ev.elapsed_s);
        j["driven_m"] = number(ev.driven_m);
        j["remaining_m"] = number(ev.remaining_m);
        j["speed_kmh"] = speed_kmh;
        j["lat"] = number(fix.lat);
        j["lng"] = number(fix.lng);
        print_json(j);
        return;
    }
    std::printf(
        "%s  line %llu  %-14s  zone %d  limit %d  average %.1f km/h  %.1f s  %.0f m "
        "driven  %.0f m to go\n",
        clock_text(fix).c_str(), static_cast<unsigned long long>(line_no), zone_event_name(ev.kind),
        ev.zone_id, ev.limit_kmh, average, ev.elapsed_s, ev.driven_m, ev.remaining_m);
}

// Seconds of a fix on one time line: its date and time, or without a date
// its time of day counted on across midnight; NaN without a time.
class FixClock {
public:
    double operator()(const NMEA_EPOCH& f) {
        if (f.has_time == 0) {
            return std::numeric_limits<double>::quiet_NaN();
        }
        if (f.has_date != 0) {
            const std::chrono::sys_days day{std::chrono::year{f.year} /
                                            std::chrono::month{static_cast<unsigned>(f.month)} /
                                            std::chrono::day{static_cast<unsigned>(f.day)}};
            return static_cast<double>(day.time_since_epoch().count()) * kDay + f.utc_s;
        }
        if (f.utc_s + kDay / 2 < last_) {
            midnights_ += 1.0;
        }
        last_ = f.utc_s;
        return midnights_ * kDay + f.utc_s;
    }

private:
    static constexpr double kDay = 86400.0;
    double last_ = 0.0;
    double midnights_ = 0.0;
};

}  // namespace

int run_replay(const ReplayOptions& o) {
    const std::string svg = o.svg.empty() ? std::string() : checked_output(o.svg, {o.file, o.log});
    expect_data_file(RecordReader(o.file), DataCheck::kSound);
    const Database db(o.file);
    EDOG_WARNER warner;
    e_dog_warn_init(&warner, &o.config);
    E_DOG_DB* const sources[] = {db.get()};
    (void)e_dog_warn_set_sources(&warner, sources, 1);
    ReplayLog log;
    log.drawing = !svg.empty();
    FixClock clock;
    std::uint64_t zone_counts[5] = {};
    (void)read_log(o.log, o.all_refusals, [&](const NMEA_EPOCH& fix, std::uint64_t line_no) {
        const double time_s = clock(fix);
        GPS_INFO_T info{};
        if (nmea_epoch_fill_gps_info(&fix, &info) != 0) {
            return;  // not valid, or no position
        }
        ++log.fed;
        (void)e_dog_warn_update_at(&warner, &info, time_s, nullptr, nullptr);
        if (log.drawing) {
            log.drive.add_track_point({fix.lat, fix.lng});
        }
        log.note_cameras(warner);
        EDOG_WARN_EVENT ev{};
        for (int e = 0; e_dog_warn_event(&warner, e, &ev) == 1; ++e) {
            log.note_event(ev, fix);
            print_event(ev, fix, line_no, o.json);
        }
        EDOG_ZONE_EVENT zev{};
        for (int e = 0; e_dog_warn_zone_event(&warner, e, &zev) == 1; ++e) {
            zone_counts[zev.kind >= 1 && zev.kind <= 4 ? zev.kind : 0] += 1;
            if (log.drawing) {
                log.note_zone_event(zev, fix, db.get());
            }
            print_zone_event(zev, fix, info.current_speed, line_no, o.json);
        }
    });
    (void)std::fprintf(summary_stream(o.json),
                       "%s: %llu fixes, %llu warnings, %llu over-speed, %llu passed, %zu cameras "
                       "warned\n",
                       o.log.c_str(), static_cast<unsigned long long>(log.fed),
                       static_cast<unsigned long long>(log.counts[EDOG_WARN_WARN]),
                       static_cast<unsigned long long>(log.counts[EDOG_WARN_OVERSPEED]),
                       static_cast<unsigned long long>(log.counts[EDOG_WARN_PASSED]),
                       log.warned.size());
    if (e_dog_db_zone_count(db.get()) > 0) {
        (void)std::fprintf(summary_stream(o.json),
                           "%s: zones: %llu entered, %llu over-speed, %llu exited, %llu left\n",
                           o.log.c_str(), static_cast<unsigned long long>(zone_counts[1]),
                           static_cast<unsigned long long>(zone_counts[2]),
                           static_cast<unsigned long long>(zone_counts[3]),
                           static_cast<unsigned long long>(zone_counts[4]));
    }
    if (!svg.empty()) {
        write_drive_svg(svg, log.drive, o.svg);
    }
    finish_output();
    return 0;
}

}  // namespace edog_tool
