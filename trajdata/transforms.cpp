// Domain transformations: shifts and scalings of the time axis, in place on
// the knot vector (the control points and the shape stay).
#include "overrides.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

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

// Scales about U[0] and shifts by d.  The first p + 1 knots stay exactly
// U[0] + d: the formula drifts by an ulp on them, which would unclamp the
// vector or make it decrease.
void remap(Trajectory1dRecord& r, double k, double d) {
    if (r._knotvector == nullptr) return;
    double* U = r._knotvector;
    const std::int64_t count = r.knot_count();
    const Remap f(k, U[0], d);
    const double first = d == 0.0 ? U[0] : U[0] + d;
    const std::int64_t clamped = std::min<std::int64_t>(r.p + 1, count);
    for (std::int64_t i = clamped; i < count; ++i) U[i] = f(U[i]);
    for (std::int64_t i = 0; i < clamped; ++i) U[i] = first;
    r.knots_changed();
}

// remap, refused (knots unchanged) when the new knots would not be finite or
// the domain would have no length.
void checked_remap(Traj self, double k, double d) {
    Trajectory1dRecord& r = *self.rec;
    const double* U = r._knotvector;
    const std::int64_t count = r.knot_count();
    const Remap f(k, U[0], d);
    const double first = d == 0.0 ? U[0] : U[0] + d;
    bool finite = std::isfinite(first);
    for (std::int64_t i = r.p + 1; i < count; ++i) finite = finite && std::isfinite(f(U[i]));
    if (!finite || !(f(U[count - 1]) > first))
        raise(PyExc_ValueError, "the new knots would not be finite or the domain would be empty");
    remap(r, k, d);
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
    // Scaling keeps the start, which the shift then moves.
    Trajectory1dRecord& r = *self.rec;
    const std::int64_t count = r.knot_count(), end = count - r.p - 1;  // (the first of the last p + 1)
    const bool starts = now.start == r._knotvector[0], ends = now.stop == r._knotvector[count - 1];
    checked_remap(self, (stop - start) / length, start == now.start ? 0.0 : start - now.start);
    // The clamped knots that bound the domain land on start and stop exactly
    // (the shift and the scaling may miss them by an ulp), so that
    // trajectories adapted to the same domain can be added; unless the
    // nearest other knot rounded onto the end or past it.
    double* U = r._knotvector;
    const bool first = starts && U[0] != start && U[r.p + 1] > start;
    const bool last = ends && U[end] != stop && U[end - 1] < stop;
    if (first) std::fill(U, U + r.p + 1, start);
    if (last) std::fill(U + end, U + count, stop);
    if (first || last) r.knots_changed();
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
