// Calculus and knot operations: new trajectories from the curve module's exact
// transformations of the control points.  The source is only read.
#include "overrides.h"

#include <closeness.h>
#include <elevation.h>

#include <cstdint>
#include <string>

namespace videvo::trajdata {
namespace {

// ---- sizes of results -----------------------------------------------------------

// A result of degree p with control points P[0..n]: its sizes, computed in 64
// bits by the caller, must fit the record's 32-bit fields and the curve
// module's int indices; checked before anything is allocated.
void require_representable(std::int64_t p, std::int64_t n) {
    if (n + p + 2 > INT32_MAX)
        raise(PyExc_OverflowError, "the result would have too many control points: " + std::to_string(n + 1));
}

Vec view(const Buffer& b) { return {b.get(), static_cast<Py_ssize_t>(b.size())}; }

[[noreturn]] void nu_below_zero(int nu) {
    raise(PyExc_ValueError, "'nu' must be greater than or equal to zero: " + std::to_string(nu));
}

void require_r(int r) {
    if (r < 0) raise(PyExc_ValueError, "'r' must be non-negative number");
}

// ---- derivative curves ------------------------------------------------------------

TrajectoryObject derivative(Traj self, OptNu nu_arg) {
    const int nu = nu_arg.get();
    const CVec U = self.knots(), P = self.cpts();
    if (nu < 0) nu_below_zero(nu);
    const Trajectory1dRecord& r = *self.rec;
    const std::uint64_t order = std::uint64_t(r.order) + static_cast<std::uint64_t>(nu);
    if (order > UINT32_MAX) raise(PyExc_OverflowError, "the order of the result would exceed 4294967295");
    Buffer UK = Buffer::allocate(U.size), PK = Buffer::allocate(P.size);
    // nu > p is refused by the curve module.
    const int nk = ck.dsplcpts2(U, P, r.p, nu, view(UK), view(PK));
    if (nk < 0) throw nb::python_error();
    const int q = r.p - nu;
    UK.shrink(std::int64_t(nk) + q + 2);
    PK.shrink(std::int64_t(nk) + 1);
    return adopt(UK, PK, q, nk, static_cast<unsigned>(order));
}

TrajectoryObject antiderivative(Traj self, OptNu nu_arg) {
    const int nu = nu_arg.get();
    const CVec U = self.knots(), P = self.cpts();
    if (nu < 0) nu_below_zero(nu);
    const Trajectory1dRecord& r = *self.rec;
    if (r.order < static_cast<unsigned>(nu)) raise(PyExc_ValueError, "negative 'order' not allowed");
    const std::int64_t q = std::int64_t(r.p) + nu, nk = std::int64_t(r.n) + nu;
    require_representable(q, nk);
    Buffer UK = Buffer::allocate(U.size + 2 * std::int64_t(nu)), PK = Buffer::allocate(nk + 1);
    check_entry(ck.asplcpts(U, P, r.p, nu, view(UK), view(PK)));
    return adopt(UK, PK, static_cast<int>(q), static_cast<int>(nk), r.order - static_cast<unsigned>(nu));
}

// ---- degree elevation -----------------------------------------------------------

// Sized by the kernel's own run count (the distinct interior knot values plus
// the end value): each of the runs + 1 distinct values gains nu copies and the
// curve nu control points per run.  Where the kernel refuses the curve or nu,
// the source's sizes serve and the curve module raises.
TrajectoryObject degelev(Traj self, OptNu nu_arg) {
    const int nu = nu_arg.get();
    const CVec U = self.knots(), P = self.cpts();
    if (nu < 0) raise(PyExc_ValueError, "'nu' must be non-negative number");
    const Trajectory1dRecord& r = *self.rec;
    const int runs = elevation_runs(r.n, r.p, U.data);
    std::int64_t q = r.p, nh = r.n;
    if (nu >= 1 && runs >= 0) {
        q += nu;
        nh += std::int64_t(nu) * runs;
        // (the elevation's own cap, which the other operations do not have)
        if (q > kMaxElevatedDegree)
            raise(PyExc_ValueError, "the degree of the result would exceed " + std::to_string(kMaxElevatedDegree) +
                                        ": " + std::to_string(q));
        require_representable(q, nh);
    }
    Buffer Uh = Buffer::allocate(nh + q + 2), Q = Buffer::allocate(nh + 1);
    check_entry(ck.degelevc(U, P, r.p, nu, view(Uh), view(Q)));
    return adopt(Uh, Q, static_cast<int>(q), static_cast<int>(nh), r.order);
}

// ---- knot insertion and refinement ------------------------------------------------

// The checks of the insertion or the removal of one knot, in order.
void require_removal(Traj self, double u, int r) {
    self.require_data();
    require_in_domain(self, u, "u");
    require_r(r);
}

TrajectoryObject knotins(Traj self, double u, int r) {
    // (the buffers are taken after the domain check: a subclass's start or
    // stop may replace them)
    require_removal(self, u, r);
    const CVec U = self.knots(), P = self.cpts();
    const Trajectory1dRecord& rec = *self.rec;
    if (r > rec.p) raise(PyExc_ValueError, "'r' must be less than or equal to 'p'");
    const std::int64_t n = std::int64_t(rec.n) + r;
    require_representable(rec.p, n);
    // Both arrays are copied around the new knot, the part after it r places
    // further on: the longer part (judged by where u lies) is lined up.
    const std::int64_t lead = u - U[0] < U[U.size - 1] - u ? r : 0;
    TwinBuffer UQ = TwinBuffer::allocate({U.size + r, U.data, lead}, {n + 1, P.data, lead});
    const Vec knots{UQ.knots(), U.size + r}, cpts{UQ.cpts(), P.size + r};
    // r = 0 and a multiplicity above p are refused by the curve module.
    const bool validate = !rec.knots_trusted();
    const std::uint32_t generation = rec.knots_generation;
    check_entry(evaluation.insert(U, P, rec.p, u, r, knots, cpts, validate));
    // The insertion has just checked the knots: later calls may trust them.
    if (validate) self.rec->knots_passed(generation);
    return adopt(UQ, rec.p, static_cast<int>(n), rec.order);
}

// Every value of X strictly inside the domain must end with at most p copies
// (knots within the closeness tolerance count as copies): a value repeated
// p + 1 times inside would leave a basis function without support.  Values
// at or beyond an end are the curve module's to refuse.
void require_multiplicities(CVec U, int p, CVec X) {
    const double start = U[0], stop = U[U.size - 1];
    Py_ssize_t j = 0;  // the first knot not below the current value
    for (Py_ssize_t i = 0; i < X.size; ++i) {
        const double x = X[i];
        if (!(x > start && x < stop)) continue;
        while (j < U.size && U[j] < x && !close(U[j], x)) ++j;
        int copies = 1;
        for (Py_ssize_t k = j; k < U.size && copies <= p && close(U[k], x); ++k) ++copies;
        for (Py_ssize_t k = i - 1; k >= 0 && copies <= p && close(X[k], x); --k) ++copies;
        for (Py_ssize_t k = i + 1; k < X.size && copies <= p && close(X[k], x); ++k) ++copies;
        if (copies > p) raise(PyExc_ValueError, "the multiplicity of the knot " + repr_double(x) + " would exceed 'p'");
    }
}

TrajectoryObject knotref(Traj self, CVec X) {
    const CVec U = self.knots(), P = self.cpts();
    for (Py_ssize_t i = 0; i + 1 < X.size; ++i)
        if (X[i] >= X[i + 1]) raise(PyExc_ValueError, "'X' must be increasing");
    if (X.size == 0) return copy(self);
    const Trajectory1dRecord& r = *self.rec;
    require_multiplicities(U, r.p, X);
    const std::int64_t n = std::int64_t(r.n) + X.size;
    require_representable(r.p, n);
    Buffer Ubar = Buffer::allocate(U.size + X.size), Q = Buffer::allocate(n + 1);
    check_entry(ck.splkref(U, P, r.p, X, view(Ubar), view(Q)));
    return adopt(Ubar, Q, r.p, static_cast<int>(n), r.order);
}

// ---- knot removal ------------------------------------------------------------------

// Removal works in place on copies of the source's buffers; `remove` returns
// the number t of knots it took out, and the result is the first n - t + 1
// control points and n + p + 2 - t knots.
template <class Remove>
TrajectoryObject removed(Traj self, Remove remove) {
    const CVec U = self.knots(), P = self.cpts();
    Buffer UK = Buffer::copy_of(U.data, U.size), PK = Buffer::copy_of(P.data, P.size);
    const int t = remove(view(UK), view(PK));
    if (t < 0) throw nb::python_error();
    UK.shrink(U.size - t);
    PK.shrink(P.size - t);
    const Trajectory1dRecord& r = *self.rec;
    return adopt(UK, PK, r.p, r.n - t, r.order);
}

TrajectoryObject knotrem(Traj self, double u, int r, OptRemTol tol) {
    require_removal(self, u, r);
    const int p = self.rec->p;
    return removed(self, [&](Vec UK, Vec PK) { return ck.splkrem(UK, PK, p, u, r, {1, tol.get()}); });
}

TrajectoryObject knotsrem(Traj self, OptRemTol tol) {
    const int p = self.rec->p;
    return removed(self, [&](Vec UK, Vec PK) { return ck.splksrem(UK, PK, p, {1, tol.get()}); });
}

TrajectoryObject knotrem_notol(Traj self, double u, int r) {
    require_removal(self, u, r);
    const int p = self.rec->p;
    return removed(self, [&](Vec UK, Vec PK) { return ck.splkrem_notol(UK, PK, p, u, r); });
}

}  // namespace

void register_calculus(TrajectoryClass& cls) {
    Trajectory1dMethods& table = trajectory1d_methods;
    def_method<&derivative>(cls, table, &Trajectory1dMethods::derivative, "derivative",
        "The derivative of order nu (default 1) as a new trajectory: degree p - nu,\n"
        "nu knots fewer at each end, order raised by nu (a displacement gives a\n"
        "velocity).  derivative(0) is a copy.\n\n"
        "Raises ValueError(\"'nu' must be greater than or equal to zero: <nu>\"),\n"
        "the curve module's ValueError for nu > p, OverflowError when the order\n"
        "would exceed 4294967295, ValueError on an empty trajectory.",
        {"nu"});
    def_method<&antiderivative>(cls, table, &Trajectory1dMethods::antiderivative, "antiderivative",
        "The antiderivative of order nu (default 1) as a new trajectory: degree\n"
        "p + nu, nu more copies of each end knot, order lowered by nu.  It and\n"
        "each lower antiderivative vanish at start.\n\n"
        "Raises ValueError for nu < 0 (\"'nu' must be greater than or equal to\n"
        "zero: <nu>\"), nu > order (\"negative 'order' not allowed\") or an empty\n"
        "trajectory; OverflowError for a result too large for 32-bit sizes.",
        {"nu"});
    def_method<&knotins>(cls, table, &Trajectory1dMethods::knotins, "knotins",
        "A new trajectory with the knot u inserted r times; the curve is unchanged.\n\n"
        "Raises ValueError(\"'u' out of domain: <u>\"), ValueError(\"'r' must be\n"
        "non-negative number\"), ValueError(\"'r' must be less than or equal to 'p'\")\n"
        "in this order, and the curve module's ValueError for r = 0 or a resulting\n"
        "multiplicity above p.",
        {"u", "r"});
    def_method<&knotref>(cls, table, &Trajectory1dMethods::knotref, "knotref",
        "A new trajectory with every value of the strictly increasing float64 array\n"
        "X inserted once as a knot; the curve is unchanged.  An empty X gives a copy.\n\n"
        "Raises ValueError(\"'X' must be increasing\"), ValueError when a knot would\n"
        "occur more than p times, and the curve module's ValueError for a value\n"
        "outside the open domain or NaN.",
        {"X"});
    def_method<&knotrem>(cls, table, &Trajectory1dMethods::knotrem, "knotrem",
        "A new trajectory with the interior knot u removed up to r times, each\n"
        "removal only if it moves the curve by at most tol (default 1e-13); as many\n"
        "as possible are removed.\n\n"
        "Raises ValueError(\"'u' out of domain: <u>\"), ValueError(\"'r' must be\n"
        "non-negative number\"), and the curve module's ValueError when u is not an\n"
        "interior knot or r is not in [1, multiplicity of u].",
        {"u", "r", "tol"});
    def_method<&knotsrem>(cls, table, &Trajectory1dMethods::knotsrem, "knotsrem",
        "A new trajectory with every knot removed whose removal moves the curve by\n"
        "at most tol (default 1e-13), each removal tested on its own.",
        {"tol"});
    def_method<&knotrem_notol>(cls, table, &Trajectory1dMethods::knotrem_notol, "knotrem_notol",
        "A new trajectory with the interior knot u removed r times whatever the\n"
        "change of the curve.  Errors as knotrem.",
        {"u", "r"});
    def_method<&degelev>(cls, table, &Trajectory1dMethods::degelev, "degelev",
        "The same curve with its degree raised by nu (default 1), as a new\n"
        "trajectory: every distinct knot value gains nu copies.\n\n"
        "Raises ValueError(\"'nu' must be non-negative number\"), ValueError for a\n"
        "degree above 1000, the curve module's ValueError for nu = 0,\n"
        "OverflowError for a result too large for 32-bit sizes.",
        {"nu"});
}

}  // namespace videvo::trajdata
