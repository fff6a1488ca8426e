// The closeness test shared by the kernel and the three modules.
//
// Two doubles a and b are close when |a - b| <= tol(a, b), with
//     tol(a, b) = max(1e-9 * max(|a|, |b|), 1e-13):
// a relative tolerance of 1e-9 (about 4.5e6 ulps, far above the rounding
// of any exact spline transformation) with an absolute floor of 1e-13 so
// that values near zero compare sensibly.  A NaN is close to nothing.
#pragma once

#include <algorithm>
#include <cmath>

namespace videvo {

inline double tol(double a, double b) noexcept {
    return std::max(1e-9 * std::max(std::fabs(a), std::fabs(b)), 1e-13);
}

inline bool close(double a, double b) noexcept { return std::fabs(a - b) <= tol(a, b); }

// u lies below x: u < x - tol(u, x).
inline bool lies_below(double u, double x) noexcept { return u < x - tol(u, x); }

// u lies at or above x: u > x - tol(u, x).
inline bool lies_at_or_above(double u, double x) noexcept { return u > x - tol(u, x); }

}  // namespace videvo
