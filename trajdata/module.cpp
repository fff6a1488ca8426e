// videvo.trajdata: the trajectory data types.
#include "trajdata.h"

#include <string>

namespace nb = nanobind;

namespace videvo::trajdata {
namespace {

constexpr const char* module_doc =
    "Trajectory data types: one-dimensional motion trajectories as clamped B-splines.\n\n"
    "Trajectory1d holds a knot vector, control points, a degree p and the derivative\n"
    "order of the quantity it describes (0 displacement, 1 velocity, ...); it\n"
    "evaluates itself and its derivatives, copies and pickles itself, and can be\n"
    "constrained to pass through a Point1d.  Both derive from ViDEVOObject, the base\n"
    "class of the objects that are saved by name into XML files (savexml, loadxml).";

// An import the module needs: ImportError when it fails.
nb::object import_or_fail(const char* name) {
    try {
        return nb::module_::import_(name);
    } catch (nb::python_error& e) {
        throw nb::import_error((std::string("cannot import ") + name + ": " + e.what()).c_str());
    }
}

void bind_curvekit() {
    VIDEVO_BIND_CURVEKIT_LIST(VIDEVO_TRAJDATA_CURVEKIT);
    nb::object module = import_or_fail(curvekit_api::module_name);
    nb::object capsule = nb::steal(PyObject_GetAttrString(module.ptr(), evaluation_api::table_attribute));
    if (!capsule.is_valid() || !PyCapsule_IsValid(capsule.ptr(), evaluation_api::signature)) {
        PyErr_Clear();
        throw nb::import_error("videvo.curvekit has no evaluation table of the expected form");
    }
    // The capsule lives as long as the curve module, which is never unloaded.
    evaluation = *static_cast<const evaluation_api::Table*>(PyCapsule_GetPointer(capsule.ptr(), evaluation_api::signature));
}

void bind_numpy(nb::module_& m) {
    nb::object numpy = import_or_fail("numpy");
    const auto keep = [&](const char* name) { return numpy.attr(name).inc_ref().ptr(); };
    np = {numpy.inc_ref().ptr(), keep("array"), keep("ascontiguousarray"), keep("argsort"),
          keep("isscalar"),      keep("empty"), keep("empty_like"),        keep("float64")};
    m.attr("np") = numpy;
}

// An exception class derived directly from Exception.
nb::object exception_class(const char* name, const char* doc) {
    PyObject* cls = PyErr_NewExceptionWithDoc(name, doc, PyExc_Exception, nullptr);
    if (cls == nullptr) throw nb::python_error();
    return nb::steal(cls);
}

// The class's method table, published as a capsule named by its slot list.
template <class Table>
void publish_table(nb::handle cls, const Table& table, const char* signature) {
    PyObject* capsule = PyCapsule_New(const_cast<Table*>(&table), signature, nullptr);
    if (capsule == nullptr) throw nb::python_error();
    nb::setattr(cls, trajdata_api::class_table_attribute, nb::steal(capsule));
}

}  // namespace
}  // namespace videvo::trajdata

NB_MODULE(trajdata, m) {
    using namespace videvo;
    using namespace videvo::trajdata;
    import_or_fail("numpy");
    init_array_support();
    bind_curvekit();
    bind_numpy(m);
    m.attr("os") = import_or_fail("os");
    m.attr("etree") = import_or_fail("lxml.etree");
    m.attr("re") = import_or_fail("re");
    m.attr("videvo") = import_or_fail("videvo");

    m.doc() = module_doc;
    m.attr("DEF_EXT") = ".videvo";
    m.attr("ConvergenceError") =
        exception_class("videvo.trajdata.ConvergenceError", "An error when a macro-instruction loop fails.");
    nb::object corrupted =
        exception_class("videvo.trajdata.CorruptedFileError", "An error when an uploaded file is corrupted.");
    corrupted_file_error = corrupted.inc_ref().ptr();
    m.attr("CorruptedFileError") = corrupted;

    BaseClass base(m, "ViDEVOObject", "An abstract class for the persistable videvo types.",
                   nb::type_slots(ready_slots<ViDEVOObjectRecord, &viDEVOObject_methods>));
    register_base(m, base);
    register_savexml(base);

    // Plain trajectories come and go with every operation that returns one:
    // nanobind 3.1 can park released instances and revive them for the next
    // allocation, which saves the object allocator and its instance-map
    // updates.  (Python subclasses are never pooled.)
    auto trajectory_class = [&](const char* doc, auto... pooling) {
        return TrajectoryClass(m, "Trajectory1d", doc, nb::type_slots(trajectory1d_slots), pooling...);
    };
#if NB_VERSION_MAJOR > 3 || (NB_VERSION_MAJOR == 3 && NB_VERSION_MINOR >= 1)
#define VIDEVO_TRAJECTORY_POOL nb::pooled()
#else
#define VIDEVO_TRAJECTORY_POOL
#endif
    TrajectoryClass traj = trajectory_class(
        "A one-dimensional trajectory: a clamped B-spline of degree p with knots\n"
        "U[0..n+p+1] and control points P[0..n] over the domain [start, stop],\n"
        "describing the quantity of derivative order `order`.\n\n"
        "Trajectory1d() makes an empty trajectory (for unpickling); the factories\n"
        "of videvo.trajmake build usable ones.\n\n"
        "Calling a trajectory, t(x, nu=0), evaluates it or its derivative of order nu\n"
        "at x: a scalar x (numpy.isscalar) gives a float; anything else is taken as an\n"
        "array-like of points in any order (never written) and gives a new\n"
        "one-dimensional float64 array of the values in the caller's order.  It goes\n"
        "through peval, dpeval, ceval and dceval, so a subclass's versions of these\n"
        "are used.  Raises ValueError for points outside the domain, a negative nu,\n"
        "an empty array, repeated points (\"'xp' must be increasing\") or more than\n"
        "one dimension (\"'x' must be one-dimensional\").",
        VIDEVO_TRAJECTORY_POOL);
#undef VIDEVO_TRAJECTORY_POOL
    register_record(m, traj);
    register_pickling(traj);
    register_evaluation(traj);
    register_transforms(traj);
    register_calculus(traj);
    register_trajectory_xml(traj);

    PointClass point(m, "Point1d",
                     "Point1d(t, val, order): a point in joint space, the value `val` at time `t`\n"
                     "of the derivative of order `order` (0 displacement, 1 velocity, ...), as\n"
                     "used to constrain trajectories (Trajectory1d.setValueTr, setValueAm).\n\n"
                     "Raises TypeError for arguments that do not convert (t and val to float,\n"
                     "order to int) and OverflowError for an order outside 0..4294967295.",
                     nb::type_slots(point_type_slots()));
    register_point(m, point);
    register_point_xml(point);
    register_constraints(traj);
    register_arithmetic(traj);

    publish_table(base, viDEVOObject_methods, trajdata_api::viDEVOObject_table_sig);
    publish_table(traj, trajectory1d_methods, trajdata_api::trajectory1d_table_sig);
    publish_table(point, point1d_methods, trajdata_api::point1d_table_sig);

    nb::list all;
    for (const char* name : {"ConvergenceError", "CorruptedFileError", "ViDEVOObject", "Trajectory1d", "Point1d"})
        all.append(name);
    m.attr("__all__") = all;
}
