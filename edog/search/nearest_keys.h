// The searches' keys: one per record in file order, seven bytes each (the
// record's code as a 50-bit number in the top 50 bits, and bits saying
// whether the record has a position and whether it can be taken), with the
// first key of every block of 16 after the first again in a fence that stays
// in cache, and a directory of the fence by the keys' top bits. A key is found
// with one look into the directory, a short bisection of the fence and a look
// into one block; a bitmap of the occupied cells answers where there is
// none. At most 12 bytes per record and 133 bytes more. See
// doc/nearest-search.md.
#ifndef EDOG_NEAREST_KEYS_H
#define EDOG_NEAREST_KEYS_H

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <type_traits>

#include "edog/datafile/data_map.h"
#include "geo/geohash_int.h"

namespace e_dog {

inline constexpr int kCodeChars = 10;
inline constexpr int kCodeBits = geo::kBitsPerChar * kCodeChars;  // 50
inline constexpr int kKeyBits = 56;                               // seven bytes
inline constexpr int kKeyShift = kKeyBits - kCodeBits;  // the code sits in the top 50 bits
inline constexpr std::uint64_t kTakeable = 1;           // DirType 1 to 5, finite position
inline constexpr std::uint64_t kPlaced = 2;             // finite position (any DirType)
inline constexpr std::uint64_t kKeyLowBits = (std::uint64_t{1} << kKeyShift) - 1;

class KeyArray {
public:
    // Room for `n` keys; false (and empty) when memory is short.
    bool allocate(std::uint32_t n);
    // Key `i` is set once, in any order; then finish() once, before the
    // array is searched.
    void set(std::uint32_t i, std::uint64_t key);
    void finish();

    [[nodiscard]] std::uint64_t operator[](std::uint32_t i) const {
        std::uint64_t v = 0;
        std::memcpy(&v, bytes_.get() + std::size_t{i} * kKeyBytes, sizeof v);
        if constexpr (std::endian::native == std::endian::big) {
            v = __builtin_bswap64(v);
        }
        return v & kKeyMask;
    }

    [[nodiscard]] std::uint32_t size() const { return n_; }

    // Whether any placed key lies in the cell `cell` of a code of
    // occupancy_bits() bits (the keys' top bits): a bitmap of the cells that
    // hold a record with a position, so that a search where there is none
    // ends without looking up a key.
    [[nodiscard]] int occupancy_bits() const { return occ_bits_; }
    [[nodiscard]] bool occupied(std::uint64_t cell) const {
        return (occ_[word_of(cell)] >> (cell % 64) & 1U) != 0;
    }
    // Asks for the bitmap word and the directory entry of the cell holding
    // (lat, lng) to be brought into the cache, so that their misses overlap
    // the work before the test (a search's key ranges mostly share the
    // directory entry of its position).
    void prefetch_cell(double lat, double lng) const {
        const int lat_n = geo::lat_bits(occ_bits_);
        const int lng_n = geo::lng_bits(occ_bits_);
        const auto la = static_cast<std::uint64_t>(geo::cell_index(lat, -90.0, 180.0, lat_n));
        const auto lo = static_cast<std::uint64_t>(geo::cell_index(lng, -180.0, 360.0, lng_n));
        const std::uint64_t cell = geo::interleave(lo, la, occ_bits_);
        __builtin_prefetch(occ_.get() + word_of(cell));
        if (dir_) {
            __builtin_prefetch(dir_.get() +
                               dir_index(cell << static_cast<unsigned>(kKeyBits - occ_bits_)));
        }
    }
    // Marks the cells of placed keys given in ascending order: each bitmap
    // word is gathered and written once, so that writers of ranges of keys
    // that do not overlap may run at once in several threads. Only a range's
    // first and last words can be another range's too (the keys ascend), and
    // only they are written atomically.
    class OccupancyWriter {
    public:
        explicit OccupancyWriter(KeyArray& keys) : keys_(keys) {}
        ~OccupancyWriter() { flush(true); }
        OccupancyWriter(const OccupancyWriter&) = delete;
        OccupancyWriter& operator=(const OccupancyWriter&) = delete;
        OccupancyWriter(OccupancyWriter&&) = delete;
        OccupancyWriter& operator=(OccupancyWriter&&) = delete;

