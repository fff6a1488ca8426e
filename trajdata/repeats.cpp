// Repeated values by a radix partition: each value's hash, a bijection of
// its bits, is placed by its top bits into the room of its part in the
// scratch memory, and each part is then checked through an open-addressing
// set of its own, small enough to stay in cache.  Sequential passes and
// cached random access, where a set of all the values would miss the cache
// on nearly every entry.  Fewer than 2^16 values go into one such set
// straight away: it stays in cache all the same.
#include "repeats.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <utility>
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

// Bits of the part number: parts of two to four thousand entries, at most
// 256 of them, so that the entries written to the parts go to few enough
// places at once to be combined in cache; from 2^24 entries on, more parts
// keep each under 2^16 entries.  From 2^15 entries on there are 256 parts
// at least (of 128 entries or more, whose few overflowing values the packed
// pass spills): one pass costs less than two over larger parts (3.0 ns a
// value against 4.4 at 4 * 10^5).
int part_bits(std::size_t n) {
    const int width = static_cast<int>(std::bit_width(n));
    return std::clamp(width - 12, width > 15 ? 8 : 0, std::max(8, width - 16));
}

// The table of a part of m entries: eight slots per entry, four past 2^16
// entries (never fewer than for a smaller part).
std::size_t table_size(std::size_t m) { return std::bit_ceil(std::max(8 * std::min<std::size_t>(m, 0xffff), 4 * m)); }

// The entries of one part: 64-bit hashes in a row, whose top `low` bits
// (the part number) they all share.
struct Hashes {
    const std::uint64_t* h;
    int low;
    std::uint64_t operator()(std::size_t i) const { return h[i]; }
    static bool left_out(std::size_t) { return false; }
};

// The values themselves, hashed where they are read, NaNs left out: one
// part of all of them.
struct Values {
    const double* x;
    static constexpr int low = 0;
    std::uint64_t operator()(std::size_t i) const { return mix(key_of(x[i])); }
    bool left_out(std::size_t i) const { return x[i] != x[i]; }
};

// The entries of one part packed in 7 bytes each: the 56 bits of a hash
// below an 8-bit part number, or below a longer one and then zeros.
struct Packed {
    const unsigned char* at;
    static constexpr int low = 8;
    std::uint64_t operator()(std::size_t i) const {
        std::uint64_t w;
        std::memcpy(&w, at + 7 * i, sizeof w);  // (little-endian)
        return w & (~std::uint64_t{0} >> 8);
    }
    static bool left_out(std::size_t) { return false; }
};

// A part's packed entries, then the hashes that found it full (the 56 bits
// that its packed entries would hold).
struct PackedThenSpilled {
    Packed packed;
    std::size_t fill;
    const std::uint64_t* spilled;
    int b;
    static constexpr int low = Packed::low;
    std::uint64_t operator()(std::size_t i) const { return i < fill ? packed(i) : (spilled[i - fill] << b) >> 8; }
    static bool left_out(std::size_t) { return false; }
};

// Whether the m entries of one part hold one twice: yes, no, or nothing when
// they crowd the table.  The slot comes from the bits below the part number,
// and holds the index of its entry plus one (zero: empty), in 16 bits where
// they suffice.  At most one slot in four is taken, one in eight below 2^16
// entries, so nearly every entry finds its slot empty at once and the
// probing loop rarely runs; entries made to share those bits would make it
// run in quadratic time, and more probes than entries give up.
template <class Entries, class Slot>
std::optional<bool> part_repeats(Entries h, std::size_t m, Slot* table) {
    if (m < 2) return false;
    const std::size_t size = table_size(m);
    const int bits = std::countr_zero(size);
    std::fill_n(table, size, Slot{0});
    std::size_t probes = 0;
    for (std::size_t i = 0; i < m; ++i) {
        if (h.left_out(i)) continue;
        const std::uint64_t v = h(i);
        std::size_t s = (v << h.low) >> (64 - bits);
        for (; table[s] != 0; s = (s + 1) & (size - 1)) {
            if (h(table[s] - 1) == v) return true;
            if (++probes > m) return std::nullopt;
        }
        table[s] = static_cast<Slot>(i + 1);
    }
    return false;
}

