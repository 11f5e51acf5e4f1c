#include "edog/search/nearest_keys.h"

#include <atomic>
#include <bit>
#include <cmath>
#include <new>

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
    bytes_.reset(new (std::nothrow) unsigned char[std::size_t{n} * kKeyBytes + 1]);
    fence_.reset(new (std::nothrow) std::uint64_t[fence_count_]);
    if (dir_count_ > 0) {
        dir_.reset(new (std::nothrow) std::uint32_t[dir_count_ + 1]);
    }
    if (!bytes_ || !fence_ || (dir_count_ > 0 && !dir_)) {
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

std::size_t KeyArray::memory() const {
    return bytes_ ? std::size_t{n_} * kKeyBytes + 1 + fence_count_ * sizeof(std::uint64_t) +
                        (dir_ ? (dir_count_ + 1) * sizeof(std::uint32_t) : 0)
                  : 0;
}

bool build_keys(const DataMap& map, KeyArray& keys) {
    if (!keys.allocate(map.records())) {
        return false;
    }
    std::uint64_t previous = 0;
    for (std::uint32_t i = 0; i < map.records(); ++i) {
        const E_DOG_DATA rec = map.record(i);
        std::uint64_t value = 0;
        if (!geo::code_value(rec.encode_str, kCodeChars, value) || value < previous) {
            keys = KeyArray{};
            return false;
        }
        const bool placed = std::isfinite(rec.Gps_lat) && std::isfinite(rec.Gps_lng);
        if (placed && !geo::CellBox(value, kCodeBits).holds(rec.Gps_lat, rec.Gps_lng)) {
            keys = KeyArray{};
            return false;
        }
        previous = value;
        const bool take = placed && qualifies(rec.DirType);
        keys.set(i, (value << kKeyShift) | (placed ? kPlaced : 0) | (take ? kTakeable : 0));
    }
    keys.finish();
    return true;
}

}  // namespace e_dog
