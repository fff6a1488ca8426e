// Output sizes of degree elevation and of the multiplicity increase, shared by
// the kernel routines and the curve module that sizes their outputs.
#pragma once

#include "closeness.h"

namespace videvo {

// Highest degree DegreeElevateCurve produces: the Bezier elevation
// coefficients C(p, j) C(t, i - j) / C(p + t, i) are formed from binomials in
// double precision, which stay finite up to this degree.
inline constexpr int kMaxElevatedDegree = 1000;

// Knot U[i] of U[0..m] (m = n + p + 1) as degree elevation reads it: the
// clamped end knots, which need only be close to U[0] and U[m], are taken as
// exactly U[0] and U[m] so that each end stays one run of p + 1 knots.
inline double snapped_knot(int n, int p, const double* U, int i) noexcept {
    if (i >= 1 && i <= p) return U[0];
    if (i >= n + 1 && i < n + p + 1) return U[n + p + 1];
    return U[i];
}

// Number of runs of exactly equal knots among the snapped U[p+1..m] (the s
// distinct interior values plus the end value): DegreeElevateCurve by t then
// yields the last indices mh = m + t (runs + 1) and nh = n + t runs.  Returns
// -1 when a knot value occurs more than p + 1 times (a basis function without
// support), which the elevation does not handle.
inline int elevation_runs(int n, int p, const double* U) noexcept {
    const int m = n + p + 1;
    int runs = 0;
    int length = 0;
    for (int i = p + 1; i <= m; ++i) {
        if (i > p + 1 && snapped_knot(n, p, U, i) == snapped_knot(n, p, U, i - 1)) {
            ++length;
        } else {
            ++runs;
            length = 1;
        }
        if (length > p + 1) return -1;
    }
    if (n > p && U[p + 1] == U[0]) return -1;  // the start value repeated p + 2 times
    return runs;
}

// Last index mh of the knot vector IncreaseMultByOne builds from U[0..m]:
// m + s + 2 with s runs of close interior knots, or -1 when m < 2p + 1 or the
// last interior knot is close to U[m] (the walk would run past the interior).
inline int increased_mult_last_index(int m, int p, const double* U) noexcept {
    const int n = m - p - 1;
    if (p < 0 || n < p) return -1;
    if (n > p && close(U[n + 1], U[n])) return -1;
    int runs = 0;
    for (int j = p + 1; j <= n; ++j)
        if (j == p + 1 || !close(U[j], U[j - 1])) ++runs;
    return m + runs + 2;
}

}  // namespace videvo
