// Knot insertion, knot refinement and degree elevation: changes of the
// representation of a curve that keep its shape.

#include <algorithm>
#include <cmath>

#include "binomial.h"
#include "closeness.h"
#include "elevation.h"
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

// The Bezier degree-elevation coefficients (The NURBS Book, eq. 5.36):
// row i = 0..ph of the (ph + 1) x (p + 1) table E, E[i][j] = C(p, j) C(t, i - j) / C(ph, i).
void fill_bezier_elevation(int p, int t, double* bezalfs) {
    const int ph = p + t;
    const int ph2 = ph / 2;
    const auto at = [&](int i, int j) -> double& { return bezalfs[i * (p + 1) + j]; };
    at(0, 0) = 1.0;
    at(ph, p) = 1.0;
    for (int i = 1; i <= ph2; ++i) {
        const double inv = 1.0 / videvo::BinD(ph, i);
        for (int j = std::max(0, i - t); j <= std::min(p, i); ++j)
            at(i, j) = inv * videvo::BinD(p, j) * videvo::BinD(t, i - j);
    }
    for (int i = ph2 + 1; i <= ph - 1; ++i)
        for (int j = std::max(0, i - t); j <= std::min(p, i); ++j) at(i, j) = at(ph - i, p - j);
}

}  // namespace

