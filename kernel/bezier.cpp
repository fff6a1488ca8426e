// Bezier curves on [0, 1]: Bernstein polynomials, point evaluation by the
// Bernstein form and by de Casteljau's scheme, the Bezier-to-power-basis
// matrix and the product of two Bezier polynomials.

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "binomial.h"
#include "morvane.h"
#include "work.h"

namespace {

// Parameters of a Bezier curve must lie in [0, 1]; NaN is refused too.
bool in_unit_interval(double u) noexcept { return u >= 0.0 && u <= 1.0; }

// sum_k B[k] * P[k], k = 0..n, in increasing order.
double bernstein_sum(const double* P, int n, const double* B) noexcept {
    double c = 0.0;
    for (int k = 0; k <= n; ++k) c += B[k] * P[k];
    return c;
}

// de Casteljau's scheme on the scratch copy Q[0..n] of the control points
// (n >= 0).
double casteljau(const double* P, int n, double u, double* Q) noexcept {
    Q[0] = P[0];
    for (int i = 1; i <= n; ++i) Q[i] = P[i];
    for (int k = 1; k <= n; ++k)
        for (int i = 0; i <= n - k; ++i) Q[i] = (1.0 - u) * Q[i] + u * Q[i + 1];
    return Q[0];
}

// Checks shared by the point evaluators: -2 n < 0, -3 u outside [0, 1].
int check_point(int n, double u) noexcept {
    if (n < 0) return -2;
    if (!in_unit_interval(u)) return -3;
    return 0;
}

// Checks shared by the array evaluators: -2 n < 0, -4 np < 0, -3 some C[j]
// outside [0, 1].  Every parameter is checked before any is overwritten.
int check_array(int n, const double* C, int np) noexcept {
    if (n < 0) return -2;
    if (np < 0) return -4;
    for (int j = 0; j <= np; ++j)
        if (!in_unit_interval(C[j])) return -3;
    return 0;
}

}  // namespace

extern "C" {

// The NURBS Book, A1.2.
void Bernstein(const int* i, const int* n, const double* u, double* B, int* info) {
    *info = 0;
    if (*i < 0 || *i > *n) {
        *info = -1;
        return;
    }
    if (!in_unit_interval(*u)) {
        *info = -3;
        return;
    }
    const int deg = *n;
    videvo::WorkArray<> work(static_cast<std::size_t>(deg) + 1);
    if (!work.ok()) {
        *info = 1;
        return;
    }
    const double u1 = 1.0 - *u;
    for (int j = 0; j <= deg; ++j) work[j] = 0.0;
    work[deg - *i] = 1.0;
    for (int k = 1; k <= deg; ++k)
        for (int j = deg; j >= k; --j) work[j] = u1 * work[j] + *u * work[j - 1];
    *B = work[deg];
}

// The NURBS Book, A1.3.
void AllBernstein(const int* n, const double* u, double* B) {
    const double u1 = 1.0 - *u;
    B[0] = 1.0;
    for (int j = 1; j <= *n; ++j) {
        double saved = 0.0;
        for (int k = 0; k < j; ++k) {
            const double temp = B[k];
            B[k] = saved + u1 * temp;
            saved = *u * temp;
        }
        B[j] = saved;
    }
}

// The NURBS Book, A1.4.
void PointOnBezierCurve(const double* P, const int* n, const double* u, double* C, int* info) {
    *info = check_point(*n, *u);
    if (*info != 0) return;
    videvo::WorkArray<> B(static_cast<std::size_t>(*n) + 1);
    if (!B.ok()) {
        *info = 1;
        return;
    }
    AllBernstein(n, u, B.get());
    *C = bernstein_sum(P, *n, B.get());
}

// The NURBS Book, A1.5.
void deCasteljau1(const double* P, const int* n, const double* u, double* C, int* info) {
    *info = check_point(*n, *u);
    if (*info != 0) return;
    videvo::WorkArray<> Q(static_cast<std::size_t>(*n) + 1);
    if (!Q.ok()) {
        *info = 1;
        return;
    }
    *C = casteljau(P, *n, *u, Q.get());
}

void BezierCurveEval(const double* P, const int* n, double* C, const int* np, int* info) {
    *info = check_array(*n, C, *np);
    if (*info != 0) return;
    videvo::WorkArray<> B(static_cast<std::size_t>(*n) + 1);
    if (!B.ok()) {
        *info = 1;
        return;
    }
    for (int j = 0; j <= *np; ++j) {
        AllBernstein(n, &C[j], B.get());
        C[j] = bernstein_sum(P, *n, B.get());
    }
}

void BezierCurveEval2(const double* P, const int* n, double* C, const int* np, int* info) {
    *info = check_array(*n, C, *np);
    if (*info != 0) return;
    videvo::WorkArray<> Q(static_cast<std::size_t>(*n) + 1);
    if (!Q.ok()) {
        *info = 1;
        return;
    }
    for (int j = 0; j <= *np; ++j) C[j] = casteljau(P, *n, C[j], Q.get());
}

void GetBezierMatrixElement(const int* p, const int* r, const int* c, double* el) {
    // The sign by the math library's pow keeps -0.0 for c > r, r - c odd.
    *el = videvo::BinD(*r, *c) * videvo::BinD(*p, *r) *
          std::pow(-1.0, static_cast<double>(*r - *c));
}

void GetBezierMatrix(const int* p, double* M) {
    const std::size_t stride = static_cast<std::size_t>(*p) + 1;
    for (int i = 0; i <= *p; ++i)
        for (int k = 0; k <= i; ++k) GetBezierMatrixElement(p, &i, &k, &M[i * stride + k]);
}

// With f = sum_i B(i, p) fb[i] and g = sum_j B(j, q) gb[j], the product is
// h = sum_k B(k, p + q) hb[k] with
//     hb[k] = sum_{i + j = k} C(p, i) C(q, j) / C(p + q, k) * fb[i] * gb[j]
// (the Bernstein product formula).  hb has M + 1 entries; only
// hb[first..last] is written, clipped to 0..min(M, p + q), so a caller may
// compute a slice of the product.  Nothing is written when p or q is negative.
void BezierProduct(const double* fb, const int* p, const double* gb, const int* q,
                   const int* M, const int* first, const int* last, double* hb) {
    if (*p < 0 || *q < 0) return;
    const int deg = *p + *q;
    const int k0 = std::max(*first, 0);
    const int k1 = std::min({*last, *M, deg});
    for (int k = k0; k <= k1; ++k) {
        const int ilo = std::max(k - *q, 0);
        const int ihi = std::min(k, *p);
        double sum = 0.0;
        for (int i = ilo; i <= ihi; ++i)
            sum += videvo::BinD(*p, i) * videvo::BinD(*q, k - i) * fb[i] * gb[k - i];
        hb[k] = sum / videvo::BinD(deg, k);
    }
}

// Kept as an exported entry point for binary compatibility; it computes
// nothing.  Products of B-spline curves are not offered by the kernel.
void CurvesProduct(void) {}

}  // extern "C"
