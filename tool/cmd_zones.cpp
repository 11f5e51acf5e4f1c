// The zones stored beside a data file in edog-tool dump --zones and diff:
// written out as a zones list, CSV or GeoJSON LineStrings, and compared by
// zone number.
#include <cstdint>
#include <cstdio>
#include <map>
#include <string>

#include "edog/datafile/zone_file.h"
#include "tool/commands.h"
#include "tool/file_kind.h"
#include "tool/record_reader.h"
#include "tool/tool.h"

namespace edog_tool {

namespace {

using Json = nlohmann::ordered_json;

std::map<INT32, EDOG_ZONE> by_number(const e_dog::ZonesLoaded& z) {
    std::map<INT32, EDOG_ZONE> out;
    for (const EDOG_ZONE& zone : z.zones) {
        out.emplace(zone.zone_id, zone);
    }
    return out;
}

// The zones beside `f`, failing when its zones file is there but unusable.
e_dog::ZonesLoaded usable_zones(const RecordReader& f) {
    e_dog::ZonesLoaded z = zones_of(f);
    if (z.state == EDOG_ZONES_STALE || z.state == EDOG_ZONES_DAMAGED) {
        throw Failure(
            e_dog::zones_path(f.path()),
            std::string(z.state == EDOG_ZONES_STALE ? "stale" : "damaged") + ": " + z.why);
    }
    return z;
}

std::string describe(const EDOG_ZONE& z) {
    return "entry idex " + std::to_string(camera_number(z.entry.Idex)) + " exit idex " +
           std::to_string(camera_number(z.exit.Idex)) + " limit " + std::to_string(z.speed_kmh);
}

}  // namespace

int run_dump_zones(const std::string& file, DumpFormat format) {
    RecordReader f(file);
    expect_data_file(f, DataCheck::kSound);
    const e_dog::ZonesLoaded z = usable_zones(f);
    if (format == DumpFormat::kCsv) {
        std::puts("zone,entry_idex,exit_idex,speed,entry_record,exit_record,length_m");
    }
    Json features = Json::array();
    for (const EDOG_ZONE& zone : z.zones) {
        const std::uint32_t entry = camera_number(zone.entry.Idex);
        const std::uint32_t exit = camera_number(zone.exit.Idex);
        switch (format) {
        case DumpFormat::kList:
            std::printf("%d,%u,%u,%d\n", zone.zone_id, entry, exit, zone.speed_kmh);
            break;
        case DumpFormat::kCsv:
            std::printf("%d,%u,%u,%d,%d,%d,%.1f\n", zone.zone_id, entry, exit, zone.speed_kmh,
                        zone.entry_record, zone.exit_record, zone.length_m);
            break;
        case DumpFormat::kGeoJson:
            features.push_back({{"type", "Feature"},
                                {"geometry",
                                 {{"type", "LineString"},
                                  {"coordinates",
                                   {{zone.entry.Gps_lng, zone.entry.Gps_lat},
                                    {zone.exit.Gps_lng, zone.exit.Gps_lat}}}}},
                                {"properties",
                                 {{"zone", zone.zone_id},
                                  {"entry_idex", entry},
                                  {"exit_idex", exit},
                                  {"speed", zone.speed_kmh},
                                  {"length_m", number(zone.length_m)}}}});
            break;
        }
    }
    if (format == DumpFormat::kGeoJson) {
        print_json({{"type", "FeatureCollection"}, {"features", features}});
    }
    finish_output();
    return 0;
}

std::uint64_t print_zone_changes(const RecordReader& before, const RecordReader& after) {
    const auto old_zones = by_number(usable_zones(before));
    const auto new_zones = by_number(usable_zones(after));
    std::uint64_t added = 0;
    std::uint64_t removed = 0;
    std::uint64_t changed = 0;
    for (const auto& [id, z] : new_zones) {
        const auto it = old_zones.find(id);
        if (it == old_zones.end()) {
            ++added;
            std::printf("added   zone %d %s\n", id, describe(z).c_str());
        } else if (describe(it->second) != describe(z)) {
            ++changed;
            std::printf("changed zone %d: %s -> %s\n", id, describe(it->second).c_str(),
                        describe(z).c_str());
        }
    }
    for (const auto& [id, z] : old_zones) {
        if (new_zones.count(id) == 0) {
            ++removed;
            std::printf("removed zone %d %s\n", id, describe(z).c_str());
        }
    }
    if (!old_zones.empty() || !new_zones.empty()) {
        std::printf("zones: %llu added, %llu removed, %llu changed\n",
                    static_cast<unsigned long long>(added),
                    static_cast<unsigned long long>(removed),
                    static_cast<unsigned long long>(changed));
    }
    return added + removed + changed;
}

}  // namespace edog_tool
