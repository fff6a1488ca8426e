// Internals shared by the topic files of videvo.motion.
#pragma once

#include <videvo/buffers.h>
#include <videvo/trajdata_api.h>

#include <string>

namespace videvo::motion {

// ---- what the module binds at import ---------------------------------------

inline trajdata_api::Classes classes;

// The curve-module functions the module calls, in binding order.
#define VIDEVO_MOTION_CURVEKIT(X) \
    X(dsplcev)                    \
    X(kevalappr)                  \
    X(gcsplapp)                   \
    X(gdsplapp)

struct Curvekit {
#define VIDEVO_MOTION_CURVEKIT_FIELD(name) curvekit_api::name##_fn name = nullptr;
    VIDEVO_MOTION_CURVEKIT(VIDEVO_MOTION_CURVEKIT_FIELD)
#undef VIDEVO_MOTION_CURVEKIT_FIELD
};

inline Curvekit ck;

// numpy.empty and numpy.ascontiguousarray, kept from the import.
struct Numpy {
    nb::object empty;
    nb::object ascontiguousarray;
    nb::object float64;
};

inline Numpy np;

// ---- arguments ----------------------------------------------------------------

[[noreturn]] inline void fail(const std::string& text) { raise(PyExc_ValueError, text); }

// A trajectory argument with its record; TypeError for another object and
// ValueError for an empty trajectory (no buffers).
struct Traj {
    PyObject* obj;
    const Trajectory1dRecord* rec;

    static Traj from(nb::handle t, const char* name = "t") {
        if (!PyObject_TypeCheck(t.ptr(), classes.Trajectory1d))
            raise(PyExc_TypeError, std::string("'") + name + "' must be a Trajectory1d, not " + Py_TYPE(t.ptr())->tp_name);
        const Trajectory1dRecord* r = trajectory_record(t.ptr());
        if (r->is_empty()) fail(std::string("'") + name + "' is an empty trajectory");
        return {t.ptr(), r};
    }

    int p() const { return rec->p; }
    int n() const { return rec->n; }
    CVec U() const { return {rec->_knotvector, static_cast<Py_ssize_t>(rec->knot_count())}; }
    CVec P() const { return {rec->_cpts, static_cast<Py_ssize_t>(rec->cpts_count())}; }
    double start() const { return rec->_knotvector[0]; }
    double stop() const { return rec->_knotvector[rec->knot_count() - 1]; }
};

inline void require_non_negative(int value, const char* name) {
    if (value < 0) fail(std::string("'") + name + "' must be non-negative number");
}

// A new C-contiguous float64 array of the given shape, and its data.
struct NewArray {
    nb::object array;
    double* data;
};
NewArray new_array(Py_ssize_t rows, Py_ssize_t cols);
NewArray new_array(Py_ssize_t size);

// The derivatives of orders 0..upto at the points x (inside the domain) as
// rows of a new (upto + 1, len(x)) array.
nb::object kinematics_at(const Traj& t, CVec x, int upto);

// Minimum and maximum of the nu-th derivative over the domain and where
// they occur.
struct Extrema {
    double lo, xlo, hi, xhi;
};
Extrema extrema_of(const Traj& t, int nu);

// Registration of each topic's functions.
void register_kinematics(nb::module_& m);
void register_extrema(nb::module_& m);
void register_scaling(nb::module_& m);
void register_approximation(nb::module_& m);

}  // namespace videvo::motion
