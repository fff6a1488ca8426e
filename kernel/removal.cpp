// Knot removal (The NURBS Book, A5.8): dropping copies of interior knots, in
// place, as long as the curve moves by no more than a tolerance.

#include <algorithm>
#include <cmath>
#include <limits>

#include "closeness.h"
#include "morvane.h"
#include "work.h"

namespace {

using videvo::close;

// One removal attempt: removing u once more after tt copies have gone, with
// first = r - p - tt and last = r - s + tt.  Fills temp[0..last + 1 - off]
// (off = first - 1) with the new control points computed from both sides and
// returns the distance between the two sides where they meet, the deviation
// the removal causes.  Knot indices beyond the run of u are read `gap` places
// further right (the part of U that RemoveCurveKnots has not compacted yet).
double removal_deviation(int p, const double* U, const double* P, double u, int first, int last,
                         int tt, int gap, double* temp) {
    const int ord = p + 1;
    const int off = first - 1;
    temp[0] = P[off];
    temp[last + 1 - off] = P[last + 1];
    int i = first;
    int j = last;
    int ii = 1;
    int jj = last - off;
    while (j - i > tt) {
        const double alfi = (u - U[i]) / (U[i + ord + gap + tt] - U[i]);
        const double alfj = (u - U[j - tt]) / (U[j + ord + gap] - U[j - tt]);
        temp[ii] = (P[i] - (1.0 - alfi) * temp[ii - 1]) / alfi;
        temp[jj] = (P[j] - alfj * temp[jj + 1]) / (1.0 - alfj);
        ++i;
        ++ii;
        --j;
        --jj;
    }
    if (j - i < tt) return std::fabs(temp[ii - 1] - temp[jj + 1]);
    const double alfi = (u - U[i]) / (U[i + ord + gap + tt] - U[i]);
    return std::fabs(P[i] - (alfi * temp[ii + tt + 1] + (1.0 - alfi) * temp[ii - 1]));
}

// Removes u (last copy at index r, multiplicity s) up to num times, each
// time only if the deviation is finite and at most TOL, and writes the new
// control points back into P; the knots are left for the caller to shift.
// Returns the number of copies removed.
int remove_copies(int p, const double* U, double* P, double u, int r, int s, int num, double TOL,
                  int gap, double* temp) {
    int first = r - p;
    int last = r - s;
    int t = 0;
    for (int tt = 0; tt < num; ++tt) {
        const double dev = removal_deviation(p, U, P, u, first, last, tt, gap, temp);
        if (!(std::isfinite(dev) && dev <= TOL)) break;
        const int off = first - 1;
        int i = first;
        int j = last;
        while (j - i > tt) {
            P[i] = temp[i - off];
            P[j] = temp[j - off];
            ++i;
            --j;
        }
        t = tt + 1;
        --first;
        ++last;
    }
    return t;
}

// Index that the control points after a removal of t copies are shifted to,
// and the first one shifted: P[j..] = P[i + 1..].
void shift_start(int r, int s, int p, int t, int* i, int* j) {
    const int fout = (2 * r - s - p) / 2;
    *i = fout;
    *j = fout;
    for (int k = 1; k <= t - 1; ++k) {
        if (k % 2 == 1)
            ++*i;
        else
            --*j;
    }
}

}  // namespace

