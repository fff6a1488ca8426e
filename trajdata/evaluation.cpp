// Trajectory1d evaluation: values and derivatives at a point or on an array
// of points, by the curve module's routines on the trajectory's own buffers.
#include "overrides.h"
#include "repeats.h"

#include <cmath>

#include <algorithm>
#include <array>
#include <climits>
#include <optional>
#include <vector>

namespace videvo::trajdata {
namespace {

[[noreturn]] void bad_nu() { raise(PyExc_ValueError, "'nu' must be non-negative number"); }

void require_in_domain(Traj self, double x) {
    const Domain d = domain(self);
    // A NaN passes (both comparisons are false): the curve module rejects it.
    if (x < d.start || x > d.stop) raise(PyExc_ValueError, "'x' out of domain: " + repr_double(x));
}

bool strictly_increasing(CVec xp) {
    for (Py_ssize_t i = 1; i < xp.size; ++i)
        if (xp[i - 1] >= xp[i]) return false;
    return true;
}

[[noreturn]] void not_increasing() { raise(PyExc_ValueError, "'xp' must be increasing"); }

void require_domain(Traj self, double first, double last) {
    const Domain d = domain(self);
    if (first < d.start || last > d.stop) raise(PyExc_ValueError, "domain error");
}

// The checks of an array of points, in order: not empty, strictly increasing,
// first and last point in the domain.
void require_points(Traj self, Vec xp, bool known_increasing = false) {
    if (xp.size == 0) raise(PyExc_ValueError, "zero size arrays are not allowed");
    if (!known_increasing && !strictly_increasing(xp)) not_increasing();
    require_domain(self, xp[0], xp[xp.size - 1]);
}

// What a repeat check has found of points in any order: whether they hold a
// value twice (when it ran) and their range (when it found it).
struct Seen {
    std::optional<bool> repeated;
    ValueRange range;
};

// The same checks on points in any order, with the outcome they would have on
// the points sorted (NaN last): a repeated point, then the smallest point
// below the start or, when there is no NaN, the largest above the stop.
// `seen`: what the caller's repeat check found of these values, if it ran.
// The points are this call's own copy, which no other thread can reach, so
// long arrays are scanned with the interpreter lock released.
void require_unsorted_points(Traj self, Vec xp, Seen seen) {
    if (!seen.repeated) {
        ReleaseForLongWork unlocked(xp.size);
        seen.repeated = has_repeated_value(xp.data, static_cast<std::size_t>(xp.size), nullptr, &seen.range);
    }
    if (*seen.repeated) not_increasing();
    ValueRange& r = seen.range;
    if (!r.known) {
        // (NaNs pass the smallest and the largest by; the loop vectorizes)
        double lo = INFINITY, hi = -INFINITY;
        bool nan = false;
        ReleaseForLongWork unlocked(xp.size);
        for (Py_ssize_t i = 0; i < xp.size; ++i) {
            const double v = xp[i];
            nan |= v != v;
            lo = v < lo ? v : lo;
            hi = v > hi ? v : hi;
        }
        r = {lo, hi, nan, true};
    }
    require_domain(self, r.lo, r.nan ? NAN : r.hi);
}

// The buffers of a trajectory for one evaluation.  They are taken after
// everything that may run Python code (a subclass's start and stop, which
// could replace or free them), and no Python code runs until the evaluation
// is done with them; long evaluations that release the interpreter lock pin
// them (Pinned), so that no other thread can replace them meanwhile.
struct Curve {
    CVec U, P;
    int p;
    bool validate;  // the knot vector is checked by this evaluation
    std::uint32_t generation;  // of the knots checked
};

Curve curve_of(Traj self) {
    const CVec U = self.knots(), P = self.cpts();
    return {U, P, self.rec->p, !self.rec->knots_trusted(), self.rec->knots_generation};
}

// After an evaluation that checked the knots successfully.
void knots_passed(Traj self, const Curve& c) {
    if (c.validate) self.rec->knots_passed(c.generation);
}

double peval(Traj self, double x) {
    self.require_data();
    require_in_domain(self, x);
    const Curve c = curve_of(self);
    const double value = evaluation.value(x, c.U, c.P, c.p, c.validate, &self.rec->points);
    throw_if_error();
    knots_passed(self, c);
    return value;
}

// Runs an array entry on the trajectory's buffers, pinned when it is long
// enough for the entry to release the interpreter lock.
template <class Entry, class... A>
void evaluate_array(Traj self, Vec xp, Entry entry, A... args) {
    const Curve c = curve_of(self);
    int status;
    {
        std::optional<Pinned> pin;
        if (xp.size >= long_array) pin.emplace(self.rec);
        status = entry(xp, c.U, c.P, c.p, args..., c.validate);
    }
    check_entry(status);
    knots_passed(self, c);
}

// ceval and dceval; Order::increasing when the caller has seen the points
// strictly increasing, Order::any for points in any order.
enum class Order { unknown, increasing, any };

// The checks of ceval and dceval up to the order of the derivative
// (`seen` as for require_unsorted_points).
void require_data_and_points(Traj self, Vec xp, Order order, const Seen& seen) {
    self.require_data();
    if (order == Order::any)
        require_unsorted_points(self, xp, seen);
    else
        require_points(self, xp, order == Order::increasing);
}

void values_at(Traj self, Vec xp, Order order, const Seen& seen = {}) {
    require_data_and_points(self, xp, order, seen);
    evaluate_array(self, xp, evaluation.values);
}

void derivative_at(Traj self, Vec xp, int nu, Order order, const Seen& seen = {}) {
    require_data_and_points(self, xp, order, seen);
    if (nu < 0) bad_nu();
    evaluate_array(self, xp, evaluation.derivative, nu);
}

void ceval(Traj self, VecOrNone xp) { values_at(self, xp, Order::unknown); }

// The derivative of order nu >= 0 at x of the trajectory's curve (the curve
// module still checks x), through its memory of points alone; raises what
// the entry raises.  Derivatives above the degree vanish: only orders
// 0..min(nu, p) are computed.
double derivative_at_point(Trajectory1dRecord* rec, double x, CVec U, CVec P, int nu, bool validate) {
    const int d = std::min(nu, rec->p);
    std::array<double, 32> small;
    std::vector<double> large;
    double* CK = small.data();
    if (d >= static_cast<int>(small.size())) {
        large.resize(static_cast<std::size_t>(d) + 1);
        CK = large.data();
    }
    check_entry(evaluation.derivatives(x, U, P, rec->p, d, Vec{CK, d + 1}, validate, &rec->points));
    return nu > rec->p ? 0.0 : CK[nu];
}

double dpeval(Traj self, double x, OptNu nu_arg) {
    const int nu = nu_arg.get();
    // The nu + 1 work values cannot be fewer than none.
    if (nu < -1) raise(PyExc_ValueError, "negative dimensions are not allowed");
    self.require_data();
    require_in_domain(self, x);
    if (nu < 0) bad_nu();
    const Curve c = curve_of(self);
    const double value = derivative_at_point(self.rec, x, c.U, c.P, nu, c.validate);
    knots_passed(self, c);
    return value;
}

void dceval(Traj self, VecOrNone xp, OptNu nu_arg) { derivative_at(self, xp, nu_arg.get(), Order::unknown); }

// ---- calling the trajectory ------------------------------------------------------

// numpy.isscalar(x), with Python floats and ints, arrays (of any dimension),
// lists and tuples answered without its call, which costs a microsecond.
bool is_scalar(PyObject* x) {
    if (PyFloat_Check(x) || PyLong_Check(x)) return true;
    if (PyObject_TypeCheck(x, ndarray_type()) || PyList_CheckExact(x) || PyTuple_CheckExact(x)) return false;
    nb::object r = entry_result(PyObject_CallOneArg(np.isscalar, x));
    const int truth = PyObject_IsTrue(r.ptr());
    if (truth < 0) throw nb::python_error();
    return truth != 0;
}

nb::object call_scalar(Traj self, PyObject* x, int nu) {
    const Trajectory1dMethods& m = *self.rec->methods();
    if (nu < 0) bad_nu();
    const double u = PyFloat_AsDouble(x);
    if (u == -1.0 && PyErr_Occurred()) throw nb::python_error();
    const double value = nu == 0 ? m.peval(self.obj, u) : m.dpeval(self.obj, u, {1, nu});
    throw_if_error();
    return nb::float_(value);
}

// The points of a one-dimensional contiguous float64 array, the usual
// argument, read in place; empty for anything else.
CVec plain_points(PyObject* x) {
    if (!PyObject_TypeCheck(x, ndarray_type())) return {};
    auto* a = reinterpret_cast<PyArrayObject*>(x);
    const PyArray_Descr* descr = PyArray_DESCR(a);
    if (PyArray_NDIM(a) == 1 && descr->type_num == NPY_DOUBLE && PyArray_ISNBO(descr->byteorder) &&
        PyArray_IS_C_CONTIGUOUS(a) && PyArray_DIMS(a)[0] > 0)
        return {static_cast<const double*>(PyArray_DATA(a)), PyArray_DIMS(a)[0]};
    return {};
}

// The points of any other array-like as a new contiguous float64 array.
nb::object points_of(PyObject* x) {
    nb::object a = nb::handle(np.array)(nb::handle(x), nb::arg("copy") = true, nb::arg("ndmin") = 1);
    if (nb::cast<int>(a.attr("ndim")) > 1) raise(PyExc_ValueError, "'x' must be one-dimensional");
    return nb::handle(np.ascontiguousarray)(a.attr("ravel")(), nb::arg("dtype") = nb::handle(np.float64));
}

// Whether the trajectory evaluates arrays with this module's ceval or
// dceval (no subclass has redefined the one that `nu` calls).
bool evaluates_itself(Traj self, int nu) {
    if (Traj::is_exact(self.obj)) return true;
    return nu == 0 ? runs_own<&ceval>(self.obj) : runs_own<&dceval>(self.obj);
}

// t(x, nu) of our own evaluation on points X inside the domain, written
// straight into `result`: strictly increasing points (`strict`), or points in
// any order that the caller has found free of repeats; false when the points
// are anything else (the general route then decides, with its checks and
// messages).  Points in any order are taken only by the trajectory type
// itself, whose domain is its knots' (the curve module checks them against
// that); a subclass's narrower domain needs the general route's messages.
// `range`: the range of points in any order, when the caller has found it.
bool evaluated_into(Traj self, CVec X, Vec result, int nu, bool strict, const ValueRange* range = nullptr) {
    if (nu < 0 || self.rec->is_empty()) return false;
    if (strict) {
        if (!evaluates_itself(self, nu)) return false;
        // (a subclass's domain may be narrower than the knots', and reading
        // it may run code that empties the trajectory)
        const Domain d = domain(self);
        if (!(X[0] >= d.start && X[X.size - 1] <= d.stop) || self.rec->is_empty()) return false;
    } else if (!Traj::is_exact(self.obj)) {
        return false;
    }
    const Curve c = curve_of(self);
    int taken;
    {
        std::optional<Pinned> pin;
        if (X.size >= long_array) pin.emplace(self.rec);
        const double bounds[2] = {range ? range->lo : 0.0, range ? range->hi : 0.0};
        const bool known = !strict && range != nullptr && range->known && !range->nan;
        taken = evaluation.into(X, result, c.U, c.P, c.p, nu, strict, c.validate, &self.rec->points,
                                known ? bounds : nullptr);
    }
    if (taken != 1) return false;
    knots_passed(self, c);
    return true;
}

nb::object call_array(Traj self, PyObject* x, int nu) {
    // A plain array is read in place: increasing points, and on the type
    // itself points in any order without repeats, are evaluated straight
    // into the result; other points are copied into it and evaluated there
    // by the general route.
    nb::object xp;  // the points the general route evaluates in place
    Seen seen;  // by the repeat check of the caller's unsorted points, when it ran
    if (const CVec X = plain_points(x); X.size > 0) {
        NewArray result = new_array(X.size);
        if (evaluated_into(self, X, result.data, nu, true)) return std::move(result.array);
        // (read again: a subclass's start or stop may have run any code)
        if (const CVec again = plain_points(x); again.size == X.size) {
            // Unsorted points are checked for repeats where they are, with
            // the result as the check's scratch memory, and then evaluated
            // from there into the result (the caller's array stays alive
            // through the call: another thread that writes to it meanwhile
            // races with its own call).
            const bool check = nu >= 0 && evaluates_itself(self, nu) && !strictly_increasing(again);
            // (the range found on its way spares the evaluation a pass)
            if (check) {
                ReleaseForLongWork unlocked(again.size);
                seen.repeated = has_repeated_value(again.data, static_cast<std::size_t>(again.size),
                                                   result.data.data, &seen.range);
            }
            if (check && !*seen.repeated && evaluated_into(self, again, result.data, nu, false, &seen.range))
                return std::move(result.array);
            {
                ReleaseForLongWork unlocked(again.size);
                std::copy(again.data, again.data + again.size, result.data.data);
            }
            xp = std::move(result.array);
        }
    }
    if (!xp.is_valid()) xp = points_of(x);
    const Vec points = ArrayArg(xp, "x", 1, Access::write).vec();
    // (points checked for repeats above are known not to increase)
    const bool increasing = !seen.repeated.has_value() && strictly_increasing(points);
    // Our own evaluation takes the points in any order, in place: no sort.
    if (nu >= 0 && evaluates_itself(self, nu)) {
        const Order order = increasing ? Order::increasing : Order::any;
        if (nu == 0)
            values_at(self, points, order, seen);
        else
            derivative_at(self, points, nu, order, seen);
        return xp;
    }
    // A redefinition gets the points sorted, as always.
    const Trajectory1dMethods& m = *self.rec->methods();
    nb::object order;  // the sorting permutation, when the points were reordered
    if (!increasing) {
        order = entry_result(PyObject_CallOneArg(np.argsort, xp.ptr()));
        xp = entry_result(PyObject_GetItem(xp.ptr(), order.ptr()));
    }
    const VecOrNone sorted(ArrayArg(xp, "x", 1, Access::write).vec());
    if (nu < 0) bad_nu();
    check_entry(nu == 0 ? m.ceval(self.obj, sorted) : m.dceval(self.obj, sorted, {1, nu}));
    if (!order.is_valid()) return xp;
    // Back to the caller's order: result[order] = xp, the inverse permutation
    // without a second sort.
    nb::object result = entry_result(PyObject_CallOneArg(np.empty_like, xp.ptr()));
    if (PyObject_SetItem(result.ptr(), order.ptr(), xp.ptr()) != 0) throw nb::python_error();
    return result;
}

}  // namespace

namespace {

// t(x) and t(x, nu) of a float, nu a plain int, on a Trajectory1d (not a
// subclass) whose knots are trusted, with the very checks and arithmetic of
// the general route (peval and dpeval through the method table), 20 to 30 ns
// sooner; nullptr with no error set for anything else.
PyObject* trusted_value(PyObject* self, PyObject* x, PyObject* nu) noexcept {
    if (!Traj::is_exact(self) || !PyFloat_Check(x)) return nullptr;
    long order = 0;
    if (nu != nullptr) {
        if (!PyLong_CheckExact(nu)) return nullptr;
        int overflow = 0;
        order = PyLong_AsLongAndOverflow(nu, &overflow);
        // (no error: -1 is a plain value here; orders beyond int are the general route's)
        if (overflow != 0 || order < 0 || order > INT_MAX) return nullptr;
    }
    Trajectory1dRecord* rec = trajectory_record(self);
    if (!rec->knots_trusted() || rec->is_empty()) return nullptr;
    const double u = PyFloat_AS_DOUBLE(x);
    const CVec U{rec->_knotvector, rec->knot_count()}, P{rec->_cpts, rec->cpts_count()};
    if (!(u >= U[0] && u <= U[U.size - 1])) return nullptr;  // (the errors are the general route's)
    if (order == 0) {
        const double value = evaluation.value(u, U, P, rec->p, false, &rec->points);
        return PyErr_Occurred() ? nullptr : PyFloat_FromDouble(value);
    }
    try {
        return PyFloat_FromDouble(derivative_at_point(rec, u, U, P, static_cast<int>(order), false));
    } catch (...) {
        set_error_from_exception();  // (the general route's error too)
        return nullptr;
    }
}

PyObject* call_with(PyObject* self, PyObject* x, PyObject* nu) noexcept {
    if (PyObject* value = trusted_value(self, x, nu); value != nullptr || PyErr_Occurred()) return value;
    try {
        const Traj t = Traj::from(self);
        const int order = nu == nullptr ? 0 : faces::integer_from_python<int>(nu);
        return (is_scalar(x) ? call_scalar(t, x, order) : call_array(t, x, order)).release().ptr();
    } catch (...) {
        set_error_from_exception();
        return nullptr;
    }
}

}  // namespace

// t(x, nu=0), the type's call slot: calling a trajectory is its most frequent
// use, so it takes the interpreter's direct route rather than a method lookup.
PyObject* call_trajectory(PyObject* self, PyObject* args, PyObject* kwargs) noexcept {
    static const char* keywords[] = {"x", "nu", nullptr};
    PyObject *x = nullptr, *nu = nullptr;
    const Py_ssize_t given = PyTuple_GET_SIZE(args);
    if (kwargs == nullptr && (given == 1 || given == 2)) {
        x = PyTuple_GET_ITEM(args, 0);
        if (given == 2) nu = PyTuple_GET_ITEM(args, 1);
    } else if (!PyArg_ParseTupleAndKeywords(args, kwargs, "O|O:__call__", const_cast<char**>(keywords), &x, &nu)) {
        return nullptr;
    }
    return call_with(self, x, nu);
}

// The same without an argument tuple; keywords take the general route.
PyObject* vectorcall_trajectory(PyObject* self, PyObject* const* args, std::size_t nargsf, PyObject* kwnames) noexcept {
    const Py_ssize_t given = PyVectorcall_NARGS(nargsf);
    if (kwnames == nullptr && (given == 1 || given == 2)) return call_with(self, args[0], given == 2 ? args[1] : nullptr);
    nb::object tuple = nb::steal(PyTuple_New(given));
    if (!tuple.is_valid()) return nullptr;
    for (Py_ssize_t i = 0; i < given; ++i) PyTuple_SET_ITEM(tuple.ptr(), i, Py_NewRef(args[i]));
    nb::object kwargs;
    if (kwnames != nullptr) {
        kwargs = nb::steal(PyDict_New());
        if (!kwargs.is_valid()) return nullptr;
        for (Py_ssize_t i = 0; i < PyTuple_GET_SIZE(kwnames); ++i)
            if (PyDict_SetItem(kwargs.ptr(), PyTuple_GET_ITEM(kwnames, i), args[given + i]) != 0) return nullptr;
    }
    return call_trajectory(self, tuple.ptr(), kwargs.ptr());
}

void register_evaluation(TrajectoryClass& cls) {
    // Instances carry their vectorcall pointer in the record, at the same
    // offset in every instance (subclasses append their fields after it).
    nb::object probe = allocate_instance<Trajectory1dRecord, &trajectory1d_methods>(trajectory1d_type);
    const auto offset = reinterpret_cast<char*>(&trajectory_record(probe.ptr())->vectorcall) -
                        reinterpret_cast<char*>(probe.ptr());
    trajectory1d_type->tp_vectorcall_offset = offset;
    trajectory1d_type->tp_flags |= Py_TPFLAGS_HAVE_VECTORCALL;
    PyType_Modified(trajectory1d_type);

    Trajectory1dMethods& table = trajectory1d_methods;
    def_method<&peval>(cls, table, &Trajectory1dMethods::peval, "peval",
        "The value of the trajectory at the point x of its domain [start, stop].\n\n"
        "Raises ValueError(\"'x' out of domain: <x>\") outside the domain, and the\n"
        "curve module's ValueError for NaN.",
        {"x"});
    def_method<&ceval>(cls, table, &Trajectory1dMethods::ceval, "ceval",
        "Evaluate the trajectory at the points of the contiguous float64 array xp,\n"
        "in place: xp[i] is replaced by the value at xp[i].  Returns None.\n\n"
        "The points must be strictly increasing and inside the domain.  Raises\n"
        "ValueError (\"zero size arrays are not allowed\", \"'xp' must be increasing\",\n"
        "\"domain error\"), xp unchanged.",
        {"xp"});
    def_method<&dpeval>(cls, table, &Trajectory1dMethods::dpeval, "dpeval",
        "The derivative of order nu (default 1) of the trajectory at the point x\n"
        "(nu = 0: the value; nu > p: 0.0).\n\n"
        "Raises ValueError outside the domain (as peval) and\n"
        "ValueError(\"'nu' must be non-negative number\") for a negative nu.",
        {"x", "nu"});
    def_method<&dceval>(cls, table, &Trajectory1dMethods::dceval, "dceval",
        "Replace each xp[i] by the derivative of order nu (default 1) of the\n"
        "trajectory at xp[i].  Returns None.  Checks and errors as ceval, then\n"
        "ValueError(\"'nu' must be non-negative number\") for a negative nu.",
        {"xp", "nu"});
}

}  // namespace videvo::trajdata
