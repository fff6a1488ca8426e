// Interpolating factories: trajectories through data points.
#include "trajmake.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace videvo::trajmake {

// The comparison is written so that a NaN abscissa fails it too.
void require_increasing(CVec xp) {
    bool increasing = true;
    {
        ReleaseForLongWork unlocked(xp.size);
        for (Py_ssize_t i = 1; i < xp.size && increasing; ++i) increasing = xp[i - 1] < xp[i];
    }
    if (!increasing) fail(msg::xp_increasing);
}

// An infinite end of the domain would give a knot vector that no trajectory
// can be evaluated on.
void require_finite_ends(CVec xp) {
    if (xp.size > 0 && !(std::isfinite(xp[0]) && std::isfinite(xp[xp.size - 1]))) fail(msg::xp_finite);
}

TrajectoryObject interpolate_with_end_derivatives(CVec xp, CVec fp, int p, int order, CVec Ds, CVec De) {
    const std::int64_t L = xp.size, k = Ds.size, l = De.size;
    Buffer U = Buffer::allocate(L + k + l + p + 1);
    Buffer P = Buffer::allocate(L + k + l);
    check_entry(ck.averaging3(xp, p, static_cast<int>(k), static_cast<int>(l), view_of(U)));
    check_entry(ck.gadsplint(xp, fp, p, Ds, De, view_of(U), view_of(P)));
    return wrap_buffers(U, P, p, static_cast<int>(L + k + l - 1), order);
}

namespace {

// The checks every interpolating factory starts with.
void require_data(CVec xp, CVec fp) {
    if (fp.size != xp.size) fail(msg::fp_length);
    require_increasing(xp);
    require_finite_ends(xp);
}

TrajectoryObject fromdata(CVec xp, CVec fp, int p, int order, FromdataOpt opt) {
    const bool clamp = opt.given >= 1 && opt.clamp != 0;
    const Pair dy = opt.given >= 2 ? opt.dy : Pair{0.0, 0.0};
    const std::int64_t L = xp.size;
    require_data(xp, fp);
    if (p < 1 || (clamp && p < 2)) fail(msg::p_inconsistent);
    if (L - 1 < (clamp ? std::int64_t(p) + 2 : p)) fail(msg::degree_vs_points);
    require_order(order);
    const std::int64_t n = clamp ? L + 1 : L - 1;
    Buffer U = Buffer::allocate(n + p + 2);
    Buffer P = Buffer::allocate(n + 1);
    if (clamp) {
        check_entry(ck.averaging2(xp, p, view_of(U)));
        check_entry(ck.gdsplint(xp, fp, p, view_of(U), view_of(P), OptDy{1, dy}));
    } else {
        check_entry(ck.averaging(xp, p, view_of(U)));
        // Degree 1: the averaged knots are the abscissae and the control
        // points the data values.
        if (p == 1) std::memcpy(P.get(), fp.data, static_cast<std::size_t>(L) * sizeof(double));
        else check_entry(ck.gcsplint(xp, fp, p, view_of(U), view_of(P)));
    }
    return wrap_buffers(U, P, p, static_cast<int>(n), order);
}

// The Python face of fromdata: its two optional arguments in one record.
TrajectoryObject fromdata_face(CVec xp, CVec fp, int p, int order, Opt<bool, false> clamp, OptDy dy) {
    return fromdata(xp, fp, p, order, FromdataOpt{2, clamp.get(), dy.get()});
}

TrajectoryObject fromdatatdma(CVec xp, CVec fp, int order, OptDy dy) {
    const std::int64_t L = xp.size;
    require_data(xp, fp);
    if (L - 1 <= 4) fail(msg::too_few_points);
    require_order(order);
    Buffer U = Buffer::allocate(L + 6);
    Buffer P = Buffer::allocate(L + 2);
    check_entry(ck.cdsplint(xp, fp, view_of(U), view_of(P), OptDy{1, dy.get()}));
    return wrap_buffers(U, P, 3, static_cast<int>(L + 1), order);
}

TrajectoryObject fromdatawaed(CVec xp, CVec fp, int p, int order, CVec Ds, CVec De) {
    const std::int64_t L = xp.size, k = Ds.size, l = De.size;
    require_data(xp, fp);
    if (p <= 1) fail(msg::p_inconsistent);
    // Fewer than p + 1 control points make no clamped B-spline of degree p.
    if (L < p || L + k + l < std::int64_t(p) + 1) fail(msg::degree_vs_points);
    if (std::max(k, l) >= p) fail(msg::max_derivative);
    require_order(order);
    return interpolate_with_end_derivatives(xp, fp, p, order, Ds, De);
}

}  // namespace

