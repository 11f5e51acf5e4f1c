#include "edog/search/nearest_keys.h"

#include <atomic>
#include <bit>
#include <cmath>
#include <new>
#include <system_error>
#include <thread>

#include "edog/datafile/e_dog_record.h"
#include "edog/datafile/little_endian.h"
#include "edog/search/e_dog_answer.h"

namespace e_dog {

bool KeyArray::allocate(std::uint32_t n) {
    static std::atomic<std::uint64_t> arrays{0};
    id_ = ++arrays;
    n_ = n;
    const std::size_t blocks = (std::size_t{n} + kBlock - 1) / kBlock;
    fence_count_ = blocks > 1 ? blocks - 1 : 0;  // none for the first block
    // One byte more: every key is read as eight bytes.
    // As many prefixes as fence entries, rounded down to a power of two.
    dir_count_ = fence_count_ >= kDirMinFence ? std::bit_floor(fence_count_) : 0;
    dir_shift_ =
        static_cast<unsigned>(kKeyBits - std::countr_zero(std::max<std::size_t>(dir_count_, 1)));
    occ_bits_ = kOccMinBits;
    while (occ_bits_ < kOccMaxBits &&
           (std::uint64_t{1} << static_cast<unsigned>(occ_bits_ + 1)) <= kOccBitsPerRecord * n) {
        ++occ_bits_;
    }
    // NOLINTNEXTLINE(cppcoreguidelines-no-malloc): zeroed pages on demand
    occ_.reset(static_cast<std::uint64_t*>(std::calloc(occ_words(), sizeof(std::uint64_t))));
    bytes_.reset(new (std::nothrow) unsigned char[std::size_t{n} * kKeyBytes + 1]);
    fence_.reset(new (std::nothrow) std::uint64_t[fence_count_]);
    if (dir_count_ > 0) {
        dir_.reset(new (std::nothrow) std::uint32_t[dir_count_ + 1]);
    }
    if (!bytes_ || !fence_ || !occ_ || (dir_count_ > 0 && !dir_)) {
        *this = KeyArray{};
        return false;
    }
    bytes_[std::size_t{n} * kKeyBytes] = 0;
    return true;
}

void KeyArray::set(std::uint32_t i, std::uint64_t key) {
    unsigned char* p = bytes_.get() + std::size_t{i} * kKeyBytes;
    for (std::size_t b = 0; b < kKeyBytes; ++b) {
        p[b] = static_cast<unsigned char>(key >> (8 * b));
    }
    if (i % kBlock == 0 && i > 0) {
        fence_[i / kBlock - 1] = key;
    }
}

void KeyArray::finish() {
    if (!dir_) {
        return;
    }
    std::size_t f = 0;
    for (std::size_t p = 0; p <= dir_count_; ++p) {
        while (f < fence_count_ && (fence_[f] >> dir_shift_) < p) {
            ++f;
        }
        dir_[p] = static_cast<std::uint32_t>(f);
    }
}

void KeyArray::OccupancyWriter::flush(bool shared) {
    if (bits_ == 0) {
        return;
    }
    if (shared) {
        std::atomic_ref<std::uint64_t>(keys_.occ_[word_of(word_ * 64)])
            .fetch_or(bits_, std::memory_order_relaxed);
    } else {
        keys_.occ_[word_of(word_ * 64)] |= bits_;
    }
    bits_ = 0;
    written_ = true;
}

std::size_t KeyArray::memory() const {
    return bytes_ ? std::size_t{n_} * kKeyBytes + 1 + fence_count_ * sizeof(std::uint64_t) +
                        (dir_ ? (dir_count_ + 1) * sizeof(std::uint32_t) : 0) +
                        occ_words() * sizeof(std::uint64_t)
                  : 0;
}

namespace {

// Files of at least this many records have their keys built on two threads.
constexpr std::uint32_t kTwoThreadRecords = 1U << 18U;

// Set in key_of's answers only, so that a valid key is never 0.
constexpr std::uint64_t kKeyPresent = 4;
static_assert(kKeyPresent <= kKeyLowBits && (kKeyPresent & (kTakeable | kPlaced)) == 0);

// The key of one record's bytes, or 0 when the record breaks an assumption
// of the keys: a code that is not 10 characters of the alphabet and a zero
// byte, or a finite position outside the code's cell. A valid key has
// kKeyPresent set.
std::uint64_t key_of(const unsigned char* rec) {
    const unsigned char* code = rec + kOffCode;
    std::uint64_t value = 0;
    unsigned bad = 0;
    for (int c = 0; c < kCodeChars; ++c) {
        const std::uint8_t v = geo::kCharValue[code[c]];
        bad |= v;  // only kNotInAlphabet has bit 5
        value = (value << static_cast<unsigned>(geo::kBitsPerChar)) | v;
    }
    if ((bad & geo::kNotInAlphabet) != 0 || code[kCodeChars] != 0) {
        return 0;
    }
    const double lat = le::get_f64(rec + kOffLat);
    const double lng = le::get_f64(rec + kOffLng);
    const bool placed = std::isfinite(lat) && std::isfinite(lng);
    if (placed && !geo::CellBox(value, kCodeBits).holds(lat, lng)) {
        return 0;
    }
    const bool take = placed && qualifies(le::get_i32(rec + kOffDirType));
    return (value << kKeyShift) | (placed ? kPlaced : 0) | (take ? kTakeable : 0) | kKeyPresent;
}

// Keys [first, last) of the map; false when a record breaks an assumption
// of the keys or the codes descend within the range. The records are read in
// runs with pread: far cheaper than mapping in every page of the file.
bool build_range(const DataMap& map, KeyArray& keys, std::uint32_t first, std::uint32_t last) {
    std::uint64_t previous = 0;
    KeyArray::OccupancyWriter occupied(keys);
    return map.read_in_runs(first, last, [&](std::uint32_t i, const unsigned char* rec) {
        const std::uint64_t key = key_of(rec);
        // Codes must not descend; the flag bits do not count.
        if (key == 0 || (key >> kKeyShift) < (previous >> kKeyShift)) {
            return false;
        }
        previous = key;
        keys.set(i, key & ~kKeyPresent);
        if ((key & kPlaced) != 0) {
            occupied.add(key);
        }
        return true;
    });
}

}  // namespace

bool build_keys(const DataMap& map, KeyArray& keys) {
    const std::uint32_t n = map.records();
    if (!keys.allocate(n)) {
        return false;
    }
    // A large file is read in two halves at once: reading the records is
    // most of the time to a first answer. The halves must meet in order.
    bool ok = false;
    const std::uint32_t mid = n >= kTwoThreadRecords ? n / 2 : n;
    if (mid < n) {
        bool upper = false;
        try {
            std::thread other([&] { upper = build_range(map, keys, mid, n); });
            ok = build_range(map, keys, 0, mid);
            other.join();
        } catch (const std::system_error&) {  // no thread to be had
            ok = build_range(map, keys, 0, mid);
            upper = ok && build_range(map, keys, mid, n);
        }
        ok = ok && upper && (keys[mid - 1] >> kKeyShift) <= (keys[mid] >> kKeyShift);
    } else {
        ok = build_range(map, keys, 0, n);
    }
    if (!ok) {
        keys = KeyArray{};
        return false;
    }
    keys.finish();
    return true;
}

}  // namespace e_dog
