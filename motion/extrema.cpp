// Exact extrema of a trajectory's derivatives: per knot span, the derivative
// in Bernstein form, its critical points, and the span ends.
#include "motion.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cmath>
#include <limits>
#include <vector>

namespace videvo::motion {
namespace {

constexpr double eps = std::numeric_limits<double>::epsilon();

// Control points of the nu-th derivative that act on the non-empty span
// [U[s], U[s+1]] of the B-spline (U, P, p) (NURBS Book A3.3 restricted to the
// span): T[0..p-nu], with T holding p + 1 values.  Every denominator covers
// the span, so no knot multiplicity can make it vanish.
void span_derivative_points(const double* U, const double* P, int p, int s, int nu, double* T) {
    std::copy(P + s - p, P + s + 1, T);
    for (int k = 1; k <= nu; ++k)
        for (int i = 0; i <= p - k; ++i) T[i] = (p - k + 1) * (T[i + 1] - T[i]) / (U[s + i + 1] - U[s - p + i + k]);
}

// Bernstein coefficients c[0..q] on the span [V[s], V[s+1]] of the B-spline
// of degree q with knots V whose control points on that span are Q[0..q]:
// c[i] is the blossom at (V[s] q - i times, V[s+1] i times), by de Boor's
// algorithm with these arguments; every step is a convex combination.
void span_bernstein(const double* V, const double* Q, int q, int s, double* c, double* d) {
    const double a = V[s], b = V[s + 1];
    for (int i = 0; i <= q; ++i) {
        std::copy(Q, Q + q + 1, d);
        for (int r = 1; r <= q; ++r) {
            const double u = r <= q - i ? a : b;
            for (int j = q; j >= r; --j) {
                const int k = s - q + j;
                const double alpha = (u - V[k]) / (V[k + q + 1 - r] - V[k]);
                d[j] = (1.0 - alpha) * d[j - 1] + alpha * d[j];
            }
        }
        c[i] = d[q];
    }
}

// Value of the Bernstein polynomial c[0..deg] at t in [0, 1] (de Casteljau),
// and its slope d/dt when asked.
double bernstein_value(const double* c, int deg, double t, double* w, double* slope = nullptr) {
    std::copy(c, c + deg + 1, w);
    for (int r = 1; r < deg; ++r)
        for (int i = 0; i <= deg - r; ++i) w[i] = (1.0 - t) * w[i] + t * w[i + 1];
    if (deg == 0) {
        if (slope) *slope = 0.0;
        return w[0];
    }
    if (slope) *slope = deg * (w[1] - w[0]);
    return (1.0 - t) * w[0] + t * w[1];
}

int sign(double v) { return (v > 0.0) - (v < 0.0); }

// Roots in (0, 1) of a Bernstein polynomial f of degree r, in increasing
// order.  Degrees 1 and 2 in closed form; above, Bernstein subdivision
// isolates the roots (a sub-interval whose coefficients change sign once holds
// exactly one) and a bracketed Newton iteration finishes each one.  Clusters
// that subdivision cannot separate within the depth or work budget give the
// midpoint of their interval, which is all an extremum search needs there.
class BernsteinRoots {
public:
    explicit BernsteinRoots(int r) : r_(r), w_(r + 1), levels_(std::size_t(kDepth + 2) * 2 * (r + 1)) {}

    // `flat`: coefficients this small mean a polynomial constant to rounding.
    void find(const double* f, double flat, std::vector<double>& roots) {
        f_ = f;
        flat_ = flat;
        out_ = &roots;
        if (r_ == 1) linear();
        else if (r_ == 2) quadratic();
        else if (r_ > 2) {
            budget_ = 64 * kDepth * (r_ + 1);
            isolate(f, 0.0, 1.0, 0);
        }
    }

private:
    static constexpr int kDepth = 60;

    void push(double t) {
        if (t > 0.0 && t < 1.0) out_->push_back(t);
    }

    void linear() {
        if (sign(f_[0]) * sign(f_[1]) < 0) push(f_[0] / (f_[0] - f_[1]));
    }

    // f = C + B t + A t^2 in the power basis; the root formula avoids the
    // cancellation of -B + sqrt(disc), then one Newton step on the Bernstein
    // form removes the error of the conversion.
    void quadratic() {
        const double A = f_[0] - 2.0 * f_[1] + f_[2], B = 2.0 * (f_[1] - f_[0]), C = f_[0];
        const double disc = B * B - 4.0 * A * C;
        if (disc < 0.0) return;
        const double q = -0.5 * (B + std::copysign(std::sqrt(disc), B));
        if (q == 0.0) return;
        double t1 = C / q, t2 = A != 0.0 ? q / A : 2.0;
        if (t1 > t2) std::swap(t1, t2);
        for (double t : {t1, t2}) {
            if (!(t > 0.0 && t < 1.0)) continue;
            double slope = 0.0;
            const double v = bernstein_value(f_, 2, t, w_.data(), &slope);
            if (slope != 0.0) {
                const double next = t - v / slope;
                if (std::abs(next - t) < 1e-6) t = next;
            }
            push(t);
        }
    }

