// Analytic factories: constants, lines and polynomials represented exactly as
// one Bezier segment over [start, stop]; sines and cosines interpolated
// through their samples with exact end derivatives.
#include "trajmake.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>

namespace videvo::trajmake {
namespace {

constexpr double kPi = 3.141592653589793;

// start > stop first (a NaN passes that comparison), then the finiteness
// that every evaluation of the result needs.
void require_domain(double start, double stop) {
    if (start > stop) fail(msg::stop_before_start);
    if (!std::isfinite(start) || !std::isfinite(stop)) fail(msg::domain_finite);
}

// The knot buffer of one segment of degree q over [start, stop] (q + 1 times
// each end) and its control-point buffer, not filled.  The curve module takes
// arrays of at most INT_MAX - 1024 entries: a longer knot vector could be
// stored but never evaluated, and is refused as an allocation failure.
struct Segment {
    Buffer U, P;
};

Segment segment(double start, double stop, int q) {
    const std::int64_t knots = 2 * (std::int64_t(q) + 1);
    if (knots > INT_MAX - 1024) raise_memory();
    Segment s{Buffer::allocate(knots), Buffer::allocate(std::int64_t(q) + 1)};
    ReleaseForLongWork unlocked(static_cast<Py_ssize_t>(knots));
    std::fill(s.U.get(), s.U.get() + q + 1, start);
    std::fill(s.U.get() + q + 1, s.U.get() + knots, stop);
    return s;
}

TrajectoryObject constant(double start, double stop, int p, int order, double k) {
    require_domain(start, stop);
    if (p < 0) fail(msg::p_negative_value, p);
    require_order(order);
    Segment s = segment(start, stop, p);
    {
        ReleaseForLongWork unlocked(p);
        std::fill(s.P.get(), s.P.get() + std::int64_t(p) + 1, k);
    }
    return wrap_buffers(s.U, s.P, p, p, order);
}

TrajectoryObject zeros(double start, double stop, int p, int order) { return constant(start, stop, p, order, 0.0); }
TrajectoryObject ones(double start, double stop, int p, int order) { return constant(start, stop, p, order, 1.0); }

TrajectoryObject lin1p(double start, double stop, int p, int order, Pair pt, double m) {
    require_domain(start, stop);
    if (p < 1) fail(msg::p_below_one, p);
    require_order(order);
    Segment s = segment(start, stop, p);
    {
        // A Bezier segment whose control points lie on a line at equally
        // spaced abscissae is that line.  The values are taken from the
        // point's, not from the line's intercept at 0: far from 0 the
        // intercept and the products that cancel it would lose the line's
        // digits (a line on [1e9, 1e9 + 1] got bends of 1e-7).
        ReleaseForLongWork unlocked(p);
        double* P = s.P.get();
        for (int i = 0; i <= p; ++i) P[i] = pt.second + ((start - pt.first) + i * (stop - start) / p) * m;
    }
    return wrap_buffers(s.U, s.P, p, p, order);
}

TrajectoryObject lin2p(double start, double stop, int p, int order, Pair pt1, Pair pt2) {
    if (pt1.first == pt2.first) raise(PyExc_ZeroDivisionError, msg::infinite_slope);
    return lin1p(start, stop, p, order, pt1, (pt2.second - pt1.second) / (pt2.first - pt1.first));
}

// Bezier control points of the polynomial sum a[r] t^r, t in [0, 1], in
// place: P[i] = sum_{r <= i} C(i, r) / C(d, r) a[r].  The weights lie in
// [0, 1] and are built as products of factors (i - r) / (d - r) <= 1, so no
// binomial is ever formed: no overflow and no cancellation between large
// terms, unlike the inversion of the triangular Bezier matrix.  P[i] needs
// a[0..i] only, so i runs downwards.
void power_to_bezier(int d, double* a) {
    for (int i = d; i >= 0; --i) {
        double w = 1.0, sum = a[0];
        for (int r = 0; r < i; ++r) {
            w *= static_cast<double>(i - r) / (d - r);
            sum += w * a[r + 1];
        }
        a[i] = sum;
    }
}

TrajectoryObject polytraj(double start, double stop, int p, int order, CVec c, OptDimless dimless) {
    require_domain(start, stop);
    if (c.size == 0) fail(msg::c_empty);
    const std::int64_t d = c.size - 1;
    if (d > p) fail(msg::p_below_poly_degree, p);
    require_order(order);
    if (d == 0) return constant(start, stop, p, order, c[0]);
    // c[0] x + c[1] in the absolute abscissa x.
    if (d == 1) return lin1p(start, stop, p, order, Pair{0.0, c[1]}, c[0]);
    const int q = static_cast<int>(d);
    Segment s = segment(start, stop, q);
    {
        ReleaseForLongWork unlocked(static_cast<Py_ssize_t>(d * d));
        // Power coefficients in t = (x - start) / b, or in t itself when the
        // coefficients are meant for the normalised domain.
        const double b = stop - start;
        double* a = s.P.get();
        for (int r = 0; r <= q; ++r) a[r] = dimless.get() ? c[q - r] : c[q - r] * std::pow(b, r);
        power_to_bezier(q, a);
    }
    TrajectoryObject t = wrap_buffers(s.U, s.P, q, q, order);
    if (q == p) return t;
    PyObject* raised = classes.trajectory1d->degelev(t.value.ptr(), OptNu{1, p - q});
    if (raised == nullptr) throw nb::python_error();
    return {nb::steal(raised)};
}

// The derivatives of orders 1..nu of amp sin((k x + ph) pi / 180) at x.
void diffsin(std::int64_t nu, double* values, double x, double amp, double ph, double k) noexcept {
    const double theta = (x * k + ph) * kPi / 180.0;
    const double kr = k * kPi / 180.0;
    const double s = std::sin(theta), co = std::cos(theta);
    const double cycle[4] = {s, co, -s, -co};  // sin(theta + i * 90 degrees)
    for (std::int64_t i = 1; i <= nu; ++i) values[i - 1] = amp * std::pow(kr, static_cast<double>(i)) * cycle[i % 4];
}

// fp[i] = amp sin((k xp[i] + ph) pi / 180), and the derivatives of orders
// 1..nu at both ends into Ds and De.
void sample_sine(CVec xp, std::int64_t nu, double* fp, double* Ds, double* De, double amp, double ph, double k) noexcept {
    ReleaseForLongWork unlocked(xp.size);
    for (Py_ssize_t i = 0; i < xp.size; ++i) fp[i] = amp * std::sin((k * xp[i] + ph) * kPi / 180.0);
    diffsin(nu, Ds, xp[0], amp, ph, k);
    diffsin(nu, De, xp[xp.size - 1], amp, ph, k);
}

// The optional values of sintraj and costraj, the ones not given at their
// defaults.
SinOpt complete(SinOpt opt) {
    const SinOpt defaults;
    return {4, opt.given >= 1 ? opt.amp : defaults.amp, opt.given >= 2 ? opt.ph : defaults.ph,
            opt.given >= 3 ? opt.k : defaults.k, opt.given >= 4 ? opt.nu : defaults.nu};
}

TrajectoryObject sintraj(CVec xp, int p, int order, SinOpt given) {
    const SinOpt opt = complete(given);
    const double amp = opt.amp, ph = opt.ph, k = opt.k;
    std::int64_t nu = opt.nu;
    const std::int64_t L = xp.size;
    if (nu == -1) nu = std::int64_t(p) - 1;
    else if (nu < 0) fail(msg::nu_positive);
    require_increasing(xp);
    if (p <= 0) fail(msg::p_negative);
    if (std::int64_t(p) + 1 > L) fail(msg::degree_vs_points);
    require_order(order);
    // The checks of the interpolation that follows, made before the samples
    // and the end derivatives are allocated.
    require_finite_ends(xp);
    if (p <= 1) fail(msg::p_inconsistent);
    if (nu >= p) fail(msg::max_derivative);
    Buffer fp = Buffer::allocate(L), Ds = Buffer::allocate(nu), De = Buffer::allocate(nu);
    sample_sine(xp, nu, fp.get(), Ds.get(), De.get(), amp, ph, k);
    return interpolate_with_end_derivatives(xp, view_of(fp), p, order, view_of(Ds), view_of(De));
}

TrajectoryObject costraj(CVec xp, int p, int order, SinOpt given) {
    SinOpt opt = complete(given);
    opt.ph += 90.0;
    return sintraj(xp, p, order, opt);
}

// The Python faces of the factories with optional arguments.
template <TrajectoryObject (*F)(CVec, int, int, SinOpt)>
TrajectoryObject sine_face(CVec xp, int p, int order, Opt<double, 1.0> amp, Opt<double, 0.0> ph, Opt<double, 1.0> k,
                           Opt<int, -1> nu) {
    return F(xp, p, order, SinOpt{4, amp.get(), ph.get(), k.get(), nu.get()});
}

TrajectoryObject polytraj_face(double start, double stop, int p, int order, CVec c, Opt<bool, false> dimless) {
    return polytraj(start, stop, p, order, c, OptDimless{1, dimless.get() ? 1 : 0});
}

}  // namespace

void register_analytic(Exporter& ex) {
    VIDEVO_TRAJMAKE_DEF(ex, constant, constant,
        "A new trajectory of degree p that is the constant k on [start, stop]: one\n"
        "Bezier segment (knots p + 1 times start, p + 1 times stop) whose control\n"
        "points all equal k.  start = stop is accepted; the result then evaluates\n"
        "to k there.\n\n"
        "Raises ValueError, in this order: \"'stop' must be greater than 'start'\";\n"
        "\"'start' and 'stop' must be finite\"; \"'p' must be greater than or equal\n"
        "to zero: <p>\"; the order message.  MemoryError for a degree whose knot\n"
        "vector the library cannot hold.",
        "start", "stop", "p", "order", "k");
    VIDEVO_TRAJMAKE_DEF(ex, zeros, zeros,
        "constant(start, stop, p, order, 0.0): the zero trajectory of degree p.",
        "start", "stop", "p", "order");
    VIDEVO_TRAJMAKE_DEF(ex, ones, ones,
        "constant(start, stop, p, order, 1.0): the trajectory of degree p that is 1.",
        "start", "stop", "p", "order");
    VIDEVO_TRAJMAKE_DEF(ex, lin1p, lin1p,
        "A new trajectory of degree p on [start, stop] that is the straight line\n"
        "through pt = (x0, y0) with slope m (x0 may lie outside the domain).\n\n"
        "Raises ValueError, in this order: \"'stop' must be greater than 'start'\";\n"
        "\"'start' and 'stop' must be finite\"; \"'p' must be at least 1: <p>\"; the\n"
        "order message.",
        "start", "stop", "p", "order", "pt", "m");
    VIDEVO_TRAJMAKE_DEF(ex, lin2p, lin2p,
        "A new trajectory of degree p on [start, stop] that is the straight line\n"
        "through the points pt1 and pt2.\n\n"
        "Raises ZeroDivisionError(\"infinite slope is not allowed\") when the two\n"
        "abscissae are equal (before anything else), then as lin1p.",
        "start", "stop", "p", "order", "pt1", "pt2");
    faces::Face<&sine_face<sintraj>>::def_python(ex.module(), "sintraj",
        "A new trajectory of degree p through amp * sin((k x + ph) pi / 180) sampled\n"
        "at the increasing abscissae xp (angles in degrees: k is in degrees per unit\n"
        "of x), with its exact derivatives of orders 1..nu prescribed at both ends.\n\n"
        "Parameters\n"
        "----------\n"
        "xp : float64 array\n"
        "    Increasing abscissae, at least p + 1 of them.\n"
        "p : int\n"
        "    Degree, at least 2.\n"
        "order : int\n"
        "    Derivative order of the quantity.\n"
        "amp, ph, k : float, defaults 1.0, 0.0, 1.0\n"
        "    Amplitude, phase (degrees) and multiplier (degrees per unit of x).\n"
        "nu : int, default -1\n"
        "    Number of end derivatives; -1 stands for p - 1.\n\n"
        "Returns\n"
        "-------\n"
        "Trajectory1d\n"
        "    As fromdatawaed(xp, samples, p, order, Ds, De).\n\n"
        "Raises\n"
        "------\n"
        "ValueError\n"
        "    In this order, before anything is allocated: \"'nu' must be greater than\n"
        "    zero\" (nu < -1); \"'xp' must be increasing\"; \"'p' must be greater than\n"
        "    or equal to zero\" (p <= 0); \"degree inconsistent with the number of data\n"
        "    points\"; the order message; \"'xp' must be finite\"; \"inconsistent 'p'\n"
        "    value\" (p = 1); \"the maximum constrained derivative must be less than\n"
        "    'p'\".",
        {"xp", "p", "order", "amp", "ph", "k", "nu"});
    VIDEVO_TRAJMAKE_EXPORT_ONLY(ex, sintraj, sintraj);
    faces::Face<&sine_face<costraj>>::def_python(ex.module(), "costraj",
        "sintraj(xp, p, order, amp, ph + 90.0, k, nu): the cosine, as a sine shifted\n"
        "by 90 degrees.  Raises as sintraj.",
        {"xp", "p", "order", "amp", "ph", "k", "nu"});
    VIDEVO_TRAJMAKE_EXPORT_ONLY(ex, costraj, costraj);
    faces::Face<&polytraj_face>::def_python(ex.module(), "polytraj",
        "A new trajectory of degree p on [start, stop] that is a polynomial, exactly.\n\n"
        "Parameters\n"
        "----------\n"
        "start, stop : float\n"
        "    The domain.\n"
        "p : int\n"
        "    Degree of the result, at least the degree len(c) - 1 of the polynomial.\n"
        "order : int\n"
        "    Derivative order of the quantity.\n"
        "c : float64 array\n"
        "    Coefficients from the highest power down to the constant term.\n"
        "dimless : object, default False\n"
        "    For three or more coefficients: when true (by its truth value) the\n"
        "    polynomial is in the normalised parameter t = (x - start) / (stop - start),\n"
        "    otherwise in the local abscissa x - start.  One coefficient gives the\n"
        "    constant c[0]; two give the line c[0] x + c[1] in the absolute abscissa x.\n\n"
        "Returns\n"
        "-------\n"
        "Trajectory1d\n"
        "    One Bezier segment of degree len(c) - 1, raised to degree p with degelev.\n\n"
        "Raises\n"
        "------\n"
        "ValueError\n"
        "    In this order: \"'stop' must be greater than 'start'\"; \"'start' and\n"
        "    'stop' must be finite\"; \"'c' must not be empty\"; \"'p' must be greater\n"
        "    than or equal to the degree of the polynomial: <p>\"; the order message;\n"
        "    for one or two coefficients the checks of constant and lin1p; the errors\n"
        "    of degelev.",
        {"start", "stop", "p", "order", "c", "dimless"});
    VIDEVO_TRAJMAKE_EXPORT_ONLY(ex, polytraj, polytraj);
}

}  // namespace videvo::trajmake