extern "C" {

void RemoveCurveKnot(const int* n, const int* p, double* U, double* P, const double* u,
                     const int* r, const int* s, const int* num, const double* TOL, int* t,
                     int* info) {
    *info = 0;
    if (*p < 0) { *info = -2; return; }
    if (*p > *n) { *info = -1; return; }
    if (ValidKnotVector(n, p, U) != 0) { *info = -3; return; }
    const int m = *n + *p + 1;
    if (!(*u >= U[0] && *u <= U[m])) { *info = -5; return; }
    if (*s < 1 || *s > *p + 1) { *info = -7; return; }
    // The copies U[r - s + 1..r] must lie after the clamped start knots (the
    // start of the domain is no removable knot) and r must be a span.
    if (*r < *p + *s || *r > *n) { *info = -6; return; }
    if (*num < 1 || *num > *s) { *info = -8; return; }
    if (*TOL < 0.0) { *info = -9; return; }

    videvo::WorkArray<> temp(2 * static_cast<std::size_t>(*p) + 2);
    if (!temp.ok()) { *info = 1; return; }
    *t = remove_copies(*p, U, P, *u, *r, *s, *num, *TOL, 0, temp.get());
    if (*t == 0) return;

    // Left shifts, as std::copy (a memory move): U[k - t] = U[k] for
    // k = r + 1..m, then P[j++] = P[k] for k = i + 1..n.
    std::copy(U + *r + 1, U + m + 1, U + *r + 1 - *t);
    int i = 0;
    int j = 0;
    shift_start(*r, *s, *p, *t, &i, &j);
    std::copy(P + i + 1, P + *n + 1, P + j);
}

void RemoveCurveKnotWithoutTol(const int* n, const int* p, double* U, double* P, const double* u,
                               const int* r, const int* s, const int* num, int* t, int* info) {
    const double inf = std::numeric_limits<double>::infinity();
    RemoveCurveKnot(n, p, U, P, u, r, s, num, &inf, t, info);
}

// Walks through the interior knot values from left to right and removes every
// copy that passes the test, compacting U and P behind the current run.
void RemoveCurveKnots(const int* n, const int* p, double* U, double* P, const double* TOL,
                      int* gap, int* info) {
    *info = 0;
    if (*p < 0) { *info = -2; return; }
    if (*p > *n) { *info = -1; return; }
    if (ValidKnotVector(n, p, U) != 0) { *info = -3; return; }
    if (*TOL < 0.0) { *info = -5; return; }

    videvo::WorkArray<> temp(2 * static_cast<std::size_t>(*p) + 2);
    if (!temp.ok()) { *info = 1; return; }
    *gap = 0;
    const int ord = *p + 1;
    const int m = *n + *p + 1;
    if (*n < ord) return;

    // Runs are gathered among the interior knots U[ord..n] only, so that an
    // interior value close to the end never pulls the end knots into its run.
    // A run holds at most ord copies: closeness is no equality, so knots close
    // to one another may be many more, and the removal formulas (and temp) are
    // made for a multiplicity of at most ord.  The rest of such a run is
    // gathered as the next run.
    double u = U[ord];
    int r = ord;
    while (r + 1 <= *n && r - *p < ord && close(u, U[r + 1])) ++r;
    int s = r - *p;
    int bgap = r;
    int agap = r + 1;
    for (;;) {
        const int t = remove_copies(*p, U, P, u, r, s, s, *TOL, *gap, temp.get());
        int i = 0;
        int j = bgap + 1;
        if (t > 0) {
            shift_start(r, s, *p, t, &i, &j);
            for (int k = i + 1; k <= bgap; ++k) P[j++] = P[k];
        }
        if (r + *gap == *n) {  // the run ended at the last interior knot
            *gap += t;
            break;
        }
        int k1 = r - t + 1;
        int k = r + *gap + 1;
        u = U[k];
        while (k <= *n && k1 - (r - t + 1) < ord && close(u, U[k])) U[k1++] = U[k++];
        s = k1 - (r - t + 1);
        *gap += t;
        for (int c = 0; c < s; ++c) P[j++] = P[agap++];
        bgap = j - 1;
        r = k1 - 1;
    }
    std::copy(U + *n + 1, U + m + 1, U + *n + 1 - *gap);  // U[k - gap] = U[k], k = n + 1..m
}

// The first attempt of RemoveCurveKnot, without its test.
void GetRemovalBndCurve(const int* n, const int* p, const double* U, const double* P,
                        const double* u, const int* r, const int* s, double* temp, double* Br) {
    static_cast<void>(n);
    *Br = removal_deviation(*p, U, P, *u, *r - *p, *r - *s, 0, 0, temp);
}

}  // extern "C"