void register_interpolating(Exporter& ex) {
    faces::Face<&fromdata_face>::def_python(ex.module(), "fromdata",
        "A new trajectory of degree p through the points (xp[i], fp[i]).\n\n"
        "Parameters\n"
        "----------\n"
        "xp, fp : float64 arrays\n"
        "    Increasing abscissae (times) and the values there.\n"
        "p : int\n"
        "    Degree: at least 1, at least 2 with `clamp`.\n"
        "order : int\n"
        "    Derivative order of the quantity (0 displacement, 1 velocity, ...).\n"
        "clamp : object, default False\n"
        "    When true (by its truth value), the first derivatives at both ends are\n"
        "    prescribed by `dy`.\n"
        "dy : pair of floats, default (0.0, 0.0)\n"
        "    Slopes at xp[0] and xp[-1]; ignored without `clamp`.\n\n"
        "Returns\n"
        "-------\n"
        "Trajectory1d\n"
        "    Knots by averaging the abscissae, control points by global interpolation\n"
        "    (n = len(xp) - 1, or len(xp) + 1 with `clamp`); for p = 1 the polyline.\n\n"
        "Raises\n"
        "------\n"
        "ValueError\n"
        "    In this order: \"'fp' must have the same length as 'xp'\"; \"'xp' must be\n"
        "    increasing\" (also for a NaN); \"inconsistent 'p' value\"; \"degree\n"
        "    inconsistent with the number of data points\" (fewer than p + 1 points,\n"
        "    p + 3 with `clamp`); the order message.\n"
        "Exception\n"
        "    \"'dgesv' LAPACK function failed with 'info' value: <info>\" for a\n"
        "    singular system.",
        {"xp", "fp", "p", "order", "clamp", "dy"});
    VIDEVO_TRAJMAKE_EXPORT_ONLY(ex, fromdata, fromdata);
    VIDEVO_TRAJMAKE_DEF(ex, fromdatatdma, fromdatatdma,
        "A new cubic trajectory through the points (xp[i], fp[i]) with the slopes\n"
        "`dy` at both ends, solved by the tridiagonal algorithm.\n\n"
        "Parameters\n"
        "----------\n"
        "xp, fp : float64 arrays\n"
        "    At least 6 points, xp increasing.\n"
        "order : int\n"
        "    Derivative order of the quantity.\n"
        "dy : pair of floats, default (0.0, 0.0)\n"
        "    Slopes at xp[0] and xp[-1].\n\n"
        "Returns\n"
        "-------\n"
        "Trajectory1d\n"
        "    Degree 3, n = len(xp) + 1; the interior knots are xp[1:-1].\n\n"
        "Raises\n"
        "------\n"
        "ValueError\n"
        "    In this order: \"'fp' must have the same length as 'xp'\"; \"'xp' must be\n"
        "    increasing\"; \"too few data points\"; the order message.",
        "xp", "fp", "order", "dy");
    VIDEVO_TRAJMAKE_DEF(ex, fromdatawaed, fromdatawaed,
        "A new trajectory of degree p through the points (xp[i], fp[i]) with\n"
        "derivatives prescribed at both ends.\n\n"
        "Parameters\n"
        "----------\n"
        "xp, fp : float64 arrays\n"
        "    Increasing abscissae and the values there.\n"
        "p : int\n"
        "    Degree, at least 2.\n"
        "order : int\n"
        "    Derivative order of the quantity.\n"
        "Ds, De : float64 arrays\n"
        "    Ds[i] (De[i]) is the derivative of order i + 1 at xp[0] (xp[-1]); either\n"
        "    may be empty, both shorter than p.\n\n"
        "Returns\n"
        "-------\n"
        "Trajectory1d\n"
        "    Knots by averaging, n = len(xp) + len(Ds) + len(De) - 1.\n\n"
        "Raises\n"
        "------\n"
        "ValueError\n"
        "    In this order: \"'fp' must have the same length as 'xp'\"; \"'xp' must be\n"
        "    increasing\"; \"inconsistent 'p' value\"; \"degree inconsistent with the\n"
        "    number of data points\" (also when fewer than p + 1 control points\n"
        "    would result); \"the maximum constrained derivative must be less than\n"
        "    'p'\"; the order message.\n"
        "Exception\n"
        "    The LAPACK failure message for a singular system.",
        "xp", "fp", "p", "order", "Ds", "De");
}

}  // namespace videvo::trajmake
