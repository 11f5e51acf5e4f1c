// Fixes per second through the NMEA reader and the warner on a data file of
// COUNT cameras clustered around cities: drives of 10 minutes at one fix a
// second through the cities, as RMC sentences. Beside it, in the same run:
// the reader alone, the nearest search alone at the same positions, and the
// warner on a database handle of the same file without zones and with 2,000
// zones (each drive's first camera to the camera nearest its position 5
// minutes later, and zones between neighbouring records).
//
//   warn_bench [COUNT [FIXES [RUNS [DIR]]]]
//
// The report goes to standard error.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "bench/lookup_data.h"
#include "edog/datafile/data_file_layout.h"
#include "edog/datafile/zone_file.h"
#include "edog/e_dog_db.h"
#include "edog/e_dog_source_date.h"
#include "edog/e_dog_zones.h"
#include "edog/lookup/lookup.h"
#include "gps/nmea_epoch.h"
#include "warner/e_dog_warn.h"
#include "warner/e_dog_warn_zones.h"

namespace {

constexpr double kMetresPerDegree = 111319.5;
constexpr int kDriveSeconds = 600;

std::string rmc(int t, double lat, double lng, double knots, double course) {
    const auto field = [](double v, int deg_digits) {
        const double a = std::fabs(v);
        const int deg = static_cast<int>(a);
        char buf[32];
        (void)std::snprintf(buf, sizeof buf, "%0*d%07.4f", deg_digits, deg, (a - deg) * 60.0);
        return std::string(buf);
    };
    char body[128];
    (void)std::snprintf(body, sizeof body,
                        "GPRMC,%02d%02d%02d.00,A,%s,%c,%s,%c,%.1f,%.1f,091226,,,A", t / 3600 % 24,
                        t / 60 % 60, t % 60, field(lat, 2).c_str(), lat < 0 ? 'S' : 'N',
                        field(lng, 3).c_str(), lng < 0 ? 'W' : 'E', knots, course);
    unsigned x = 0;
    for (const char* c = body; *c != '\0'; ++c) {
        x ^= static_cast<unsigned char>(*c);
    }
    char line[160];
    (void)std::snprintf(line, sizeof line, "$%s*%02X\r\n", body, x);
    return line;
}

// Drives starting at random cameras, 50 km/h, in gentle curves.
std::vector<std::string> make_drives(const std::vector<E_DOG_DATA>& cams, std::size_t fixes,
                                     std::vector<bench::Position>& where) {
    std::mt19937_64 rng(9);
    std::uniform_int_distribution<std::size_t> pick(0, cams.size() - 1);
    std::uniform_real_distribution<double> heading(0.0, 360.0);
    std::vector<std::string> lines;
    const double v = 50 / 3.6;
    while (lines.size() < fixes) {
        const E_DOG_DATA& start = cams[pick(rng)];
        double lat = start.Gps_lat;
        double lng = start.Gps_lng;
        double h = heading(rng);
        for (int t = 0; t < kDriveSeconds && lines.size() < fixes; ++t) {
            lines.push_back(rmc(t, lat, lng, v * 3.6 / 1.852, h));
            where.push_back({lat, lng});
            const double r = h * 3.14159265 / 180.0;
            lat += v * std::cos(r) / kMetresPerDegree;
            lng += v * std::sin(r) / (kMetresPerDegree * std::cos(lat * 3.14159265 / 180.0));
            h = std::fmod(h + 0.2, 360.0);
        }
    }
    return lines;
}

// The record nearest to (lat, lng), by a plain scan.
std::uint32_t nearest_record(const std::vector<E_DOG_DATA>& cams, double lat, double lng) {
    std::uint32_t best = 0;
    double best_d = 1e300;
    for (std::size_t i = 0; i < cams.size(); ++i) {
        const double dlat = cams[i].Gps_lat - lat;
        const double dlng = cams[i].Gps_lng - lng;
        const double d = dlat * dlat + dlng * dlng;
        if (d < best_d) {
            best_d = d;
            best = static_cast<std::uint32_t>(i);
        }
    }
    return best;
}

e_dog::ZoneRecord zone_of(const std::vector<E_DOG_DATA>& cams, std::uint32_t id,
                          std::uint32_t entry, std::uint32_t exit) {
    e_dog::ZoneRecord z{};
    z.zone_id = id;
    z.speed_kmh = 60;
    z.entry_record = entry;
    z.entry_idex = static_cast<std::uint32_t>(cams[entry].Idex);
    z.exit_record = exit;
    z.exit_idex = static_cast<std::uint32_t>(cams[exit].Idex);
    std::memcpy(z.entry_code, cams[entry].encode_str, sizeof z.entry_code);
    std::memcpy(z.exit_code, cams[exit].encode_str, sizeof z.exit_code);
    return z;
}

// 2,000 zones: from the first camera of each drive to the camera nearest the
// drive 5 minutes on, the rest between neighbouring records.
std::vector<e_dog::ZoneRecord> make_zones(const std::vector<E_DOG_DATA>& cams,
                                          const std::vector<bench::Position>& where) {
    std::vector<e_dog::ZoneRecord> zones;
    constexpr std::size_t kZones = 2000;
    for (std::size_t d = 0; d + 300 < where.size() && zones.size() < 20; d += kDriveSeconds) {
        const std::uint32_t entry = nearest_record(cams, where[d].lat, where[d].lng);
        const std::uint32_t exit = nearest_record(cams, where[d + 300].lat, where[d + 300].lng);
        if (entry != exit) {
            zones.push_back(
                zone_of(cams, static_cast<std::uint32_t>(zones.size() + 1), entry, exit));
        }
    }
    const std::size_t step = cams.size() / kZones;
    for (std::size_t i = 0; zones.size() < kZones && i + 1 < cams.size(); i += step) {
        zones.push_back(zone_of(cams, static_cast<std::uint32_t>(zones.size() + 1),
                                static_cast<std::uint32_t>(i), static_cast<std::uint32_t>(i + 1)));
    }
    return zones;
}

template <typename Body>
double median_rate(std::size_t n, int runs, Body body) {
    std::vector<bench::Position> dummy(n);
    return bench::median_rate(dummy, runs, [&](const bench::Position& /*p*/) { body(); });
}

}  // namespace

