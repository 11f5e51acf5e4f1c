// The exact nearest-camera search: a read-only memory map of the open data
// file, a key per camera (its code as a 50-bit number and a "may be taken"
// bit), and range searches over the keys for the Geohash cells that can hold
// a camera within the radius.
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <memory>
#include <new>

#include "edog/e_dog_internal.h"
#include "edog/e_dog_record.h"
#include "edog/e_dog_source_date.h"
#include "geo/distance.h"

namespace {

using e_dog::kRecordSize;

constexpr int kCodeChars = 10;
constexpr int kCodeBits = 5 * kCodeChars;  // 50
constexpr int kKeyShift = 64 - kCodeBits;  // the code sits in the top 50 bits
constexpr std::uint64_t kTakeable = 1;     // DirType 1 to 5, finite position
constexpr double kPiShort = 3.1415926;     // the distance formula's pi
constexpr double kEarthRadiusM = 6378137.0;
constexpr double kMarginM = 1.0;      // covers the formula's 0.1 m rounding
constexpr double kEdgeEps = 1e-9;     // degrees, covers floating error at edges
constexpr std::size_t kMaxCells = 4;  // cells per query at the chosen precision

// Alphabet value of each byte; kNotInAlphabet for bytes outside it.
constexpr std::uint8_t kNotInAlphabet = 32;
constexpr std::array<std::uint8_t, 256> kCharValue = [] {
    std::array<std::uint8_t, 256> t{};
    t.fill(kNotInAlphabet);
    constexpr char alphabet[] = "0123456789bcdefghjkmnpqrstuvwxyz";
    for (std::uint8_t i = 0; i < 32; ++i) {
        t[static_cast<unsigned char>(alphabet[i])] = i;
    }
    return t;
}();

// Spreads the low 32 bits of x to the even bit positions, and back.
std::uint64_t spread(std::uint64_t x) {
    x &= 0xFFFFFFFFULL;
    x = (x | (x << 16U)) & 0x0000FFFF0000FFFFULL;
    x = (x | (x << 8U)) & 0x00FF00FF00FF00FFULL;
    x = (x | (x << 4U)) & 0x0F0F0F0F0F0F0F0FULL;
    x = (x | (x << 2U)) & 0x3333333333333333ULL;
    x = (x | (x << 1U)) & 0x5555555555555555ULL;
    return x;
}

std::uint64_t compact(std::uint64_t x) {
    x &= 0x5555555555555555ULL;
    x = (x | (x >> 1U)) & 0x3333333333333333ULL;
    x = (x | (x >> 2U)) & 0x0F0F0F0F0F0F0F0FULL;
    x = (x | (x >> 4U)) & 0x00FF00FF00FF00FFULL;
    x = (x | (x >> 8U)) & 0x0000FFFF0000FFFFULL;
    x = (x | (x >> 16U)) & 0x00000000FFFFFFFFULL;
    return x;
}

// Bits of a code of `bits` bits: longitude first, alternating, so longitude
// has the extra bit when the count is odd.
int lng_bits(int bits) {
    return (bits + 1) / 2;
}
int lat_bits(int bits) {
    return bits / 2;
}

// The code value of the cell with these indices.
std::uint64_t interleave(std::uint64_t lng_idx, std::uint64_t lat_idx, int bits) {
    if (bits % 2 == 0) {
        return (spread(lng_idx) << 1U) | spread(lat_idx);
    }
    return spread(lng_idx) | (spread(lat_idx) << 1U);
}

// 2^n for the axis bit counts a code can have (0 to 32).
constexpr std::array<double, 33> kPow2 = [] {
    std::array<double, 33> t{};
    double v = 1.0;
    for (double& e : t) {
        e = v;
        v *= 2;
    }
    return t;
}();

// Cell index of a coordinate along an axis of `n` bits spanning [lo, lo+span],
// held inside the axis.
std::int64_t cell_index(double v, double lo, double span, int n) {
    const double cells = kPow2[static_cast<std::size_t>(n)];
    const double f = std::floor((v - lo) / span * cells);
    if (!(f >= 0.0)) {
        return 0;
    }
    if (f >= cells) {
        return static_cast<std::int64_t>(cells) - 1;
    }
    return static_cast<std::int64_t>(f);
}

struct IndexRange {
    std::int64_t lo;
    std::int64_t hi;  // inclusive
};

using SearchBox = e_dog::ReachBox;

}  // namespace

