// The classes of videvo.trajdata at machine level: their records and their
// method tables, for the module itself and for the modules that import it.
//
// Every instance of a class starts with a pointer to the class's method table
// (one shared struct of entry points in a fixed slot order); a subclass's
// table starts with its base's table.  The table of each class is published as
// a capsule in the class attribute `__capi__`, named by the table's signature
// text (the slot list below, stringified), so an importer that compiled
// against another slot list fails at import with ImportError.
//
// Entries follow the calling convention of capi.h.  `self` is the instance,
// borrowed; object arguments are borrowed; object results are new references.
// Where a method is also a Python method, its entry runs a Python subclass's
// redefinition of that method (the override rule); on instances of the class
// itself it runs directly.
#pragma once

#include "curvekit_api.h"
#include "evaluation_api.h"
#include "faces.h"

#include <cstdint>
#include <cstring>
#include <string>

namespace videvo {

using Self = PyObject*;       // the instance an entry runs on (borrowed)
using ObjectArg = PyObject*;  // any Python object argument (borrowed)

// Logical result types "a new Trajectory1d" and "a new Point1d" (machine
// level: a new reference, NULL on failure).
template <class Tag>
struct ClassObject {
    nb::object value;
};
struct TrajectoryTag {
    static constexpr const char* annotation = "videvo.trajdata.Trajectory1d";
};
struct PointTag {
    static constexpr const char* annotation = "videvo.trajdata.Point1d";
};
using TrajectoryObject = ClassObject<TrajectoryTag>;
using PointObject = ClassObject<PointTag>;
template <class Tag> struct MachineResult<ClassObject<Tag>> { using type = PyObject*; };

// A constraint point: the value `val` of the derivative of order `order` at
// time `t`.
struct c_point1d {
    double t;
    double val;
    std::uint32_t order;
};
template <> struct MachineResult<c_point1d> { using type = c_point1d; };

namespace faces {
template <class Tag>
struct Result<ClassObject<Tag>> {
    using machine = PyObject*;
    static machine to_machine(ClassObject<Tag> r) { return r.value.release().ptr(); }
    static machine error() { return nullptr; }
    static nb::object to_python(ClassObject<Tag> r) { return std::move(r.value); }
    static const char* annotation() { return Tag::annotation; }
};
template <>
struct Result<c_point1d> {
    using machine = c_point1d;
    static machine to_machine(c_point1d r) { return r; }
    static machine error() { return {0.0, 0.0, 0}; }
};
}  // namespace faces

using OptOwner = Opt<bool, false>;     // from_ptrs: the new object owns the buffers
using OptNu = Opt<int, 1>;             // derivative order of the methods that default to 1
using OptRemTol = Opt<double, 1e-13>;  // knot-removal tolerance of the methods

// SLOT(entry, logical result, (arguments))
#define VIDEVO_VIDEVOOBJECT_SLOTS(SLOT)                                                    \
    SLOT(c_loadxml, Object, (ObjectArg fname, ObjectArg ID))                               \
    SLOT(_getAttrib, Object, (Self self))                                                  \
    SLOT(_addViDEVOObject, void, (Self self, ObjectArg root, ObjectArg ID))                \
    SLOT(_updateViDEVOObject, void, (Self self, ObjectArg tree, ObjectArg node, ObjectArg ID)) \
    SLOT(savexml, void, (Self self, ObjectArg fname, ObjectArg ID))

// Trajectory1d's own slots, after the five of ViDEVOObject.  The setValue
// entries come in two forms each: for a Point1d and for a (t, val, order) tuple.
#define VIDEVO_TRAJECTORY1D_SLOTS(SLOT)                                                                        \
    SLOT(from_ptrs, TrajectoryObject, (double* knotvector, double* cpts, int p, int n, unsigned order, OptOwner owner)) \
    SLOT(new_struct, TrajectoryObject, (int p, int n, unsigned order))                                         \
    SLOT(c_loadxml, TrajectoryObject, (ObjectArg fname, ObjectArg ID))                                         \
    SLOT(c_eq, int, (Self self, ObjectArg other))                                                              \
    SLOT(c_iadd, void, (Self self, double x))                                                                  \
    SLOT(c_imul, void, (Self self, double x))                                                                  \
    SLOT(c_splcsum, TrajectoryObject, (Self self, ObjectArg other))                                            \
    SLOT(c_splcmul, TrajectoryObject, (Self self, ObjectArg other))                                            \
    SLOT(_sget_knotvector, Object, (Self self))                                                                \
    SLOT(_sget_cpts, Object, (Self self))                                                                      \
    SLOT(_dset_data, void, (Self self, ObjectArg knots, ObjectArg cpts, int p, int n, unsigned order, bool owner)) \
    SLOT(peval, double, (Self self, double x))                                                                 \
    SLOT(ceval, void, (Self self, VecOrNone xp))                                                               \
    SLOT(dpeval, double, (Self self, double x, OptNu nu))                                                      \
    SLOT(dceval, void, (Self self, VecOrNone xp, OptNu nu))                                                    \
    SLOT(c_shift, void, (Self self, double x))                                                                 \
    SLOT(rshift, void, (Self self, double x))                                                                  \
    SLOT(ashift, void, (Self self, double x))                                                                  \
    SLOT(c_hscale, void, (Self self, double k))                                                                \
    SLOT(hscale, void, (Self self, double k))                                                                  \
    SLOT(adapt, void, (Self self, double start, double stop))                                                  \
    SLOT(derivative, TrajectoryObject, (Self self, OptNu nu))                                                  \
    SLOT(antiderivative, TrajectoryObject, (Self self, OptNu nu))                                              \
    SLOT(knotins, TrajectoryObject, (Self self, double u, int r))                                              \
    SLOT(knotref, TrajectoryObject, (Self self, CVec X))                                                       \
    SLOT(knotrem, TrajectoryObject, (Self self, double u, int r, OptRemTol tol))                               \
    SLOT(knotsrem, TrajectoryObject, (Self self, OptRemTol tol))                                               \
    SLOT(knotrem_notol, TrajectoryObject, (Self self, double u, int r))                                        \
    SLOT(copy, TrajectoryObject, (Self self))                                                                  \
    SLOT(degelev, TrajectoryObject, (Self self, OptNu nu))                                                     \
    SLOT(setValueTr_point, void, (Self self, ObjectArg p))                                                     \
    SLOT(setValueTr_tuple, void, (Self self, ObjectArg p))                                                     \
    SLOT(setValueAm_point, void, (Self self, ObjectArg p))                                                     \
    SLOT(setValueAm_tuple, void, (Self self, ObjectArg p))

// Point1d's own slots, after the five of ViDEVOObject.
#define VIDEVO_POINT1D_SLOTS(SLOT)                                  \
    SLOT(c_loadxml, PointObject, (ObjectArg fname, ObjectArg ID))   \
    SLOT(copy, PointObject, (Self self))

#define VIDEVO_TRAJDATA_SLOT_FIELD(entry, result, args) MachineResult<result>::type(*entry) args noexcept;
#define VIDEVO_TRAJDATA_SLOT_TEXT(entry, result, args) #entry " " #result " " #args "; "

// Slots 1 to 5.
struct ViDEVOObjectMethods {
    VIDEVO_VIDEVOOBJECT_SLOTS(VIDEVO_TRAJDATA_SLOT_FIELD)
};

// Slots 1 to 39.
struct Trajectory1dMethods {
    ViDEVOObjectMethods base;
    VIDEVO_TRAJECTORY1D_SLOTS(VIDEVO_TRAJDATA_SLOT_FIELD)
};

// Slots 1 to 7.
struct Point1dMethods {
    ViDEVOObjectMethods base;
    VIDEVO_POINT1D_SLOTS(VIDEVO_TRAJDATA_SLOT_FIELD)
};

// The instance data of ViDEVOObject: only the pointer to the class's table.
struct ViDEVOObjectRecord {
    const ViDEVOObjectMethods* vtab;

