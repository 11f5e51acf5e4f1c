// The exact nearest-camera search: a read-only memory map of the open data
// file; a key per camera (its code as a 50-bit number and a "may be taken"
// bit, in seven bytes) with every 16th key again in a fence that stays in
// cache; range searches over the keys for the parts of the Geohash cells
// that the radius can reach; and a lower bound of each candidate's distance
// taken from its key, so that usually only the nearest camera's record is
// read.
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <new>

#include "edog/e_dog_internal.h"
#include "edog/e_dog_record.h"
#include "edog/e_dog_source_date.h"
#include "geo/distance.h"

namespace {

using e_dog::kRecordSize;

constexpr int kCodeChars = 10;
constexpr int kCodeBits = 5 * kCodeChars;        // 50
constexpr int kKeyBits = 56;                     // a key is stored in seven bytes
constexpr int kKeyShift = kKeyBits - kCodeBits;  // the code sits in its top 50 bits
constexpr std::uint64_t kTakeable = 1;           // DirType 1 to 5, finite position
constexpr std::uint64_t kKeyLowBits = (std::uint64_t{1} << kKeyShift) - 1;
constexpr double kPiShort = 3.1415926;  // the distance formula's pi
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
// held inside the axis. Multiplying by the reciprocal may move a coordinate
// within a rounding error of a cell border to the next cell; callers widen
// their intervals by far more than that.
std::int64_t cell_index(double v, double lo, double span, int n) {
    const double cells = kPow2[static_cast<std::size_t>(n)];
    const double f = (v - lo) * (1 / span) * cells;
    if (!(f >= 0.0)) {
        return 0;
    }
    if (f >= cells) {
        return static_cast<std::int64_t>(cells) - 1;
    }
    return static_cast<std::int64_t>(f);  // truncation is the floor here
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
    // Only bounds are needed, and they come from one sine and cosine: the
    // band's cosine from the angle sum with cos(d) >= 1 - d^2/2 and
    // sin(d) <= d, sin(theta/2) <= theta/2, asin(m) <= m / sqrt(1 - m^2).
    double dlng = 360.0;
    const double r = rad(lat);
    box.cos_lat = std::cos(r);
    const double sin_abs = std::fabs(std::sin(r));
    const double d = rad(dlat);
    box.cos_band = 0.0;
    if (std::fabs(lat) + dlat < 90.0) {
        // Less a little more than the floating error of the sum.
        box.cos_band = std::max(0.0, box.cos_lat * (1 - d * d / 2) - sin_abs * d - 1e-15);
    }
    const double c = box.cos_lat * box.cos_band;
    if (c > 0.0 && theta < kPiShort) {
        const double m = theta / 2 / std::sqrt(c);
        if (m < 1.0) {
            dlng = 2 * m / std::sqrt(1 - m * m) * 180.0 / kPiShort * (1 + 1e-9) + kEdgeEps;
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

// The same ranges at a code length of `bits` bits: the cells holding the fine
// cells, found by dropping each axis's low index bits.
CellRanges coarsen(const CellRanges& fine, int bits) {
    const auto lat_shift = static_cast<unsigned>(lat_bits(kCodeBits) - lat_bits(bits));
    const auto lng_shift = static_cast<unsigned>(lng_bits(kCodeBits) - lng_bits(bits));
    CellRanges r = fine;
    r.lat = {fine.lat.lo >> lat_shift, fine.lat.hi >> lat_shift};
    for (std::size_t i = 0; i < r.lng_count; ++i) {
        r.lng[i] = {fine.lng[i].lo >> lng_shift, fine.lng[i].hi >> lng_shift};
    }
    return r;
}

// The keys of all records in file order, seven bytes each, and the first key
// of every block of 16 after the first block again in a fence: the fence is
// small enough to stay in cache, so a key is found with one bisection of the
// fence and a look into one block instead of a bisection of the whole array.
// At most 7.5 bytes per record (8 for a single record).
class KeyArray {
public:
    bool allocate(std::uint32_t n) {
        n_ = n;
        const std::size_t blocks = (std::size_t{n} + kBlock - 1) / kBlock;
        fence_count_ = blocks > 1 ? blocks - 1 : 0;  // none for the first block
        // One byte more: every key is read as eight bytes.
        bytes_.reset(new (std::nothrow) unsigned char[std::size_t{n} * kKeyBytes + 1]);
        fence_.reset(new (std::nothrow) std::uint64_t[fence_count_]);
        if (!bytes_ || !fence_) {
            *this = KeyArray{};
            return false;
        }
        bytes_[std::size_t{n} * kKeyBytes] = 0;
        return true;
    }

    void set(std::uint32_t i, std::uint64_t key) {
        unsigned char* p = bytes_.get() + std::size_t{i} * kKeyBytes;
        for (std::size_t b = 0; b < kKeyBytes; ++b) {
            p[b] = static_cast<unsigned char>(key >> (8 * b));
        }
        if (i % kBlock == 0 && i > 0) {
            fence_[i / kBlock - 1] = key;
        }
    }

    [[nodiscard]] std::uint64_t operator[](std::uint32_t i) const {
        std::uint64_t v = 0;
        std::memcpy(&v, bytes_.get() + std::size_t{i} * kKeyBytes, sizeof v);
        if constexpr (std::endian::native == std::endian::big) {
            v = __builtin_bswap64(v);
        }
        return v & kKeyMask;
    }

    [[nodiscard]] std::uint32_t size() const { return n_; }

    [[nodiscard]] std::size_t memory() const {
        return bytes_ ? std::size_t{n_} * kKeyBytes + 1 + fence_count_ * sizeof(std::uint64_t) : 0;
    }

    // Where the search for the first key not below `first` starts: the first
    // key of the last block whose first key is below it (0 if none). The key
    // sought is among the next 16, or is the first key of the next block.
    [[nodiscard]] std::uint32_t block_of(std::uint64_t first) const {
        // Fence keys below `first`, counted by a bisection without branches
        // that fetches both possible next probes ahead.
        const std::uint64_t* base = fence_.get();
        std::size_t len = fence_count_;
        if (len == 0) {
            return 0;
        }
        while (len > 1) {
            const std::size_t half = len / 2;
            __builtin_prefetch(base + half / 2);
            __builtin_prefetch(base + half + half / 2);
            base = base[half] < first ? base + half : base;
            len -= half;
        }
        const auto below =
            static_cast<std::uint32_t>(base - fence_.get()) + (*base < first ? 1 : 0);
        return below * kBlock;
    }

    // Asks for the keys from `start` on to be brought into the cache.
    void prefetch(std::uint32_t start) const {
        const unsigned char* p = bytes_.get() + std::size_t{start} * kKeyBytes;
        __builtin_prefetch(p);
        __builtin_prefetch(p + kBlock * kKeyBytes - 1);
    }

    // The index of the first key not below `first`, searched from the start
    // block_of(first) gave (size() if none).
    [[nodiscard]] std::uint32_t find_from(std::uint32_t start, std::uint64_t first) const {
        std::uint32_t i = start;
        const auto stop =
            static_cast<std::uint32_t>(std::min<std::uint64_t>(std::uint64_t{start} + kBlock, n_));
        while (i < stop && (*this)[i] < first) {
            ++i;
        }
        return i;
    }

private:
    static constexpr std::size_t kKeyBytes = kKeyBits / 8;
    static constexpr std::uint64_t kKeyMask = (std::uint64_t{1} << kKeyBits) - 1;
    static constexpr std::uint32_t kBlock = 16;

    std::unique_ptr<unsigned char[]> bytes_;
    std::unique_ptr<std::uint64_t[]> fence_;
    std::uint32_t n_ = 0;
    std::size_t fence_count_ = 0;
};

// The open data file as the search sees it.
struct Mapped {
    int fd = -1;                           // the lookup stream's descriptor
    const unsigned char* bytes = nullptr;  // the map, or nullptr: records are read with pread
    std::size_t length = 0;
    std::uint32_t records = 0;
    KeyArray keys;  // built on the first search
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

// The closed box of a 10-character cell. The key validation and the distance
// bound both take cells from here, so a position found inside its cell by
// the one is inside the same box for the other.
struct FineCell {
    static constexpr double kLatStep = 180.0 / (std::uint64_t{1} << 25U);
    static constexpr double kLngStep = 360.0 / (std::uint64_t{1} << 25U);

    explicit FineCell(std::uint64_t value)
        : south(-90.0 + static_cast<double>(compact(value)) * kLatStep),
          west(-180.0 + static_cast<double>(compact(value >> 1U)) * kLngStep) {}

    [[nodiscard]] bool holds(double lat, double lng) const {
        return lat >= south && lat <= south + kLatStep && lng >= west && lng <= west + kLngStep;
    }

    double south;
    double west;
};

// Builds the keys. The range searches are exact only for a file whose codes
// are valid, ascending and agree with the positions; any other file is
// searched by scanning every record, which is exact for any bytes.
void build_keys() {
    mapped.keys_built = true;
    mapped.indexed = false;
    if (!mapped.keys.allocate(mapped.records)) {
        return;
    }
    std::uint64_t previous = 0;
    for (std::uint32_t i = 0; i < mapped.records; ++i) {
        const E_DOG_DATA rec = record_at(i);
        std::uint64_t value = 0;
        if (!code_value(rec.encode_str, value) || value < previous) {
            mapped.keys = KeyArray{};
            return;
        }
        const bool take = takeable(rec);
        if (take && !FineCell(value).holds(rec.Gps_lat, rec.Gps_lng)) {
            mapped.keys = KeyArray{};
            return;
        }
        previous = value;
        mapped.keys.set(i, (value << kKeyShift) | (take ? kTakeable : 0));
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
    // Candidates may come out of file order: a tie keeps the earlier record.
    if (d < radius_m && (d < best.distance || (d == best.distance && i < best.index))) {
        best.distance = d;
        best.index = i;
    }
}

void scan_all(double lati, double longi, double radius_m, Best& best) {
    for (std::uint32_t i = 0; i < mapped.records; ++i) {
        consider(i, lati, longi, radius_m, best);
    }
}

// The box's fine cell ranges tested on keys directly: masking a key to the
// bits of one axis keeps that axis's order, so each range is two compares.
class KeyBox {
public:
    // A single longitude range is simply tested twice.
    explicit KeyBox(const CellRanges& fine)
        : lat_(span(fine.lat, false)),
          lng_{span(fine.lng[0], true), span(fine.lng[fine.lng_count > 1 ? 1 : 0], true)} {}

    [[nodiscard]] bool holds(std::uint64_t key) const {
        const std::uint64_t la = key & kLatKeyMask;
        const std::uint64_t lo = key & kLngKeyMask;
        return within(la, lat_) && (within(lo, lng_[0]) || within(lo, lng_[1]));
    }

private:
    // Latitude bits sit at the even code bits, longitude bits at the odd ones.
    static constexpr std::uint64_t kLatKeyMask = (0x5555555555555555ULL >> (64 - kCodeBits))
                                                 << kKeyShift;
    static constexpr std::uint64_t kLngKeyMask = kLatKeyMask << 1U;

    struct Span {
        std::uint64_t lo;
        std::uint64_t width;  // hi - lo
    };

    static Span span(IndexRange r, bool lng) {
        const auto axis_key = [lng](std::int64_t idx) {
            const std::uint64_t bits = spread(static_cast<std::uint64_t>(idx));
            return (lng ? bits << 1U : bits) << kKeyShift;
        };
        return {axis_key(r.lo), axis_key(r.hi) - axis_key(r.lo)};
    }

    // lo <= v <= lo + width in one unsigned compare.
    static bool within(std::uint64_t v, Span s) { return v - s.lo <= s.width; }

    Span lat_;
    std::array<Span, 2> lng_;
};

// A lower bound of get_distance from the position to any point of a fine
// cell, so that most candidates are dismissed without reading their record.
// It is kept as the haversine sum it bounds (`sum`), which orders cells as
// the distance does, and compared with `limit`, the largest sum of a cell
// that may still hold a camera within a distance. The bound is used only
// where the box neither wraps nor touches longitude +-180 (no difference
// there exceeds 180 degrees); elsewhere every sum is 0.
class DistanceFloor {
public:
    DistanceFloor(const SearchBox& box, double lat, double lng)
        : lat_(lat),
          lng_(lng),
          // Candidate cells reach at most one fine cell (1e-7 radians) beyond
          // the band, and the cosine changes no faster than its argument.
          cos_product_(box.cos_lat * std::max(0.0, box.cos_band - 1e-6)),
          active_(box.lng_count == 1 && box.lng[0].first > -180.0 && box.lng[0].second < 180.0) {}

    [[nodiscard]] double sum(std::uint64_t value) const {
        if (!active_) {
            return 0.0;
        }
        const FineCell cell(value);
        const double dlat =
            std::max({0.0, cell.south - lat_, lat_ - (cell.south + FineCell::kLatStep)});
        const double dlng =
            std::max({0.0, cell.west - lng_, lng_ - (cell.west + FineCell::kLngStep)});
        // Half-angles in the formula's radians; sin(x)^2 >= x^2 (1 - x^2/3).
        const double a = dlat * kHalfRadian;
        const double b = dlng * kHalfRadian;
        return a * a * (1 - a * a * kThird) + cos_product_ * b * b * (1 - b * b * kThird);
    }

    // asin(y) >= y, so a cell is at least 2 R sqrt(sum) away; the slack
    // covers the formula's rounding to 0.1 m and floating error.
    [[nodiscard]] static double limit(double distance) {
        const double root = (distance + 0.1) / (2 * kEarthRadiusM * (1 - 1e-9));
        return root * root;
    }

private:
    static constexpr double kHalfRadian = kPiShort / 360.0;  // half of one degree
    static constexpr double kThird = 1.0 / 3.0;

    double lat_;
    double lng_;
    double cos_product_;
    bool active_;
};

// Candidates of one query, measured nearest bound first: once the nearest
// bound left exceeds the best distance found, no other can be nearer.
class Candidates {
public:
    Candidates(double lati, double longi, double radius_m, Best& best)
        : lati_(lati),
          longi_(longi),
          radius_m_(radius_m),
          best_(best),
          limit_(DistanceFloor::limit(best.distance)) {}

    void add(double sum, std::uint32_t index) {
        if (sum > limit_) {
            return;
        }
        if (count_ == kCapacity) {
            flush();
        }
        sums_[count_] = sum;
        indices_[count_] = index;
        ++count_;
        // The nearest so far is likely to be read: start fetching its record.
        if (sum < lowest_ && mapped.bytes != nullptr) {
            lowest_ = sum;
            const unsigned char* rec = mapped.bytes + std::size_t{index} * kRecordSize;
            __builtin_prefetch(rec);
            __builtin_prefetch(rec + kRecordSize - 1);
        }
    }

    void flush() {
        while (count_ > 0) {
            std::size_t m = 0;
            for (std::size_t i = 1; i < count_; ++i) {
                m = sums_[i] < sums_[m] ? i : m;
            }
            if (sums_[m] > limit_) {
                break;
            }
            consider(indices_[m], lati_, longi_, radius_m_, best_);
            limit_ = DistanceFloor::limit(best_.distance);
            --count_;
            sums_[m] = sums_[count_];
            indices_[m] = indices_[count_];
        }
        count_ = 0;
    }

private:
    static constexpr std::size_t kCapacity = 64;

    double lati_;
    double longi_;
    double radius_m_;
    Best& best_;
    double limit_;
    double lowest_ = std::numeric_limits<double>::infinity();
    std::size_t count_ = 0;
    // Only the first count_ entries are ever read.
    std::array<double, kCapacity> sums_;  // NOLINT(cppcoreguidelines-pro-type-member-init)
    std::array<std::uint32_t, kCapacity>
        indices_;  // NOLINT(cppcoreguidelines-pro-type-member-init)
};

// The fine indices of the coarse cell `idx` (coarse = fine >> shift) that
// lie in `fine`; empty when lo > hi.
IndexRange clip(IndexRange fine, std::int64_t idx, unsigned shift) {
    const std::int64_t first = idx << shift;
    const std::int64_t last = ((idx + 1) << shift) - 1;
    return {std::max(first, fine.lo), std::min(last, fine.hi)};
}

// The smallest range holding both; empty ranges (lo > hi) add nothing.
IndexRange hull(IndexRange a, IndexRange b) {
    if (a.lo > a.hi) {
        return b;
    }
    if (b.lo > b.hi) {
        return a;
    }
    return {std::min(a.lo, b.lo), std::max(a.hi, b.hi)};
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
    const CellRanges fine = cell_ranges(box, kCodeBits);
    while (chars > 1 && coarsen(fine, 5 * chars).cell_count() > kMaxCells) {
        --chars;
    }
    const int bits = 5 * chars;
    const CellRanges cells = coarsen(fine, bits);
    if (cells.cell_count() > 64) {
        scan_all(lati, longi, radius_m, best);  // cannot happen: one character has 32 cells
        return;
    }

    // One key range per cell: the part of the cell inside the box at full
    // precision runs, in code order, from its south-west fine cell to its
    // north-east one, which trims the cell's range to the box.
    const auto lat_shift = static_cast<unsigned>(lat_bits(kCodeBits) - lat_bits(bits));
    const auto lng_shift = static_cast<unsigned>(lng_bits(kCodeBits) - lng_bits(bits));
    struct KeyRange {
        std::uint64_t first;
        std::uint64_t last;
        std::uint32_t start;  // where the search for `first` starts
    };
    // Only the first n_ranges entries are ever read.
    std::array<KeyRange, 64> key_ranges;  // NOLINT(cppcoreguidelines-pro-type-member-init)
    std::size_t n_ranges = 0;
    for (std::int64_t la = cells.lat.lo; la <= cells.lat.hi; ++la) {
        const IndexRange lat_part = clip(fine.lat, la, lat_shift);
        for (std::size_t r = 0; r < cells.lng_count; ++r) {
            for (std::int64_t lo = cells.lng[r].lo; lo <= cells.lng[r].hi; ++lo) {
                IndexRange lng_part{1, 0};
                for (std::size_t f = 0; f < fine.lng_count; ++f) {
                    lng_part = hull(lng_part, clip(fine.lng[f], lo, lng_shift));
                }
                if (lat_part.lo > lat_part.hi || lng_part.lo > lng_part.hi) {
                    continue;
                }
                const auto corner = [](std::int64_t lng_idx, std::int64_t lat_idx) {
                    return interleave(static_cast<std::uint64_t>(lng_idx),
                                      static_cast<std::uint64_t>(lat_idx), kCodeBits)
                           << kKeyShift;
                };
                key_ranges[n_ranges++] = {corner(lng_part.lo, lat_part.lo),
                                          corner(lng_part.hi, lat_part.hi) | kKeyLowBits, 0};
            }
        }
    }
    // Into code order (the ranges do not overlap); there are only a few.
    for (std::size_t i = 1; i < n_ranges; ++i) {
        const KeyRange range = key_ranges[i];
        std::size_t j = i;
        for (; j > 0 && key_ranges[j - 1].first > range.first; --j) {
            key_ranges[j] = key_ranges[j - 1];
        }
        key_ranges[j] = range;
    }

    const KeyBox in_box(fine);
    const DistanceFloor floor(box, lati, longi);
    Candidates candidates(lati, longi, radius_m, best);
    const KeyArray& keys = mapped.keys;
    const std::uint32_t n = keys.size();
    // Locate every range in the fence first and fetch its block, so that the
    // blocks' cache misses overlap.
    for (std::size_t r = 0; r < n_ranges; ++r) {
        key_ranges[r].start = keys.block_of(key_ranges[r].first);
        keys.prefetch(key_ranges[r].start);
    }
    std::uint32_t at = 0;
    for (std::size_t r = 0; r < n_ranges; ++r) {
        const auto [first, last, start] = key_ranges[r];
        // Ranges often follow on directly from the one before.
        if (at == n || keys[at] < first) {
            at = keys.find_from(start, first);
        }
        for (; at != n; ++at) {
            const std::uint64_t key = keys[at];
            if (key > last) {
                break;
            }
            if ((key & kTakeable) == 0 || !in_box.holds(key)) {
                continue;
            }
            candidates.add(floor.sum(key >> kKeyShift), at);
        }
    }
    candidates.flush();
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

std::size_t e_dog::nearest_index_bytes() {
    return mapped.keys.memory();
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
