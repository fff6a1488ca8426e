// Binomial coefficients as doubles, for routines whose results are doubles
// anyway (the Bezier matrix, Bezier products).  Bin() keeps its 32-bit int
// interface; these never overflow: exact up to 2^64 (and so exact as a double
// up to 2^53), correctly rounded to about k ulps beyond.
#pragma once

#include <cstdint>
#include <numeric>

namespace videvo {

// C(n, k); 0 when k < 0, n < 0 or k > n.
inline double binomial(int n, int k) noexcept {
    if (n < 0 || k < 0 || k > n) return 0.0;
    if (k > n - k) k = n - k;
    // Multiplicative formula in 64-bit integers: after step i the value is
    // C(n - k + i, i).  Dividing by the gcd first keeps each step exact.
    std::uint64_t exact = 1;
    int i = 1;
    for (; i <= k; ++i) {
        const std::uint64_t g = std::gcd(exact, static_cast<std::uint64_t>(i));
        const std::uint64_t factor = static_cast<std::uint64_t>(n - k + i) / (i / g);
        const std::uint64_t reduced = exact / g;
        if (reduced > UINT64_MAX / factor) break;  // would overflow: go on in double
        exact = reduced * factor;
    }
    double value = static_cast<double>(exact);
    for (; i <= k; ++i) value = value * (n - k + i) / i;
    return value;
}

}  // namespace videvo