    explicit ViDEVOObjectRecord(const ViDEVOObjectMethods* table) noexcept : vtab(table) {}
    ViDEVOObjectRecord(const ViDEVOObjectRecord&) = delete;
    ViDEVOObjectRecord& operator=(const ViDEVOObjectRecord&) = delete;
};

// The instance data of Trajectory1d.  Knots U[0..n+p+1] (n + p + 2 doubles)
// and control points P[0..n] (n + 1 doubles) live in buffers from the
// interpreter's allocator; with ptrs_owner set the record releases both when
// it is destroyed, otherwise it borrows them.  An empty trajectory has no
// buffers and p = n = order = 0.
struct Trajectory1dRecord : ViDEVOObjectRecord {
    std::int32_t p = 0;
    std::int32_t n = 0;
    std::uint32_t order = 0;
    double* _knotvector = nullptr;
    double* _cpts = nullptr;
    std::int32_t ptrs_owner = 0;
    // Maintained by videvo.trajdata: array views of the buffers that are alive,
    // plus evaluations running without the interpreter lock (while there are
    // any, the buffers are never replaced or freed).
    std::uint32_t exports = 0;
    // Whether the knot vector is known to be valid for (n, p), so that
    // evaluation need not check it again (an O(n) pass).  Evaluation sets it
    // after the check passed while nothing was exported; whatever replaces or
    // changes the knots in place (loaders, transforms, setters) must call
    // knots_changed().  A new view clears it, and while views are alive it is
    // not trusted, since the knots may change through them at any time.
    // Knots that are not finite (a shift by inf) never pass the check.  Knots
    // in memory the record does not own are never trusted: their owner may
    // change them at any time.
    std::uint32_t knots_checked = 0;
    // Counts the calls of knots_changed(): a check that ran without the
    // interpreter lock vouches for the knots only if no view came and went
    // (nor anything else changed them) meanwhile.
    std::uint32_t knots_generation = 0;
    // t(x) without an argument tuple (set by videvo.trajdata).
    vectorcallfunc vectorcall = nullptr;
    // Set when this module allocated the buffers (copies of a pickled state):
    // they are released whatever the owner flag says, which is only reported.
    std::int32_t copies_owned = 0;
    // Set when both buffers lie in this one allocation of the interpreter's
    // allocator (a TwinBuffer), which an owner then releases instead of each.
    double* _block = nullptr;
    // For points evaluated alone: the span of the last one, where the next
    // one's search starts, and the curve module's span index for them (built
    // when they often start elsewhere); dropped whenever the knots change.
    evaluation_api::PointMemory points;

