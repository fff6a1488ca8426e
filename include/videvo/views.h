// Array views and the conversion of Python array arguments into them.
//
// A view is a pointer and a length (a 2-D view adds rows and columns, row-
// major); it never owns its data.  Views are what every machine-level entry
// takes, so the three modules pass arrays to each other without Python calls.
// Python arguments are converted through the buffer protocol by ArrayArg:
//   None                                  -> TypeError
//   an object without a buffer            -> TypeError
//   not float64 / wrong ndim / not C-contiguous / read-only output -> ValueError
// Input arrays may be read-only; output arrays are written in place, never
// copied.  (A Python face reads an input that shares memory with an output
// from a copy, and refuses two outputs that share memory: faces.h.)
#pragma once

#include "errors.h"

// Only the array struct accessors of NumPy are used (no C-API table), so the
// modules need no import_array().
#define NPY_NO_DEPRECATED_API NPY_1_7_API_VERSION
#include <numpy/ndarraytypes.h>

#include <climits>
#include <cstring>
#include <optional>
#include <string>

namespace videvo {

// Writable one-dimensional view: data[0..size-1].
struct Vec {
    double* data;
    Py_ssize_t size;
    double& operator[](Py_ssize_t i) const { return data[i]; }
    int last() const { return static_cast<int>(size) - 1; }  // highest index
};

// Read-only one-dimensional view.
struct CVec {
    const double* data;
    Py_ssize_t size;
    CVec() = default;
    CVec(const double* d, Py_ssize_t s) : data(d), size(s) {}
    CVec(Vec v) : data(v.data), size(v.size) {}
    const double& operator[](Py_ssize_t i) const { return data[i]; }
    int last() const { return static_cast<int>(size) - 1; }
};

// A writable one-dimensional view that may be absent (an array argument given
// as None): then data is null and size 0.
struct VecOrNone : Vec {
    VecOrNone() : Vec{nullptr, 0} {}
    explicit VecOrNone(Vec v) : Vec(v) {}
    bool is_none() const { return data == nullptr; }
};

// Writable two-dimensional row-major view: element (r, c) at data[r * cols + c].
struct Mat {
    double* data;
    Py_ssize_t rows;
    Py_ssize_t cols;
};

enum class Access { read, write };

// numpy.ndarray, looked up once when a module is initialised (each extension
// module keeps its own copy).
inline PyTypeObject*& ndarray_type() {
    static PyTypeObject* type = nullptr;
    return type;
}

inline void init_array_support() {
    nb::object ndarray = nb::module_::import_("numpy").attr("ndarray");
    ndarray_type() = reinterpret_cast<PyTypeObject*>(ndarray.release().ptr());
}

// Holds the buffer of one array argument for the duration of a call.
class ArrayArg {
public:
    ArrayArg(nb::handle obj, const char* name, int ndim, Access access) {
        if (obj.is_none()) raise(PyExc_TypeError, quoted(name) + " must be a float64 array, not None");
        // NumPy arrays are read directly: a buffer export costs several times
        // the work of a small evaluation.
        if (ndarray_type() != nullptr && PyObject_TypeCheck(obj.ptr(), ndarray_type())) {
            auto* a = reinterpret_cast<PyArrayObject*>(obj.ptr());
            const PyArray_Descr* descr = PyArray_DESCR(a);
            // The dimensions exist only up to the array's own number of them.
            const npy_intp size = PyArray_NDIM(a) != ndim ? 0
                                  : ndim == 1          ? PyArray_DIMS(a)[0]
                                                       : PyArray_DIMS(a)[0] * PyArray_DIMS(a)[1];
            if (descr->type_num == NPY_DOUBLE && PyArray_ISNBO(descr->byteorder) && PyArray_NDIM(a) == ndim &&
                PyArray_IS_C_CONTIGUOUS(a) && (access == Access::read || PyArray_ISWRITEABLE(a)) &&
                size <= INT_MAX - 1024) {
                data_ = PyArray_DATA(a);
                count_ = size;
                if (ndim == 2) {
                    rows_ = PyArray_DIMS(a)[0];
                    cols_ = PyArray_DIMS(a)[1];
                }
                return;
            }
        }
        // Other arrays (and the errors of NumPy arrays) through the buffer protocol.
        if (PyObject_GetBuffer(obj.ptr(), &buf_, PyBUF_RECORDS_RO) != 0) {
            PyErr_Clear();
            raise(PyExc_TypeError, quoted(name) + " must be a float64 array, not " +
                                       Py_TYPE(obj.ptr())->tp_name);
        }
        held_ = true;
        if (!is_float64()) raise(PyExc_ValueError, quoted(name) + " must have dtype float64, not " + dtype_name(obj));
        if (buf_.ndim != ndim)
            raise(PyExc_ValueError, quoted(name) + " must be " + (ndim == 1 ? "one" : "two") +
                                        "-dimensional, not " + std::to_string(buf_.ndim) + "-dimensional");
        if (!PyBuffer_IsContiguous(&buf_, 'C')) raise(PyExc_ValueError, quoted(name) + " must be C-contiguous");
        if (access == Access::write && buf_.readonly) raise(PyExc_ValueError, quoted(name) + " must be writable");
        if (count() > INT_MAX - 1024) raise(PyExc_ValueError, quoted(name) + " is too large");
        data_ = buf_.buf;
        count_ = count();
        if (ndim == 2) {
            rows_ = buf_.shape[0];
            cols_ = buf_.shape[1];
        }
    }
    ArrayArg(const ArrayArg&) = delete;
    ArrayArg& operator=(const ArrayArg&) = delete;
    ~ArrayArg() {
        if (held_) PyBuffer_Release(&buf_);
    }

