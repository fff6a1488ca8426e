// Trajectory1d evaluation: values and derivatives at a point or on an array
// of points, by the curve module's routines on the trajectory's own buffers.
#include "overrides.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

namespace videvo::trajdata {
namespace {

[[noreturn]] void bad_nu() { raise(PyExc_ValueError, "'nu' must be non-negative number"); }

void require_in_domain(Traj self, double x) {
    const Domain d = domain(self);
    // A NaN passes (both comparisons are false): the curve module rejects it.
    if (x < d.start || x > d.stop) raise(PyExc_ValueError, "'x' out of domain: " + repr_double(x));
}

bool strictly_increasing(Vec xp) {
    for (Py_ssize_t i = 1; i < xp.size; ++i)
        if (xp[i - 1] >= xp[i]) return false;
    return true;
}

// The checks of an array of points, in order: not empty, strictly increasing,
// first and last point in the domain.
void require_points(Traj self, Vec xp) {
    if (xp.size == 0) raise(PyExc_ValueError, "zero size arrays are not allowed");
    if (!strictly_increasing(xp)) raise(PyExc_ValueError, "'xp' must be increasing");
    const Domain d = domain(self);
    if (xp[0] < d.start || xp[xp.size - 1] > d.stop) raise(PyExc_ValueError, "domain error");
}

double peval(Traj self, double x) {
    const CVec U = self.knots(), P = self.cpts();
    require_in_domain(self, x);
    const double value = ck.splpev(x, U, P, self.rec->p);
    throw_if_error();
    return value;
}

void ceval(Traj self, VecOrNone xp) {
    const CVec U = self.knots(), P = self.cpts();
    require_points(self, xp);
    check_entry(ck.splcev(xp, U, P, self.rec->p));
}

double dpeval(Traj self, double x, OptNu nu_arg) {
    const int nu = nu_arg.get();
    // The nu + 1 work values cannot be fewer than none.
    if (nu < -1) raise(PyExc_ValueError, "negative dimensions are not allowed");
    const CVec U = self.knots(), P = self.cpts();
    require_in_domain(self, x);
    if (nu < 0) bad_nu();
    const int p = self.rec->p;
    // Derivatives above the degree vanish: only orders 0..min(nu, p) are
    // computed (the curve module still checks x).
    const int d = std::min(nu, p);
    std::array<double, 32> small;
    std::vector<double> large;
    double* CK = small.data();
    if (d >= static_cast<int>(small.size())) {
        large.resize(static_cast<std::size_t>(d) + 1);
        CK = large.data();
    }
    check_entry(ck.dsplpev(x, U, P, p, d, Vec{CK, d + 1}));
    return nu > p ? 0.0 : CK[nu];
}

void dceval(Traj self, VecOrNone xp, OptNu nu_arg) {
    const int nu = nu_arg.get();
    const CVec U = self.knots(), P = self.cpts();
    require_points(self, xp);
    if (nu < 0) bad_nu();
    Buffer CK = Buffer::allocate(xp.size);
    check_entry(ck.dsplcev(CVec(xp), U, P, self.rec->p, nu, nu, Mat{CK.get(), 1, xp.size}));
    std::memcpy(xp.data, CK.get(), static_cast<std::size_t>(xp.size) * sizeof(double));
}

// ---- calling the trajectory ------------------------------------------------------

// numpy.isscalar(x), with Python floats and ints answered without a call.
bool is_scalar(PyObject* x) {
    if (PyFloat_Check(x) || PyLong_Check(x)) return true;
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

// The points of an array-like as a new contiguous float64 array.
nb::object points_of(PyObject* x) {
    nb::object a = nb::handle(np.array)(nb::handle(x), nb::arg("copy") = true, nb::arg("ndmin") = 1);
    if (nb::cast<int>(a.attr("ndim")) > 1) raise(PyExc_ValueError, "'x' must be one-dimensional");
    return nb::handle(np.ascontiguousarray)(a.attr("ravel")(), nb::arg("dtype") = nb::handle(np.float64));
}

nb::object call_array(Traj self, PyObject* x, int nu) {
    const Trajectory1dMethods& m = *self.rec->methods();
    nb::object xp = points_of(x);
    nb::object order;  // the sorting permutation, when the points were reordered
    if (!strictly_increasing(ArrayArg(xp, "x", 1, Access::write).vec())) {
        order = entry_result(PyObject_CallOneArg(np.argsort, xp.ptr()));
        xp = entry_result(PyObject_GetItem(xp.ptr(), order.ptr()));
    }
    const VecOrNone points(ArrayArg(xp, "x", 1, Access::write).vec());
    if (nu < 0) bad_nu();
    check_entry(nu == 0 ? m.ceval(self.obj, points) : m.dceval(self.obj, points, {1, nu}));
    if (!order.is_valid()) return xp;
    // Back to the caller's order: result[order] = xp, the inverse permutation
    // without a second sort.
    nb::object result = entry_result(PyObject_CallOneArg(np.empty_like, xp.ptr()));
    if (PyObject_SetItem(result.ptr(), order.ptr(), xp.ptr()) != 0) throw nb::python_error();
    return result;
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
    try {
        const Traj t = Traj::from(self);
        const int order = nu == nullptr ? 0 : faces::integer_from_python<int>(nu);
        return (is_scalar(x) ? call_scalar(t, x, order) : call_array(t, x, order)).release().ptr();
    } catch (...) {
        set_error_from_exception();
        return nullptr;
    }
}

void register_evaluation(TrajectoryClass& cls) {
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
