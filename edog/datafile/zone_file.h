// The zones file: the average-speed sections of a data file, stored beside
// it as FILE.zones so that the data file's records stay as they are. A zone
// runs from an entry camera to an exit camera, in that direction, with a
// limit. Little-endian with fixed offsets; written up in
// doc/data-file-format.md ("Zones").
#ifndef EDOG_DATAFILE_ZONE_FILE_H
#define EDOG_DATAFILE_ZONE_FILE_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "edog/datafile/e_dog_record.h"

namespace e_dog {

inline constexpr std::size_t kZoneHeaderBytes = 32;
inline constexpr std::size_t kZoneRecordBytes = 48;
inline constexpr char kZoneMagic[8] = {'E', 'D', 'O', 'G', 'Z', 'O', 'N', '1'};

// One zone as stored: its cameras by record number in the data file, with
// the camera number and code each record must hold (a check that the zones
// still belong to the file).
struct ZoneRecord {
    std::uint32_t zone_id;
    std::int32_t speed_kmh;
    std::uint32_t entry_record;
    std::uint32_t entry_idex;
    std::uint32_t exit_record;
    std::uint32_t exit_idex;
    char entry_code[kCodeBytes];
    char exit_code[kCodeBytes];
};

// The zones file of the data file `data_path`.
std::string zones_path(const std::string& data_path);

// The whole zones file for a data file of `data_file_bytes` bytes.
std::string encode_zones(const std::vector<ZoneRecord>& zones, std::uint64_t data_file_bytes);

// What a zones file holds, read as it stands.
struct ZonesRead {
    enum class State { kNone, kLoaded, kStale, kDamaged } state = State::kNone;
    std::vector<ZoneRecord> zones;
    std::string why;  // for kStale and kDamaged
};
// Reads the zones file of `data_path`, for a data file of `data_file_bytes`
// bytes: kNone without one, kDamaged when its bytes are not a zones file
// (magic, size, checksum), kStale when it was written for another data file
// size. Whether its cameras are the file's records is for the caller.
ZonesRead read_zones(const std::string& data_path, std::uint64_t data_file_bytes);

// Whether record `r` is the camera a zone names (its number and code).
bool zone_camera_matches(const E_DOG_DATA& r, std::uint32_t idex, const char* code);

}  // namespace e_dog

#endif  // EDOG_DATAFILE_ZONE_FILE_H