// For parts_repeat: a part that crowds its table is left undecided.
std::optional<bool> undecided(std::size_t) { return std::nullopt; }

// Whether any of the parts, part(k) = {entries, count}, holds an entry twice;
// crowded(k) decides a part that crowds its table (nothing: give up).  The
// table is not zeroed here: each part's check clears the slots it uses.
template <class Part, class Crowded>
std::optional<bool> parts_repeat(std::size_t parts, Part part, Crowded crowded) {
    std::size_t largest = 0;
    for (std::size_t k = 0; k < parts; ++k) largest = std::max(largest, part(k).second);
    // (a part of 2^32 entries would need far more memory than exists)
    if (largest >= 0xffffffffu) throw std::length_error("too many values");
    auto check = [&](auto* table) -> std::optional<bool> {
        for (std::size_t k = 0; k < parts; ++k) {
            std::optional<bool> found = part_repeats(part(k).first, part(k).second, table);
            if (!found) found = crowded(k);
            if (!found || *found) return found;
        }
        return false;
    };
    if (largest < 0xffff) return check(std::make_unique_for_overwrite<std::uint16_t[]>(table_size(largest)).get());
    return check(std::make_unique_for_overwrite<std::uint32_t[]>(table_size(largest)).get());
}

// Values hashed together before they are placed (2 kB of hashes).
constexpr std::size_t block = 256;

// The hashes of xs[0..count) into hashes, their range joined to `range`;
// nonzero when one of the values is NaN.
[[gnu::always_inline]] inline std::uint64_t hash_values(const double* xs, std::size_t count, std::uint64_t* hashes,
                                                        ValueRange& range) {
    std::uint64_t nans = 0;  // (an integer: a flag would keep the loop scalar)
    double lo = range.lo, hi = range.hi;  // (NaNs pass them by)
    for (std::size_t j = 0; j < count; ++j) {
        const double v = xs[j];
        nans |= v != v;
        lo = v < lo ? v : lo;
        hi = v > hi ? v : hi;
        hashes[j] = mix(key_of(v));
    }
    range.lo = lo;
    range.hi = hi;
    range.nan |= nans != 0;
    return nans;
}

// Where 64-bit products fill vectors (AVX-512) the hashes are found eight at
// a time: hashing a block first and then placing its values takes a third
// less time than hashing and placing one value at a time.  Without them
// (the plain versions) the block costs a few percent.
// (The x86-64-v4 level is known to GCC from version 11 on.)
#if defined(__GNUC__) && defined(__x86_64__) && defined(__linux__) && !defined(VIDEVO_NO_WIDE_CLONES) && \
    (defined(__clang__) || __GNUC__ >= 11)
#define VIDEVO_WIDE_HASHING 1
#define VIDEVO_HASHING_CLONES __attribute__((target_clones("arch=x86-64-v4", "default")))
#else
#define VIDEVO_WIDE_HASHING 0
#define VIDEVO_HASHING_CLONES
#endif

VIDEVO_HASHING_CLONES std::uint64_t hash_block(const double* xs, std::size_t count, std::uint64_t* hashes,
                                                ValueRange& range) {
    return hash_values(xs, count, hashes, range);
}

// The hashes that found their part full, `limit` of them at most.
struct Spill {
    std::uint64_t* at;
    std::size_t count, limit;
};

// Appends the 56 bits below the part number of hash h to its part:
// put[k] is where part k's next entry goes, stop[k] where it is full (h
// then goes to the spill).  False when both are full.  The part's line
// after next is asked for ahead: with hundreds of parts filling at once
// the processor's own prefetching loses track of them, and every new line
// the entries reach would otherwise stall on memory where the parts do not
// fit in cache (10^7 values: 7.5 ns each without asking, 5.1 asked into
// the first-level cache, 4.7 into the second).  (Past the part's end, and past the scratch
// memory's for the last part, the asking is harmless: prefetches never
// fault; the address is formed as an integer, not a pointer beyond it.)
[[gnu::always_inline]] inline bool place(std::uint64_t h, int b, unsigned char** put, unsigned char* const* stop,
                                         Spill& spill) {
    const std::size_t k = h >> (64 - b);
    unsigned char* at = put[k];
    if (at == stop[k]) [[unlikely]] {
        if (spill.count == spill.limit) return false;
        spill.at[spill.count++] = h;
        return true;
    }
    const std::uint64_t w = (h << b) >> 8;
    std::memcpy(at, &w, sizeof w);  // (the last entry's 8-byte store stays inside)
    __builtin_prefetch(reinterpret_cast<const void*>(reinterpret_cast<std::uintptr_t>(at) + 128), 1, 2);
    put[k] = at + 7;
    return true;
}

