// Point constraints: a trajectory made to take a required value at a time,
// by a vertical shift (setValueTr) or by scaling (setValueAm).  Every check
// and evaluation comes first; the single in-place pass over the control
// points is the last step and cannot fail, so a refused call changes nothing.
#include "overrides.h"

#include <climits>
#include <cmath>
#include <cstdint>

namespace videvo::trajdata {
namespace {

// The constraint read by attribute access (a Point1d subclass may redefine
// the properties), with its order relative to the trajectory's.
struct Constraint {
    double t;
    double val;
    std::int64_t r;  // point order - trajectory order; orders are unsigned 32-bit
};

Constraint constraint(Traj self, PyObject* point) {
    const auto attribute = [point](const char* name) { return entry_result(PyObject_GetAttrString(point, name)); };
    const std::int64_t order = point_order(attribute("order").ptr());
    const double t = point_double(attribute("t").ptr());
    const double val = point_double(attribute("val").ptr());
    return {t, val, order - std::int64_t(self.rec->order)};
}

// The derivative of order r of the trajectory at t, through its table (a
// subclass's dpeval is honoured).
double derivative_at(Traj self, double t, int r) {
    const double value = self.rec->methods()->dpeval(self.obj, t, {1, r});
    throw_if_error();
    return value;
}

void set_value_tr(Traj self, PyObject* point) {
    const Constraint c = constraint(self, point);
    if (c.r < 0) raise(PyExc_ValueError, "this method cannot be used to set a constraint on the n-th antiderivative");
    // A shift leaves every derivative as it is: it cannot meet such a constraint.
    if (c.r > 0) raise(PyExc_ValueError, "this method cannot be used to set a constraint on the n-th derivative");
    const double shift = c.val - derivative_at(self, c.t, 0);
    check_entry(self.rec->methods()->c_iadd(self.obj, shift));
}

// The value at t of the antiderivative of order -r (zero at start).
double antiderivative_at(Traj self, double t, std::int64_t r) {
    if (-r > INT_MAX) raise(PyExc_OverflowError, "the constraint's order is too far below the trajectory's");
    nb::object a = entry_result(self.rec->methods()->antiderivative(self.obj, {1, static_cast<int>(-r)}));
    const Traj at = Traj::from(a.ptr());
    const double value = at.rec->methods()->peval(at.obj, t);
    throw_if_error();
    return value;
}

void set_value_am(Traj self, PyObject* point) {
    const Constraint c = constraint(self, point);
    double reference = 0.0;
    // Derivatives above the degree vanish: nothing to evaluate.
    if (c.r < 0) reference = antiderivative_at(self, c.t, c.r);
    else if (c.r <= self.rec->p) reference = derivative_at(self, c.t, static_cast<int>(c.r));
    if (reference == 0.0) raise(PyExc_ZeroDivisionError, "float division by zero");
    const double factor = c.val / reference;
    if (!std::isfinite(factor))
        raise(PyExc_ValueError, "the scaling factor " + repr_double(c.val) + " / " + repr_double(reference) +
                                    " is not finite");
    check_entry(self.rec->methods()->c_imul(self.obj, factor));
}

void set_value_tr_tuple(Traj self, PyObject* pnt) { set_value_tr(self, point_from_tuple(pnt).value.ptr()); }

void set_value_am_tuple(Traj self, PyObject* pnt) { set_value_am(self, point_from_tuple(pnt).value.ptr()); }

// The Python methods pick the form by the argument's type.
template <auto PointForm, auto TupleForm>
void by_type(Traj self, PyObject* p) {
    if (PyObject_TypeCheck(p, point1d_type)) PointForm(self, p);
    else if (PyTuple_Check(p)) TupleForm(self, p);
    else raise(PyExc_TypeError, "No matching signature found");
}

// Python method `name` and its two table entries, which honour a subclass's
// redefinition of the method.
template <auto PointForm, auto TupleForm, class Slot>
void def_setter(TrajectoryClass& cls, const char* name, Slot Trajectory1dMethods::*point_slot,
                Slot Trajectory1dMethods::*tuple_slot, const char* doc) {
    constexpr auto method = &by_type<PointForm, TupleForm>;
    Trajectory1dMethods& table = trajectory1d_methods;
    def_method<method>(cls, table, point_slot, name, doc, {"p"});
    def_entry_of<PointForm, method>(table, point_slot);
    def_entry_of<TupleForm, method>(table, tuple_slot);
}

}  // namespace

void register_constraints(TrajectoryClass& cls) {
    def_setter<&set_value_tr, &set_value_tr_tuple>(cls, "setValueTr", &Trajectory1dMethods::setValueTr_point,
        &Trajectory1dMethods::setValueTr_tuple,
        "Shift the trajectory vertically so that it takes the value p.val at the\n"
        "time p.t: a constant is added to every control point.\n\n"
        "`p` is a Point1d or a tuple (t, val, order); its order must equal the\n"
        "trajectory's.  Raises ValueError for a constraint on an antiderivative or on\n"
        "a derivative (a shift changes no derivative), TypeError(\"No matching\n"
        "signature found\") for another argument type, and the errors of the\n"
        "evaluation at p.t; the trajectory is then unchanged.");
    def_setter<&set_value_am, &set_value_am_tuple>(cls, "setValueAm", &Trajectory1dMethods::setValueAm_point,
        &Trajectory1dMethods::setValueAm_tuple,
        "Scale the trajectory so that its derivative (or antiderivative, zero at\n"
        "start) of the relative order p.order - order takes the value p.val at the\n"
        "time p.t: every control point is multiplied by one factor.\n\n"
        "`p` is a Point1d or a tuple (t, val, order).  Raises ZeroDivisionError when\n"
        "the reference value at p.t is zero (always for a derivative above the\n"
        "degree), ValueError when the factor is not finite, TypeError(\"No matching\n"
        "signature found\") for another argument type, and the errors of the\n"
        "evaluation; the trajectory is then unchanged.");
}

}  // namespace videvo::trajdata