    void isolate(const double* c, double lo, double hi, int level) {
        int changes = 0, first = 0, last = 0;
        double big = 0.0;
        for (int i = 0; i <= r_; ++i) {
            big = std::max(big, std::abs(c[i]));
            const int s = sign(c[i]);
            if (s != 0) {
                if (last != 0 && s != last) ++changes;
                if (first == 0) first = s;
                last = s;
            }
        }
        if (changes == 0) return;
        // Coefficients at rounding level that still change sign (near a
        // multiple root, where subdivision shrinks them fast): the midpoint
        // stands for the roots inside.
        if (big <= flat_) {
            push(0.5 * (lo + hi));
            return;
        }
        // One change: exactly one root inside (lo, hi), where f starts with
        // the sign of the first non-zero coefficient (f may vanish at lo).
        if (changes == 1) {
            push(bracketed_newton(lo, hi, first));
            return;
        }
        if (level >= kDepth || --budget_ <= 0 || hi - lo <= 4 * eps) {
            push(0.5 * (lo + hi));
            return;
        }
        // Halves at 1/2: the two edges of the de Casteljau triangle.
        double* left = &levels_[std::size_t(level) * 2 * (r_ + 1)];
        double* right = left + (r_ + 1);
        std::copy(c, c + r_ + 1, right);
        for (int k = 1; k <= r_; ++k) {
            left[k - 1] = right[0];
            for (int i = 0; i <= r_ - k; ++i) right[i] = 0.5 * (right[i] + right[i + 1]);
        }
        left[r_] = right[0];
        const double mid = 0.5 * (lo + hi);
        // (the deeper levels keep their halves in their own slots)
        isolate(left, lo, mid, level + 1);
        if (right[0] == 0.0) push(mid);
        isolate(right, mid, hi, level + 1);
    }

    // The one root of f inside (lo, hi), f having the sign `slo` on its left:
    // Newton steps that stay inside the shrinking bracket, bisection otherwise.
    double bracketed_newton(double lo, double hi, int slo) {
        double t = 0.5 * (lo + hi);
        for (int iter = 0; iter < 200; ++iter) {
            double slope = 0.0;
            const double v = bernstein_value(f_, r_, t, w_.data(), &slope);
            if (v == 0.0) return t;
            (sign(v) == slo ? lo : hi) = t;
            double next = slope != 0.0 ? t - v / slope : lo;
            if (!(next > lo && next < hi)) next = 0.5 * (lo + hi);
            if (std::abs(next - t) <= 2 * eps || hi - lo <= 2 * eps) return next;
            t = next;
        }
        return t;
    }