e_dog::ReachBox e_dog::reach_box(double lat, double lng, double radius_m) {
    ReachBox box{};
    const double theta = (radius_m + kMarginM) / kEarthRadiusM;  // in the formula's radians
    const double dlat = theta * 180.0 / kPiShort * (1 + 1e-9) + kEdgeEps;
    box.lat_lo = std::max(-90.0, lat - dlat);
    box.lat_hi = std::min(90.0, lat + dlat);

    // Every point of the latitude band is at least cos(band) * |dlng| away in
    // the haversine sum, so larger longitude differences cannot be in reach.
    double dlng = 360.0;
    const double phi_max = std::max(std::fabs(lat - dlat), std::fabs(lat + dlat));
    if (phi_max < 90.0 && theta < kPiShort) {
        const double c = std::cos(rad(lat)) * std::cos(rad(phi_max));
        const double m = std::sin(theta / 2) / std::sqrt(c);
        if (c > 0.0 && m < 1.0) {
            dlng = 2 * std::asin(m) * 180.0 / kPiShort * (1 + 1e-9) + kEdgeEps;
        }
    }
    if (dlng >= 180.0) {
        box.lng[0] = {-180.0, 180.0};
        box.lng_count = 1;
        return box;
    }
    const double lo = lng - dlng;
    const double hi = lng + dlng;
    if (lo < -180.0) {
        box.lng[0] = {lo + 360.0, 180.0};
        box.lng[1] = {-180.0, hi};
        box.lng_count = 2;
    } else if (hi > 180.0) {
        box.lng[0] = {lo, 180.0};
        box.lng[1] = {-180.0, hi - 360.0};
        box.lng_count = 2;
    } else {
        box.lng[0] = {lo, hi};
        box.lng_count = 1;
    }
    return box;
}

namespace {

// The box's cell index ranges at a code length of `bits` bits.
struct CellRanges {
    IndexRange lat{};
    std::array<IndexRange, 2> lng{};
    std::size_t lng_count = 0;

