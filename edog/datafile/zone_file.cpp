// The zones file's codec. See edog/datafile/zone_file.h.
#include "edog/datafile/zone_file.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "edog/datafile/little_endian.h"
#include "edog/datafile/open_file.h"

namespace e_dog {

namespace {

// Header: magic, zone count, reserved, data file bytes, checksum.
constexpr std::size_t kOffCount = 8;
constexpr std::size_t kOffDataBytes = 16;
constexpr std::size_t kOffChecksum = 24;
// Zone record.
constexpr std::size_t kOffZoneId = 0;
constexpr std::size_t kOffZoneSpeed = 4;
constexpr std::size_t kOffEntryRecord = 8;
constexpr std::size_t kOffEntryIdex = 12;
constexpr std::size_t kOffExitRecord = 16;
constexpr std::size_t kOffExitIdex = 20;
constexpr std::size_t kOffEntryCode = 24;
constexpr std::size_t kOffExitCode = kOffEntryCode + kCodeBytes;
static_assert(kOffExitCode + kCodeBytes == kZoneRecordBytes);
static_assert(kOffChecksum + 8 == kZoneHeaderBytes && sizeof kZoneMagic == kOffCount);

// FNV-1a over the zone records.
std::uint64_t checksum(const unsigned char* bytes, std::size_t n) {
    std::uint64_t h = 0xcbf29ce484222325ULL;
    for (std::size_t i = 0; i < n; ++i) {
        h = (h ^ bytes[i]) * 0x100000001b3ULL;
    }
    return h;
}

ZonesRead damaged(const char* why) {
    ZonesRead r;
    r.state = ZonesRead::State::kDamaged;
    r.why = why;
    return r;
}

}  // namespace

std::string zones_path(const std::string& data_path) {
    return data_path + ".zones";
}

std::string encode_zones(const std::vector<ZoneRecord>& zones, std::uint64_t data_file_bytes) {
    std::string out(kZoneHeaderBytes + zones.size() * kZoneRecordBytes, '\0');
    auto* bytes = reinterpret_cast<unsigned char*>(out.data());
    std::memcpy(bytes, kZoneMagic, sizeof kZoneMagic);
    le::put_u32(bytes + kOffCount, static_cast<std::uint32_t>(zones.size()));
    le::put_u64(bytes + kOffDataBytes, data_file_bytes);
    for (std::size_t i = 0; i < zones.size(); ++i) {
        const ZoneRecord& z = zones[i];
        unsigned char* at = bytes + kZoneHeaderBytes + i * kZoneRecordBytes;
        le::put_u32(at + kOffZoneId, z.zone_id);
        le::put_i32(at + kOffZoneSpeed, z.speed_kmh);
        le::put_u32(at + kOffEntryRecord, z.entry_record);
        le::put_u32(at + kOffEntryIdex, z.entry_idex);
        le::put_u32(at + kOffExitRecord, z.exit_record);
        le::put_u32(at + kOffExitIdex, z.exit_idex);
        std::memcpy(at + kOffEntryCode, z.entry_code, kCodeBytes);
        std::memcpy(at + kOffExitCode, z.exit_code, kCodeBytes);
    }
    le::put_u64(bytes + kOffChecksum,
                checksum(bytes + kZoneHeaderBytes, zones.size() * kZoneRecordBytes));
    return out;
}

ZonesRead read_zones(const std::string& data_path, std::uint64_t data_file_bytes) {
    const UniqueFile f = open_regular_file(zones_path(data_path).c_str());
    if (!f) {
        return errno == ENOENT ? ZonesRead{} : damaged("cannot be opened");
    }
    unsigned char header[kZoneHeaderBytes];
    if (std::fread(header, 1, sizeof header, f.get()) != sizeof header ||
        std::memcmp(header, kZoneMagic, sizeof kZoneMagic) != 0) {
        return damaged("not a zones file");
    }
    const std::uint32_t count = le::get_u32(header + kOffCount);
    struct stat st {};
    if (::fstat(::fileno(f.get()), &st) != 0 ||
        static_cast<std::uint64_t>(st.st_size) !=
            kZoneHeaderBytes + std::uint64_t{count} * kZoneRecordBytes) {
        return damaged("size does not match its zone count");
    }
    std::vector<unsigned char> records(std::size_t{count} * kZoneRecordBytes);
    if (std::fread(records.data(), 1, records.size(), f.get()) != records.size() ||
        std::fgetc(f.get()) != EOF) {
        return damaged("size does not match its zone count");
    }
    if (le::get_u64(header + kOffChecksum) != checksum(records.data(), records.size())) {
        return damaged("checksum does not match");
    }
    ZonesRead r;
    if (le::get_u64(header + kOffDataBytes) != data_file_bytes) {
        r.state = ZonesRead::State::kStale;
        r.why = "written for a data file of another size";
        return r;
    }
    r.state = ZonesRead::State::kLoaded;
    r.zones.resize(count);
    for (std::size_t i = 0; i < count; ++i) {
        const unsigned char* at = records.data() + i * kZoneRecordBytes;
        ZoneRecord& z = r.zones[i];
        z.zone_id = le::get_u32(at + kOffZoneId);
        z.speed_kmh = le::get_i32(at + kOffZoneSpeed);
        z.entry_record = le::get_u32(at + kOffEntryRecord);
        z.entry_idex = le::get_u32(at + kOffEntryIdex);
        z.exit_record = le::get_u32(at + kOffExitRecord);
        z.exit_idex = le::get_u32(at + kOffExitIdex);
        std::memcpy(z.entry_code, at + kOffEntryCode, kCodeBytes);
        std::memcpy(z.exit_code, at + kOffExitCode, kCodeBytes);
    }
    return r;
}

bool zone_camera_matches(const E_DOG_DATA& r, std::uint32_t idex, const char* code) {
    return static_cast<std::uint32_t>(r.Idex) == idex &&
           std::memcmp(r.encode_str, code, kCodeBytes) == 0;
}

}  // namespace e_dog
