// Trajectory1d: the record, its construction, properties, array views,
// copies and text forms.
#include "overrides.h"

#include <cstdint>
#include <string>

namespace videvo::trajdata {

Traj Traj::from(PyObject* o) {
    if (!PyObject_TypeCheck(o, trajectory1d_type))
        raise(PyExc_TypeError, std::string("expected a Trajectory1d, not ") + Py_TYPE(o)->tp_name);
    return {o, trajectory_record(o)};
}

void Traj::require_data() const {
    if (rec->is_empty()) raise(PyExc_ValueError, "empty trajectory: it has no knot vector and control points");
}

CVec Traj::knots() const {
    require_data();
    return {rec->_knotvector, rec->knot_count()};
}

CVec Traj::cpts() const {
    require_data();
    return {rec->_cpts, rec->cpts_count()};
}

namespace {

double float_attribute(PyObject* obj, const char* name) {
    nb::object value = entry_result(PyObject_GetAttrString(obj, name));
    const double v = PyFloat_AsDouble(value.ptr());
    if (v == -1.0 && PyErr_Occurred()) throw nb::python_error();
    return v;
}

}  // namespace

Domain domain(Traj t) {
    if (Traj::is_exact(t.obj)) {
        const CVec U = t.knots();
        return {U[0], U[U.size - 1]};
    }
    return {float_attribute(t.obj, "start"), float_attribute(t.obj, "stop")};
}

void require_in_domain(Traj t, double x, const char* name) {
    const Domain d = domain(t);
    if (x < d.start || x > d.stop) raise(PyExc_ValueError, std::string("'") + name + "' out of domain: " + repr_double(x));
}

NewArray new_array(Py_ssize_t size) {
    nb::object a = entry_result(PyObject_CallFunction(np.empty, "nO", size, np.float64));
    const Vec data = ArrayArg(a, "array", 1, Access::write).vec();
    return {std::move(a), data};
}

// ---- construction ---------------------------------------------------------------

TrajectoryObject from_ptrs(double* knotvector, double* cpts, int p, int n, unsigned order, OptOwner owner) {
    nb::object obj = allocate_instance<Trajectory1dRecord, &trajectory1d_methods>(trajectory1d_type);
    Trajectory1dRecord* r = trajectory_record(obj.ptr());
    r->p = p;
    r->n = n;
    r->order = order;
    r->_knotvector = knotvector;
    r->_cpts = cpts;
    r->ptrs_owner = owner.get() ? 1 : 0;
    return {std::move(obj)};
}

namespace {

TrajectoryObject new_struct(int p, int n, unsigned order) {
    Buffer U = Buffer::allocate(std::int64_t(p) + n + 2);
    Buffer P = Buffer::allocate(std::int64_t(n) + 1);
    return adopt(U, P, p, n, order);
}

}  // namespace

TrajectoryObject adopt(Buffer& U, Buffer& P, int p, int n, unsigned order) {
    TrajectoryObject t = from_ptrs(U.get(), P.get(), p, n, order, {1, true});
    U.release();
    P.release();
    return t;
}

TrajectoryObject adopt(TwinBuffer& UP, int p, int n, unsigned order) {
    TrajectoryObject t = from_ptrs(UP.knots(), UP.cpts(), p, n, order, {1, true});
    trajectory_record(t.value.ptr())->_block = UP.release();
    return t;
}

TrajectoryObject copy(Traj self) {
    const Trajectory1dRecord& r = *self.rec;
    Buffer U, P;
    if (r._knotvector != nullptr) U = Buffer::copy_of(r._knotvector, r.knot_count());
    if (r._cpts != nullptr) P = Buffer::copy_of(r._cpts, r.cpts_count());
    return adopt(U, P, r.p, r.n, r.order);
}

namespace {

// Copies go through the method table, so a subclass's copy() is honoured.
nb::object dunder_copy(Traj self) { return entry_result(self.rec->methods()->copy(self.obj)); }

nb::object dunder_deepcopy(Traj self, PyObject* /* memo */) { return dunder_copy(self); }

// ---- array views --------------------------------------------------------------

constexpr const char* view_owner_name = "videvo.trajdata.view";

// A view's owner: holds the trajectory (so that its buffers outlive the view)
// and counts the view in the record's exports.
void release_view(PyObject* capsule) noexcept {
    auto* traj = static_cast<PyObject*>(PyCapsule_GetPointer(capsule, view_owner_name));
    if (traj == nullptr) {
        PyErr_Clear();
        return;
    }
    trajectory_record(traj)->exports -= 1;
    Py_DECREF(traj);
}

nb::object buffer_view(Traj self, double* data, std::int64_t size) {
    if (data == nullptr) return nb::none();
    nb::object owner = entry_result(PyCapsule_New(self.obj, view_owner_name, &release_view));
    Py_INCREF(self.obj);
    self.rec->exports += 1;
    self.rec->knots_changed();
    const std::size_t shape[1] = {static_cast<std::size_t>(size)};
    nb::object wrapped =
        nb::cast(nb::ndarray<nb::numpy, double, nb::ndim<1>>(data, 1, shape, owner), nb::rv_policy::reference);
    // NumPy wraps the data through a memoryview of nanobind's exporter, which
    // Python code can release, and with it the owner while the array lives
    // on: the view handed out takes the exporter itself as its base instead.
    nb::handle ndarray(reinterpret_cast<PyObject*>(ndarray_type()));
    return ndarray(nb::make_tuple(size), nb::handle(reinterpret_cast<PyObject*>(&PyFloat_Type)),
                   nb::arg("buffer") = wrapped.attr("base").attr("obj"));
}

nb::object get_knotvector_asarray(Traj self) { return buffer_view(self, self.rec->_knotvector, self.rec->knot_count()); }

nb::object get_cpts_asarray(Traj self) { return buffer_view(self, self.rec->_cpts, self.rec->cpts_count()); }

nb::object get_xcpts(Traj self) {
    const CVec U = self.knots();
    NewArray x = new_array(self.rec->cpts_count());
    check_entry(ck.averagcpts(U, self.rec->p, x.data));
    return std::move(x.array);
}

// ---- properties and text forms --------------------------------------------------

nb::object start(Traj self) {
    if (self.rec->_knotvector == nullptr) return nb::none();
    return nb::float_(self.rec->_knotvector[0]);
}

nb::object stop(Traj self) {
    if (self.rec->_knotvector == nullptr) return nb::none();
    return nb::float_(self.rec->_knotvector[self.rec->knot_count() - 1]);
}

std::string str_attribute(PyObject* obj, const char* name) {
    nb::object value = entry_result(PyObject_GetAttrString(obj, name));
    return nb::str(value).c_str();
}

// The fields in order, each as str() writes it; start and stop by attribute
// lookup (None on an empty trajectory).
struct Fields {
    std::string start, stop, p, n, order;
};

Fields fields(Traj self) {
    return {str_attribute(self.obj, "start"), str_attribute(self.obj, "stop"), std::to_string(self.rec->p),
            std::to_string(self.rec->n), std::to_string(self.rec->order)};
}

nb::object str(Traj self) {
    const Fields f = fields(self);
    return nb::str(("Trajectory1d(start = " + f.start + ", stop = " + f.stop + ", p = " + f.p + ", n = " + f.n +
                    ", order = " + f.order + ")")
                       .c_str());
}

nb::object repr(Traj self) {
    const Fields f = fields(self);
    return nb::str(("{'start': " + f.start + ", 'stop': " + f.stop + ", 'p': " + f.p + ", 'n': " + f.n +
                    ", 'order': " + f.order + "}")
                       .c_str());
}

}  // namespace

void register_record(nb::module_&, TrajectoryClass& cls) {
    trajectory1d_type = reinterpret_cast<PyTypeObject*>(cls.ptr());
    Trajectory1dMethods& table = trajectory1d_methods;
    fill_not_built(table);
    table.base = viDEVOObject_methods;
    table.from_ptrs = &faces::Face<&from_ptrs>::machine;
    table.new_struct = &faces::Face<&new_struct>::machine;

    cls.def_prop_ro("p", [](const Trajectory1dRecord& r) { return r.p; }, "The degree of the B-spline (int).");
    cls.def_prop_ro("n", [](const Trajectory1dRecord& r) { return r.n; },
                    "The highest control-point index: there are n + 1 control points (int).");
    cls.def_prop_ro("order", [](const Trajectory1dRecord& r) { return r.order; },
                    "The derivative order of the quantity described: 0 displacement, 1 velocity,\n"
                    "2 acceleration, 3 jerk, ... (non-negative int).");
    cls.def_prop_ro("start", [](nb::handle self) { return start(Traj::from(self.ptr())); },
                    nb::sig("def start(self, /) -> float | None"), "The start of the domain, the first knot (float); None without knots.");
    cls.def_prop_ro("stop", [](nb::handle self) { return stop(Traj::from(self.ptr())); },
                    nb::sig("def stop(self, /) -> float | None"), "The end of the domain, the last knot (float); None without knots.");

    faces::MethodFace<&get_knotvector_asarray>::def(cls, "get_knotvector_asarray",
        "The knot vector U[0..n+p+1] as a writable float64 array that shares the\n"
        "trajectory's memory (writes change the trajectory; the array keeps the\n"
        "trajectory alive).  None when the trajectory is empty.",
        {}, "numpy.ndarray | None");
    faces::MethodFace<&get_cpts_asarray>::def(cls, "get_cpts_asarray",
        "The control points P[0..n] as a writable float64 array that shares the\n"
        "trajectory's memory (writes change the trajectory; the array keeps the\n"
        "trajectory alive).  None when the trajectory is empty.",
        {}, "numpy.ndarray | None");
    faces::MethodFace<&get_xcpts>::def(cls, "get_xcpts",
        "A new float64 array of the n + 1 abscissae of the control points:\n"
        "x[i] = (U[i+1] + ... + U[i+p]) / p.  Raises ValueError on an empty\n"
        "trajectory or for p = 0.",
        {}, "numpy.ndarray");

    def_method<&copy>(cls, table, &Trajectory1dMethods::copy, "copy",
        "An independent copy (a plain Trajectory1d that owns new buffers holding\n"
        "the same knots and control points).  A copy of an empty trajectory is empty.",
        {});
    faces::MethodFace<&dunder_copy>::def(cls, "__copy__", "self.copy(), for copy.copy().", {}, "videvo.trajdata.Trajectory1d");
    faces::MethodFace<&dunder_deepcopy>::def(cls, "__deepcopy__",
        "self.copy(), for copy.deepcopy() (the memo is not needed: the trajectory\n"
        "holds no Python objects).",
        {"memo"}, "videvo.trajdata.Trajectory1d");
    faces::MethodFace<&str>::def(cls, "__str__",
        "\"Trajectory1d(start = ..., stop = ..., p = ..., n = ..., order = ...)\".", {}, "str");
    faces::MethodFace<&repr>::def(cls, "__repr__",
        "\"{'start': ..., 'stop': ..., 'p': ..., 'n': ..., 'order': ...}\".", {}, "str");
}

}  // namespace videvo::trajdata