    Vec vec() const { return {static_cast<double*>(data_), count_}; }
    CVec cvec() const { return {static_cast<const double*>(data_), count_}; }
    Mat mat() const { return {static_cast<double*>(data_), rows_, cols_}; }

private:
    static std::string quoted(const char* name) { return std::string("'") + name + "'"; }

    Py_ssize_t count() const { return buf_.itemsize == 0 ? 0 : buf_.len / buf_.itemsize; }

    bool is_float64() const {
        const char* f = buf_.format;
        if (buf_.itemsize != 8 || f == nullptr) return false;
        if (f[0] == '@' || f[0] == '=' ||
#if PY_BIG_ENDIAN
            f[0] == '>' || f[0] == '!'
#else
            f[0] == '<'
#endif
        )
            ++f;
        return std::strcmp(f, "d") == 0;
    }

    std::string dtype_name(nb::handle obj) const {
        if (PyObject_HasAttrString(obj.ptr(), "dtype")) {
            nb::object text = nb::steal(PyObject_Str(obj.attr("dtype").ptr()));
            if (text.is_valid()) return nb::borrow<nb::str>(text).c_str();
            PyErr_Clear();
        }
        return std::string("format '") + (buf_.format ? buf_.format : "B") + "'";
    }

    Py_buffer buf_{};
    bool held_ = false;
    void* data_ = nullptr;
    Py_ssize_t count_ = 0, rows_ = 0, cols_ = 0;
};

// Size requirements of caller-supplied arrays, checked before any work.
inline void require_size(Py_ssize_t size, Py_ssize_t needed, const char* name) {
    if (size != needed)
        raise(PyExc_ValueError, std::string("'") + name + "' must have " + std::to_string(needed) +
                                    " entries, not " + std::to_string(size));
}

inline void require_shape(const Mat& a, Py_ssize_t rows, Py_ssize_t cols, const char* name) {
    if (a.rows != rows || a.cols != cols)
        raise(PyExc_ValueError, std::string("'") + name + "' must have shape (" + std::to_string(rows) + ", " +
                                    std::to_string(cols) + "), not (" + std::to_string(a.rows) + ", " +
                                    std::to_string(a.cols) + ")");
}

// Arrays from this many elements on are long enough for releasing the
// interpreter lock to pay (releasing and taking it again costs about a tenth
// of a microsecond).
inline constexpr Py_ssize_t long_array = Py_ssize_t{1} << 14;

// Releases the interpreter lock while it lives when `count` elements make the
// work long enough for other threads to gain from it.  Nothing done meanwhile
// may touch a Python object.
class ReleaseForLongWork {
public:
    explicit ReleaseForLongWork(Py_ssize_t count) {
        if (count >= long_array) state_ = PyEval_SaveThread();
    }
    ~ReleaseForLongWork() {
        if (state_ != nullptr) PyEval_RestoreThread(state_);
    }
    ReleaseForLongWork(const ReleaseForLongWork&) = delete;
    ReleaseForLongWork& operator=(const ReleaseForLongWork&) = delete;

private:
    PyThreadState* state_ = nullptr;
};

}  // namespace videvo
