// Time scaling of a trajectory to velocity, acceleration and jerk limits.
#include "motion.h"

#include <cmath>
#include <algorithm>
#include <cstdint>
#include <limits>
#include <span>
#include <string>

namespace videvo::motion {
namespace {

struct Limit {
    int q;  // derivative order of the limited quantity
    const char* name;
    nb::handle value;
};

// The given limit as a double: positive (an infinite limit limits nothing).
double limit_of(const Limit& l) {
    const double v = PyFloat_AsDouble(l.value.ptr());
    if (v == -1.0 && PyErr_Occurred()) throw nb::python_error();
    if (!(v > 0.0)) fail(std::string("'") + l.name + "' must be positive: " + repr_double(v));
    return v;
}

// Stretching time by s divides the quantity of order q by s^q, so the
// slowest-necessary factor is the largest (peak / limit)^(1/q).  A trajectory
// of order o > 0 describes the o-th derivative of a path: its values are
// divided by s^o as well, so that it stays the derivative of the same path run
// on the new time axis.
nb::object fit_limits(nb::handle traj, nb::handle vmax, nb::handle amax, nb::handle jmax) {
    const Traj t = Traj::from(traj);
    const Limit limits[] = {{1, "vmax", vmax}, {2, "amax", amax}, {3, "jmax", jmax}};
    double bound[3] = {0.0, 0.0, 0.0};
    bool any = false;
    for (int i = 0; i < 3; ++i)
        if (!limits[i].value.is_none()) {
            bound[i] = limit_of(limits[i]);
            any = true;
        }
    if (!any) fail("give at least one of 'vmax', 'amax' and 'jmax'");
    const std::uint32_t order = t.rec->order;
    for (int i = 0; i < 3; ++i)
        if (bound[i] != 0.0 && order > std::uint32_t(limits[i].q))
            fail(std::string("'") + limits[i].name + "' limits a lower derivative than the trajectory's order " +
                 std::to_string(order));
    // A peak at the rounding level of the control points that it comes from
    // (a straight line's acceleration) is no peak: it is taken as zero.
    double big = 0.0;
    for (const double v : std::span(t.P().data, static_cast<std::size_t>(t.P().size))) big = std::max(big, std::abs(v));
    const double length = t.stop() - t.start();
    auto peak_of = [&](const Traj& of, int i) {
        const Extrema e = extrema_of(of, limits[i].q - static_cast<int>(order));
        if (std::isnan(e.lo) || std::isnan(e.hi))
            fail("no time scaling meets the limits: the trajectory is not a number at t = " + repr_double(e.xlo));
        return std::max(std::abs(e.lo), std::abs(e.hi));
    };
    double s = 0.0;
    double peaks[3] = {0.0, 0.0, 0.0};
    for (int i = 0; i < 3; ++i) {
        if (bound[i] == 0.0) continue;
        const int nu = limits[i].q - static_cast<int>(order);
        const double noise =
            64.0 * std::numeric_limits<double>::epsilon() * big * std::pow(double(t.p()), nu) / std::pow(length, nu);
        peaks[i] = peak_of(t, i);
        if (peaks[i] <= noise) peaks[i] = 0.0;
        s = std::max(s, std::pow(peaks[i] / bound[i], 1.0 / limits[i].q));
    }
    if (s == 0.0) fail("no time scaling makes a limit active: every limited quantity is zero or its limit infinite");
    if (!std::isfinite(s)) fail("no time scaling meets the limits: a peak is too large for its limit");
    auto scaled = [&](double factor) {
        Buffer U = Buffer::copy_of(t.rec->_knotvector, t.rec->knot_count());
        Buffer P = Buffer::copy_of(t.rec->_cpts, t.rec->cpts_count());
        if (order > 0) {
            const double f = std::pow(factor, -static_cast<double>(order));
            for (std::int64_t i = 0; i < P.size(); ++i) P.get()[i] *= f;
        }
        PyObject* made = classes.trajectory1d->from_ptrs(U.get(), P.get(), t.p(), t.n(), order, {1, true});
        nb::object result = entry_result(made);
        U.release();
        P.release();
        check_entry(classes.trajectory1d->hscale(result.ptr(), factor));
        return result;
    };
    // The peaks of the result, reached by rounded operations, may exceed
    // their limits by an ulp or two: the factor then grows by a few ulps
    // (more each time) until none does.
    for (int round = 0;; ++round) {
        nb::object result = scaled(s);
        bool within = true;
        for (int i = 0; i < 3; ++i)
            if (bound[i] != 0.0 && peaks[i] != 0.0) within = within && peak_of(Traj::from(result), i) <= bound[i];
        if (within || round == 16) return result;
        s *= 1.0 + 4.0 * std::numeric_limits<double>::epsilon() * double(1 << round);
    }
}

}  // namespace

void register_scaling(nb::module_& m) {
    m.def("fit_limits", &fit_limits, nb::arg("t"), nb::arg("vmax").none() = nb::none(),
        nb::arg("amax").none() = nb::none(), nb::arg("jmax").none() = nb::none(),
        nb::sig("def fit_limits(t: videvo.trajdata.Trajectory1d, vmax: float | None = None, amax: float | None = None, "
                "jmax: float | None = None) -> videvo.trajdata.Trajectory1d"),
        "A new trajectory: t run on a time axis stretched (or compressed) by the one\n"
        "factor that meets every given limit, at least one of them exactly.\n\n"
        "With the peaks v, a, j of t (see peaks), the factor is\n"
        "s = max(v / vmax, (a / amax)^(1/2), (j / jmax)^(1/3)) over the given\n"
        "limits; the domain becomes [start, start + s (stop - start)] by hscale(s).\n"
        "s < 1 speeds the trajectory up.  A trajectory of order o > 0 (the o-th\n"
        "derivative of a path) also has its values divided by s^o, so that it\n"
        "describes the same path on the new time axis.\n\n"
        "Parameters\n"
        "----------\n"
        "t : Trajectory1d\n"
        "vmax, amax, jmax : float, optional\n"
        "    Limits of |velocity|, |acceleration|, |jerk|; at least one.\n\n"
        "Returns\n"
        "-------\n"
        "Trajectory1d\n"
        "    A new, plain trajectory; t is unchanged.\n\n"
        "Raises\n"
        "------\n"
        "ValueError\n"
        "    \"'t' is an empty trajectory\"; \"'vmax' must be positive: <vmax>\" (and\n"
        "    for amax, jmax; also for NaN); \"give at least one of 'vmax', 'amax' and\n"
        "    'jmax'\"; \"'vmax' limits a lower derivative than the trajectory's\n"
        "    order <o>\" (a velocity limit on an acceleration, say); \"no time\n"
        "    scaling makes a limit active: ...\" when every limited quantity is\n"
        "    zero (a trajectory at rest) or every limit infinite; the message of\n"
        "    hscale when the new knots would not be finite.");
}

}  // namespace videvo::motion
