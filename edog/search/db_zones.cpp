// The zones of a data file checked against its records, and those of a
// database handle (edog/e_dog_zones.h). See edog/search/zones_load.h.
#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <new>
#include <string>

#include "edog/datafile/e_dog_record.h"
#include "edog/datafile/zone_file.h"
#include "edog/search/db.h"
#include "edog/search/zones_load.h"
#include "geo/distance.h"

e_dog::ZonesLoaded e_dog::load_zones(
    const std::string& data_path, std::uint64_t data_file_bytes,
    const std::function<bool(std::uint32_t, E_DOG_DATA&)>& record_at) {
    const ZonesRead read = read_zones(data_path, data_file_bytes);
    ZonesLoaded out;
    out.why = read.why;
    switch (read.state) {
    case ZonesRead::State::kNone:
        return out;
    case ZonesRead::State::kStale:
        out.state = EDOG_ZONES_STALE;
        return out;
    case ZonesRead::State::kDamaged:
        out.state = EDOG_ZONES_DAMAGED;
        return out;
    case ZonesRead::State::kLoaded:
        break;
    }
    out.zones.reserve(read.zones.size());
    for (const ZoneRecord& z : read.zones) {
        EDOG_ZONE zone{};
        zone.zone_id = static_cast<INT32>(z.zone_id);
        zone.speed_kmh = z.speed_kmh;
        zone.entry_record = static_cast<INT32>(z.entry_record);
        zone.exit_record = static_cast<INT32>(z.exit_record);
        if (!record_at(z.entry_record, zone.entry) || !record_at(z.exit_record, zone.exit) ||
            !zone_camera_matches(zone.entry, z.entry_idex, z.entry_code) ||
            !zone_camera_matches(zone.exit, z.exit_idex, z.exit_code)) {
            out.state = EDOG_ZONES_STALE;
            out.why = "zone " + std::to_string(z.zone_id) +
                      ": its cameras are not the data file's records it names";
            out.zones.clear();
            return out;
        }
        zone.length_m = distance_m(zone.entry.Gps_lat, zone.entry.Gps_lng, zone.exit.Gps_lat,
                                   zone.exit.Gps_lng);
        out.zones.push_back(zone);
    }
    out.state = EDOG_ZONES_LOADED;
    return out;
}

void e_dog::db_load_zones(E_DOG_DB& db, const std::string& data_path) try {
    struct stat st {};
    if (::fstat(db.fd.get(), &st) != 0) {
        return;
    }
    ZonesLoaded loaded = load_zones(
        data_path, static_cast<std::uint64_t>(st.st_size),
        [&db](std::uint32_t i, E_DOG_DATA& out) { return read_record_at(db.fd.get(), i, out); });
    db.zones = std::move(loaded.zones);
    db.zones_state = loaded.state;
    db.zones_by_entry_lat.resize(db.zones.size());
    for (std::uint32_t i = 0; i < db.zones_by_entry_lat.size(); ++i) {
        db.zones_by_entry_lat[i] = i;
    }
    std::sort(db.zones_by_entry_lat.begin(), db.zones_by_entry_lat.end(),
              [&db](std::uint32_t a, std::uint32_t b) {
                  return db.zones[a].entry.Gps_lat < db.zones[b].entry.Gps_lat;
              });
} catch (const std::bad_alloc&) {
    db.zones.clear();
    db.zones_by_entry_lat.clear();
    db.zones_state = EDOG_ZONES_DAMAGED;  // too large to hold: none
}

int e_dog_db_zones_state(const E_DOG_DB* db) {
    return db == nullptr ? EDOG_ZONES_NONE : db->zones_state;
}

int e_dog_db_zone_count(const E_DOG_DB* db) {
    return db == nullptr ? 0 : static_cast<int>(db->zones.size());
}

int e_dog_db_zone(const E_DOG_DB* db, int i, EDOG_ZONE* out) {
    if (db == nullptr || out == nullptr) {
        return -1;
    }
    if (i < 0 || static_cast<std::size_t>(i) >= db->zones.size()) {
        return 0;
    }
    *out = db->zones[static_cast<std::size_t>(i)];
    return 1;
}
