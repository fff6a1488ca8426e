// Repeated values by a radix partition: each value's hash, a bijection of
// its bits, is placed by its top bits into one of up to 1024 parts of the
// scratch memory, and each part is then checked through an open-addressing
// set of its own, small enough to stay in cache.  Three sequential passes
// and cached random access, where a set of all the values would miss the
// cache on nearly every entry.
#include "repeats.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <vector>

namespace videvo::trajdata {
namespace {

std::uint64_t key_of(double v) {
    if (v == 0.0) return 0;  // -0.0 == 0.0
    std::uint64_t k;
    std::memcpy(&k, &v, sizeof k);
    return k;
}

// A bijection of 64-bit words (the fold and the odd multiplier are both
// invertible) whose top bits depend on every bit of the key: equal hashes
// mean equal keys, and mix(0) = 0 is the only zero.  Integers, grids and
// random values alike spread evenly over the parts.
std::uint64_t mix(std::uint64_t k) {
    k ^= k >> 32;
    return k * 0x9e3779b97f4a7c15ULL;
}

// Bits of the part number: parts of one to two thousand entries, at most
// 1024 of them, so that the entries written to the parts go to few enough
// places at once to be combined in cache.
int part_bits(std::size_t n) { return std::clamp(static_cast<int>(std::bit_width(n)) - 11, 0, 10); }

// Whether the hashes h[0..m-1] of one part hold one twice.  `low` is the
// number of top bits that all of them share (the part number); the slot
// comes from the bits below those, and holds the index of its entry plus
// one (zero: empty).  The table has four slots per entry or more: at most a
// quarter of them is taken, so most entries find their slot empty at once
// and the probing loop rarely runs.
bool part_repeats(const std::uint64_t* h, std::size_t m, int low, std::vector<std::uint32_t>& table) {
    if (m < 2) return false;
    const std::size_t size = std::bit_ceil(4 * m);
    const int bits = std::countr_zero(size);
    std::fill_n(table.begin(), size, 0);
    for (std::size_t i = 0; i < m; ++i) {
        const std::uint64_t v = h[i];
        std::size_t s = (v << low) >> (64 - bits);
        for (; table[s] != 0; s = (s + 1) & (size - 1))
            if (h[table[s] - 1] == v) return true;
        table[s] = static_cast<std::uint32_t>(i + 1);
    }
    return false;
}

}  // namespace

bool has_repeated_value(const double* x, std::size_t n, void* scratch) {
    if (n < 2) return false;
    std::vector<std::uint64_t> own;
    if (scratch == nullptr) {
        own.resize(n);
        scratch = own.data();
    }
    auto* const out = static_cast<std::uint64_t*>(scratch);
    const int b = part_bits(n);
    const std::size_t parts = std::size_t{1} << b;
    auto part = [b](std::uint64_t h) { return b == 0 ? std::size_t{0} : static_cast<std::size_t>(h >> (64 - b)); };
    // start[k]: where part k begins; end[k]: where its next entry goes.
    std::vector<std::size_t> start(parts + 1, 0), end(parts);
    for (std::size_t i = 0; i < n; ++i) {
        const double v = x[i];
        start[part(mix(key_of(v))) + 1] += v == v;  // (NaNs equal nothing)
    }
    for (std::size_t k = 0; k < parts; ++k) start[k + 1] += start[k];
    std::copy(start.begin(), start.end() - 1, end.begin());
    // (a part that is full already means that x changed since it was
    // counted, by another thread: the entry is dropped rather than written
    // past the part)
    for (std::size_t i = 0; i < n; ++i) {
        const double v = x[i];
        if (v != v) continue;
        const std::uint64_t h = mix(key_of(v));
        const std::size_t k = part(h);
        if (end[k] < start[k + 1]) out[end[k]++] = h;
    }
    std::size_t largest = 0;
    for (std::size_t k = 0; k < parts; ++k) largest = std::max(largest, end[k] - start[k]);
    // (a part of 2^32 entries would need far more memory than exists)
    if (largest >= 0xffffffffu) throw std::length_error("too many values");
    std::vector<std::uint32_t> table(std::bit_ceil(4 * largest + 4));
    for (std::size_t k = 0; k < parts; ++k)
        if (part_repeats(out + start[k], end[k] - start[k], b, table)) return true;
    return false;
}

}  // namespace videvo::trajdata
