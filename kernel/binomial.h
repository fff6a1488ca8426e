// Binomial coefficients for routines that need them as doubles.
//
// Bin (morvane.h) keeps its 32-bit int interface and overflows beyond
// C(33, 16); coefficients that feed floating-point formulas come from here.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numeric>

namespace videvo {

// C(n, k) as a double, 0 for k < 0 or k > n.  After step i of the product
// prod_{i=1..k} (n - k + i) / i the value is the integer C(n - k + i, i).  The
// steps run in 64-bit integers (dividing by the gcd first keeps each one
// exact) while the value fits, so the result is exact up to 2^64 before its
// conversion (exact as a double up to 2^53); beyond, the steps go on in
// double, correctly rounded to a few ulps.  Finite for n up to 1029.
inline double BinD(int n, int k) noexcept {
    if (k < 0 || k > n) return 0.0;
    k = std::min(k, n - k);
    std::uint64_t exact = 1;
    int i = 1;
    for (; i <= k; ++i) {
        const std::uint64_t g = std::gcd(exact, static_cast<std::uint64_t>(i));
        const std::uint64_t factor = static_cast<std::uint64_t>(n - k + i) / (i / g);
        const std::uint64_t reduced = exact / g;
        if (reduced > UINT64_MAX / factor) break;
        exact = reduced * factor;
    }
    double c = static_cast<double>(exact);
    for (; i <= k; ++i) {
        // (dividing first where the product alone would overflow)
        const double product = c * (n - k + i);
        c = std::isfinite(product) ? product / i : c / i * (n - k + i);
    }
    return c;
}

}  // namespace videvo