    explicit Trajectory1dRecord(const Trajectory1dMethods* table) noexcept : ViDEVOObjectRecord(&table->base) {}
    ~Trajectory1dRecord() { release_buffers(); }

    const Trajectory1dMethods* methods() const noexcept {
        return reinterpret_cast<const Trajectory1dMethods*>(vtab);
    }
    std::int64_t knot_count() const noexcept { return std::int64_t(n) + p + 2; }
    std::int64_t cpts_count() const noexcept { return std::int64_t(n) + 1; }
    bool is_empty() const noexcept { return _knotvector == nullptr || _cpts == nullptr; }
    void knots_changed() noexcept {
        knots_checked = 0;
        ++knots_generation;
        points.drop();
    }
    bool knots_trusted() const noexcept {
        return knots_checked != 0 && exports == 0 && (ptrs_owner != 0 || copies_owned != 0);
    }
    // After a check of the knots that passed, begun at knots_generation
    // `since`: they are trusted from now on unless they may have changed
    // since the check read them (a view alive, or one that came and went while
    // the check ran without the interpreter lock).
    void knots_passed(std::uint32_t since) noexcept {
        if (exports == 0 && knots_generation == since) knots_checked = 1;
    }

    // Releases the buffers if the record owns them (knots first, or their one
    // block) and forgets them.
    void release_buffers() noexcept {
        if (ptrs_owner || copies_owned) {
            if (_block != nullptr) {
                PyMem_Free(_block);
            } else {
                if (_knotvector != nullptr) PyMem_Free(_knotvector);
                if (_cpts != nullptr) PyMem_Free(_cpts);
            }
        }
        _block = nullptr;
        _knotvector = nullptr;
        _cpts = nullptr;
        copies_owned = 0;
        knots_changed();
    }
};

// A use of a trajectory's buffers by work that runs without the interpreter
// lock, counted as an array view of them is, while it lives: no other thread
// can replace or free them meanwhile (the setters refuse with BufferError).
class Pinned {
public:
    explicit Pinned(const Trajectory1dRecord* rec) noexcept : rec_(const_cast<Trajectory1dRecord*>(rec)) {
        ++rec_->exports;
    }
    Pinned(const Pinned&) = delete;
    Pinned& operator=(const Pinned&) = delete;
    ~Pinned() { --rec_->exports; }

private:
    Trajectory1dRecord* rec_;
};

// The instance data of Point1d: one point record, zero until it is set.
struct Point1dRecord : ViDEVOObjectRecord {
    c_point1d p{0.0, 0.0, 0};

