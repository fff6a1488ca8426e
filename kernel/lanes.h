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

// Lanes pass by value only to routines forced inline into their caller
// (always_inline, lambdas too), never across a library boundary, so the ABI
// note on vector arguments is moot.  This is a matter of correctness, not of
// speed: a routine left out of line is compiled for the plain instruction set
// and expects its Lanes in memory, where the AVX2 clone that calls it passes
// them in a register.
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
// needs lie side by side, so for K >= 2 each lane's row is read two at a
// time, lanes 0 and 2 (1 and 3) joined into one vector, and the pairs
// interleaved: two shuffles a value, as a four-by-four transpose takes, but
// of the cheaper kinds, and only for the K values (the six knots of a cubic
// took two blocks of four).  For odd K a last pair overlaps the one before.
template <int K>
[[gnu::always_inline]] inline void gather_rows(const double* base, const int* i, Lanes* out) {
    using Pair = double __attribute__((vector_size(2 * sizeof(double))));
    if constexpr (K < 2) {
        for (int k = 0; k < K; ++k) out[k] = gather_lanes(base + k, i);
    } else {
        auto pair = [&](int l, int k) __attribute__((always_inline)) {
            Pair v;
            std::memcpy(&v, base + i[l] + k, sizeof v);
            return v;
        };
        for (int k0 = 0; k0 < K; k0 += 2) {
            const int k = k0 + 2 <= K ? k0 : K - 2;
            const Lanes r02 = __builtin_shufflevector(pair(0, k), pair(2, k), 0, 1, 2, 3);
            const Lanes r13 = __builtin_shufflevector(pair(1, k), pair(3, k), 0, 1, 2, 3);
            out[k] = __builtin_shufflevector(r02, r13, 0, 4, 2, 6);
            out[k + 1] = __builtin_shufflevector(r02, r13, 1, 5, 3, 7);
        }
    }
}

}  // namespace videvo
