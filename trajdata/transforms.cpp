// Domain transformations: shifts and scalings of the time axis, in place on
// the knot vector (the control points and the shape stay).
#include "overrides.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <optional>

namespace videvo::trajdata {
namespace {

// U[i] += x for every knot; nothing without knots.
void shift(Trajectory1dRecord& r, double x) {
    if (r._knotvector == nullptr) return;
    double* U = r._knotvector;
    const std::int64_t count = r.knot_count();
    for (std::int64_t i = 0; i < count; ++i) U[i] += x;
    r.knots_changed();
}

// The knot u mapped to U[0] + k (u - U[0]), then shifted by d, as the
// primitives compute it: k u - (k - 1) U[0] + d.
struct Remap {
    double k, dx, d;
    Remap(double k_, double first, double d_) : k(k_), dx((k_ - 1.0) * first), d(d_) {}
    double operator()(double u) const { return d == 0.0 ? k * u - dx : (k * u - dx) + d; }
};

// Where a remap puts the clamped ends: the first p + 1 knots at `start`
// (by default U[0] + d), the last p + 1 at `stop` when it is given (else
// where the formula puts them).
struct Ends {
    std::optional<double> start, stop;
    double first(const double* U, double d) const { return start.value_or(d == 0.0 ? U[0] : U[0] + d); }
};

// Scales about U[0] and shifts by d, the ends exactly where `ends` puts them:
// the formula drifts by an ulp on them, which would unclamp the vector or
// make it decrease (or miss a domain asked for).  A stop that the nearest
// interior knot rounded onto or past is left to the formula.
void remap(Trajectory1dRecord& r, double k, double d, Ends ends = {}) {
    if (r._knotvector == nullptr) return;
    double* U = r._knotvector;
    const std::int64_t count = r.knot_count();
    const Remap f(k, U[0], d);
    const double first = ends.first(U, d);
    const std::int64_t clamped = std::min<std::int64_t>(r.p + 1, count);
    for (std::int64_t i = clamped; i < count; ++i) U[i] = f(U[i]);
    for (std::int64_t i = 0; i < clamped; ++i) U[i] = first;
    if (ends.stop && U[count - clamped - 1] < *ends.stop) std::fill(U + count - clamped, U + count, *ends.stop);
    r.knots_changed();
}

// remap, refused (knots unchanged) when the new knots would not be finite or
// the domain would have no length.
void checked_remap(Traj self, double k, double d, Ends ends = {}) {
    Trajectory1dRecord& r = *self.rec;
    const double* U = r._knotvector;
    const std::int64_t count = r.knot_count();
    const Remap f(k, U[0], d);
    const double first = ends.first(U, d);
    bool finite = std::isfinite(first);
    for (std::int64_t i = r.p + 1; i < count; ++i) finite = finite && std::isfinite(f(U[i]));
    if (!finite || !(f(U[count - 1]) > first))
        raise(PyExc_ValueError, "the new knots would not be finite or the domain would be empty");
    remap(r, k, d, ends);
}

// ---- the machine-level primitives ------------------------------------------------

void c_shift(Self self, double x) { shift(*Traj::from(self).rec, x); }

void c_hscale(Self self, double k) { remap(*Traj::from(self).rec, k, 0.0); }

// ---- the methods -----------------------------------------------------------------

void rshift(Traj self, double x) {
    self.require_data();
    shift(*self.rec, x);
}

void ashift(Traj self, double x) {
    self.require_data();
    shift(*self.rec, x - domain(self).start);
}

void hscale(Traj self, double k) {
    self.require_data();
    if (!(std::isfinite(k) && k > 0.0))
        raise(PyExc_ValueError, "'k' must be a finite number greater than zero: " + repr_double(k));
    checked_remap(self, k, 0.0);
}

void adapt(Traj self, double start, double stop) {
    self.require_data();
    if (stop <= start) raise(PyExc_ValueError, "'stop' must be strictly greater than 'start'");
    const Domain now = domain(self);
    self.require_data();  // (a subclass's start or stop may have run any code)
    const double length = now.stop - now.start;
    if (length == 0.0) raise(PyExc_ZeroDivisionError, "float division by zero");
    if (!std::isfinite(start) || !std::isfinite(stop))
        raise(PyExc_ValueError, "'start' and 'stop' must be finite numbers");
    // Scaling keeps the start, which the shift then moves.  The clamped
    // knots that bound the domain (not a subclass's narrower one) land on
    // start and stop exactly, so that trajectories adapted to the same domain
    // can be added.
    const CVec U = self.knots();
    Ends ends;
    if (now.start == U[0]) ends.start = start;
    if (now.stop == U[U.size - 1]) ends.stop = stop;
    checked_remap(self, (stop - start) / length, start == now.start ? 0.0 : start - now.start, ends);
}

}  // namespace

void register_transforms(TrajectoryClass& cls) {
    Trajectory1dMethods& table = trajectory1d_methods;
    table.c_shift = &faces::Face<&c_shift>::machine;
    table.c_hscale = &faces::Face<&c_hscale>::machine;
    def_method<&rshift>(cls, table, &Trajectory1dMethods::rshift, "rshift",
        "Translate the trajectory by x along the time axis, in place: every knot\n"
        "moves by x (the domain becomes [start + x, stop + x]).  Not checked: a\n"
        "non-finite x gives non-finite knots, which other operations refuse.\n"
        "Raises ValueError on an empty trajectory.",
        {"x"});
    def_method<&ashift>(cls, table, &Trajectory1dMethods::ashift, "ashift",
        "Translate the trajectory in place so that its domain starts at x.\n"
        "Not checked, as rshift.  Raises ValueError on an empty trajectory.",
        {"x"});
    def_method<&hscale>(cls, table, &Trajectory1dMethods::hscale, "hscale",
        "Stretch the time axis by the factor k about start, in place: each knot u\n"
        "becomes start + k (u - start); the first knots stay start exactly.  The\n"
        "values are kept (t(start + k (x - start)) afterwards is t(x) before) and\n"
        "the derivative of order nu is divided by k**nu.\n\n"
        "Raises ValueError for k not finite or not positive, and when the new\n"
        "knots would not be finite or the domain empty; the trajectory is then\n"
        "unchanged.",
        {"k"});
    def_method<&adapt>(cls, table, &Trajectory1dMethods::adapt, "adapt",
        "Map the trajectory onto the domain [start, stop] in place, every interior\n"
        "knot keeping its relative position; the domain is then [start, stop]\n"
        "exactly.\n\n"
        "Raises, in this order and leaving the trajectory unchanged:\n"
        "ValueError(\"'stop' must be strictly greater than 'start'\"),\n"
        "ZeroDivisionError(\"float division by zero\") when the current domain has\n"
        "no length, ValueError for non-finite arguments or when the new knots would\n"
        "not be finite or the domain empty.",
        {"start", "stop"});
}

}  // namespace videvo::trajdata
