// Repeated values by a hashed filter and an exact second look: the filter
// (6 to 12 bits per entry, two bits per value) lets through every value with
// a bit still clear; the others (a true repeat, or a collision) are
// collected, and one more pass counts how often each of them occurs in the
// whole array.
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

// A filter of at least one 64-bit word: the top bits of a hash choose the
// word and its low twelve bits two bits in it, so that one memory read tests
// both and a value whose bits are both set already is rarely a new one.
class Bits {
public:
    explicit Bits(std::size_t wanted)
        : words_(std::max<std::size_t>(1, std::bit_ceil(wanted) / 64)), shift_(64 - std::countr_zero(words_.size())) {}

    void prefetch(std::uint64_t h) const { __builtin_prefetch(&words_[word(h)]); }

    // Sets the bits of hash h; true when they were set already.
    bool test_and_set(std::uint64_t h) {
        std::uint64_t& w = words_[word(h)];
        const std::uint64_t m = mask(h);
        const bool was = (w & m) == m;
        w |= m;
        return was;
    }

    bool test(std::uint64_t h) const { return (words_[word(h)] & mask(h)) == mask(h); }

private:
    std::size_t word(std::uint64_t h) const { return shift_ < 64 ? h >> shift_ : 0; }
    static std::uint64_t mask(std::uint64_t h) { return std::uint64_t{1} << (h & 63) | std::uint64_t{1} << (h >> 6 & 63); }

    std::vector<std::uint64_t> words_;
    int shift_;
};

namespace {

// Calls visit(key, hash) for the non-NaN entries of x in order.  The hashes
// of a block are computed and their bitmap words fetched before the first is
// used: a large bitmap lives out of cache, and so the reads of a block
// overlap instead of waiting one after the other.
template <class Hash, class Visit>
void for_each_key(const double* x, std::size_t n, const Bits& bits, Hash hash, Visit&& visit) {
    constexpr std::size_t block = 32;
    std::uint64_t keys[block], hashes[block];
    for (std::size_t i = 0; i < n; i += block) {
        const std::size_t m = std::min(block, n - i);
        for (std::size_t j = 0; j < m; ++j) {
            keys[j] = key_of(x[i + j]);
            hashes[j] = hash(keys[j]);
            bits.prefetch(hashes[j]);
        }
        for (std::size_t j = 0; j < m; ++j)
            if (!std::isnan(x[i + j]) && visit(keys[j], hashes[j])) return;
    }
}

std::uint64_t second_hash(std::uint64_t k) { return mix(k) * 0x9e3779b97f4a7c15ULL; }

}  // namespace

bool has_repeated_value(const double* x, std::size_t n) {
    if (n < 2) return false;
    Bits filter(6 * n);  // (6 to 12 bits per entry)
    std::vector<std::uint64_t> seen;
    for_each_key(x, n, filter, mix, [&](std::uint64_t k, std::uint64_t h) {
        if (filter.test_and_set(h)) seen.push_back(k);
        return false;
    });
    if (seen.empty()) return false;
    // The second look goes through a small bitmap of the suspects first, so
    // that the exact counts are consulted for few entries.
    Bits suspects(16 * seen.size());
    Counts counts(seen.size());
    for (const std::uint64_t k : seen) {
        suspects.test_and_set(second_hash(k));
        counts.add(k);
    }
    // (the suspects' filter is small enough to stay in cache)
    for (std::size_t i = 0; i < n; ++i) {
        if (std::isnan(x[i])) continue;
        const std::uint64_t k = key_of(x[i]);
        if (suspects.test(second_hash(k)) && counts.count(k)) return true;
    }
    return false;
}

}  // namespace videvo::trajdata
