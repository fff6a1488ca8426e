// Knot insertion and knot refinement: changes of the
// representation of a curve that keep its shape.

#include <algorithm>
#include <cmath>

#include "closeness.h"
#include "insertion_checks.h"
#include "morvane.h"
#include "span_search.h"
#include "work.h"

namespace {

using videvo::close;

// -2 p < 0, -1 p > n, -3 invalid knot vector, 0 otherwise.
int check_curve(const int* n, const int* p, const double* U) {
    if (*p < 0) return -2;
    if (*p > *n) return -1;
    if (ValidKnotVector(n, p, U) != 0) return -3;
    return 0;
}

}  // namespace

extern "C" {

// The NURBS Book, A5.1.
void CurveKnotIns(const int* np, const int* p, const double* UP, const double* P,
                  const double* u, const int* k, const int* s, const int* r, int* nq, double* UQ,
                  double* Q, int* info) {
    *info = videvo::knot_insertion_status(*np, *p, UP, *u, *k, *s, *r);
    if (*info != 0) return;
    *nq = *np + *r;
    *info = videvo::insert_knot_checked(*np, *p, UP, P, *u, *k, *s, *r, UQ, Q);
}

}  // extern "C"

int videvo::insert_knot_checked(int np, int p, const double* UP, const double* P, double u, int k, int s,
                                int r, double* UQ, double* Q) noexcept {
    const int mp = np + p + 1;
    videvo::WorkArray<> R(p + 1);
    if (!R.ok()) return 1;
    // A u that the span search takes for the knot UP[k] (s > 0) is that
    // knot: its copies go beside the knot's own, and the scheme below, which
    // treats them as one value, stays exact.
    if (s > 0 && span_tolerance(p, UP).close(u, UP[k])) u = UP[k];

    // The bulk copies (std::copy of index ranges first..last) are memory
    // moves, several times faster than element loops.
    std::copy(UP, UP + k + 1, UQ);                      // UQ[i] = UP[i], i = 0..k
    for (int i = 1; i <= r; ++i) UQ[k + i] = u;
    std::copy(UP + k + 1, UP + mp + 1, UQ + k + 1 + r);  // UQ[i + r] = UP[i], i = k + 1..mp

    std::copy(P, P + k - p + 1, Q);                   // Q[i] = P[i], i = 0..k - p
    std::copy(P + k - s, P + np + 1, Q + k - s + r);  // Q[i + r] = P[i], i = k - s..np
    for (int i = 0; i <= p - s; ++i) R[i] = P[k - p + i];

    int L = 0;
    for (int j = 1; j <= r; ++j) {
        L = k - p + j;
        for (int i = 0; i <= p - j - s; ++i) {
            const double den = UP[i + k + 1] - UP[L + i];
            if (den == 0.0) return 2;
            const double alpha = (u - UP[L + i]) / den;
            R[i] = (1.0 - alpha) * R[i] + alpha * R[i + 1];
        }
        Q[L] = R[0];
        Q[k + r - j - s] = R[p - j - s];
    }
    for (int i = L + 1; i <= k - s - 1; ++i) Q[i] = R[i - L];
    return 0;
}

extern "C" {

// The NURBS Book, A5.4.
void RefineKnotVectCurve(const int* n, const int* p, const double* U, const double* P,
                         const double* X, const int* r, double* Ubar, double* Q, int* info) {
    *info = check_curve(n, p, U);
    if (*info != 0) return;
    const int m = *n + *p + 1;
    // X[0] exists only for r >= 0; NaN fails every comparison and is refused.
    if (*r >= 0 && !(X[0] > U[0])) { *info = -5; return; }
    if (*r < 0) { *info = -6; return; }
    if (!(X[*r] < U[m])) { *info = -5; return; }
    for (int j = 1; j <= *r; ++j)
        if (!(X[j] >= X[j - 1])) { *info = -5; return; }

    // The spans of the first and the last new knot by exact comparison: a
    // value within the closeness tolerance below a knot, which the span
    // search would take for that knot, still goes before it, so the knots
    // stay in order and the new ones keep their values.
    auto span_of = [&](double x) {
        return static_cast<int>(std::upper_bound(U + *p + 1, U + *n + 1, x) - U) - 1;
    };
    const int a = span_of(X[0]);
    const int b = span_of(X[*r]) + 1;
    std::copy(P, P + a - *p + 1, Q);                  // Q[j] = P[j], j = 0..a - p
    std::copy(P + b - 1, P + *n + 1, Q + b + *r);       // Q[j + r + 1] = P[j], j = b - 1..n
    std::copy(U, U + a + 1, Ubar);                    // Ubar[j] = U[j], j = 0..a
    std::copy(U + b + *p, U + m + 1, Ubar + b + *p + *r + 1);  // Ubar[j + r + 1] = U[j], j = b + p..m

    int i = b + *p - 1;
    int k = b + *p + *r;
    for (int j = *r; j >= 0; --j) {
        while (X[j] <= U[i] && i > a) {
            Q[k - *p - 1] = P[i - *p - 1];
            Ubar[k] = U[i];
            --k;
            --i;
        }
        Q[k - *p - 1] = Q[k - *p];
        for (int l = 1; l <= *p; ++l) {
            const int ind = k - *p + l;
            double alfa = Ubar[k + l] - X[j];
            if (close(alfa, 0.0)) {
                Q[ind - 1] = Q[ind];
            } else {
                alfa = alfa / (Ubar[k + l] - U[i - *p + l]);
                Q[ind - 1] = alfa * Q[ind - 1] + (1.0 - alfa) * Q[ind];
            }
        }
        Ubar[k] = X[j];
        --k;
    }
}

// Copies every knot value once more: p + 2 copies of each end, one more copy
// of each run of close interior knots.
void IncreaseMultByOne(const int* m, const int* p, const double* U, const int* mh, double* Uh) {
    for (int i = 0; i <= *p + 1; ++i) {
        Uh[i] = U[0];
        Uh[*mh - *p - 1 + i] = U[*m];
    }
    int j = *p + 1;
    bool flag = false;
    for (int i = *p + 2; i <= *mh - *p - 2; ++i) {
        Uh[i] = U[j];
        if (close(U[j + 1], U[j])) {
            ++j;
            flag = false;
        } else if (flag) {
            ++j;
            flag = false;
        } else {
            flag = true;
        }
    }
}

}  // extern "C"