// Every value of x but NaNs placed into its part, or into the spill when
// the part is full, and the range of the values found; false when the spill
// is full too.
// (By blocks where the hashing is wide; the plain version is faster one value
// at a time.)
#if VIDEVO_WIDE_HASHING
__attribute__((target("arch=x86-64-v4"))) bool place_all(const double* x, std::size_t n, int b, unsigned char** put,
                                                         unsigned char* const* stop, Spill& spill, ValueRange& range) {
    alignas(64) std::uint64_t hashes[block];
    for (std::size_t from = 0; from < n; from += block) {
        const std::size_t count = std::min(block, n - from);
        const double* xs = x + from;
        const std::uint64_t nans = hash_values(xs, count, hashes, range);
        for (std::size_t j = 0; j < count; ++j)
            if (!(nans && xs[j] != xs[j]) && !place(hashes[j], b, put, stop, spill)) return false;
    }
    return true;
}
#define VIDEVO_PLAIN_VERSION __attribute__((target("default")))
#else
#define VIDEVO_PLAIN_VERSION
#endif

VIDEVO_PLAIN_VERSION bool place_all(const double* x, std::size_t n, int b, unsigned char** put,
                                    unsigned char* const* stop, Spill& spill, ValueRange& range) {
    for (std::size_t i = 0; i < n; ++i) {
        const double v = x[i];
        if (v != v) {  // (NaNs equal nothing)
            range.nan = true;
            continue;
        }
        range.lo = std::min(range.lo, v);
        range.hi = std::max(range.hi, v);
        if (!place(mix(key_of(v)), b, put, stop, spill)) return false;
    }
    return true;
}

// One pass with 8-bit part numbers or longer: packed in 7 bytes, the entries
// leave each part an eighth more room than it takes on average.  The few
// values that find their part full all the same (where parts hold a few
// hundred entries) wait in a spill beside the parts, and join their part's
// check.  Nothing when the spill fills or a part crowds its table (values
// made to collide, or x changed by another thread): the counted partition
// then decides.
std::optional<bool> packed_repeats(const double* x, std::size_t n, int b, unsigned char* out, ValueRange& range) {
    const std::size_t parts = std::size_t{1} << b;
    // Bytes of a part: an odd number of cache lines, so that the parts'
    // ends, which advance side by side, fall on different cache sets (with
    // rooms of a power of two bytes they would all share a few, and the
    // pass would take half as long again).
    const std::size_t room = ((8 * n / parts / 64 - 1) | 1) * 64;
    const std::size_t cap = (room - 1) / 7;  // (the last entry's 8-byte store stays inside)
    std::vector<unsigned char*> put(parts), stop(parts);
    for (std::size_t k = 0; k < parts; ++k) {
        put[k] = out + k * room;
        stop[k] = put[k] + 7 * cap;
    }
    std::vector<std::uint64_t> spilled(std::min<std::size_t>(n / 64, 1 << 16));
    Spill spill{spilled.data(), 0, spilled.size()};
    if (!place_all(x, n, b, put.data(), stop.data(), spill, range)) return std::nullopt;
    range.known = true;
    // The spilled hashes by part (the part number is their top bits):
    // first[k] is part k's first.
    std::sort(spilled.begin(), spilled.begin() + static_cast<std::ptrdiff_t>(spill.count));
    std::vector<std::size_t> fill(parts), first(parts + 1);
    for (std::size_t k = 0, j = 0; k <= parts; ++k) {
        if (k < parts) fill[k] = static_cast<std::size_t>(put[k] - (out + k * room)) / 7;
        while (j < spill.count && (spilled[j] >> (64 - b)) < k) ++j;
        first[k] = j;
    }
    // (the parts alone when nothing spilled: a part's check then reads its
    // entries without asking where each one lies)
    if (spill.count == 0)
        return parts_repeat(
            parts, [&](std::size_t k) { return std::pair{Packed{out + k * room}, fill[k]}; }, undecided);
    return parts_repeat(
        parts,
        [&](std::size_t k) {
            return std::pair{PackedThenSpilled{Packed{out + k * room}, fill[k], spilled.data() + first[k], b},
                             fill[k] + first[k + 1] - first[k]};
        },
        undecided);
}