    explicit Point1dRecord(const Point1dMethods* table) noexcept : ViDEVOObjectRecord(&table->base) {}
    const Point1dMethods* methods() const noexcept { return reinterpret_cast<const Point1dMethods*>(vtab); }
};

// The functions of the module's export table: ENTRY(name, logical result, (arguments)).
#define VIDEVO_TRAJDATA_ENTRIES(ENTRY) \
    ENTRY(make_point, c_point1d, (double u, double value, unsigned order))

namespace trajdata_api {

VIDEVO_TRAJDATA_ENTRIES(VIDEVO_CAPI_DECLARE)

inline constexpr const char* module_name = "videvo.trajdata";
inline constexpr const char* class_table_attribute = "__capi__";

inline constexpr const char viDEVOObject_table_sig[] =
    "ViDEVOObject methods: " VIDEVO_VIDEVOOBJECT_SLOTS(VIDEVO_TRAJDATA_SLOT_TEXT);
inline constexpr const char trajectory1d_table_sig[] =
    "Trajectory1d methods: " VIDEVO_VIDEVOOBJECT_SLOTS(VIDEVO_TRAJDATA_SLOT_TEXT)
        VIDEVO_TRAJECTORY1D_SLOTS(VIDEVO_TRAJDATA_SLOT_TEXT);
inline constexpr const char point1d_table_sig[] =
    "Point1d methods: " VIDEVO_VIDEVOOBJECT_SLOTS(VIDEVO_TRAJDATA_SLOT_TEXT)
        VIDEVO_POINT1D_SLOTS(VIDEVO_TRAJDATA_SLOT_TEXT);

// The class `name` of the imported module `mod`; ImportError when absent.
inline PyTypeObject* bind_class(const nb::handle& mod, const char* name) {
    PyObject* cls = PyObject_GetAttrString(mod.ptr(), name);
    if (cls == nullptr || !PyType_Check(cls)) {
        Py_XDECREF(cls);
        PyErr_Clear();
        throw nb::import_error((std::string(module_name) + " does not export the class '" + name + "'").c_str());
    }
    // Classes live as long as the interpreter: the reference is kept.
    return reinterpret_cast<PyTypeObject*>(cls);
}

// The method table that class `cls` publishes, checked against `signature`.
template <class Table>
const Table* bind_table(PyTypeObject* cls, const char* signature) {
    const std::string where = std::string(module_name) + "." + cls->tp_name + ".";
    nb::object holder = nb::steal(PyObject_GetAttrString(reinterpret_cast<PyObject*>(cls), class_table_attribute));
    PyObject* capsule = holder.ptr();
    if (capsule == nullptr || !PyCapsule_CheckExact(capsule)) {
        PyErr_Clear();
        throw nb::import_error((where + class_table_attribute + " is missing or not a capsule").c_str());
    }
    // The capsule stays referenced by the class, which lives as long as the
    // interpreter.
    const char* published = PyCapsule_GetName(capsule);
    if (published == nullptr || std::strcmp(published, signature) != 0)
        throw nb::import_error((where + class_table_attribute + " has another slot list than expected").c_str());
    auto* table = static_cast<const Table*>(PyCapsule_GetPointer(capsule, published));
    if (table == nullptr) throw nb::python_error();
    return table;
}

// What an importer binds: the classes and their method tables.
struct Classes {
    PyTypeObject* ViDEVOObject = nullptr;
    PyTypeObject* Trajectory1d = nullptr;
    PyTypeObject* Point1d = nullptr;
    const Trajectory1dMethods* trajectory1d = nullptr;
    const Point1dMethods* point1d = nullptr;
};

inline Classes bind_classes() {
    nb::object mod;
    try {
        mod = nb::module_::import_(module_name);
    } catch (nb::python_error& e) {
        throw nb::import_error((std::string("cannot import ") + module_name + ": " + e.what()).c_str());
    }
    Classes c;
    c.ViDEVOObject = bind_class(mod, "ViDEVOObject");
    c.Trajectory1d = bind_class(mod, "Trajectory1d");
    c.trajectory1d = bind_table<Trajectory1dMethods>(c.Trajectory1d, trajectory1d_table_sig);
    c.Point1d = bind_class(mod, "Point1d");
    c.point1d = bind_table<Point1dMethods>(c.Point1d, point1d_table_sig);
    return c;
}

}  // namespace trajdata_api

// The record of a Trajectory1d instance (the caller has checked the type).
inline Trajectory1dRecord* trajectory_record(PyObject* obj) noexcept {
    return nb::inst_ptr<Trajectory1dRecord>(obj);
}

}  // namespace videvo
