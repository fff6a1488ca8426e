// Knot vectors: validation, knot placement and control-point abscissae.
#include "curvekit.h"

#include <morvane.h>

namespace videvo::curvekit {
namespace {

void require_data(CVec xp) {
    if (xp.size == 0) bad_argument("xp", "must not be empty");
}

// A clamped knot vector of degree p needs p + 1 control points; with `extra`
// conditions besides the points, fewer would overlap the two clamped ends.
void require_points_for_degree(CVec xp, int p, long long extra) {
    const long long needed = static_cast<long long>(p) + 1 - extra;
    if (xp.size < needed)
        bad_argument("xp", "must have at least " + std::to_string(needed) + " entries for degree " +
                               std::to_string(p) + ", not " + std::to_string(xp.size));
}

int validknots(int p, CVec U) {
    // A degree below zero or fewer than 2p + 2 knots is no clamped knot vector.
    if (p < 0 || U.size - p - 2 < p) return 1;
    const int n = static_cast<int>(U.size - p - 2);
    return ValidKnotVector(&n, &p, U.data);
}

// The placement routines of one form: U gets len(xp) + p + 1 + extra knots.
using Placement = void (*)(const int* n, const double* x, const int* p, double* U);

void place(Placement routine, CVec xp, int p, Vec U, int lowest_degree, int extra) {
    require_degree_at_least(p, lowest_degree);
    require_data(xp);
    require_points_for_degree(xp, p, extra);
    const int n = xp.last();
    require_size(U.size, static_cast<Py_ssize_t>(n) + p + 2 + extra, "U");
    ReleaseForLongWork unlocked(xp.size);
    routine(&n, xp.data, &p, U.data);
}

void eqspaced(CVec xp, int p, Vec U) { place(EquallySpaced, xp, p, U, 0, 0); }
void averaging(CVec xp, int p, Vec U) { place(AveragingAlg1, xp, p, U, 1, 0); }
void averaging2(CVec xp, int p, Vec U) { place(AveragingAlg2, xp, p, U, 1, 2); }

void averaging3(CVec xp, int p, int k, int l, Vec U) {
    require_degree_at_least(p, 1);
    require_data(xp);
    if (k < 0 || k > p) bad_argument("k", "must lie in [0, p], not " + std::to_string(k));
    if (l < 0 || l > p) bad_argument("l", "must lie in [0, p], not " + std::to_string(l));
    require_points_for_degree(xp, p, static_cast<long long>(k) + l);
    const int n = xp.last();
    require_size(U.size, static_cast<Py_ssize_t>(n) + k + l + p + 2, "U");
    ReleaseForLongWork unlocked(xp.size);
    AveragingAlg3(&n, xp.data, &p, &k, &l, U.data);
}

void kevalappr(CVec xp, int p, Vec U) {
    require_degree_at_least(p, 0);
    require_data(xp);
    if (xp.size < 2) bad_argument("xp", "must have at least 2 points");
    const int m = xp.last();
    if (U.size - p - 2 < p)  // in 64 bits: p may be INT_MAX
        bad_argument("U", "must have at least " + std::to_string(2 * static_cast<long long>(p) + 2) + " entries for degree " + std::to_string(p));
    const int n = static_cast<int>(U.size - p - 2);
    if (m < n)
        bad_argument("xp", "must have at least as many points as the curve has control points (" +
                               std::to_string(n + 1) + ")");
    KnotsEvalL2Approx(&m, xp.data, &p, &n, U.data);
}

void averagcpts(CVec U, int p, Vec C) {
    const int n = C.last();
    if (p < 0) check_info(-2);
    require_degree_at_least(p, 1);
    require_curve(n, p, U);
    int info = 0;
    AveragingCpts(&n, &p, U.data, C.data, &info);
    check_info(info);
}

int distintknots(CVec U, int p) {
    require_degree_at_least(p, 0);
    int count = 0;
    for (Py_ssize_t i = Py_ssize_t{p} + 1; i <= U.size - p - 2; ++i) count += U[i] != U[i - 1];
    return count;
}

}  // namespace

void register_knots(Exporter& ex) {
    VIDEVO_CURVEKIT_DEF(ex, validknots, validknots,
        "Check a clamped knot vector for degree p: the first p + 1 and the last p + 1\n"
        "knots equal and the knots non-decreasing in between, all up to the closeness\n"
        "tolerance max(1e-9 * max(|a|, |b|), 1e-13).  Returns 0 when U is valid for\n"
        "len(U) - p - 1 control points, 1 otherwise.",
        "p", "U");
    VIDEVO_CURVEKIT_DEF(ex, eqspaced, eqspaced,
        "Fill U (len(xp) + p + 1 entries) with the clamped knot vector of degree p\n"
        "whose interior knots are equally spaced between xp[0] and xp[-1].\n"
        "Raises ValueError for p < 0, an empty xp, fewer than p + 1 entries in xp or\n"
        "a U of another length.",
        "xp", "p", "U");
    VIDEVO_CURVEKIT_DEF(ex, averaging, averaging,
        "Fill U (len(xp) + p + 1 entries) with the knots for interpolating the\n"
        "parameters xp by a degree-p B-spline: clamped ends and interior knots that\n"
        "are the means of p consecutive parameters.\n"
        "Raises ValueError for p < 1, an empty xp, fewer than p + 1 entries in xp or\n"
        "a U of another length.",
        "xp", "p", "U");
    VIDEVO_CURVEKIT_DEF(ex, averaging2, averaging2,
        "Knots by averaging for interpolation with the first derivative given at\n"
        "both ends: U has len(xp) + p + 3 entries.\n"
        "Raises ValueError for p < 1, an empty xp, fewer than p - 1 entries in xp or\n"
        "a U of another length.",
        "xp", "p", "U");
    VIDEVO_CURVEKIT_DEF(ex, averaging3, averaging3,
        "Knots by averaging for interpolation with k derivative conditions at the\n"
        "start and l at the end: U has len(xp) + k + l + p + 1 entries.  Each\n"
        "window of p parameters is clipped to the data and averaged over its length.\n"
        "Raises ValueError for p < 1, k or l outside [0, p], an empty xp, fewer than\n"
        "p + 1 - k - l entries in xp or a U of another length.",
        "xp", "p", "k", "l", "U");
    VIDEVO_CURVEKIT_DEF(ex, averagcpts, averagcpts,
        "Fill C with the abscissae of the control points of a degree-p curve on the\n"
        "knot vector U: C[i] = (U[i+1] + ... + U[i+p]) / p, with len(U) = len(C) + p + 1.\n"
        "Raises ValueError for p = 0 and, through the status code, for p < 0 (-2),\n"
        "p > len(C) - 1 (-1) or an invalid knot vector (-3).",
        "U", "p", "C");
    VIDEVO_CURVEKIT_DEF(ex, kevalappr, kevalappr,
        "Fill U with the clamped knot vector of degree p for a least-squares fit of\n"
        "the parameters xp by len(U) - p - 1 control points.\n"
        "Raises ValueError for p < 0, fewer than 2 points, a U shorter than 2p + 2\n"
        "entries or fewer points than control points.",
        "xp", "p", "U");
    VIDEVO_CURVEKIT_EXPORT_ONLY(ex, distintknots, distintknots);
}

}  // namespace videvo::curvekit
