// Repeated values by a hashed bitmap and an exact second look: the bitmap
// (8 bits per entry) lets through every value whose bit is still clear; the
// others (a true repeat, or a collision) are collected, and one more pass
// counts how often each of them occurs in the whole array.
#include "repeats.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

namespace videvo::trajdata {
namespace {

std::uint64_t key_of(double v) {
    if (v == 0.0) return 0;  // -0.0 == 0.0
    std::uint64_t k;
    std::memcpy(&k, &v, sizeof k);
    return k;
}

std::uint64_t mix(std::uint64_t k) {
    k ^= k >> 31;
    k *= 0x7fb5d329728ea185ULL;
    k ^= k >> 27;
    k *= 0x81dadef4bc2dd44dULL;
    return k ^ (k >> 33);
}

// A set of keys with a count each, by open addressing.  No NaN is a key, so
// the all-ones pattern (a NaN) marks an empty slot.
class Counts {
public:
    explicit Counts(std::size_t keys)
        : mask_(std::bit_ceil(2 * keys + 2) - 1), keys_(mask_ + 1, empty), counts_(mask_ + 1) {}

    void add(std::uint64_t k) { keys_[slot(k)] = k; }

    // Counts an occurrence of k if k is in the set; true on the second one.
    bool count(std::uint64_t k) {
        const std::size_t s = slot(k);
        if (keys_[s] != k) return false;
        return ++counts_[s] >= 2;
    }

private:
    static constexpr std::uint64_t empty = ~std::uint64_t{0};

    std::size_t slot(std::uint64_t k) const {
        std::size_t s = mix(k) & mask_;
        while (keys_[s] != k && keys_[s] != empty) s = (s + 1) & mask_;
        return s;
    }

    std::size_t mask_;
    std::vector<std::uint64_t> keys_;
    std::vector<unsigned char> counts_;
};

}  // namespace

// A bitmap of at least 64 bits, addressed by the top bits of a hash.
class Bits {
public:
    explicit Bits(std::size_t wanted)
        : size_(std::max<std::size_t>(64, std::bit_ceil(wanted))), shift_(64 - std::countr_zero(size_)),
          words_(size_ / 64) {}

    // Sets the bit of hash h; true when it was set already.
    bool test_and_set(std::uint64_t h) {
        const std::uint64_t i = h >> shift_, mask = std::uint64_t{1} << (i & 63);
        const bool was = (words_[i >> 6] & mask) != 0;
        words_[i >> 6] |= mask;
        return was;
    }

    bool test(std::uint64_t h) const {
        const std::uint64_t i = h >> shift_;
        return (words_[i >> 6] >> (i & 63)) & 1;
    }

private:
    std::size_t size_;
    int shift_;
    std::vector<std::uint64_t> words_;
};

bool has_repeated_value(const double* x, std::size_t n) {
    if (n < 2) return false;
    Bits filter(8 * n);
    std::vector<std::uint64_t> seen;
    for (std::size_t i = 0; i < n; ++i)
        if (!std::isnan(x[i]) && filter.test_and_set(mix(key_of(x[i])))) seen.push_back(key_of(x[i]));
    if (seen.empty()) return false;
    // The second look goes through a small bitmap of the suspects first, so
    // that the exact counts are consulted for few entries.
    Bits suspects(16 * seen.size());
    Counts counts(seen.size());
    for (const std::uint64_t k : seen) {
        suspects.test_and_set(mix(k) * 0x9e3779b97f4a7c15ULL);
        counts.add(k);
    }
    for (std::size_t i = 0; i < n; ++i) {
        if (std::isnan(x[i])) continue;
        const std::uint64_t k = key_of(x[i]);
        if (suspects.test(mix(k) * 0x9e3779b97f4a7c15ULL) && counts.count(k)) return true;
    }
    return false;
}

}  // namespace videvo::trajdata
