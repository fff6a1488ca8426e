// The override rule, and the argument handling shared by all instances.
#include "overrides.h"

#include <algorithm>

namespace videvo::trajdata {

nb::object python_override(PyObject* self, PyObject* name, PyObject* own) {
    nb::object bound = entry_result(PyObject_GetAttr(self, name));
    // A method found on the class is bound (a Python method or a nanobind
    // bound method, both with __func__); anything else (a function stored on
    // the instance, a staticmethod) is a redefinition in its own right.
    nb::object function = nb::steal(PyObject_GetAttrString(bound.ptr(), "__func__"));
    if (!function.is_valid()) {
        if (!PyErr_ExceptionMatches(PyExc_AttributeError)) throw nb::python_error();
        PyErr_Clear();
        return bound;
    }
    if (function.ptr() == own) return {};
    return bound;
}

nb::object array_over(const double* data, Py_ssize_t size, bool writable) {
    NewArray copy = new_array(size);
    std::copy(data, data + size, copy.data.data);
    if (!writable) copy.array.attr("setflags")(nb::arg("write") = false);
    return std::move(copy.array);
}

// The tp_new of every class of this module.
bool is_own_new(newfunc f) {
    return f == &new_instance<ViDEVOObjectRecord, &viDEVOObject_methods> ||
           f == &new_instance<Trajectory1dRecord, &trajectory1d_methods>;
}

bool refuse_arguments(PyTypeObject* type, PyObject* args, PyObject* kwds, bool in_new) {
    const bool excess = (args != nullptr && PyTuple_GET_SIZE(args) != 0) ||
                        (kwds != nullptr && PyDict_Check(kwds) && PyDict_GET_SIZE(kwds) != 0);
    if (!excess) return false;
    // As object(): __new__ ignores arguments meant for a redefined __init__,
    // and __init__ ignores those meant for a redefined __new__.
    if (in_new ? type->tp_init != &init_instance : !is_own_new(type->tp_new)) return false;
    nb::object name = nb::steal(PyObject_GetAttrString(reinterpret_cast<PyObject*>(type), "__name__"));
    if (!name.is_valid()) return true;
    PyErr_Format(PyExc_TypeError, "%U() takes no arguments", name.ptr());
    return true;
}

int init_instance(PyObject* self, PyObject* args, PyObject* kwds) noexcept {
    return refuse_arguments(Py_TYPE(self), args, kwds, false) ? -1 : 0;
}

void require_str_or_none(PyObject* obj, const char* name) {
    if (obj != Py_None && !PyUnicode_Check(obj))
        raise(PyExc_TypeError, std::string("'") + name + "' must be str or None, not " + Py_TYPE(obj)->tp_name);
}

}  // namespace videvo::trajdata