int main(int argc, char* argv[]) {
    bench::Args args;
    args.queries = 12000;
    if (!bench::prepare(argc, argv, "warn-bench-work", args)) {
        return 1;
    }
    bench::LookupFile file;
    if (!bench::open_lookup_file(args, true, file)) {
        return 1;
    }
    std::vector<bench::Position> where;
    const std::vector<std::string> lines = make_drives(file.cams, args.queries, where);

    // Each timed step takes the next line, in drive order, wrapping round.
    std::size_t at = 0;
    long events = 0;
    long warnings = 0;
    EDOG_WARNER warner;
    e_dog_warn_init(&warner, nullptr);
    NMEA_EPOCH_READER epochs;
    nmea_epoch_init(&epochs);
    const double full = median_rate(lines.size(), args.runs, [&] {
        const std::string& line = lines[at++ % lines.size()];
        NMEA_EPOCH fix{};
        GPS_INFO_T info{};
        (void)nmea_epoch_line(&epochs, line.data(), line.size());
        while (nmea_epoch_next(&epochs, &fix) == 1 && nmea_epoch_fill_gps_info(&fix, &info) == 0) {
            EDOG_ALARM alarm{};
            E_DOG_LCD lcd{};
            for (int k = e_dog_warn_update(&warner, &info, &alarm, &lcd); k != EDOG_WARN_NONE;
                 k = e_dog_warn_next(&warner, &alarm)) {
                ++events;
                warnings += k == EDOG_WARN_WARN ? 1 : 0;
            }
        }
    });
    at = 0;
    const double reader = median_rate(lines.size(), args.runs, [&] {
        const std::string& line = lines[at++ % lines.size()];
        NMEA_EPOCH fix{};
        (void)nmea_epoch_line(&epochs, line.data(), line.size());
        (void)nmea_epoch_next(&epochs, &fix);
    });
    at = 0;
    const double nearest = median_rate(lines.size(), args.runs, [&] {
        const bench::Position& p = where[at++ % where.size()];
        E_DOG_LCD lcd{};
        (void)e_dog_search_nearest(p.lat, p.lng, 800.0, &lcd);
    });
    std::fprintf(stderr,
                 "cameras: %zu (clustered), fixes: %zu in drives of %d s at 50 km/h, runs: %d "
                 "(median)\n",
                 args.count, lines.size(), kDriveSeconds, args.runs);
    std::fprintf(stderr, "%-40s %12s\n", "step", "fixes/s");
    std::fprintf(stderr, "%-40s %12.0f\n", "reader + warner (RMC line to events)", full);
    std::fprintf(stderr, "%-40s %12.0f\n", "reader alone", reader);
    std::fprintf(stderr, "%-40s %12.0f\n", "e_dog_search_nearest alone", nearest);
    std::fprintf(stderr, "events over all timed fixes: %ld, of them warnings: %ld\n", events,
                 warnings);

    // The warner on a handle, without zones and then with them.
    E_DOG_DB* plain = e_dog_db_open(e_dog_datafile, nullptr);
    const std::vector<e_dog::ZoneRecord> zones = make_zones(file.cams, where);
    const std::string zone_bytes =
        e_dog::encode_zones(zones, e_dog::DataFileLayout::bytes(file.cams.size()));
    std::FILE* out = std::fopen(e_dog::zones_path(e_dog_datafile).c_str(), "wb");
    if (plain == nullptr || out == nullptr ||
        std::fwrite(zone_bytes.data(), 1, zone_bytes.size(), out) != zone_bytes.size() ||
        std::fclose(out) != 0) {
        std::fprintf(stderr, "cannot write the zones file\n");
        return 1;
    }
    E_DOG_DB* zoned = e_dog_db_open(e_dog_datafile, nullptr);
    long zone_events = 0;
    double on_handle[2] = {};
    for (int z = 0; z < 2; ++z) {
        E_DOG_DB* db = z == 0 ? plain : zoned;
        e_dog_warn_init(&warner, nullptr);
        (void)e_dog_warn_set_sources(&warner, &db, 1);
        at = 0;
        double clock = 0.0;
        on_handle[z] = median_rate(lines.size(), args.runs, [&] {
            const std::string& line = lines[at++ % lines.size()];
            NMEA_EPOCH fix{};
            GPS_INFO_T info{};
            (void)nmea_epoch_line(&epochs, line.data(), line.size());
            while (nmea_epoch_next(&epochs, &fix) == 1 &&
                   nmea_epoch_fill_gps_info(&fix, &info) == 0) {
                clock += 1.0;
                EDOG_ALARM alarm{};
                E_DOG_LCD lcd{};
                for (int k = e_dog_warn_update_at(&warner, &info, clock, &alarm, &lcd);
                     k != EDOG_WARN_NONE; k = e_dog_warn_next(&warner, &alarm)) {
                }
                zone_events += z == 1 ? e_dog_warn_zone_event_count(&warner) : 0;
            }
        });
    }
    std::fprintf(stderr, "%-40s %12.0f\n", "reader + warner on a handle, no zones", on_handle[0]);
    std::fprintf(stderr, "%-40s %12.0f  (%.2fx the one without; zones: %d, zone events: %ld)\n",
                 "reader + warner on a handle, zones", on_handle[1], on_handle[1] / on_handle[0],
                 e_dog_db_zone_count(zoned), zone_events);
    e_dog_db_close(plain);
    e_dog_db_close(zoned);
    return 0;
}
