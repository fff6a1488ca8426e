// Internals shared by the topic files of videvo.curvekit.
#pragma once

#include <videvo/curvekit_api.h>
#include <videvo/faces.h>

#include <cstddef>
#include <memory>
#include <new>
#include <string>

namespace videvo::curvekit {

using faces::Exporter;

// Defines function `name` from implementation `impl`: its Python face and its
// export entry, typed and signed by the module's API header.
#define VIDEVO_CURVEKIT_DEF(exporter, impl, name, doc, ...)                                         \
    (exporter).def<&impl, ::videvo::curvekit_api::name##_fn>(#name, ::videvo::curvekit_api::name##_sig, \
                                                             doc, {__VA_ARGS__})

#define VIDEVO_CURVEKIT_EXPORT_ONLY(exporter, impl, name) \
    (exporter).export_only<&impl, ::videvo::curvekit_api::name##_fn>(#name, ::videvo::curvekit_api::name##_sig)

// Raises the exception that corresponds to a non-zero kernel status code.
inline void check_info(int info) {
    if (info == 0 || info > 6) return;
    if (info < 0) raise(PyExc_ValueError, "the algorithm failed with 'info' value: " + std::to_string(info));
    switch (info) {
        case 1: raise_memory();
        case 2: raise(PyExc_ZeroDivisionError, "float division by zero");
        case 3: raise(PyExc_NotImplementedError);
        case 4: raise(PyExc_Exception, "exceeded max iterations");
        case 5: raise(PyExc_IndexError, "out of range");
        default: raise(PyExc_Exception, "error");
    }
}

// The argument checks of the kernel's curve routines that must run before the
// kernel may touch U: p < 0 (-2), p > n (-1), and a knot vector whose length
// is not n + p + 2 (-3, an invalid knot vector for n and p).
inline void require_curve(int n, int p, CVec U) {
    if (p < 0) check_info(-2);
    if (p > n) check_info(-1);
    if (U.size != static_cast<Py_ssize_t>(n) + p + 2) check_info(-3);
}

// ValueError "'name' ...": the helpers' own argument errors.
[[noreturn]] inline void bad_argument(const char* name, const std::string& what) {
    raise(PyExc_ValueError, std::string("'") + name + "' " + what);
}

inline void require_degree_at_least(int p, int lowest) {
    if (p < lowest) bad_argument("p", "must be at least " + std::to_string(lowest) + ", not " + std::to_string(p));
}

// An output array that must hold at least `needed` entries (the caller may
// pass a longer one and use the part the function reports).
inline void require_at_least(Py_ssize_t size, Py_ssize_t needed, const char* name) {
    if (size < needed)
        raise(PyExc_ValueError, std::string("'") + name + "' must have at least " + std::to_string(needed) +
                                    " entries, not " + std::to_string(size));
}

// The size checks of the composite routines: AssertionError(message), made in
// every interpreter mode, since they keep the numeric part inside the arrays.
inline void require(bool ok, const char* message) {
    if (!ok) raise(PyExc_AssertionError, message);
}

// A work array of `count` values; MemoryError when it cannot be had.
template <class T>
std::unique_ptr<T[]> allocate(std::size_t count) {
    std::unique_ptr<T[]> a(new (std::nothrow) T[count]);
    if (!a) raise_memory();
    return a;
}

// Whether the interpreter runs with assertions enabled (not under -O).
inline bool assertions_enabled() {
    return nb::module_::import_("sys").attr("flags").attr("optimize").equal(nb::int_(0));
}

// Span and multiplicity of u (FindSpanMult) for the insertion and removal
// routines, which take them as arguments and check the curve before they use
// them.  For a degree outside [0, n] or a u outside the domain (or NaN) it
// returns (0, 0): the routine's own checks then report the wrong argument.
IntPair span_and_multiplicity(int n, int p, double u, CVec U);

// splkins with `validate` false skipping the knot-vector check, for callers
// that know U is valid (the trajectories' private table).
void insert_knot(CVec UP, CVec P, int p, double u, int r, Vec UQ, Vec Q, bool validate);

// Registration of each topic's functions.
void register_knots(Exporter& ex);
void register_evaluation(Exporter& ex);
void register_derivatives(Exporter& ex);
void register_insertion(Exporter& ex);
void register_removal(Exporter& ex);
void register_interpolation(Exporter& ex);
void register_approximation(Exporter& ex);
void register_joining(Exporter& ex);
void register_bezier(Exporter& ex);

}  // namespace videvo::curvekit