    [[nodiscard]] std::uint64_t cell_count() const {
        std::uint64_t n = 0;
        for (std::size_t i = 0; i < lng_count; ++i) {
            n += static_cast<std::uint64_t>(lng[i].hi - lng[i].lo + 1);
        }
        return n * static_cast<std::uint64_t>(lat.hi - lat.lo + 1);
    }
};

CellRanges cell_ranges(const SearchBox& box, int bits) {
    CellRanges r;
    const int nlat = lat_bits(bits);
    const int nlng = lng_bits(bits);
    r.lat = {cell_index(box.lat_lo - kEdgeEps, -90.0, 180.0, nlat),
             cell_index(box.lat_hi + kEdgeEps, -90.0, 180.0, nlat)};
    for (std::size_t i = 0; i < box.lng_count; ++i) {
        r.lng[i] = {cell_index(box.lng[i].first - kEdgeEps, -180.0, 360.0, nlng),
                    cell_index(box.lng[i].second + kEdgeEps, -180.0, 360.0, nlng)};
    }
    r.lng_count = box.lng_count;
    return r;
}

bool in_ranges(const CellRanges& r, std::uint64_t lat_idx, std::uint64_t lng_idx) {
    const auto la = static_cast<std::int64_t>(lat_idx);
    if (la < r.lat.lo || la > r.lat.hi) {
        return false;
    }
    const auto lo = static_cast<std::int64_t>(lng_idx);
    for (std::size_t i = 0; i < r.lng_count; ++i) {
        if (lo >= r.lng[i].lo && lo <= r.lng[i].hi) {
            return true;
        }
    }
    return false;
}

// The open data file as the search sees it.
struct Mapped {
    int fd = -1;                           // the lookup stream's descriptor
    const unsigned char* bytes = nullptr;  // the map, or nullptr: records are read with pread
    std::size_t length = 0;
    std::uint32_t records = 0;
    std::unique_ptr<std::uint64_t[]> keys;  // built on the first search
    bool keys_built = false;
    bool indexed = false;  // false: every search scans all records
};

Mapped mapped;

E_DOG_DATA record_at(std::uint32_t i) {
    if (mapped.bytes != nullptr) {
        return e_dog::decode_record(mapped.bytes + static_cast<std::size_t>(i) * kRecordSize);
    }
    e_dog::RecordBytes b{};
    const auto offset = static_cast<off_t>(i) * static_cast<off_t>(kRecordSize);
    if (::pread(mapped.fd, b.data(), b.size(), offset) != static_cast<ssize_t>(b.size())) {
        E_DOG_DATA none{};  // unreadable: never taken
        return none;
    }
    return e_dog::decode_record(b.data());
}

bool takeable(const E_DOG_DATA& rec) {
    return rec.DirType >= 1 && rec.DirType <= 5 && std::isfinite(rec.Gps_lat) &&
           std::isfinite(rec.Gps_lng);
}

// The 50-bit value of a stored code, or false when it is not a 10-character
// code of the alphabet.
bool code_value(const char (&code)[12], std::uint64_t& value) {
    value = 0;
    for (int c = 0; c < kCodeChars; ++c) {
        const std::uint8_t v = kCharValue[static_cast<unsigned char>(code[c])];
        if (v == kNotInAlphabet) {
            return false;
        }
        value = (value << 5U) | static_cast<std::uint64_t>(v);
    }
    return code[kCodeChars] == '\0';
}

// True when (lat, lng) lies in the closed box of the 10-character cell.
bool position_in_cell(std::uint64_t value, double lat, double lng) {
    const double lat_step = 180.0 / kPow2[static_cast<std::size_t>(lat_bits(kCodeBits))];
    const double lng_step = 360.0 / kPow2[static_cast<std::size_t>(lng_bits(kCodeBits))];
    const auto lat_idx = static_cast<double>(compact(value));
    const auto lng_idx = static_cast<double>(compact(value >> 1U));
    const double south = -90.0 + lat_idx * lat_step;
    const double west = -180.0 + lng_idx * lng_step;
    return lat >= south && lat <= south + lat_step && lng >= west && lng <= west + lng_step;
}

// Builds the keys. The range searches are exact only for a file whose codes
// are valid, ascending and agree with the positions; any other file is
// searched by scanning every record, which is exact for any bytes.
void build_keys() {
    mapped.keys_built = true;
    mapped.indexed = false;
    mapped.keys.reset(new (std::nothrow) std::uint64_t[mapped.records]);
    if (!mapped.keys) {
        return;
    }
    std::uint64_t previous = 0;
    for (std::uint32_t i = 0; i < mapped.records; ++i) {
        const E_DOG_DATA rec = record_at(i);
        std::uint64_t value = 0;
        if (!code_value(rec.encode_str, value) || value < previous) {
            mapped.keys.reset();
            return;
        }
        const bool take = takeable(rec);
        if (take && !position_in_cell(value, rec.Gps_lat, rec.Gps_lng)) {
            mapped.keys.reset();
            return;
        }
        previous = value;
        mapped.keys[i] = (value << kKeyShift) | (take ? kTakeable : 0);
    }
    mapped.indexed = true;
}

struct Best {
    double distance;
    std::int64_t index = -1;
};

void consider(std::uint32_t i, double lati, double longi, double radius_m, Best& best) {
    e_dog::Spot spot{};
    if (mapped.bytes != nullptr) {
        spot = e_dog::decode_spot(mapped.bytes + static_cast<std::size_t>(i) * kRecordSize);
    } else {
        const E_DOG_DATA rec = record_at(i);
        spot = {rec.Gps_lat, rec.Gps_lng, rec.DirType};
    }
    if (spot.dirtype < 1 || spot.dirtype > 5) {
        return;
    }
    const double d = get_distance(lati, longi, spot.lat, spot.lng);
    // Records come in file order, so a tie keeps the earlier one.
    if (d < radius_m && d < best.distance) {
        best.distance = d;
        best.index = i;
    }
}

void scan_all(double lati, double longi, double radius_m, Best& best) {
    for (std::uint32_t i = 0; i < mapped.records; ++i) {
        consider(i, lati, longi, radius_m, best);
    }
}

void search_indexed(double lati, double longi, double radius_m, Best& best) {
    const SearchBox box = e_dog::reach_box(lati, longi, radius_m);
    // The finest code length whose cells cover the box in a few ranges. Cells
    // smaller than half the box in either direction cannot, so the search
    // starts where they are at least that large.
    double width = 0.0;
    for (std::size_t i = 0; i < box.lng_count; ++i) {
        width += box.lng[i].second - box.lng[i].first;
    }
    const double height = box.lat_hi - box.lat_lo;
    int chars = kCodeChars;
    while (chars > 1 &&
           (180.0 / kPow2[static_cast<std::size_t>(lat_bits(5 * chars))] * 2 < height ||
            360.0 / kPow2[static_cast<std::size_t>(lng_bits(5 * chars))] * 2 < width)) {
        --chars;
    }
    while (chars > 1 && cell_ranges(box, 5 * chars).cell_count() > kMaxCells) {
        --chars;
    }
    const int bits = 5 * chars;
    const CellRanges cells = cell_ranges(box, bits);
    if (cells.cell_count() > 64) {
        scan_all(lati, longi, radius_m, best);  // cannot happen: one character has 32 cells
        return;
    }
    const CellRanges fine = cell_ranges(box, kCodeBits);

    // At most 4 x 8 cells at one character, fewer at the precision chosen.
    std::array<std::pair<std::uint64_t, std::uint64_t>, 64> key_ranges{};
    std::size_t n_ranges = 0;
    const unsigned shift = static_cast<unsigned>(64 - bits);
    for (std::int64_t la = cells.lat.lo; la <= cells.lat.hi; ++la) {
        for (std::size_t r = 0; r < cells.lng_count; ++r) {
            for (std::int64_t lo = cells.lng[r].lo; lo <= cells.lng[r].hi; ++lo) {
                const std::uint64_t prefix = interleave(static_cast<std::uint64_t>(lo),
                                                        static_cast<std::uint64_t>(la), bits);
                const std::uint64_t first = prefix << shift;
                const std::uint64_t last = first | ((std::uint64_t{1} << shift) - 1);
                key_ranges[n_ranges++] = {first, last};
            }
        }
    }
    std::sort(key_ranges.begin(), key_ranges.begin() + static_cast<std::ptrdiff_t>(n_ranges));

    const std::uint64_t* keys = mapped.keys.get();
    const std::uint64_t* end = keys + mapped.records;
    const std::uint64_t* at = keys;
    for (std::size_t r = 0; r < n_ranges; ++r) {
        const auto& [first, last] = key_ranges[r];
        at = std::lower_bound(at, end, first);
        for (; at != end && *at <= last; ++at) {
            const std::uint64_t key = *at;
            if ((key & kTakeable) == 0) {
                continue;
            }
            const std::uint64_t value = key >> kKeyShift;
            if (!in_ranges(fine, compact(value), compact(value >> 1U))) {
                continue;
            }
            consider(static_cast<std::uint32_t>(at - keys), lati, longi, radius_m, best);
        }
    }
}

}  // namespace

