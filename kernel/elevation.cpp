// Degree elevation by convex combinations only.
//
// Elevating through Bezier segments and removing the surplus knots again
// divides by knot differences at every removal, so rounding grows like the
// ratio of neighbouring spans to the power of the degree: with clustered or
// random knots the curve drifts visibly from degree 5 on.  Here every new
// control point is built from the old ones by knot insertions, whose weights
// lie in [0, 1]:
//  - raising the degree by one, the control point of the knots y_0..y_p is
//    the mean of the blossoms b(y_0..y_p without y_k), and each such blossom
//    is a control point of a refinement of U (the new knot vector holds every
//    old knot once more, so leaving one out keeps every old knot);
//  - the curve is cut at its jumps (interior knots of multiplicity p + 1) into
//    continuous parts; a part without interior knots is a Bezier segment,
//    raised by t at once with the Bernstein coefficients.
// Cost: O(p^2) per blossom, so O(p^3) per control point and raise by one.

#include <algorithm>

#include "binomial.h"
#include "elevation.h"
#include "morvane.h"
#include "work.h"

namespace {

// Row i = 0..p+t of the (p+t+1) x (p+1) table, C(p, j) C(t, i - j) / C(p + t, i).
void fill_bezier_elevation(int p, int t, double* bezalfs) {
    const int ph = p + t;
    for (int i = 0; i <= ph; ++i) {
        const double inv = 1.0 / videvo::BinD(ph, i);
        for (int j = 0; j <= p; ++j) bezalfs[i * (p + 1) + j] = inv * videvo::BinD(p, j) * videvo::BinD(t, i - j);
    }
}

// The last span U[k] <= x < U[k + 1] (k = n for x at the end) of a clamped U.
int span_of(int n, int p, const double* U, double x) {
    if (x >= U[n + 1]) return n;
    int lo = p;
    int hi = n + 1;
    while (hi - lo > 1) {
        const int mid = lo + (hi - lo) / 2;
        if (U[mid] <= x)
            lo = mid;
        else
            hi = mid;
    }
    return lo;
}

// Work space of one blossom: a window of knots and control points.
struct Window {
    double* knots;
    double* cpts;
};

// The blossom b(X[0..p-1]) of the spline (U[0..n+p+1], P[0..n], p) for sorted
// X taken from a refinement of U in which X are consecutive knots: the control
// point of that refinement, found by inserting into a window of U the copies
// of X's values that U lacks.  Interior knots have multiplicity <= p.
double blossom(int n, int p, const double* U, const double* P, const double* X, Window w) {
    const int a = span_of(n, p, U, X[0]);
    const int b = span_of(n, p, U, X[p - 1]);
    const int lo = a - p;
    int nk = b + p + 2 - lo;  // knots U[lo..b+p+1]
    std::copy(U + lo, U + b + p + 2, w.knots);
    std::copy(P + lo, P + b + 1, w.cpts);
    for (int x0 = 0; x0 < p;) {
        const double v = X[x0];
        int x1 = x0;
        while (x1 < p && X[x1] == v) ++x1;
        // Copies of v in the window and the last of them (or the last knot below v).
        int k = p;
        while (k + 1 < nk && w.knots[k + 1] <= v) ++k;
        int s = 0;
        while (s <= k && w.knots[k - s] == v) ++s;
        for (int need = (x1 - x0) - s; need > 0; --need, ++s, ++k) {
            // Boehm's insertion of v at span k: weights in [0, 1].
            const int ncp = nk - p - 1;
            for (int i = ncp; i > k - s; --i) w.cpts[i] = w.cpts[i - 1];
            for (int i = k - s; i >= k - p + 1; --i) {
                const double alpha = (v - w.knots[i]) / (w.knots[i + p] - w.knots[i]);
                w.cpts[i] = alpha * w.cpts[i] + (1.0 - alpha) * w.cpts[i - 1];
            }
            for (int i = nk; i > k + 1; --i) w.knots[i] = w.knots[i - 1];
            w.knots[k + 1] = v;
            ++nk;
        }
        x0 = x1;
    }
    // X starts where its copies of X[0] end the run of X[0]; all of X at the
    // end value of the curve is the start of that run.
    int e = p;
    while (e + 1 < nk && w.knots[e + 1] == X[0]) ++e;
    int first = e;
    while (first > 0 && w.knots[first - 1] == X[0]) --first;
    int c0 = 1;
    while (c0 < p && X[c0] == X[0]) ++c0;
    const int j = (c0 == p && X[0] == U[n + p + 1]) ? first - 1 : e - c0;
    return w.cpts[j];
}

// Raises a continuous part (interior multiplicities <= p, n > p) by one:
// U1[0..m+s+2] holds every knot value once more, Q[0..n+s+1].
int raise_by_one(int n, int p, const double* U, const double* P, double* U1, double* Q, Window w,
                 double* X) {
    const int m = n + p + 1;
    int m1 = -1;
    for (int i = 0; i <= m; ++i) {
        U1[++m1] = U[i];
        if (i == m || U[i + 1] != U[i]) U1[++m1] = U[i];
    }
    const int n1 = m1 - p - 2;
    for (int j = 0; j <= n1; ++j) {
        const double* Y = U1 + j + 1;  // y_0..y_p
        double sum = 0.0;
        double last = 0.0;
        for (int k = 0; k <= p; ++k) {
            if (k == 0 || Y[k] != Y[k - 1]) {  // equal knots leave equal sets
                std::copy(Y, Y + k, X);
                std::copy(Y + k + 1, Y + p + 1, X + k);
                last = blossom(n, p, U, P, X, w);
            }
            sum += last;
        }
        Q[j] = sum / (p + 1);
    }
    return n1;
}

}  // namespace

