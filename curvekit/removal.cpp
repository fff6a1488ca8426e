// Knot removal and its error bound.
#include "curvekit.h"

#include <morvane.h>
#include <work.h>

#include <algorithm>

namespace videvo::curvekit {
namespace {

int splkrem(Vec U, Vec P, int p, double u, int num, OptTol tol) {
    const int n = P.last();
    require_curve(n, p, U);
    const IntPair rs = span_and_multiplicity(n, p, u, U);
    const double TOL = tol.get();
    int t = 0;
    int info = 0;
    RemoveCurveKnot(&n, &p, U.data, P.data, &u, &rs.first, &rs.second, &num, &TOL, &t, &info);
    check_info(info);
    return t;
}

int splksrem(Vec U, Vec P, int p, OptTol tol) {
    const int n = P.last();
    require_curve(n, p, U);
    const double TOL = tol.get();
    int gap = 0;
    int info = 0;
    RemoveCurveKnots(&n, &p, U.data, P.data, &TOL, &gap, &info);
    check_info(info);
    return gap;
}

int splkrem_notol(Vec U, Vec P, int p, double u, int num) {
    const int n = P.last();
    require_curve(n, p, U);
    const IntPair rs = span_and_multiplicity(n, p, u, U);
    int t = 0;
    int info = 0;
    RemoveCurveKnotWithoutTol(&n, &p, U.data, P.data, &u, &rs.first, &rs.second, &num, &t, &info);
    check_info(info);
    return t;
}

// The bound has a meaning only for an interior knot: u is refused with the
// status codes the removal routines give it.
double getbndrem(CVec U, CVec P, int p, double u) {
    const int n = P.last();
    require_curve(n, p, U);
    if (ValidKnotVector(&n, &p, U.data) != 0) check_info(-3);
    if (!(u >= U[0] && u <= U[U.last()])) check_info(-5);
    const IntPair rs = span_and_multiplicity(n, p, u, U);
    const int r = rs.first;
    const int s = rs.second;
    if (s < 1 || s > p + 1) check_info(-7);
    if (r < p + s || r > n) check_info(-6);
    WorkArray<> temp(static_cast<std::size_t>(std::max(2 * p + 1, p + 3)));
    if (!temp.ok()) raise_memory();
    double Br = 0.0;
    GetRemovalBndCurve(&n, &p, U.data, P.data, &u, &r, &s, temp.get(), &Br);
    return Br;
}

}  // namespace

void register_removal(Exporter& ex) {
    VIDEVO_CURVEKIT_DEF(ex, splkrem, splkrem,
        "Remove the interior knot u from the B-spline (U, P, p) up to num times, each\n"
        "removal only if it moves the curve by at most tol.  Works in place and\n"
        "returns t, the number of copies removed: the new curve is U[:len(U) - t],\n"
        "P[:len(P) - t] (the rest of the arrays is left over).\n\n"
        "Raises ValueError through the status code for p > n (-1), p < 0 (-2), an\n"
        "invalid knot vector (-3), u outside [U[0], U[-1]] or NaN (-5), u the start\n"
        "of the domain (-6), u not an interior knot, the end of the domain included\n"
        "(-7), num outside [1, s] with s the multiplicity of u (-8), tol < 0 (-9).",
        "U", "P", "p", "u", "num", "tol");
    VIDEVO_CURVEKIT_DEF(ex, splksrem, splksrem,
        "Remove, from left to right, every interior knot copy of the B-spline\n"
        "(U, P, p) whose removal moves the curve by at most tol (each step is tested\n"
        "on its own; the deviations may add up).  Works in place and returns the\n"
        "number of knots removed, g: the new curve is U[:len(U) - g], P[:len(P) - g].\n\n"
        "Raises ValueError through the status code for p > n (-1), p < 0 (-2), an\n"
        "invalid knot vector (-3), tol < 0 (-5).",
        "U", "P", "p", "tol");
    VIDEVO_CURVEKIT_DEF(ex, splkrem_notol, splkrem_notol,
        "splkrem without a tolerance: removes the knot u num times whatever the\n"
        "curve's change (a removal that yields a non-finite value is not made).\n"
        "Returns the number of copies removed; errors as splkrem.",
        "U", "P", "p", "u", "num");
    VIDEVO_CURVEKIT_DEF(ex, getbndrem, getbndrem,
        "The distance by which removing the interior knot u once would move the\n"
        "B-spline (U, P, p); U and P are not changed.\n\n"
        "Raises ValueError through the status codes of splkrem for the same curve\n"
        "and u: -1, -2, -3, -5, -6 (the start of the domain) and -7 (u is not an\n"
        "interior knot, the end of the domain included).",
        "U", "P", "p", "u");
}

}  // namespace videvo::curvekit
