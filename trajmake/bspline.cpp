// bspltraj: a trajectory from a knot vector and control points.
#include "trajmake.h"

#include <cmath>
#include <cstdint>
#include <cstring>

namespace videvo::trajmake {
namespace {

bool all_finite(CVec v) {
    for (Py_ssize_t i = 0; i < v.size; ++i)
        if (!std::isfinite(v[i])) return false;
    return true;
}

// The knot vector must be a clamped one of degree p for exactly the given
// control points: validknots looks at U and p alone, and the knots are copied
// by the count len(cpts) + p + 1, so a vector of another length (which would
// be read beyond its end or describe another curve) is refused as well.
void require_knots(CVec knots, CVec cpts, int p) {
    const int status = ck.validknots(p, knots);
    throw_if_error();
    if (status != 0 || knots.size != std::int64_t(cpts.size) + p + 1 || !all_finite(knots)) fail(msg::knots_inconsistent);
}

TrajectoryObject bspltraj(CVec knots, CVec cpts, int p, int order) {
    if (p < 0) fail(msg::p_negative);
    require_knots(knots, cpts, p);
    require_order(order);
    const std::int64_t c = cpts.size;
    Buffer U = Buffer::allocate(c + p + 1);
    Buffer P = Buffer::allocate(c);
    std::memcpy(P.get(), cpts.data, static_cast<std::size_t>(c) * sizeof(double));
    std::memcpy(U.get(), knots.data, static_cast<std::size_t>(c + p + 1) * sizeof(double));
    return wrap_buffers(U, P, p, static_cast<int>(c - 1), order);
}

}  // namespace

void register_bspline(Exporter& ex) {
    VIDEVO_TRAJMAKE_DEF(ex, bspltraj, bspltraj,
        "A new trajectory from a clamped knot vector and control points.\n\n"
        "Parameters\n"
        "----------\n"
        "knots : float64 array\n"
        "    Knot vector U[0..n+p+1]: p + 1 equal knots at each end, non-decreasing\n"
        "    in between, len(cpts) + p + 1 values.\n"
        "cpts : float64 array\n"
        "    Control points P[0..n].\n"
        "p : int\n"
        "    Degree, at least 0.\n"
        "order : int\n"
        "    Derivative order of the quantity (0 displacement, 1 velocity, ...), at\n"
        "    least 0.\n\n"
        "Returns\n"
        "-------\n"
        "Trajectory1d\n"
        "    Degree p, n = len(cpts) - 1, holding copies of the arrays.\n\n"
        "Raises\n"
        "------\n"
        "ValueError\n"
        "    \"'p' must be greater than or equal to zero\"; \"inconsistent 'knots'\n"
        "    vector\" (not clamped for p, decreasing, not finite, or of another length);\n"
        "    \"'order' value must be greater than or equal to zero: <order>\" (checked\n"
        "    in this order).\n"
        "TypeError\n"
        "    None or a non-array in place of an array.",
        "knots", "cpts", "p", "order");
}

}  // namespace videvo::trajmake
