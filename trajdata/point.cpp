// Point1d: a constraint point (t, val, order), its properties, copies, text
// forms and comparison, and make_point of the module's export table.
#include "overrides.h"

#include <string>

namespace videvo::trajdata {

Pt Pt::from(PyObject* o) {
    if (!PyObject_TypeCheck(o, point1d_type))
        raise(PyExc_TypeError, std::string("expected a Point1d, not ") + Py_TYPE(o)->tp_name);
    return exact(o);
}

double point_double(PyObject* value) {
    const double v = PyFloat_AsDouble(value);
    if (v == -1.0 && PyErr_Occurred()) throw nb::python_error();
    return v;
}

unsigned point_order(PyObject* value) {
    if (PyLong_Check(value)) return faces::integer_from_python<unsigned>(value);
    // The integer conversion of the interpreter, without parsing text: an
    // index when there is one, else int() of a number (floats truncate).
    const PyNumberMethods* number = Py_TYPE(value)->tp_as_number;
    if (number != nullptr && number->nb_index == nullptr && number->nb_int != nullptr)
        return faces::integer_from_python<unsigned>(entry_result(PyNumber_Long(value)));
    return faces::integer_from_python<unsigned>(value);
}

nb::object new_point() { return allocate_instance<Point1dRecord, &point1d_methods>(point1d_type); }

PointObject point_from_tuple(PyObject* pnt) {
    if (!PyTuple_Check(pnt))
        raise(PyExc_TypeError, std::string("'pnt' must be a tuple (t, val, order), not ") + Py_TYPE(pnt)->tp_name);
    if (PyTuple_GET_SIZE(pnt) < 3)
        raise(PyExc_IndexError, "'pnt' must hold three items (t, val, order), not " +
                                    std::to_string(PyTuple_GET_SIZE(pnt)));
    nb::object obj = new_point();
    c_point1d& p = Pt::exact(obj.ptr()).rec->p;
    p.t = point_double(PyTuple_GET_ITEM(pnt, 0));
    p.val = point_double(PyTuple_GET_ITEM(pnt, 1));
    p.order = point_order(PyTuple_GET_ITEM(pnt, 2));
    return {std::move(obj)};
}

namespace {

c_point1d make_point(double u, double value, unsigned order) { return {u, value, order}; }

// Point1d(t, val, order): the type's init slot (the record exists already).
int init_point(PyObject* self, PyObject* args, PyObject* kwds) noexcept {
    static const char* keywords[] = {"t", "val", "order", nullptr};
    PyObject *t = nullptr, *val = nullptr, *order = nullptr;
    if (!PyArg_ParseTupleAndKeywords(args, kwds, "OOO:Point1d", const_cast<char**>(keywords), &t, &val, &order))
        return -1;
    try {
        const c_point1d p{point_double(t), point_double(val), point_order(order)};
        Pt::from(self).rec->p = p;
        return 0;
    } catch (...) {
        set_error_from_exception();
        return -1;
    }
}

PyType_Slot point1d_slots[] = {
    {Py_tp_new, reinterpret_cast<void*>(&new_instance<Point1dRecord, &point1d_methods>)},
    {Py_tp_init, reinterpret_cast<void*>(&init_point)},
    {0, nullptr},
};

nb::object attribute(PyObject* obj, const char* name) { return entry_result(PyObject_GetAttrString(obj, name)); }

std::string str_of(PyObject* obj, const char* name) { return nb::str(attribute(obj, name)).c_str(); }

// A plain Point1d with the fields read from `self` by attribute access.
PointObject copy_point(Pt self) {
    nb::object t = attribute(self.obj, "t"), val = attribute(self.obj, "val"), order = attribute(self.obj, "order");
    nb::object obj = new_point();
    Pt::exact(obj.ptr()).rec->p = {point_double(t.ptr()), point_double(val.ptr()), point_order(order.ptr())};
    return {std::move(obj)};
}

nb::object dunder_copy(Pt self) { return entry_result(self.rec->methods()->copy(self.obj)); }

nb::object dunder_deepcopy(Pt self, PyObject* /* memo */) { return dunder_copy(self); }

nb::object refuse_pickling(Pt self) {
    raise(PyExc_TypeError, std::string("cannot pickle '") + Py_TYPE(self.obj)->tp_name + "' object");
}

nb::object refuse_pickling_protocol(Pt self, PyObject*) { return refuse_pickling(self); }

nb::object str(Pt self) {
    return nb::str(("Point1d(t = " + str_of(self.obj, "t") + ", val = " + str_of(self.obj, "val") +
                    ", order = " + str_of(self.obj, "order") + ")")
                       .c_str());
}

nb::object repr(Pt self) {
    return nb::str(("{'t': " + str_of(self.obj, "t") + ", 'val': " + str_of(self.obj, "val") +
                    ", 'order': " + str_of(self.obj, "order") + "}")
                       .c_str());
}

bool equal_attribute(PyObject* a, PyObject* b, const char* name) {
    const int r = PyObject_RichCompareBool(attribute(a, name).ptr(), attribute(b, name).ptr(), Py_EQ);
    if (r < 0) throw nb::python_error();
    return r != 0;
}

// Exact comparison of the three fields, for instances of the left operand's
// class only.
nb::object eq(Pt self, PyObject* other) {
    const int same = PyObject_IsInstance(other, attribute(self.obj, "__class__").ptr());
    if (same < 0) throw nb::python_error();
    return nb::bool_(same != 0 && equal_attribute(self.obj, other, "t") && equal_attribute(self.obj, other, "val") &&
                     equal_attribute(self.obj, other, "order"));
}

nb::object ne(Pt self, PyObject* other) {
    nb::object r = attribute(self.obj, "__eq__")(nb::handle(other));
    const int truth = PyObject_IsTrue(r.ptr());
    if (truth < 0) throw nb::python_error();
    return nb::bool_(truth == 0);
}

// A read-write property whose deletion is refused.
template <class Get, class Set>
void def_field(PointClass& cls, const char* name, Get get, Set set, const char* doc) {
    nb::object fget = nb::cpp_function([get](nb::handle self) { return get(Pt::from(self.ptr()).rec->p); },
                                       nb::arg("self"));
    nb::object fset = nb::cpp_function(
        [set](nb::handle self, nb::handle value) { set(Pt::from(self.ptr()).rec->p, value.ptr()); },
        nb::arg("self"), nb::arg("value").none());
    nb::object fdel = nb::cpp_function([](nb::handle) { raise(PyExc_NotImplementedError, "__del__"); },
                                       nb::arg("self"));
    nb::object property = nb::handle(reinterpret_cast<PyObject*>(&PyProperty_Type))(fget, fset, fdel, doc);
    nb::setattr(cls, name, property);
}

}  // namespace

void register_point(nb::module_& m, PointClass& cls) {
    point1d_type = reinterpret_cast<PyTypeObject*>(cls.ptr());
    Point1dMethods& table = point1d_methods;
    fill_not_built(table);
    table.base = viDEVOObject_methods;

    def_field(cls, "t", [](const c_point1d& p) { return p.t; },
              [](c_point1d& p, PyObject* v) { p.t = point_double(v); },
              "The time of the point (float; any number is converted).");
    def_field(cls, "val", [](const c_point1d& p) { return p.val; },
              [](c_point1d& p, PyObject* v) { p.val = point_double(v); },
              "The value at time t of the derivative of order `order` (float).");
    def_field(cls, "order", [](const c_point1d& p) { return p.order; },
              [](c_point1d& p, PyObject* v) { p.order = point_order(v); },
              "The derivative order of val: 0 displacement, 1 velocity, 2 acceleration, ...\n"
              "(int in 0..4294967295; OverflowError outside, TypeError for a value without an\n"
              "integer conversion; a float is truncated).");

    faces::Face<&point_from_tuple>::def_static(cls, "from_tuple",
        "A new Point1d from the tuple (t, val, order); items after the third are\n"
        "ignored.  Raises TypeError for another type than a tuple, IndexError for\n"
        "fewer than three items, and the errors of the properties t, val, order.",
        {"pnt"});
    def_method<&copy_point>(cls, table, &Point1dMethods::copy, "copy",
        "A new Point1d (always of class Point1d) with the fields t, val and order of\n"
        "this one.",
        {});
    faces::MethodFace<&dunder_copy>::def(cls, "__copy__", "self.copy(), for copy.copy().", {});
    faces::MethodFace<&dunder_deepcopy>::def(cls, "__deepcopy__", "self.copy(), for copy.deepcopy().", {"memo"});
    faces::MethodFace<&refuse_pickling>::def(cls, "__reduce__", "Points cannot be pickled: raises TypeError.", {});
    faces::MethodFace<&refuse_pickling_protocol>::def(cls, "__reduce_ex__",
                                                      "Points cannot be pickled: raises TypeError.", {"protocol"});
    faces::MethodFace<&str>::def(cls, "__str__", "\"Point1d(t = ..., val = ..., order = ...)\".", {});
    faces::MethodFace<&repr>::def(cls, "__repr__", "\"{'t': ..., 'val': ..., 'order': ...}\".", {});
    faces::MethodFace<&eq>::def(cls, "__eq__",
        "True when `other` is an instance of this point's class with exactly the same\n"
        "t, val and order; False otherwise.",
        {"other"});
    faces::MethodFace<&ne>::def(cls, "__ne__", "not self.__eq__(other).", {"other"});
    cls.attr("__hash__") = nb::none();

    faces::Exporter exports(m);
    exports.export_only<&make_point, trajdata_api::make_point_fn>("make_point", trajdata_api::make_point_sig);
    exports.publish(std::initializer_list<const char*>{VIDEVO_TRAJDATA_ENTRIES(VIDEVO_CAPI_NAME)});
}

PyType_Slot* point_type_slots() { return point1d_slots; }

}  // namespace videvo::trajdata