extern "C" void DegreeElevateCurve(const int* n, const int* p, const double* U, const double* P,
                                   const int* t, double* Uh, int* nh, double* Q, int* info) {
    *info = 0;
    if (*p < 0) { *info = -2; return; }
    if (*p > *n) { *info = -1; return; }
    if (ValidKnotVector(n, p, U) != 0) { *info = -3; return; }
    const int runs = videvo::elevation_runs(*n, *p, U);
    if (runs < 0) { *info = -3; return; }
    if (*t < 1 || *t > videvo::kMaxElevatedDegree - *p) { *info = -5; return; }

    const int m = *n + *p + 1;
    const int ph = *p + *t;
    const auto size = [](long long count) { return static_cast<std::size_t>(std::max(count, 1LL)); };
    const long long mh = static_cast<long long>(m) + static_cast<long long>(*t) * (runs + 1);
    videvo::WorkArray<> snapped(size(m + 1));
    videvo::WorkArray<> bezalfs(size(static_cast<long long>(*p + 1) * (ph + 1)));
    // Ping-pong buffers of the raises by one, and the blossom's window.
    videvo::WorkArray<> knots[2] = {videvo::WorkArray<>(size(mh + 1)), videvo::WorkArray<>(size(mh + 1))};
    videvo::WorkArray<> cpts[2] = {videvo::WorkArray<>(size(mh + 1)), videvo::WorkArray<>(size(mh + 1))};
    videvo::WorkArray<> wknots(size(4LL * ph + 8));
    videvo::WorkArray<> wcpts(size(4LL * ph + 8));
    videvo::WorkArray<> X(size(ph + 1));
    if (!snapped.ok() || !bezalfs.ok() || !knots[0].ok() || !knots[1].ok() || !cpts[0].ok() ||
        !cpts[1].ok() || !wknots.ok() || !wcpts.ok() || !X.ok()) {
        *info = 1;
        return;
    }
    for (int i = 0; i <= m; ++i) snapped[i] = videvo::snapped_knot(*n, *p, U, i);
    fill_bezier_elevation(*p, *t, bezalfs.get());

    int kh = 0;  // knots written to Uh
    int qh = 0;  // control points written to Q
    int start = 0;  // the part's first control point; its knots start there
    while (start <= *n) {
        // The part ends at the next jump (p + 1 equal interior knots) or at the end.
        int end = start + *p;  // last control point of the part
        while (end < *n && !(snapped[end + 1] == snapped[end + *p + 1])) ++end;
        const int np = end - start;
        const double* Up = snapped.get() + start;
        const double* Pp = P + start;
        if (np == *p) {  // a Bezier segment
            for (int i = 0; i <= ph; ++i) {
                double sum = 0.0;
                for (int j = 0; j <= *p; ++j) sum += bezalfs[i * (*p + 1) + j] * Pp[j];
                Q[qh + i] = sum;
            }
            for (int i = 0; i <= ph; ++i) {
                Uh[kh + i] = Up[0];
                Uh[kh + ph + 1 + i] = Up[np + *p + 1];
            }
            qh += ph + 1;
        } else {
            int cur = 0;
            int nc = np;
            const double* Uc = Up;
            const double* Pc = Pp;
            for (int d = *p; d < ph; ++d, cur ^= 1) {
                nc = raise_by_one(nc, d, Uc, Pc, knots[cur].get(), cpts[cur].get(),
                                  {wknots.get(), wcpts.get()}, X.get());
                Uc = knots[cur].get();
                Pc = cpts[cur].get();
            }
            std::copy(Uc, Uc + nc + ph + 2, Uh + kh);
            std::copy(Pc, Pc + nc + 1, Q + qh);
            qh += nc + 1;
        }
        // The next part's start knots repeat this part's end knots.
        kh = qh;
        start = end + 1;
    }
    *nh = qh - 1;
}
