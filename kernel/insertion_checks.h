// The argument checks of knot insertion, shared by the kernel routine and the
// curve module, which must report them before it checks its output sizes.
#pragma once

#include "morvane.h"
#include "span_search.h"

namespace videvo {

// The status CurveKnotIns gives its arguments: 0 when it would insert.  A
// caller that knows UP is a valid knot vector for (np, p) may skip its check.
inline int knot_insertion_status(int np, int p, const double* UP, double u, int k, int s, int r,
                                 bool validate = true) noexcept {
    if (p < 0) return -2;
    if (p > np) return -1;
    if (validate && ValidKnotVector(&np, &p, UP) != 0) return -3;
    const int mp = np + p + 1;
    if (!(u >= UP[0] && u <= UP[mp])) return -5;
    // A span is at least p: U[0..p] are the clamped start knots.
    if (k < p || k > np) return -6;
    if (s < 0 || s > p) return -7;
    // The end of the domain already has multiplicity p + 1, although the span
    // search, which gives it the last non-empty span, counts fewer copies.
    if (r < 1 || r > p - s || span_tolerance(p, UP).close(u, UP[mp])) return -8;
    return 0;
}

// CurveKnotIns on arguments whose status is already known to be 0 (the curve
// module checks them first, so the knots need not be validated twice).
// Returns 0, 1 when the work array cannot be allocated, 2 for a zero knot
// difference.
int insert_knot_checked(int np, int p, const double* UP, const double* P, double u, int k, int s, int r,
                        double* UQ, double* Q) noexcept;

}  // namespace videvo