    int r_;
    std::vector<double> w_, levels_;
    const double* f_ = nullptr;
    double flat_ = 0.0;
    std::vector<double>* out_ = nullptr;
    long budget_ = 0;
};

// Running minimum and maximum; the first of equal values is kept.
struct Tally {
    Extrema e{std::numeric_limits<double>::infinity(), 0.0, -std::numeric_limits<double>::infinity(), 0.0};
    void see(double v, double x) {
        if (v < e.lo) e.lo = v, e.xlo = x;
        if (v > e.hi) e.hi = v, e.xhi = x;
    }
};

}  // namespace

Extrema extrema_of(const Traj& t, int nu) {
    const int p = t.p(), n = t.n();
    const double* U = t.U().data;
    const double* P = t.P().data;
    if (nu > p) return {0.0, t.start(), 0.0, t.start()};
    const int q = p - nu;  // degree of the derivative on a span
    std::vector<double> T(p + 1), c(q + 1), d(q + 1), slope(std::max(q, 1)), w(q + 1);
    std::vector<double> roots;
    BernsteinRoots critical(q - 1);
    Tally tally;
    for (int s = p; s <= n; ++s) {
        const double a = U[s], b = U[s + 1];
        if (!(b > a)) continue;
        // Derivative control points first: differences of the position's
        // Bernstein coefficients on a short span would cancel.
        span_derivative_points(U, P, p, s, nu, T.data());
        span_bernstein(U + nu, T.data(), q, s - nu, c.data(), d.data());
        double big = 0.0;
        bool number = true;
        for (int k = 0; k <= q; ++k) {
            big = std::max(big, std::abs(c[k]));
            number = number && c[k] == c[k];
        }
        if (!number) {  // the first span that is not a number is both extrema
            const double nan = std::numeric_limits<double>::quiet_NaN();
            return {nan, a, nan, a};
        }
        tally.see(c[0], a);
        if (q >= 1) {
            for (int k = 0; k < q; ++k) slope[k] = c[k + 1] - c[k];
            roots.clear();
            critical.find(slope.data(), 4 * eps * big / q, roots);
            for (double r : roots) tally.see(bernstein_value(c.data(), q, r, w.data()), a + r * (b - a));
        }
        tally.see(c[q], b);
    }
    if (!(tally.e.lo <= tally.e.hi)) {
        // A one-point domain: the value the evaluation gives there.
        double x = t.start(), v = 0.0;
        check_entry(ck.dsplcev(CVec(&x, 1), t.U(), t.P(), p, nu, nu, Mat{&v, 1, 1}));
        return {v, x, v, x};
    }
    return tally.e;
}

namespace {

nb::tuple extrema(nb::handle traj, int nu) {
    const Traj t = Traj::from(traj);
    require_non_negative(nu, "nu");
    const Extrema e = extrema_of(t, nu);
    return nb::make_tuple(e.lo, e.xlo, e.hi, e.xhi);
}

// The name of the quantity of derivative order q.
std::string quantity(std::int64_t q) {
    static const char* const names[] = {"position", "velocity", "acceleration", "jerk", "snap", "crackle", "pop"};
    return q < 7 ? names[q] : "derivative " + std::to_string(q);
}

nb::dict peaks(nb::handle traj) {
    const Traj t = Traj::from(traj);
    const std::int64_t order = t.rec->order;
    nb::dict result;
    for (std::int64_t q = std::max<std::int64_t>(order, 1); q <= std::max<std::int64_t>(order, 3); ++q) {
        const Extrema e = extrema_of(t, static_cast<int>(q - order));
        const bool low = std::abs(e.lo) > std::abs(e.hi) || (std::abs(e.lo) == std::abs(e.hi) && e.xlo < e.xhi);
        result[quantity(q).c_str()] = low ? nb::make_tuple(std::abs(e.lo), e.xlo) : nb::make_tuple(std::abs(e.hi), e.xhi);
    }
    return result;
}

}  // namespace

void register_extrema(nb::module_& m) {
    m.def("extrema", &extrema, nb::arg("t"), nb::arg("nu") = 0,
        nb::sig("def extrema(t: videvo.trajdata.Trajectory1d, nu: int = 0) -> tuple[float, float, float, float]"),
        "The exact minimum and maximum of the nu-th derivative of a trajectory over\n"
        "its whole domain, and where they occur.\n\n"
        "Per knot span the derivative is a polynomial: its critical points (roots\n"
        "of the next derivative, in closed form up to degree 2, otherwise by\n"
        "Bernstein subdivision and Newton's method) and the span ends are the\n"
        "candidates.  Where the derivative jumps at a knot, both one-sided values\n"
        "count.\n\n"
        "Parameters\n"
        "----------\n"
        "t : Trajectory1d\n"
        "nu : int, default 0\n"
        "    Derivative order (0: the trajectory itself).\n\n"
        "Returns\n"
        "-------\n"
        "(lo, xlo, hi, xhi)\n"
        "    The minimum lo at xlo and the maximum hi at xhi (the first place for\n"
        "    equal values); for nu > p the derivative is 0 everywhere and both\n"
        "    places are t.start.\n\n"
        "Raises\n"
        "------\n"
        "ValueError\n"
        "    \"'t' is an empty trajectory\"; \"'nu' must be non-negative number\".\n"
        "TypeError\n"
        "    t not a Trajectory1d.");
    m.def("peaks", &peaks, nb::arg("t"),
        nb::sig("def peaks(t: videvo.trajdata.Trajectory1d) -> dict[str, tuple[float, float]]"),
        "The peak magnitudes of velocity, acceleration and jerk and when they occur.\n\n"
        "Parameters\n"
        "----------\n"
        "t : Trajectory1d\n"
        "    Of order o: its nu-th derivative is the quantity of order o + nu.\n\n"
        "Returns\n"
        "-------\n"
        "dict\n"
        "    name -> (max |value|, time), for the quantities from order max(o, 1)\n"
        "    to order max(o, 3): 'velocity', 'acceleration', 'jerk' (then 'snap',\n"
        "    'crackle', 'pop', 'derivative <k>'), each from extrema(t, nu).\n\n"
        "Raises\n"
        "------\n"
        "ValueError\n"
        "    \"'t' is an empty trajectory\".");
}

}  // namespace videvo::motion