        void add(std::uint64_t key) {
            const std::uint64_t cell = key >> (kKeyBits - keys_.occ_bits_);
            if (cell / 64 != word_) {
                flush(!written_);
                word_ = cell / 64;
            }
            bits_ |= std::uint64_t{1} << (cell % 64);
        }

    private:
        void flush(bool shared);

        KeyArray& keys_;
        std::uint64_t word_ = 0;
        std::uint64_t bits_ = 0;
        bool written_ = false;
    };
    // Different for every array allocated in this process (0: none).
    [[nodiscard]] std::uint64_t id() const { return id_; }
    [[nodiscard]] std::size_t memory() const;

    // Where the search for the first key not below `first` starts: the first
    // key of the last block whose first key is below it (0 if none). The key
    // sought is among the next 16, or is the first key of the next block.
    [[nodiscard]] std::uint32_t block_of(std::uint64_t first) const {
        // The directory gives the fence entries with the same top bits as
        // `first`: those before are below it, those after above. Among them,
        // a bisection without branches that fetches both possible next probes
        // ahead counts the ones below.
        std::size_t lo = 0;
        std::size_t len = fence_count_;
        if (dir_) {
            const std::size_t prefix = dir_index(first);
            lo = dir_[prefix];
            len = prefix < dir_count_ ? dir_[prefix + 1] - lo : 0;
        }
        if (len == 0) {
            return block_start(lo);
        }
        const std::uint64_t* base = fence_.get() + lo;
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
    // The bitmap word of a cell (the bitmap has at most 2^22 words, so the
    // index fits any host's size_t; a template keeps the cast quiet where
    // the two types are one).
    template <typename Cell>
    static constexpr std::size_t word_of(Cell cell) {
        return static_cast<std::size_t>(cell / 64);
    }
    // The same for a directory index (at most the fence's size).
    template <typename Index>
    static constexpr std::size_t index_of(Index i) {
        return static_cast<std::size_t>(i);
    }
    // The directory entry of the prefix of `key`; beyond the keys' bits, the
    // last, below which every fence entry lies.
    [[nodiscard]] std::size_t dir_index(std::uint64_t key) const {
        return index_of(std::min<std::uint64_t>(key >> dir_shift_, dir_count_));
    }
    // The first key of block `b` (the key count fits 32 bits).
    template <typename Block>
    static constexpr std::uint32_t block_start(Block b) {
        return static_cast<std::uint32_t>(b) * kBlock;
    }

    [[nodiscard]] std::size_t occ_words() const {
        return (std::size_t{1} << static_cast<unsigned>(occ_bits_)) / 64;
    }

    static constexpr std::size_t kKeyBytes = kKeyBits / 8;
    static constexpr std::uint64_t kKeyMask = (std::uint64_t{1} << kKeyBits) - 1;
    static constexpr std::uint32_t kBlock = 16;
    static constexpr std::size_t kDirMinFence = 64;
    // The occupancy bitmap takes at most this many bits per record (4.25
    // bytes), and 2^10 to 2^28 bits in all.
    static constexpr std::uint64_t kOccBitsPerRecord = 34;
    static constexpr int kOccMinBits = 10;
    static constexpr int kOccMaxBits = 28;

    std::unique_ptr<unsigned char[]> bytes_;
    std::unique_ptr<std::uint64_t[]> fence_;
    // dir_[p]: the fence entries whose key, shifted right by dir_shift_, is
    // below p; about one prefix per fence entry, so that a bisection of the
    // fence is a bisection of the few entries of one prefix. Only for fences
    // of kDirMinFence entries or more: a small fence is bisected whole.
    std::unique_ptr<std::uint32_t[]> dir_;
    // 2^occ_bits_ bits, from calloc: pages the marks never touch are never
    // written, which keeps the first search quick on a clustered file.
    struct FreeWords {
        void operator()(std::uint64_t* p) const {
            std::free(p);
        }  // NOLINT(cppcoreguidelines-no-malloc)
    };
    std::unique_ptr<std::uint64_t[], FreeWords> occ_;
    int occ_bits_ = 0;
    std::uint64_t id_ = 0;
    std::uint32_t n_ = 0;
    std::size_t fence_count_ = 0;
    std::size_t dir_count_ = 0;  // prefixes
    unsigned dir_shift_ = kKeyBits;
};

// The keys of the mapped file's records. The range searches are exact only for
// a file whose codes are valid, ascending and agree with every finite
// position; for any other file (or without memory) the result is false and
// `keys` empty, and the file must be searched by a scan.
bool build_keys(const DataMap& map, KeyArray& keys);

// A box of fine cells (index ranges at the full 50 bits) tested on keys
// directly: masking a key to the bits of one axis keeps that axis's order, so
// each range is one unsigned compare.
class KeyBox {
public:
    // Latitude bits sit at the even code bits, longitude bits at the odd ones.
    static constexpr std::uint64_t kLatKeyMask = (0x5555555555555555ULL >> (64 - kCodeBits))
                                                 << kKeyShift;
    static constexpr std::uint64_t kLngKeyMask = kLatKeyMask << 1U;

