// Internals shared by the topic files of videvo.trajdata.
#pragma once

#include <videvo/buffers.h>
#include <videvo/faces.h>
#include <videvo/evaluation_api.h>
#include <videvo/trajdata_api.h>

#include <nanobind/ndarray.h>

namespace videvo::trajdata {

// ---- curve-module functions ------------------------------------------------

// The curve-module functions this module calls, bound from the curve module's
// export table at import, in binding order.  One line per function.
#define VIDEVO_TRAJDATA_CURVEKIT(X) \
    X(distintknots)                 \
    X(averagcpts)                   \
    X(splpev)                       \
    X(splcev)                       \
    X(dsplpev)                      \
    X(dsplcev)                      \
    X(splkins)                      \
    X(splkrem)                      \
    X(splksrem)                     \
    X(splkrem_notol)                \
    X(degelevc)                     \
    X(asplcpts)                     \
    X(dsplcpts2)                    \
    X(splkref)                      \
    X(knotuniondim)                 \
    X(splcsum)                      \
    X(validknots)

struct Curvekit {
#define VIDEVO_TRAJDATA_CURVEKIT_FIELD(name) curvekit_api::name##_fn name = nullptr;
    VIDEVO_TRAJDATA_CURVEKIT(VIDEVO_TRAJDATA_CURVEKIT_FIELD)
#undef VIDEVO_TRAJDATA_CURVEKIT_FIELD
};

inline Curvekit ck;

// The curve module's evaluation on trajectory buffers.
inline evaluation_api::Table evaluation{};

// ---- NumPy ---------------------------------------------------------------------

// The NumPy functions the module calls, looked up once at import (references
// kept for the life of the interpreter).
struct Numpy {
    PyObject *module, *array, *ascontiguousarray, *argsort, *isscalar, *empty, *empty_like, *float64;
};

inline Numpy np;

// A new numpy.empty(size, dtype=numpy.float64) and a view of its data.
struct NewArray {
    nb::object array;
    Vec data;
};
NewArray new_array(Py_ssize_t size);

// ---- classes and their tables ---------------------------------------------

using BaseClass = nb::class_<ViDEVOObjectRecord>;
using TrajectoryClass = nb::class_<Trajectory1dRecord, ViDEVOObjectRecord>;
using PointClass = nb::class_<Point1dRecord, ViDEVOObjectRecord>;

inline ViDEVOObjectMethods viDEVOObject_methods{};
inline Trajectory1dMethods trajectory1d_methods{};
inline Point1dMethods point1d_methods{};

inline PyTypeObject* viDEVOObject_type = nullptr;
inline PyTypeObject* trajectory1d_type = nullptr;
inline PyTypeObject* point1d_type = nullptr;

// The module's CorruptedFileError (a reference kept for the life of the
// interpreter).
inline PyObject* corrupted_file_error = nullptr;

// A ViDEVOObject instance, as the methods of the base class see it.
struct Base {
    PyObject* obj;

    static bool is_exact(PyObject* o) noexcept { return Py_TYPE(o) == viDEVOObject_type; }
    static Base exact(PyObject* o) noexcept { return {o}; }
    static Base from(PyObject* o);
};

// A Trajectory1d instance and its record, as the methods see them.
struct Traj {
    PyObject* obj;
    Trajectory1dRecord* rec;

    static bool is_exact(PyObject* o) noexcept { return Py_TYPE(o) == trajectory1d_type; }
    static Traj exact(PyObject* o) noexcept { return {o, trajectory_record(o)}; }
    // TypeError when `o` is no Trajectory1d.
    static Traj from(PyObject* o);

    // The buffers as views (n + p + 2 knots, n + 1 control points); ValueError
    // when the trajectory is empty.
    CVec knots() const;
    CVec cpts() const;
    void require_data() const;
};

// A Point1d instance and its record.
struct Pt {
    PyObject* obj;
    Point1dRecord* rec;