// Two passes: the parts' sizes are counted first, then the 64-bit hashes
// are placed.
bool counted_repeats(const double* x, std::size_t n, int b, std::uint64_t* out, ValueRange& range) {
    const std::size_t parts = std::size_t{1} << b;
    auto part = [b](std::uint64_t h) { return b == 0 ? std::size_t{0} : static_cast<std::size_t>(h >> (64 - b)); };
    // start[k]: where part k begins; end[k]: where its next entry goes.
    // (four counts per part, so that entries in a row rarely wait for the
    // count that the one before increments)
    std::vector<std::size_t> counts(4 * parts, 0), start(parts + 1, 0), end(parts);
    alignas(64) std::uint64_t hashes[block];
    for (std::size_t from = 0; from < n; from += block) {
        const std::size_t count = std::min(block, n - from);
        const std::uint64_t nans = hash_block(x + from, count, hashes, range);
        for (std::size_t j = 0; j < count; ++j) counts[4 * part(hashes[j]) + j % 4] += !nans || x[from + j] == x[from + j];
    }
    for (std::size_t k = 0; k < parts; ++k)
        start[k + 1] = start[k] + counts[4 * k] + counts[4 * k + 1] + counts[4 * k + 2] + counts[4 * k + 3];
    std::copy(start.begin(), start.end() - 1, end.begin());
    range.known = true;
    // (a part that is full already means that x changed since it was
    // counted, by another thread: the entry is dropped rather than written
    // past the part)
    ValueRange ignored;
    for (std::size_t from = 0; from < n; from += block) {
        const std::size_t count = std::min(block, n - from);
        const double* xs = x + from;
        const std::uint64_t nans = hash_block(xs, count, hashes, ignored);
        for (std::size_t j = 0; j < count; ++j) {
            if (nans && xs[j] != xs[j]) continue;
            const std::size_t k = part(hashes[j]);
            if (end[k] < start[k + 1]) out[end[k]++] = hashes[j];
        }
    }
    // (a crowded part is sorted in place: O(m log m) whatever the values)
    return *parts_repeat(
        parts, [&](std::size_t k) { return std::pair{Hashes{out + start[k], b}, end[k] - start[k]}; },
        [&](std::size_t k) -> std::optional<bool> {
            std::sort(out + start[k], out + end[k]);
            return std::adjacent_find(out + start[k], out + end[k]) != out + end[k];
        });
}

}  // namespace

bool has_repeated_value(const double* x, std::size_t n, void* scratch, ValueRange* range) {
    if (n < 2) return false;
    // Fewer values than 16-bit slots can number go into one table straight
    // from x (at most 1 MB, in the second-level cache): one pass, where
    // placing them into parts first costs two more (10^4 values: 2.4 ns
    // each against 4.0).
    if (n < 0xffff) {
        const auto all = [x, n](std::size_t) { return std::pair{Values{x}, n}; };
        if (const std::optional<bool> found = parts_repeat(1, all, undecided)) return *found;
    }
    std::vector<std::uint64_t> own;
    if (scratch == nullptr) {
        own.resize(n);
        scratch = own.data();
    }
    const int b = part_bits(n);
    ValueRange seen;
    const auto found = [&](bool repeats) {
        if (range != nullptr && !repeats) *range = seen;
        return repeats;
    };
    if (b >= 8)
        if (const std::optional<bool> packed = packed_repeats(x, n, b, static_cast<unsigned char*>(scratch), seen))
            return found(*packed);
    seen = ValueRange{};
    return found(counted_repeats(x, n, b, static_cast<std::uint64_t*>(scratch), seen));
}

}  // namespace videvo::trajdata
