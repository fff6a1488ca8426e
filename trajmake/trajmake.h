// Internals shared by the topic files of videvo.trajmake.
#pragma once

#include <videvo/buffers.h>
#include <videvo/faces.h>
#include <videvo/trajmake_api.h>

#include <string>

namespace videvo::trajmake {

using faces::Exporter;

// ---- what the module binds at import ---------------------------------------

// The classes and the Trajectory1d method table of videvo.trajdata.
inline trajdata_api::Classes classes;

// The curve-module functions the factories call, in binding order.  One line
// per function.
#define VIDEVO_TRAJMAKE_CURVEKIT(X) \
    X(validknots)                   \
    X(averaging)                    \
    X(averaging2)                   \
    X(averaging3)                   \
    X(gcsplint)                     \
    X(gdsplint)                     \
    X(cdsplint)                     \
    X(gadsplint)                    \
    X(getbmtxelement)

struct Curvekit {
#define VIDEVO_TRAJMAKE_CURVEKIT_FIELD(name) curvekit_api::name##_fn name = nullptr;
    VIDEVO_TRAJMAKE_CURVEKIT(VIDEVO_TRAJMAKE_CURVEKIT_FIELD)
#undef VIDEVO_TRAJMAKE_CURVEKIT_FIELD
};

inline Curvekit ck;

// ---- messages ---------------------------------------------------------------

namespace msg {
inline constexpr const char* p_negative = "'p' must be greater than or equal to zero";
inline constexpr const char* knots_inconsistent = "inconsistent 'knots' vector";
inline constexpr const char* order_negative = "'order' value must be greater than or equal to zero: ";
inline constexpr const char* fp_length = "'fp' must have the same length as 'xp'";
inline constexpr const char* xp_increasing = "'xp' must be increasing";
inline constexpr const char* xp_finite = "'xp' must be finite";
inline constexpr const char* p_inconsistent = "inconsistent 'p' value";
inline constexpr const char* degree_vs_points = "degree inconsistent with the number of data points";
inline constexpr const char* too_few_points = "too few data points";
inline constexpr const char* max_derivative = "the maximum constrained derivative must be less than 'p'";
inline constexpr const char* stop_before_start = "'stop' must be greater than 'start'";
inline constexpr const char* infinite_slope = "infinite slope is not allowed";  // ZeroDivisionError
inline constexpr const char* nu_positive = "'nu' must be greater than zero";
inline constexpr const char* p_below_poly_degree = "'p' must be greater than or equal to the degree of the polynomial: ";
inline constexpr const char* p_negative_value = "'p' must be greater than or equal to zero: ";
inline constexpr const char* p_below_one = "'p' must be at least 1: ";
inline constexpr const char* domain_finite = "'start' and 'stop' must be finite";
inline constexpr const char* c_empty = "'c' must not be empty";
}  // namespace msg

// ValueError(text), and the messages with a value: text followed by the value.
[[noreturn]] inline void fail(const char* text) { raise(PyExc_ValueError, text); }
[[noreturn]] inline void fail(const char* text, long long value) {
    raise(PyExc_ValueError, std::string(text) + std::to_string(value));
}

inline void require_order(int order) {
    if (order < 0) fail(msg::order_negative, order);
}

// ---- the hand-over of new buffers ---------------------------------------------

// A new Trajectory1d that takes over the two buffers (released here when the
// construction fails).
inline TrajectoryObject wrap_buffers(Buffer& knots, Buffer& cpts, int p, int n, int order) {
    PyObject* t = classes.trajectory1d->from_ptrs(knots.get(), cpts.get(), p, n, static_cast<unsigned>(order), {1, true});
    if (t == nullptr) throw nb::python_error();
    knots.release();
    cpts.release();
    return {nb::steal(t)};
}

inline Vec view_of(const Buffer& b) { return {b.get(), static_cast<Py_ssize_t>(b.size())}; }

// ---- shared by the interpolating and the analytic factories -------------------

// "'xp' must be increasing" unless every xp[i - 1] < xp[i] (a NaN fails).
void require_increasing(CVec xp);
// "'xp' must be finite" for an infinite or NaN first or last abscissa.
void require_finite_ends(CVec xp);
// fromdatawaed after its checks.
TrajectoryObject interpolate_with_end_derivatives(CVec xp, CVec fp, int p, int order, CVec Ds, CVec De);

// Defines factory `name` from implementation `impl`: its Python face and its
// export entry, typed and signed by the module's API header.
#define VIDEVO_TRAJMAKE_DEF(exporter, impl, name, doc, ...)                                          \
    (exporter).def<&impl, ::videvo::trajmake_api::name##_fn>(#name, ::videvo::trajmake_api::name##_sig, \
                                                             doc, {__VA_ARGS__})

#define VIDEVO_TRAJMAKE_EXPORT_ONLY(exporter, impl, name) \
    (exporter).export_only<&impl, ::videvo::trajmake_api::name##_fn>(#name, ::videvo::trajmake_api::name##_sig)

// Registration of each topic's factories.
void register_bspline(Exporter& ex);
void register_interpolating(Exporter& ex);
void register_analytic(Exporter& ex);

}  // namespace videvo::trajmake