    static bool is_exact(PyObject* o) noexcept { return Py_TYPE(o) == point1d_type; }
    static Pt exact(PyObject* o) noexcept { return {o, nb::inst_ptr<Point1dRecord>(o)}; }
    // TypeError when `o` is no Point1d.
    static Pt from(PyObject* o);
};

// The domain [start, stop]: read through attribute lookup on subclasses (which
// may redefine the properties), straight from the knots otherwise.
struct Domain {
    double start;
    double stop;
};
Domain domain(Traj t);

// ValueError("'name' out of domain: x") for x outside [start, stop] (a NaN
// passes: both comparisons are false).
void require_in_domain(Traj t, double x, const char* name);

// File names and IDs are str or None: TypeError otherwise.
void require_str_or_none(PyObject* obj, const char* name);

// ---- instances ----------------------------------------------------------------

// Instances are made ready by tp_new, which builds the record, so that a
// Python subclass whose __init__ never calls the base's still has a valid
// one.  Arguments are refused as object() does: by tp_new unless a subclass
// redefines __init__, by tp_init unless a subclass redefines __new__.
int init_instance(PyObject* self, PyObject* args, PyObject* kwds) noexcept;
bool refuse_arguments(PyTypeObject* type, PyObject* args, PyObject* kwds, bool in_new);

PyObject* vectorcall_trajectory(PyObject* self, PyObject* const* args, std::size_t nargsf, PyObject* kwnames) noexcept;

template <class Record, auto* Table>
nb::object allocate_instance(PyTypeObject* type) {
    nb::object self = nb::inst_alloc(nb::handle(reinterpret_cast<PyObject*>(type)));
    Record* record = new (nb::inst_ptr<Record>(self)) Record(Table);
    if constexpr (std::is_same_v<Record, Trajectory1dRecord>) record->vectorcall = &vectorcall_trajectory;
    nb::inst_mark_ready(self);
    return self;
}

template <class Record, auto* Table>
PyObject* new_instance(PyTypeObject* type, PyObject* args, PyObject* kwds) noexcept {
    try {
        if (refuse_arguments(type, args, kwds, true)) return nullptr;
        return allocate_instance<Record, Table>(type).release().ptr();
    } catch (...) {
        set_error_from_exception();
        return nullptr;
    }
}

// The type slots of a class whose records are built by new_instance.
template <class Record, auto* Table>
inline PyType_Slot ready_slots[] = {
    {Py_tp_new, reinterpret_cast<void*>(&new_instance<Record, Table>)},
    {Py_tp_init, reinterpret_cast<void*>(&init_instance)},
    {0, nullptr},
};

// t(x, nu=0): evaluation of the trajectory or of a derivative at a point or on
// an array-like of points.
PyObject* call_trajectory(PyObject* self, PyObject* args, PyObject* kwargs) noexcept;

inline PyType_Slot trajectory1d_slots[] = {
    {Py_tp_new, reinterpret_cast<void*>(&new_instance<Trajectory1dRecord, &trajectory1d_methods>)},
    {Py_tp_init, reinterpret_cast<void*>(&init_instance)},
    {Py_tp_call, reinterpret_cast<void*>(&call_trajectory)},
    {0, nullptr},
};

// A new plain Trajectory1d around two buffers (owned when `owner` is set).
TrajectoryObject from_ptrs(double* knotvector, double* cpts, int p, int n, unsigned order, OptOwner owner);

// ---- points ---------------------------------------------------------------------

// The conversions of Point1d's properties: a double (TypeError otherwise), and
// an unsigned 32-bit order from anything with an integer conversion (a float
// is truncated; OverflowError out of range, TypeError without one).
double point_double(PyObject* value);
unsigned point_order(PyObject* value);

// The type slots of Point1d (its constructor sets the fields).
PyType_Slot* point_type_slots();

// A new Point1d with zero fields, made without its constructor.
nb::object new_point();

// (t, val, order) of a tuple as a new Point1d; IndexError for fewer items.
PointObject point_from_tuple(PyObject* pnt);
// A new plain Trajectory1d that takes over both buffers (or their one block).
TrajectoryObject adopt(Buffer& U, Buffer& P, int p, int n, unsigned order);
TrajectoryObject adopt(TwinBuffer& UP, int p, int n, unsigned order);

// An independent copy that owns its buffers (an empty trajectory gives an
// empty one).
TrajectoryObject copy(Traj self);

// ---- registration, one function per topic ---------------------------------

void register_base(nb::module_& m, BaseClass& cls);
// Whether `obj` has only the base class's abstract element hooks (its class
// redefines neither), so that any save of it fails in them.
bool has_abstract_hooks(PyObject* obj);
void register_record(nb::module_& m, TrajectoryClass& cls);
void register_pickling(TrajectoryClass& cls);
void register_evaluation(TrajectoryClass& cls);
void register_point(nb::module_& m, PointClass& cls);
void register_constraints(TrajectoryClass& cls);
// Persistence: savexml on the base class (before the subclasses copy its
// table), then the hooks and loaders of each class.
void register_savexml(BaseClass& cls);
void register_trajectory_xml(TrajectoryClass& cls);
void register_point_xml(PointClass& cls);
void register_transforms(TrajectoryClass& cls);
void register_calculus(TrajectoryClass& cls);
void register_arithmetic(TrajectoryClass& cls);

}  // namespace videvo::trajdata

namespace videvo::faces {

// `self` of the methods: a checked instance.
template <class S>
struct PySelfArg {
    using type = nb::handle;
    struct Holder {
        S value;
        Holder(nb::handle obj, const char*) : value(S::from(obj.ptr())) {}
        S get() const { return value; }
    };
    static auto arg(const char* name) { return nb::arg(name); }
};

template <> struct PyArg<trajdata::Traj> : PySelfArg<trajdata::Traj> {};
template <> struct PyArg<trajdata::Base> : PySelfArg<trajdata::Base> {};
template <> struct PyArg<trajdata::Pt> : PySelfArg<trajdata::Pt> {};

}  // namespace videvo::faces
