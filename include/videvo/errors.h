// Raising exact Python exceptions from C++, and carrying them across the
// machine-level boundary between modules.
//
// Inside a module, code raises with `raise(...)`: the Python error is set and
// a nb::python_error unwinds to the nearest face.  The Python face lets
// nanobind hand it back to Python; a machine-level entry catches it at its
// boundary (`set_error_from_exception`) and returns its error value, so C++
// exceptions never cross a module boundary.  An importer that sees an error
// value turns it back into a C++ exception with `throw_if_error`.
#pragma once

#include <nanobind/nanobind.h>

#include <new>
#include <string>

namespace videvo {

namespace nb = nanobind;

[[noreturn]] inline void raise(PyObject* type, const char* message) {
    PyErr_SetString(type, message);
    throw nb::python_error();
}

[[noreturn]] inline void raise(PyObject* type, const std::string& message) {
    raise(type, message.c_str());
}

// An exception without message (its args are empty).
[[noreturn]] inline void raise(PyObject* type) {
    PyErr_SetNone(type);
    throw nb::python_error();
}

[[noreturn]] inline void raise_memory() { raise(PyExc_MemoryError, "memory allocation failed"); }

// A double as Python's repr() writes it ("0.5", "3.0", "nan", "1e-10").
inline std::string repr_double(double x) {
    char* text = PyOS_double_to_string(x, 'r', 0, Py_DTSF_ADD_DOT_0, nullptr);
    if (text == nullptr) throw nb::python_error();
    std::string result(text);
    PyMem_Free(text);
    return result;
}

// Sets the Python error that corresponds to the exception being handled.  Call
// only from a catch block.
inline void set_error_from_exception() noexcept {
    try {
        throw;
    } catch (nb::python_error& e) {
        e.restore();
    } catch (nb::builtin_exception& e) {
        PyObject* type = PyExc_RuntimeError;
        switch (e.type()) {
            case nb::exception_type::value_error: type = PyExc_ValueError; break;
            case nb::exception_type::type_error: type = PyExc_TypeError; break;
            case nb::exception_type::index_error: type = PyExc_IndexError; break;
            case nb::exception_type::key_error: type = PyExc_KeyError; break;
            case nb::exception_type::import_error: type = PyExc_ImportError; break;
            case nb::exception_type::attribute_error: type = PyExc_AttributeError; break;
            case nb::exception_type::buffer_error: type = PyExc_BufferError; break;
            default: break;
        }
        PyErr_SetString(type, e.what());
    } catch (nb::cast_error&) {
        PyErr_SetString(PyExc_TypeError, "argument of incompatible type");
    } catch (std::bad_alloc&) {
        PyErr_SetString(PyExc_MemoryError, "memory allocation failed");
    } catch (std::exception& e) {
        PyErr_SetString(PyExc_RuntimeError, e.what());
    } catch (...) {
        PyErr_SetString(PyExc_RuntimeError, "unknown C++ exception");
    }
}

// After a machine-level call into another module: rethrow its Python error.
inline void throw_if_error() {
    if (PyErr_Occurred() != nullptr) throw nb::python_error();
}

// A machine-level entry of another module that returned its error value
// (-1 for void and int results): raise the exception it set.
inline void check_entry(int status) {
    if (status != 0) throw nb::python_error();
}

// The new reference an entry or a C-API call returned (NULL: raise the
// exception it set).
inline nb::object entry_result(PyObject* result) {
    if (result == nullptr) throw nb::python_error();
    return nb::steal(result);
}

}  // namespace videvo
