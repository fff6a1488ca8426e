// Cubic interpolation at the knots: the tridiagonal system of the inner
// control points, solved by forward elimination and back substitution
// (The NURBS Book, A9.2).

#include <cmath>
#include <cstddef>

#include "morvane.h"
#include "work.h"

namespace {

// The system has no pivoting.  For distinct knots it is diagonally dominant;
// a coincident pair of knots (an empty span) makes the basis values NaN, so a
// pivot that is zero or not finite is reported instead of returning NaNs.
bool usable_pivot(double den) noexcept { return std::isfinite(den) && den != 0.0; }

}  // namespace

extern "C" {

void SolveTridiagonal(const int* n, const double* Q, const double* U, double* P, int* info) {
    *info = 0;
    const int last = *n;
    if (last <= 2) {
        *info = -1;
        return;
    }
    const int nctrl = last + 2;
    const int deg = 3;
    if (ValidKnotVector(&nctrl, &deg, U) != 0) {
        *info = -3;
        return;
    }
    // X[2..last] receives the unknowns, dd[3..last] the elimination factors.
    // P is written only once the whole solution is known.
    const std::size_t count = static_cast<std::size_t>(last) + 1;
    videvo::WorkArray<> X(count);
    videvo::WorkArray<> dd(count);
    if (!X.ok() || !dd.ok()) {
        *info = 1;
        return;
    }
    double left[4], right[4], abc[4];
    auto basis = [&](int span) { BasisFuns(&span, &U[span], &deg, U, left, right, abc); };

    basis(4);
    double den = abc[1];
    if (!usable_pivot(den)) {
        *info = 2;
        return;
    }
    X[2] = (Q[1] - abc[0] * P[1]) / den;
    for (int i = 3; i <= last; ++i) {
        dd[i] = abc[2] / den;
        basis(i + 2);
        den = abc[1] - abc[0] * dd[i];
        if (!usable_pivot(den)) {
            *info = 2;
            return;
        }
        double rhs = Q[i - 1];
        if (i == last) rhs -= abc[2] * P[last + 1];
        X[i] = (rhs - abc[0] * X[i - 1]) / den;
    }
    for (int i = last - 1; i >= 2; --i) X[i] -= dd[i + 1] * X[i + 1];
    for (int i = 2; i <= last; ++i) P[i] = X[i];
}

}  // extern "C"
