#include "edog/datafile/e_dog_record.h"

#include <sys/types.h>
#include <unistd.h>

#include <bit>
#include <cstdint>
#include <cstring>
#include <limits>

#include "edog/datafile/data_file_layout.h"
#include "edog/datafile/little_endian.h"

namespace e_dog {

// The file's layout, whatever the record's layout in memory (on 32-bit x86 a
// double in a struct is aligned to 4 bytes and the record takes 48): every
// field is encoded at its own offset, in order, none overlapping.
static_assert(kOffIdex == 0 && kOffDirection == kOffIdex + 4 && kOffType == kOffDirection + 4 &&
              kOffDirType == kOffType + 4 && kOffSpeed == kOffDirType + 4);
static_assert(kOffLat >= kOffSpeed + 4 && kOffLng == kOffLat + 8 && kOffCode == kOffLng + 8);
static_assert(kOffCode + kCodeBytes <= kRecordSize && kRecordSize == 56);
static_assert(sizeof(E_DOG_DATA::encode_str) == kCodeBytes);
static_assert(sizeof(double) == 8 && std::numeric_limits<double>::is_iec559);

using le::get_f64;
using le::get_i32;
using le::get_u32;
using le::put_f64;
using le::put_i32;
using le::put_u32;

RecordBytes encode_record(const E_DOG_DATA& rec) {
    RecordBytes out{};
    put_i32(&out[kOffIdex], rec.Idex);
    put_i32(&out[kOffDirection], rec.Direction);
    put_i32(&out[kOffType], rec.Type);
    put_i32(&out[kOffDirType], rec.DirType);
    put_i32(&out[kOffSpeed], rec.Speed);
    put_f64(&out[kOffLat], rec.Gps_lat);
    put_f64(&out[kOffLng], rec.Gps_lng);
    std::memcpy(&out[kOffCode], rec.encode_str, kCodeBytes);
    return out;
}

E_DOG_DATA decode_record(const unsigned char* bytes) {
    E_DOG_DATA rec{};
    rec.Idex = get_i32(bytes + kOffIdex);
    rec.Direction = get_i32(bytes + kOffDirection);
    rec.Type = get_i32(bytes + kOffType);
    rec.DirType = get_i32(bytes + kOffDirType);
    rec.Speed = get_i32(bytes + kOffSpeed);
    rec.Gps_lat = get_f64(bytes + kOffLat);
    rec.Gps_lng = get_f64(bytes + kOffLng);
    std::memcpy(rec.encode_str, bytes + kOffCode, kCodeBytes);
    return rec;
}

Spot decode_spot(const unsigned char* bytes) {
    return {get_f64(bytes + kOffLat), get_f64(bytes + kOffLng), get_i32(bytes + kOffDirType)};
}

bool read_record(std::FILE* f, E_DOG_DATA& rec) {
    RecordBytes bytes{};
    if (std::fread(bytes.data(), 1, bytes.size(), f) != bytes.size()) {
        return false;
    }
    rec = decode_record(bytes.data());
    return true;
}

bool read_record_at(int fd, std::uint64_t index, E_DOG_DATA& rec) {
    RecordBytes b{};
    const auto at = static_cast<off_t>(DataFileLayout::offset(index));
    if (::pread(fd, b.data(), b.size(), at) != static_cast<ssize_t>(b.size())) {
        return false;
    }
    rec = decode_record(b.data());
    return true;
}

bool seek_record(std::FILE* f, long index) {
    if (index < 0 || static_cast<std::uint64_t>(index) > DataFileLayout::kMaxRecords) {
        return false;
    }
    const auto at = DataFileLayout::offset(static_cast<std::uint64_t>(index));
    return ::fseeko(f, static_cast<off_t>(at), SEEK_SET) == 0;
}

CodeText code_text(const E_DOG_DATA& rec) {
    CodeText out{};
    std::memcpy(out.text, rec.encode_str, kCodeBytes);
    return out;
}

}  // namespace e_dog

int e_dog::compare_codes(const char* a, const char* b) {
    return std::strncmp(a, b, kCodeBytes);
}