extern "C" {

// The NURBS Book, A5.1.
void CurveKnotIns(const int* np, const int* p, const double* UP, const double* P,
                  const double* u, const int* k, const int* s, const int* r, int* nq, double* UQ,
                  double* Q, int* info) {
    *info = check_curve(np, p, UP);
    if (*info != 0) return;
    const int mp = *np + *p + 1;
    if (!(*u >= UP[0] && *u <= UP[mp])) { *info = -5; return; }
    // A span is at least p: U[0..p] are the clamped start knots.
    if (*k < *p || *k > *np) { *info = -6; return; }
    if (*s < 0 || *s > *p) { *info = -7; return; }
    // The end of the domain already has multiplicity p + 1, although the span
    // search, which gives it the last non-empty span, counts fewer copies.
    if (*r < 1 || *r > *p - *s || videvo::span_tolerance(*p, UP).close(*u, UP[mp])) { *info = -8; return; }

    videvo::WorkArray<> R(*p + 1);
    if (!R.ok()) { *info = 1; return; }

    // The bulk copies (std::copy of index ranges first..last) are memory
    // moves, several times faster than element loops.
    *nq = *np + *r;
    std::copy(UP, UP + *k + 1, UQ);                        // UQ[i] = UP[i], i = 0..k
    for (int i = 1; i <= *r; ++i) UQ[*k + i] = *u;
    std::copy(UP + *k + 1, UP + mp + 1, UQ + *k + 1 + *r);  // UQ[i + r] = UP[i], i = k + 1..mp

    std::copy(P, P + *k - *p + 1, Q);                     // Q[i] = P[i], i = 0..k - p
    std::copy(P + *k - *s, P + *np + 1, Q + *k - *s + *r);  // Q[i + r] = P[i], i = k - s..np
    for (int i = 0; i <= *p - *s; ++i) R[i] = P[*k - *p + i];

    int L = 0;
    for (int j = 1; j <= *r; ++j) {
        L = *k - *p + j;
        for (int i = 0; i <= *p - j - *s; ++i) {
            const double den = UP[i + *k + 1] - UP[L + i];
            if (den == 0.0) { *info = 2; return; }
            const double alpha = (*u - UP[L + i]) / den;
            R[i] = (1.0 - alpha) * R[i] + alpha * R[i + 1];
        }
        Q[L] = R[0];
        Q[*k + *r - j - *s] = R[*p - j - *s];
    }
    for (int i = L + 1; i <= *k - *s - 1; ++i) Q[i] = R[i - L];
}

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

    const int a = FindSpan(n, p, &X[0], U);
    const int b = FindSpan(n, p, &X[*r], U) + 1;
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

// The NURBS Book, A5.9, extended to interior knots of multiplicity p + 1 (and
// so to degree 0): a segment that starts at such a knot shares no control
// point with the one before and is taken whole.  The end knots are read
// snapped to U[0] and U[m] (on a copy), so each end is one run.
void DegreeElevateCurve(const int* n, const int* p, const double* U, const double* P,
                        const int* t, double* Uh, int* nh, double* Q, int* info) {
    *info = check_curve(n, p, U);
    if (*info != 0) return;
    if (videvo::elevation_runs(*n, *p, U) < 0) { *info = -3; return; }
    if (*t < 1 || *t > videvo::kMaxElevatedDegree - *p) { *info = -5; return; }

    const int m = *n + *p + 1;
    const int ph = *p + *t;
    const auto cols = static_cast<std::size_t>(*p + 1);
    videvo::WorkArray<> bezalfs(cols * static_cast<std::size_t>(ph + 1));
    videvo::WorkArray<> bpts(cols);
    videvo::WorkArray<> ebpts(static_cast<std::size_t>(ph + 1));
    videvo::WorkArray<> Nextbpts(static_cast<std::size_t>(std::max(*p - 1, 0)));
    videvo::WorkArray<> alfs(static_cast<std::size_t>(std::max(*p - 1, 0)));
    bool snap = false;
    for (int i = 0; i <= m; ++i) snap = snap || videvo::snapped_knot(*n, *p, U, i) != U[i];
    videvo::WorkArray<> snapped(snap ? static_cast<std::size_t>(m + 1) : 0);
    if (!bezalfs.ok() || !bpts.ok() || !ebpts.ok() || !Nextbpts.ok() || !alfs.ok() ||
        !snapped.ok()) {
        *info = 1;
        return;
    }
    if (snap) {
        for (int i = 0; i <= m; ++i) snapped[i] = videvo::snapped_knot(*n, *p, U, i);
        U = snapped.get();
    }

    fill_bezier_elevation(*p, *t, bezalfs.get());
    const auto coef = [&](int i, int j) { return bezalfs[i * (*p + 1) + j]; };

    int mh = ph;
    int kind = ph + 1;
    int r = -1;
    int a = *p;
    int b = *p + 1;
    int cind = 1;
    double ua = U[0];
    Q[0] = P[0];
    for (int i = 0; i <= ph; ++i) Uh[i] = ua;
    for (int i = 0; i <= *p; ++i) bpts[i] = P[i];

    // One pass per run of equal knots U[i..b]; the last run ends at U[m].
    for (;;) {
        const int i0 = b;
        while (b < m && U[b] == U[b + 1]) ++b;
        const int mul = b - i0 + 1;
        mh = mh + mul + *t;
        const double ub = U[b];
        const int oldr = r;
        r = *p - mul;
        // First elevated point to keep: past those shared with the segment
        // before, all of them after a knot of multiplicity p + 1.
        const int lbz = oldr > 0 ? (oldr + 2) / 2 : (oldr < 0 && a != *p ? 0 : 1);
        const int rbz = r > 0 ? ph - (r + 1) / 2 : ph;

        if (r > 0) {  // insert ub r times: bpts becomes the Bezier segment [ua, ub]
            for (int k = *p; k >= mul + 1; --k) alfs[k - mul - 1] = (ub - ua) / (U[a + k] - ua);
            for (int j = 1; j <= r; ++j) {
                const int save = r - j;
                const int s = mul + j;
                for (int k = *p; k >= s; --k)
                    bpts[k] = alfs[k - s] * bpts[k] + (1.0 - alfs[k - s]) * bpts[k - 1];
                Nextbpts[save] = bpts[*p];
            }
        }

        for (int i = lbz; i <= ph; ++i) {  // degree-elevate the segment
            ebpts[i] = 0.0;
            for (int j = std::max(0, i - *t); j <= std::min(*p, i); ++j)
                ebpts[i] = ebpts[i] + coef(i, j) * bpts[j];
        }

        if (oldr > 1) {  // remove the knot ua oldr - 1 times
            int first = kind - 2;
            int last = kind;
            const double den = ub - ua;
            const double bet = (ub - Uh[kind - 1]) / den;
            for (int tr = 1; tr <= oldr - 1; ++tr) {
                int i = first;
                int j = last;
                int kj = j - kind + 1;
                while (j - i > tr) {
                    if (i < cind) {
                        const double alf = (ub - Uh[i]) / (ua - Uh[i]);
                        Q[i] = alf * Q[i] + (1.0 - alf) * Q[i - 1];
                    }
                    if (j >= lbz) {
                        if (j - tr <= kind - ph + oldr) {
                            const double gam = (ub - Uh[j - tr]) / den;
                            ebpts[kj] = gam * ebpts[kj] + (1.0 - gam) * ebpts[kj + 1];
                        } else {
                            ebpts[kj] = bet * ebpts[kj] + (1.0 - bet) * ebpts[kj + 1];
                        }
                    }
                    ++i;
                    --j;
                    --kj;
                }
                --first;
                ++last;
            }
        }

        if (a != *p)
            for (int i = 0; i < ph - oldr; ++i) Uh[kind++] = ua;
        for (int j = lbz; j <= rbz; ++j) Q[cind++] = ebpts[j];

        if (b == m) {
            for (int i = 0; i <= ph; ++i) Uh[kind + i] = ub;
            break;
        }
        for (int j = 0; j <= r - 1; ++j) bpts[j] = Nextbpts[j];
        for (int j = std::max(r, 0); j <= *p; ++j) bpts[j] = P[b - *p + j];
        a = b;
        ++b;
        ua = ub;
    }
    *nh = mh - ph - 1;
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