void e_dog::nearest_attach(std::FILE* f, std::uint32_t records) {
    nearest_detach();
    if (f == nullptr || records == 0) {
        return;
    }
    mapped.fd = ::fileno(f);
    mapped.records = records;
    // The map sees the file that was opened even if another is renamed over
    // it; without a map the records are read one by one.
    const std::size_t length = static_cast<std::size_t>(records) * kRecordSize;
    void* p = ::mmap(nullptr, length, PROT_READ, MAP_SHARED, mapped.fd, 0);
    if (p != MAP_FAILED) {
        mapped.bytes = static_cast<const unsigned char*>(p);
        mapped.length = length;
    }
}

void e_dog::nearest_detach() {
    if (mapped.bytes != nullptr) {
        ::munmap(const_cast<unsigned char*>(mapped.bytes), mapped.length);
    }
    mapped = Mapped{};
}

E_DOG_DATA e_dog_search_nearest(double lati, double longi, double radius_m, E_DOG_LCD* p_lcd_rt) {
    E_DOG_DATA rt{};
    rt.Speed = -1;
    if (p_lcd_rt != nullptr) {
        p_lcd_rt->result = -1;
    }
    const bool position_ok = lati >= -90.0 && lati <= 90.0 && longi >= -180.0 && longi <= 180.0;
    if (e_dog_run_flag == 0 || mapped.records == 0 || !position_ok || !(radius_m > 0.0) ||
        !std::isfinite(radius_m)) {
        return rt;
    }
    if (!mapped.keys_built) {
        build_keys();
    }
    Best best{radius_m};
    if (mapped.indexed) {
        search_indexed(lati, longi, radius_m, best);
    } else {
        scan_all(lati, longi, radius_m, best);
    }
    if (best.index < 0) {
        return rt;
    }
    rt = record_at(static_cast<std::uint32_t>(best.index));
    if (p_lcd_rt != nullptr) {
        p_lcd_rt->distance_val = static_cast<s32>(best.distance);
        p_lcd_rt->limit_speed = rt.Speed;
        p_lcd_rt->result = 0;
    }
    return rt;
}