    // An axis range as the key bits of its first and last fine cell.
    struct Span {
        std::uint64_t lo;
        std::uint64_t width;  // hi - lo
        [[nodiscard]] std::uint64_t hi() const { return lo + width; }
    };

    // `lng_count` is 1 or 2; a single longitude range is simply tested twice.
    KeyBox(geo::IndexRange lat, const geo::IndexRange* lng, std::size_t lng_count)
        : lat_(span(lat, false)),
          lng_(lng_spans(lng, lng_count)),
          lng_count_(lng_count > 1 ? 2 : 1) {}

    // Whether the key's fine cell is in the box and the key has every flag
    // of `need`. Without branches: keys in and out of a box alternate at
    // random, which the processor cannot guess.
    [[nodiscard]] bool holds(std::uint64_t key, std::uint64_t need = 0) const {
        const std::uint64_t la = key & kLatKeyMask;
        const std::uint64_t lo = key & kLngKeyMask;
        const unsigned flags = (key & need) == need ? 1U : 0U;
        return (flags & within(la, lat_) & (within(lo, lng_[0]) | within(lo, lng_[1]))) != 0U;
    }

    [[nodiscard]] Span lat() const { return lat_; }
    [[nodiscard]] Span lng(std::size_t i) const { return lng_[i]; }
    [[nodiscard]] std::size_t lng_count() const { return lng_count_; }

private:
    static Span span(geo::IndexRange r, bool lng) {
        const auto axis_key = [lng](std::int64_t idx) {
            const std::uint64_t bits = geo::spread(static_cast<std::uint64_t>(idx));
            return (lng ? bits << 1U : bits) << kKeyShift;
        };
        return {axis_key(r.lo), axis_key(r.hi) - axis_key(r.lo)};
    }

    static std::array<Span, 2> lng_spans(const geo::IndexRange* lng, std::size_t count) {
        const Span first = span(lng[0], true);
        return {first, count > 1 ? span(lng[1], true) : first};
    }

    // lo <= v <= lo + width in one unsigned compare.
    static unsigned within(std::uint64_t v, Span s) { return v - s.lo <= s.width ? 1U : 0U; }

    Span lat_;
    std::array<Span, 2> lng_;
    std::size_t lng_count_;
};

// Calls visit(key, index) for every key of the ranges (sorted, as
// cover_ranges gives them; each range's `start` is filled here) that has all
// the bits of `need` and lies in the box, in key order; a visit that answers
// false ends the scan.
template <typename Ranges, typename Visit>
void scan_key_ranges(const KeyArray& keys, Ranges& ranges, std::size_t count, const KeyBox& in_box,
                     std::uint64_t need, Visit&& visit) {
    const std::uint32_t n = keys.size();
    // Locate every range in the fence first and fetch its block, so that the
    // blocks' cache misses overlap.
    for (std::size_t r = 0; r < count; ++r) {
        ranges[r].start = keys.block_of(ranges[r].first);
        keys.prefetch(ranges[r].start);
    }
    std::uint32_t at = 0;
    for (std::size_t r = 0; r < count; ++r) {
        const auto [first, last, start] = ranges[r];
        // Ranges often follow on directly from the one before.
        if (at == n || keys[at] < first) {
            at = keys.find_from(start, first);
        }
        for (; at != n; ++at) {
            const std::uint64_t key = keys[at];
            if (key > last) {
                break;
            }
            if (in_box.holds(key, need)) {
                if constexpr (std::is_same_v<
                                  std::invoke_result_t<Visit, std::uint64_t, std::uint32_t>,
                                  bool>) {
                    if (!visit(key, at)) {
                        return;
                    }
                } else {
                    visit(key, at);
                }
            }
        }
    }
}

}  // namespace e_dog

#endif  // EDOG_NEAREST_KEYS_H
