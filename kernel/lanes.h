// Four doubles in one vector, and the function attribute that gives a routine
// an AVX2 clone chosen at load time beside its plain version (x86-64 Linux).
// VIDEVO_NO_WIDE_CLONES (CMake option VIDEVO_WIDE_CLONES=OFF) leaves the
// plain versions only, so that they run, and are tested, on AVX2 machines.
#pragma once

#if defined(__GNUC__) && defined(__x86_64__) && defined(__linux__) && !defined(VIDEVO_NO_WIDE_CLONES)
#define VIDEVO_WIDE_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define VIDEVO_WIDE_CLONES
#endif

#include <cstring>

// Lanes pass by value only between routines inlined into one file, never
// across a library boundary, so the ABI note on vector arguments is moot.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wpsabi"
#endif

namespace videvo {

using Lanes = double __attribute__((vector_size(4 * sizeof(double))));
// The result of comparing Lanes: all bits set where true.
using LaneMask = long long __attribute__((vector_size(4 * sizeof(long long))));

[[gnu::always_inline]] inline Lanes load_lanes(const double* x) {
    Lanes v;
    std::memcpy(&v, x, sizeof v);
    return v;
}

[[gnu::always_inline]] inline void store_lanes(double* x, Lanes v) { std::memcpy(x, &v, sizeof v); }

// base[i[l]] in lane l.
[[gnu::always_inline]] inline Lanes gather_lanes(const double* base, const int* i) {
    Lanes v;
    for (int l = 0; l < 4; ++l) v[l] = base[i[l]];
    return v;
}

// out[k][l] = base[i[l] + k] for k = 0..K-1: the K values that each lane
// needs lie side by side, so for K >= 4 each lane's row is read four at a
// time and the rows are transposed, which costs less than gathering every
// value on its own.  Only those K values of each row are read (a last block
// of four overlaps the one before it instead of reading past the row).
template <int K>
[[gnu::always_inline]] inline void gather_rows(const double* base, const int* i, Lanes* out) {
    if constexpr (K < 4) {
        for (int k = 0; k < K; ++k) out[k] = gather_lanes(base + k, i);
    } else {
        for (int k0 = 0; k0 < K; k0 += 4) {
            const int k = k0 + 4 <= K ? k0 : K - 4;
            const Lanes r0 = load_lanes(base + i[0] + k), r1 = load_lanes(base + i[1] + k);
            const Lanes r2 = load_lanes(base + i[2] + k), r3 = load_lanes(base + i[3] + k);
            const Lanes t0 = __builtin_shufflevector(r0, r1, 0, 4, 2, 6), t1 = __builtin_shufflevector(r0, r1, 1, 5, 3, 7);
            const Lanes t2 = __builtin_shufflevector(r2, r3, 0, 4, 2, 6), t3 = __builtin_shufflevector(r2, r3, 1, 5, 3, 7);
            out[k] = __builtin_shufflevector(t0, t2, 0, 1, 4, 5);
            out[k + 1] = __builtin_shufflevector(t1, t3, 0, 1, 4, 5);
            out[k + 2] = __builtin_shufflevector(t0, t2, 2, 3, 6, 7);
            out[k + 3] = __builtin_shufflevector(t1, t3, 2, 3, 6, 7);
        }
    }
}

}  // namespace videvo
