// Trajectory1d arithmetic: numbers act on the control points alone (the basis
// functions of a clamped knot vector sum to one), two trajectories add exactly
// on the union of their knot vectors, and equality is closeness of knots and
// control points.
#include "overrides.h"

#include <closeness.h>
#include <lanes.h>

#include <climits>
#include <cmath>
#include <cstdint>

namespace videvo::trajdata {
namespace {

bool is_trajectory(PyObject* o) { return PyObject_TypeCheck(o, trajectory1d_type); }

// ---- machine-level methods ---------------------------------------------------------

// Single passes over the control points.  The arrays of large trajectories
// often sit in the last-level cache, where the width of the vector unit
// decides: x86-64 Linux builds carry an AVX2 clone chosen at load time.
VIDEVO_WIDE_CLONES void add_to_all(double* P, std::int64_t count, double x) {
    for (std::int64_t i = 0; i < count; ++i) P[i] += x;
}

VIDEVO_WIDE_CLONES void multiply_all(double* P, std::int64_t count, double x) {
    for (std::int64_t i = 0; i < count; ++i) P[i] *= x;
}

// Without control points there is nothing to change: these never fail.
int c_iadd(Self self, double x) noexcept {
    const Trajectory1dRecord& r = *trajectory_record(self);
    if (r._cpts != nullptr) add_to_all(r._cpts, r.cpts_count(), x);
    return 0;
}

int c_imul(Self self, double x) noexcept {
    const Trajectory1dRecord& r = *trajectory_record(self);
    if (r._cpts != nullptr) multiply_all(r._cpts, r.cpts_count(), x);
    return 0;
}

bool all_close(CVec a, CVec b) {
    if (a.size != b.size) return false;
    for (Py_ssize_t i = 0; i < a.size; ++i)
        if (!close(a[i], b[i])) return false;
    return true;
}

int equal(Self self_obj, ObjectArg other_obj) {
    const Traj self = Traj::from(self_obj), other = Traj::from(other_obj);
    const Trajectory1dRecord &a = *self.rec, &b = *other.rec;
    if (a.p != b.p || a.n != b.n || a.order != b.order) return 0;
    // Owning and borrowing trajectories never compare equal.
    if (a.ptrs_owner != b.ptrs_owner) return 0;
    return all_close(self.knots(), other.knots()) && all_close(self.cpts(), other.cpts());
}

// 1 equal, 0 not equal, and 0 with an exception set on failure.
int c_eq(Self self, ObjectArg other) noexcept {
    const int result = faces::Face<&equal>::machine(self, other);
    return result < 0 ? 0 : result;
}

// A size of the sum that the record cannot hold.
std::int64_t checked_size(PyObject* value) {
    const long long v = PyLong_AsLongLong(value);
    if (v == -1 && PyErr_Occurred()) throw nb::python_error();
    if (v < 0 || v > INT_MAX) raise(PyExc_OverflowError, "the sum of the trajectories has too many knots");
    return v;
}

TrajectoryObject splcsum(Traj self, ObjectArg other_obj) {
    const Traj other = Traj::from(other_obj);
    const Trajectory1dRecord &a = *self.rec, &b = *other.rec;
    if (b.p != a.p) raise(PyExc_ValueError, "the input traiectories must have the same order");
    // The trajectories' own end knots, whatever start and stop a subclass reports.
    const CVec U1 = self.knots(), U2 = other.knots();
    if (U1[0] != U2[0] || U1[U1.size - 1] != U2[U2.size - 1])
        raise(PyExc_ValueError, "the input traiectories must have the same extremes of domain");
    if (b.order != a.order) raise(PyExc_ValueError, "the trajectories must have the same 'order'");
    const CVec P1 = self.cpts(), P2 = other.cpts();
    // (the curve module works on long vectors without the interpreter lock)
    const Pinned pin1(&a), pin2(&b);

    const nb::object dims = entry_result(ck.knotuniondim(U1, U2, a.p));
    const std::int64_t mk = checked_size(PyTuple_GET_ITEM(dims.ptr(), 0));
    const std::int64_t nk = checked_size(PyTuple_GET_ITEM(dims.ptr(), 1));
    Buffer U = Buffer::allocate(mk + 1);
    Buffer P = Buffer::allocate(nk + 1);
    check_entry(ck.splcsum(U1, P1, U2, P2, a.p, static_cast<int>(mk), Vec{U.get(), mk + 1}, static_cast<int>(nk),
                           Vec{P.get(), nk + 1}));
    TrajectoryObject sum = from_ptrs(U.get(), P.get(), a.p, static_cast<int>(nk), a.order, {1, true});
    U.release();
    P.release();
    return sum;
}

TrajectoryObject splcmul(Traj, ObjectArg other) {
    Traj::from(other);
    raise(PyExc_NotImplementedError);
}

// ---- operators -------------------------------------------------------------------

// A number operand: floats directly, anything else through float(); TypeError
// for what does not convert.
double as_double(PyObject* v) {
    const double x = PyFloat_AsDouble(v);
    if (x == -1.0 && PyErr_Occurred()) throw nb::python_error();
    return x;
}

nb::object self_after(nb::handle self, Traj t, double x, int (*update)(Self, double) noexcept) {
    t.require_data();
    update(self.ptr(), x);
    return nb::borrow(self);
}

nb::object iadd(nb::handle self, nb::handle v) {
    const Traj t = Traj::from(self.ptr());
    return self_after(self, t, as_double(v.ptr()), &c_iadd);
}

nb::object isub(nb::handle self, nb::handle v) {
    const Traj t = Traj::from(self.ptr());
    if (PyFloat_CheckExact(v.ptr())) return self_after(self, t, -PyFloat_AS_DOUBLE(v.ptr()), &c_iadd);
    const nb::object negated = entry_result(PyNumber_Negative(v.ptr()));
    return self_after(self, t, as_double(negated.ptr()), &c_iadd);
}

nb::object imul(nb::handle self, nb::handle v) {
    const Traj t = Traj::from(self.ptr());
    return self_after(self, t, as_double(v.ptr()), &c_imul);
}

nb::object itruediv(nb::handle self, nb::handle v) {
    const Traj t = Traj::from(self.ptr());
    const double x = as_double(v.ptr());
    // Checked on the double: a NumPy zero would otherwise give infinities.
    if (x == 0.0) raise(PyExc_ZeroDivisionError, "float division by zero");
    // A reciprocal beyond the doubles (of a subnormal number) overflows, as
    // the power x ** -1.0 does, instead of filling the control points with
    // infinities and NaNs.
    const double inverse = 1.0 / x;
    if (std::isinf(inverse) && std::isfinite(x)) {
        PyErr_SetObject(PyExc_OverflowError, nb::make_tuple(34, "Numerical result out of range").ptr());
        throw nb::python_error();
    }
    return self_after(self, t, inverse, &c_imul);
}

// The trajectory's copy (through the table, so a subclass's copy is used)
// changed in place by `op` with `operand`, as `r = t.copy(); r op= operand`.
using InPlace = PyObject* (*)(PyObject*, PyObject*);

nb::object on_copy(PyObject* t, InPlace op, PyObject* operand) {
    const nb::object r = entry_result(trajectory_record(t)->methods()->copy(t));
    return entry_result(op(r.ptr(), operand));
}

nb::object sum_of(PyObject* x, PyObject* y) {
    return entry_result(trajectory_record(x)->methods()->c_splcsum(x, y));
}

// The binary operators, with the operands in source order.
nb::object add(PyObject* x, PyObject* y) {
    if (!is_trajectory(x)) return on_copy(y, PyNumber_InPlaceAdd, x);
    if (is_trajectory(y)) return sum_of(x, y);
    return on_copy(x, PyNumber_InPlaceAdd, y);
}

nb::object subtract(PyObject* x, PyObject* y) {
    if (!is_trajectory(x)) {
        const nb::object r = entry_result(PyNumber_Negative(y));
        return entry_result(PyNumber_InPlaceAdd(r.ptr(), x));
    }
    if (is_trajectory(y)) {
        const nb::object negated = entry_result(PyNumber_Negative(y));
        return sum_of(x, negated.ptr());
    }
    return on_copy(x, PyNumber_InPlaceSubtract, y);
}

nb::object multiply(PyObject* x, PyObject* y) {
    if (!is_trajectory(x)) return on_copy(y, PyNumber_InPlaceMultiply, x);
    if (is_trajectory(y)) return entry_result(trajectory_record(x)->methods()->c_splcmul(x, y));
    return on_copy(x, PyNumber_InPlaceMultiply, y);
}

nb::object negative(nb::handle self) {
    const Traj t = Traj::from(self.ptr());
    t.require_data();
    const nb::object r = entry_result(t.rec->methods()->copy(self.ptr()));
    const Traj copy = Traj::from(r.ptr());
    copy.require_data();
    check_entry(copy.rec->methods()->c_imul(r.ptr(), -1.0));
    return r;
}

nb::object equals(nb::handle self, nb::handle other) {
    const Traj t = Traj::from(self.ptr());
    const int instance = PyObject_IsInstance(other.ptr(), reinterpret_cast<PyObject*>(Py_TYPE(self.ptr())));
    if (instance < 0) throw nb::python_error();
    if (instance == 0) return nb::bool_(false);
    const int result = t.rec->methods()->c_eq(self.ptr(), other.ptr());
    throw_if_error();
    return nb::bool_(result == 1);
}

nb::object not_equals(nb::handle self, nb::handle other) {
    const nb::object result = self.attr("__eq__")(other);
    const int truth = PyObject_IsTrue(result.ptr());
    if (truth < 0) throw nb::python_error();
    return nb::bool_(truth == 0);
}

nb::object not_implemented(nb::handle, nb::handle) { return nb::borrow(Py_NotImplemented); }

// c_splcsum and c_splcmul take their one argument by position only.
template <auto Impl, class Slot>
void def_trajectory_method(TrajectoryClass& cls, Slot Trajectory1dMethods::*slot, const char* name, const char* sig,
                           const char* doc) {
    cls.def(
        name,
        [](nb::handle self, nb::handle other) -> nb::object {
            return faces::Result<TrajectoryObject>::to_python(Impl(Traj::from(self.ptr()), other.ptr()));
        },
        nb::sig(sig), doc);
    set_overridable_slot<Impl>(cls, trajectory1d_methods, slot, name);
}

}  // namespace

void register_arithmetic(TrajectoryClass& cls) {
    Trajectory1dMethods& table = trajectory1d_methods;
    table.c_eq = &c_eq;
    table.c_iadd = &c_iadd;
    table.c_imul = &c_imul;

    def_trajectory_method<&splcsum>(cls, &Trajectory1dMethods::c_splcsum, "c_splcsum",
        "def c_splcsum(self, other: Trajectory1d, /) -> Trajectory1d",
        "The exact sum of this trajectory and `other` as a new Trajectory1d, on the\n"
        "union of the two knot vectors (each knot value with the larger of its two\n"
        "multiplicities); self + other calls it.\n\n"
        "Raises TypeError when `other` is no Trajectory1d, and ValueError, in this\n"
        "order, for another degree (\"the input traiectories must have the same\n"
        "order\"), other end knots (\"the input traiectories must have the same\n"
        "extremes of domain\") or another `order` (\"the trajectories must have the\n"
        "same 'order'\"), and for an empty trajectory.");
    def_trajectory_method<&splcmul>(cls, &Trajectory1dMethods::c_splcmul, "c_splcmul",
        "def c_splcmul(self, other: Trajectory1d, /) -> Trajectory1d",
        "The product of two trajectories, which is not provided: raises\n"
        "NotImplementedError (TypeError when `other` is no Trajectory1d).\n"
        "self * other calls it.");

    const auto binary = [&](const char* name, nb::object (*op)(PyObject*, PyObject*), bool reflected, const char* doc) {
        // Traj::from: the methods may be called unbound, on anything.
        if (reflected)
            cls.def(name,
                    [op](nb::handle self, nb::handle other) {
                        Traj::from(self.ptr());
                        return op(other.ptr(), self.ptr());
                    },
                    nb::is_operator(), doc);
        else
            cls.def(name,
                    [op](nb::handle self, nb::handle other) {
                        Traj::from(self.ptr());
                        return op(self.ptr(), other.ptr());
                    },
                    nb::is_operator(), doc);
    };
    binary("__add__", &add, false,
           "self + other: the exact sum for a trajectory (c_splcsum), a copy with the\n"
           "number added to every control point otherwise.");
    binary("__radd__", &add, true, "number + self: a copy with the number added.");
    binary("__sub__", &subtract, false,
           "self - other: self.c_splcsum(-other) for a trajectory, a copy with the\n"
           "number subtracted otherwise.");
    binary("__rsub__", &subtract, true, "number - self: -self with the number added.");
    binary("__mul__", &multiply, false,
           "self * number: a copy with every control point multiplied.  Two trajectories\n"
           "raise NotImplementedError (c_splcmul).");
    binary("__rmul__", &multiply, true, "number * self: a copy with every control point multiplied.");
    cls.def("__truediv__",
            [](nb::handle self, nb::handle other) {
                Traj::from(self.ptr());
                return on_copy(self.ptr(), PyNumber_InPlaceTrueDivide, other.ptr());
            },
            nb::is_operator(),
            "self / number: a copy with every control point multiplied by 1 / number.\n"
            "Raises ZeroDivisionError(\"float division by zero\") for a zero and TypeError\n"
            "for a trajectory.  A number divided by a trajectory is a TypeError.");
    cls.def("__rtruediv__", &not_implemented, nb::is_operator());
    cls.def("__neg__", &negative, "-self: a copy with every control point negated.");

    cls.def("__iadd__", &iadd, "self += number: add the number to every control point.");
    cls.def("__isub__", &isub, "self -= number: subtract the number from every control point.");
    cls.def("__imul__", &imul, "self *= number: multiply every control point by the number.");
    cls.def("__itruediv__", &itruediv,
            "self /= number: multiply every control point by 1 / number; ZeroDivisionError\n"
            "(\"float division by zero\") for a zero.");

    cls.def("__eq__", &equals, nb::is_operator(),
            "self == other: False unless `other` is an instance of self's class; then\n"
            "True when the degrees, sizes, `order` and ownership of the buffers agree and\n"
            "every knot and control point is within max(1e-9 * max(|a|, |b|), 1e-13) of\n"
            "the other's.  ValueError for empty trajectories.");
    cls.def("__ne__", &not_equals, nb::is_operator(), "not self.__eq__(other).");
    for (const char* name : {"__lt__", "__le__", "__gt__", "__ge__"})
        cls.def(name, &not_implemented, nb::is_operator(), "Trajectories are not ordered: NotImplemented.");
    cls.attr("__hash__") = nb::none();
}

}  // namespace videvo::trajdata
