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

// |v| and std::max lane by lane, with the scalar functions' results.
[[gnu::always_inline]] inline Lanes abs(Lanes v) { return v < 0.0 ? -v : v; }
[[gnu::always_inline]] inline Lanes max(Lanes a, Lanes b) { return a < b ? b : a; }

}  // namespace videvo
