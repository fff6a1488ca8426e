// Derivative and antiderivative curves of a clamped B-spline, computed on the
// control points and knots (no evaluation).

#include <algorithm>

#include "morvane.h"

namespace {

// Status of the checks shared by the three routines: -2 p < 0, -1 p > n,
// -3 invalid knot vector, 0 otherwise.
int check_curve(const int* n, const int* p, const double* U) {
    if (*p < 0) return -2;
    if (*p > *n) return -1;
    if (ValidKnotVector(n, p, U) != 0) return -3;
    return 0;
}

}  // namespace

extern "C" {

// The NURBS Book, A3.3.
void CurveDerivCptsAlg1(const int* n, const int* p, const double* U, const double* P,
                        const int* d, const int* r1, const int* r2, double* PK, int* info) {
    *info = check_curve(n, p, U);
    if (*info != 0) return;
    if (*d < 0 || *d > *p) { *info = -5; return; }
    if (*r1 < 0 || *r1 > *n) { *info = -6; return; }
    if (*r2 > *n || *r2 < *r1) { *info = -7; return; }

    const int stride = *n + 1;
    const int r = *r2 - *r1;
    for (int i = 0; i <= r; ++i) PK[i] = P[*r1 + i];
    for (int k = 1; k <= *d; ++k) {
        const double f = *p - k + 1;
        double* row = PK + k * stride;
        const double* prev = row - stride;
        for (int i = 0; i <= r - k; ++i) {
            const double den = U[*r1 + i + *p + 1] - U[*r1 + i + k];
            if (den == 0.0) { *info = 2; return; }
            row[i] = (prev[i + 1] - prev[i]) * f / den;
        }
    }
}

// A3.3 applied in place to the whole curve, then the knot vector of the
// derivative: d knots fewer at each end.
void CurveDerivCptsAlg2(const int* n, int* p, const double* U, const double* P, const int* d,
                        int* nk, double* UK, double* PK, int* info) {
    *info = check_curve(n, p, U);
    if (*info != 0) return;
    if (*d < 0 || *d > *p) { *info = -5; return; }

    std::copy(P, P + *n + 1, PK);  // PK[i] = P[i], i = 0..n
    for (int k = 1; k <= *d; ++k) {
        const double f = *p - k + 1;
        for (int i = 0; i <= *n - k; ++i) {
            const double den = U[i + *p + 1] - U[i + k];
            if (den == 0.0) { *info = 2; return; }
            PK[i] = (PK[i + 1] - PK[i]) * f / den;
        }
    }
    std::copy(U + *d, U + *n + *p + 2 - *d, UK);  // UK[j] = U[j + d], j = 0..n + p + 1 - 2d
    *p -= *d;
    *nk = *n - *d;
}

// Integrates d times.  Each pass turns the control points c[k] of a degree q - 1
// curve into those of its antiderivative of degree q on the knot vector with
// one more copy of the start knot:
//     a[k] = sum over i <= k of c[i] * (UK[i + q] - UK[i]) / q,
// with a zero control point in front, so the antiderivative vanishes at U[0].
void CurveAntiDerivCpts(const int* n, int* p, const double* U, const double* P, const int* d,
                        int* nk, double* UK, double* PK, int* info) {
    *info = check_curve(n, p, U);
    if (*info != 0) return;
    if (*d < 0) { *info = -5; return; }
    const int N = *n + *d;
    if (*nk < N) { *info = -6; return; }

    *nk = N;
    const int m = *n + *p + 1;
    for (int j = 0; j <= *d - 1; ++j) {
        PK[j] = 0.0;
        UK[j] = U[0];
    }
    std::copy(P, P + *n + 1, PK + *d);  // PK[d + j] = P[j], j = 0..n
    std::copy(U, U + *n + 1, UK + *d);  // UK[d + j] = U[j], j = 0..n
    for (int j = N + 1; j <= N + *d + *p + 1; ++j) UK[j] = U[m];

    for (int c = 0; c <= *d - 1; ++c) {
        const int s = *d - c;   // first control point of the current curve
        const int q = *p + 1 + c;  // degree of the antiderivative of this pass
        for (int k = s; k <= N; ++k) PK[k] = (UK[k + q] - UK[k]) * PK[k];
        for (int k = s + 1; k <= N; ++k) PK[k] = PK[k] + PK[k - 1];
        for (int k = s; k <= N; ++k) PK[k] = PK[k] / q;
    }
    *p += *d;
}

}  // extern "C"
