// Binomial coefficients for routines that need them as doubles.
//
// Bin (morvane.h) keeps its 32-bit int interface and overflows beyond
// C(33, 16); coefficients that feed floating-point formulas come from here.
#pragma once

#include <algorithm>

namespace videvo {

// C(n, k) as a double, 0 for k < 0 or k > n.  Every partial product of
// prod_{i=1..k} (n - k + i) / i is the integer C(n - k + i, i), so the result
// is exact while it stays below 2^53 and correctly rounded to a few ulps above;
// it is finite for n up to 1029.
inline double BinD(int n, int k) noexcept {
    if (k < 0 || k > n) return 0.0;
    k = std::min(k, n - k);
    double c = 1.0;
    for (int i = 1; i <= k; ++i) c = c * (n - k + i) / i;
    return c;
}

}  // namespace videvo
