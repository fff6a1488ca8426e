// Knot insertion, knot refinement and degree elevation.
#include "curvekit.h"

#include <elevation.h>
#include <insertion_checks.h>
#include <morvane.h>

#include <string>

namespace videvo::curvekit {

void insert_knot(CVec UP, CVec P, int p, double u, int r, Vec UQ, Vec Q, bool validate) {
    const int n = P.last();
    require_curve(n, p, UP);
    const IntPair ks = span_and_multiplicity(n, p, u, UP);
    check_info(knot_insertion_status(n, p, UP.data, u, ks.first, ks.second, r, validate));
    require_size(UQ.size, UP.size + r, "UQ");
    require_size(Q.size, P.size + r, "Q");
    check_info(insert_knot_checked(n, p, UP.data, P.data, u, ks.first, ks.second, r, UQ.data, Q.data));
}

namespace {

void splkins(CVec UP, CVec P, int p, double u, int r, Vec UQ, Vec Q) { insert_knot(UP, P, p, u, r, UQ, Q, true); }

void splkref(CVec U, CVec P, int p, CVec X, Vec Ubar, Vec Q) {
    const int n = P.last();
    require_curve(n, p, U);
    // An empty X is the kernel's status -6.
    if (X.size > 0) {
        require_size(Ubar.size, U.size + X.size, "Ubar");
        require_size(Q.size, P.size + X.size, "Q");
    }
    const int r = X.last();
    int info = 0;
    RefineKnotVectCurve(&n, &p, U.data, P.data, X.data, &r, Ubar.data, Q.data, &info);
    check_info(info);
}

void degelevc(CVec U, CVec P, int p, int t, Vec Uh, Vec Q) {
    const int n = P.last();
    require_curve(n, p, U);
    // The sizes follow from the runs of equal knots, which are defined once the
    // kernel's own checks pass; otherwise it refuses without writing.
    int runs = -1;
    if (p <= n && ValidKnotVector(&n, &p, U.data) == 0) runs = elevation_runs(n, p, U.data);
    if (runs >= 0 && t >= 1 && t <= kMaxElevatedDegree - p) {
        const Py_ssize_t steps = static_cast<Py_ssize_t>(t) * runs;
        require_at_least(Uh.size, U.size + steps + t, "Uh");
        require_at_least(Q.size, P.size + steps, "Q");
    }
    int nh = 0;
    int info = 0;
    DegreeElevateCurve(&n, &p, U.data, P.data, &t, Uh.data, &nh, Q.data, &info);
    check_info(info);
    if (assertions_enabled() && (nh != Q.last() || Uh.size != static_cast<Py_ssize_t>(nh) + p + t + 2))
        raise(PyExc_AssertionError);
}

void knotsdegelev(CVec U, int p, Vec Uh) {
    require_degree_at_least(p, 0);
    if (U.size < 2 * static_cast<Py_ssize_t>(p) + 2)
        bad_argument("U", "must have at least " + std::to_string(2 * static_cast<long long>(p) + 2) + " knots for degree " +
                              std::to_string(p));
    const int m = U.last();
    const int mh = increased_mult_last_index(m, p, U.data);
    if (mh < 0) bad_argument("U", "has its last interior knot at its end");
    require_size(Uh.size, static_cast<Py_ssize_t>(mh) + 1, "Uh");
    IncreaseMultByOne(&m, &p, U.data, &mh, Uh.data);
}

}  // namespace

// The knot vector is not validated here: the span search ends and reads only
// U[p..n+1] whatever the knot values, and the kernel routine refuses an
// invalid knot vector (-3) before it looks at the span.  That saves a second
// pass over U on every call.  The search starts where u would lie on even
// knots, so on the usual, roughly even knot vectors it passes a few knots
// instead of bisecting them all (the span is FindSpanMult's all the same).
IntPair span_and_multiplicity(int n, int p, double u, CVec U) {
    if (!(p >= 0 && p <= n && u >= U[0] && u <= U[U.last()])) return {0, 0};
    const double guess = p + (u - U[p]) / (U[n + 1] - U[p]) * (n - p + 1);
    // (NaN for an empty domain: then the search starts at p)
    const int g = guess >= p && guess <= n ? static_cast<int>(guess) : guess > n ? n : p;
    const int k = find_span_from(g, n, p, u, U.data);
    return {k, multiplicity_at(k, p, u, U.data)};
}

void register_insertion(Exporter& ex) {
    VIDEVO_CURVEKIT_DEF(ex, splkins, splkins,
        "Insert the knot u r times into the B-spline (UP, P, p): UQ (len(UP) + r\n"
        "entries) and Q (len(P) + r) receive the same curve on the refined knots.\n\n"
        "Raises ValueError for UQ or Q of another size, and through the status code\n"
        "for p > n (-1), p < 0 (-2), an invalid knot vector (-3), u outside\n"
        "[UP[0], UP[-1]] or NaN (-5), r < 1 or a multiplicity of u that would exceed\n"
        "p, the end of the domain included (-8), and the start of the domain (-7).",
        "UP", "P", "p", "u", "r", "UQ", "Q");
    VIDEVO_CURVEKIT_DEF(ex, splkref, splkref,
        "Insert all knots of X (non-decreasing, strictly inside the domain) into the\n"
        "B-spline (U, P, p) in one sweep: Ubar (len(U) + len(X) entries) and Q\n"
        "(len(P) + len(X)) receive the same curve on the refined knots.\n\n"
        "Raises ValueError for Ubar or Q of another size, and through the status\n"
        "code for p > n (-1), p < 0 (-2), an invalid knot vector (-3), a value of X\n"
        "outside the open domain, out of order or NaN (-5), and an empty X (-6).",
        "U", "P", "p", "X", "Ubar", "Q");
    VIDEVO_CURVEKIT_DEF(ex, degelevc, degelevc,
        "Raise the degree of the B-spline (U, P, p) by t.  With s distinct interior\n"
        "knot values, Uh receives len(U) + t (s + 2) knots (every knot value gains t\n"
        "copies) and Q len(P) + t (s + 1) control points.  End knots that are only\n"
        "close to the end values count as equal to them.  Any degree from 0 works.\n\n"
        "Raises ValueError for Uh or Q too short, and through the status code for\n"
        "p > n (-1), p < 0 (-2), an invalid knot vector or a knot value repeated more\n"
        "than p + 1 times (-3), t < 1 or p + t > 1000 (-5).  With assertions enabled,\n"
        "AssertionError when Uh or Q is longer than the result.",
        "U", "P", "p", "t", "Uh", "Q");
    VIDEVO_CURVEKIT_DEF(ex, knotsdegelev, knotsdegelev,
        "Fill Uh with the knot vector U of degree p with every knot value repeated\n"
        "once more: p + 2 copies of each end and one more copy of each interior value\n"
        "(knots equal within the closeness tolerance count as one value), the knots\n"
        "of the same curve raised to degree p + 1.\n\n"
        "Raises ValueError for p < 0, a U of fewer than 2p + 2 knots or whose last\n"
        "interior knot is close to its end, and Uh of another size than len(U) + s + 2\n"
        "(s interior values).",
        "U", "p", "Uh");
}

}  // namespace videvo::curvekit
