// Cubic interpolation at the knots: the tridiagonal system of the inner
// control points, solved by forward elimination and back substitution
// (The NURBS Book, A9.2).

#include <algorithm>
#include <cmath>
#include <limits>
#include <cstddef>

#include "morvane.h"
#include "work.h"

namespace {

// The system has no pivoting.  For distinct knots it is diagonally dominant;
// a coincident pair of knots (an empty span) makes the basis values NaN, so a
// pivot that is zero or not finite is reported instead of returning NaNs.
bool usable_pivot(double den) noexcept { return std::isfinite(den) && den != 0.0; }

// The cubic basis functions N(s-3..s, 3) at the knot u = U[s]: the triangular
// scheme of BasisFuns with the terms that vanish at a knot left out
// (left[1] = u - U[s] = 0, hence N(s, 1) = N(s, 2) = N(s, 3) = 0).  The
// operations that remain are those of the full scheme, in the same order, so
// the values are the same; half the divisions go.
void cubic_basis_at_knot(int s, const double* U, double* abc) noexcept {
    const double u = U[s];
    const double a1 = U[s + 1] - u, a2 = U[s + 2] - u;  // right[1], right[2]
    const double b1 = u - U[s - 1], b2 = u - U[s - 2];  // left[2], left[3]
    if (a1 == 0.0) {
        // An empty span: the scheme's first step divides 0 by 0.
        std::fill(abc, abc + 4, std::numeric_limits<double>::quiet_NaN());
        return;
    }
    const double t = 1.0 / (a1 + b1);
    const double n0 = a1 * t, n1 = b1 * t;               // degree 2
    const double t0 = n0 / (a1 + b2), t1 = n1 / (a2 + b1);
    abc[0] = a1 * t0;
    abc[1] = b2 * t0 + a2 * t1;
    abc[2] = b1 * t1;
    abc[3] = 0.0;
}

// The checks of the solver: its status, 0 when the system can be solved.
int check_system(int last, const double* U) noexcept {
    if (last <= 2) return -1;
    const int nctrl = last + 2;
    const int deg = 3;
    if (ValidKnotVector(&nctrl, &deg, U) != 0) return -3;
    return 0;
}

// Forward elimination and back substitution: X[2..last] receives the inner
// control points, dd[3..last] the elimination factors, each read back once by
// the back substitution, which then calls done(i) for dd[i].  X may be P
// itself: P[1] is read before X[2] is written, and P[last + 1] is never
// written.  dd may be U - 1: row i writes dd[i] = U[i - 1] after row i - 1
// read it for the last time.
template <class Done>
int eliminate(int last, const double* Q, const double* U, const double* P, double* X, double* dd, Done done) noexcept {
    double abc[4];
    auto basis = [&](int span) { cubic_basis_at_knot(span, U, abc); };

    basis(4);
    double den = abc[1];
    if (!usable_pivot(den)) return 2;
    // One division per row on the chain of dependent steps: the inverse pivot
    // serves both the elimination factor and the unknown.
    double inv = 1.0 / den;
    X[2] = (Q[1] - abc[0] * P[1]) * inv;
    for (int i = 3; i <= last; ++i) {
        dd[i] = abc[2] * inv;
        basis(i + 2);
        den = abc[1] - abc[0] * dd[i];
        if (!usable_pivot(den)) return 2;
        inv = 1.0 / den;
        double rhs = Q[i - 1];
        if (i == last) rhs -= abc[2] * P[last + 1];
        X[i] = (rhs - abc[0] * X[i - 1]) * inv;
    }
    for (int i = last - 1; i >= 2; --i) {
        X[i] -= dd[i + 1] * X[i + 1];
        done(i + 1);
    }
    return 0;
}

}  // namespace

extern "C" {

void SolveTridiagonal(const int* n, const double* Q, const double* U, double* P, int* info) {
    const int last = *n;
    *info = check_system(last, U);
    if (*info != 0) return;
    // P is written only once the whole solution is known.
    const std::size_t count = static_cast<std::size_t>(last) + 1;
    videvo::WorkArray<> X(count);
    videvo::WorkArray<> dd(count);
    if (!X.ok() || !dd.ok()) {
        *info = 1;
        return;
    }
    *info = eliminate(last, Q, U, P, X.get(), dd.get(), [](int) {});
    if (*info == 0) std::copy(X.get() + 2, X.get() + last + 1, P + 2);
}

void SolveTridiagonalInPlace(const int* n, const double* x, const double* Q, double* U, double* P, int* info) {
    const int last = *n;
    *info = check_system(last, U);
    if (*info != 0) return;
    // The knot of U[j], j >= 2, from the abscissae.
    auto knot = [x](int j) { return x[std::max(j - 3, 0)]; };
    *info = eliminate(last, Q, U, P, P, U - 1, [U, knot](int i) { U[i - 1] = knot(i - 1); });
    if (*info != 0)
        for (int j = 2; j < last; ++j) U[j] = knot(j);
}

}  // extern "C"
