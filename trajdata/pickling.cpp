// Trajectory1d pickling: the state is the 6-tuple (knot bytes, control-point
// bytes, p, n, order, owner), the buffers as native doubles, one block copy
// each way.
#include "overrides.h"

#include <cstdint>
#include <string>

namespace videvo::trajdata {
namespace {

nb::object buffer_bytes(const double* data, std::int64_t count) {
    if (data == nullptr) return nb::none();
    return entry_result(PyBytes_FromStringAndSize(reinterpret_cast<const char*>(data),
                                                  static_cast<Py_ssize_t>(count) * Py_ssize_t(sizeof(double))));
}

nb::object sget_knotvector(Traj self) { return buffer_bytes(self.rec->_knotvector, self.rec->knot_count()); }

nb::object sget_cpts(Traj self) { return buffer_bytes(self.rec->_cpts, self.rec->cpts_count()); }

void require_bytes(PyObject* obj) {
    if (!PyBytes_Check(obj))
        raise(PyExc_TypeError, std::string("expected bytes, ") + Py_TYPE(obj)->tp_name + " found");
}

// The byte string of `count` doubles named `name`.
const char* exact_bytes(PyObject* obj, std::int64_t count, const char* name, const char* formula) {
    const std::int64_t expected = count * std::int64_t(sizeof(double));
    const Py_ssize_t size = PyBytes_GET_SIZE(obj);
    if (size != expected)
        raise(PyExc_ValueError, std::string("'") + name + "' must hold " + formula + " = " + std::to_string(expected) +
                                    " bytes, not " + std::to_string(size));
    return PyBytes_AS_STRING(obj);
}

// Replaces the record's data by the given state; on any error the object is
// unchanged.
void dset_data(Traj self, PyObject* knots, PyObject* cpts, int p, int n, unsigned order, bool owner) {
    require_bytes(knots);
    require_bytes(cpts);
    if (p < 0) raise(PyExc_ValueError, "'p' must be greater than or equal to zero: " + std::to_string(p));
    if (n < p) raise(PyExc_ValueError, "'n' must be greater than or equal to 'p': " + std::to_string(n));
    const std::int64_t knot_count = std::int64_t(n) + p + 2, cpts_count = std::int64_t(n) + 1;
    const char* knot_data = exact_bytes(knots, knot_count, "knots", "(n + p + 2) * 8");
    const char* cpts_data = exact_bytes(cpts, cpts_count, "cpts", "(n + 1) * 8");
    Trajectory1dRecord& r = *self.rec;
    if (r.exports != 0 && (r.ptrs_owner || r.copies_owned))
        raise(PyExc_BufferError, "cannot replace the data of a trajectory while arrays of it are in use");
    Buffer U = Buffer::copy_of(knot_data, knot_count);
    Buffer P = Buffer::copy_of(cpts_data, cpts_count);
    r.release_buffers();
    r.order = order;
    r.ptrs_owner = owner ? 1 : 0;
    r.p = p;
    r.n = n;
    r._knotvector = U.release();
    r._cpts = P.release();
    r.copies_owned = 1;
}

// The byte strings come through the method table, so a subclass's
// _sget_knotvector and _sget_cpts are honoured.
nb::object getstate(Traj self) {
    const Trajectory1dMethods& m = *self.rec->methods();
    nb::object knots = entry_result(m._sget_knotvector(self.obj));
    nb::object cpts = entry_result(m._sget_cpts(self.obj));
    const Trajectory1dRecord& r = *self.rec;
    return nb::make_tuple(knots, cpts, r.p, r.n, r.order, nb::bool_(r.ptrs_owner != 0));
}

// Whether `state` is an empty trajectory's: (None, None, 0, 0, 0, owner).
bool empty_state(PyObject* state) {
    if (PyTuple_GET_SIZE(state) != 6 || PyTuple_GET_ITEM(state, 0) != Py_None || PyTuple_GET_ITEM(state, 1) != Py_None)
        return false;
    nb::object zero = nb::int_(0);
    for (Py_ssize_t i = 2; i < 5; ++i) {
        const int equal = PyObject_RichCompareBool(PyTuple_GET_ITEM(state, i), zero.ptr(), Py_EQ);
        if (equal < 0) throw nb::python_error();
        if (!equal) return false;
    }
    return true;
}

nb::object setstate(Traj self, PyObject* state) {
    nb::object args = entry_result(PySequence_Tuple(state));
    // An empty trajectory pickles as one: its state leaves the empty object
    // that unpickling made as it is (_dset_data takes bytes only).
    if (self.rec->is_empty() && empty_state(args.ptr())) return nb::none();
    nb::object dset = entry_result(PyObject_GetAttrString(self.obj, "_dset_data"));
    entry_result(PyObject_CallObject(dset.ptr(), args.ptr()));
    return nb::none();
}

}  // namespace

void register_pickling(TrajectoryClass& cls) {
    Trajectory1dMethods& table = trajectory1d_methods;
    def_method<&sget_knotvector>(cls, table, &Trajectory1dMethods::_sget_knotvector, "_sget_knotvector",
        "The knot vector as bytes: its n + p + 2 doubles in native byte order\n"
        "((n + p + 2) * 8 bytes); None when the trajectory is empty.",
        {});
    def_method<&sget_cpts>(cls, table, &Trajectory1dMethods::_sget_cpts, "_sget_cpts",
        "The control points as bytes: n + 1 doubles in native byte order\n"
        "((n + 1) * 8 bytes); None when the trajectory is empty.",
        {});
    def_method<&dset_data>(cls, table, &Trajectory1dMethods::_dset_data, "_dset_data",
        "Replace the trajectory's data by copies of the byte strings `knots`\n"
        "((n + p + 2) * 8 bytes) and `cpts` ((n + 1) * 8 bytes), with degree `p`,\n"
        "highest control-point index `n`, derivative order `order` and owner flag\n"
        "`owner` (reported as given; the copies are always released).\n\n"
        "Raises TypeError(\"expected bytes, NoneType found\") for None (or another\n"
        "type) in place of bytes, ValueError for p < 0, n < p or byte strings of\n"
        "other lengths, OverflowError for a negative order, BufferError while\n"
        "arrays of the trajectory's own buffers are in use; the object is then\n"
        "unchanged.",
        {"knots", "cpts", "p", "n", "order", "owner"});
    faces::MethodFace<&getstate>::def(cls, "__getstate__",
        "The pickled state: (self._sget_knotvector(), self._sget_cpts(), p, n,\n"
        "order, owner).",
        {}, "tuple");
    faces::MethodFace<&setstate>::def(cls, "__setstate__",
        "Restore a pickled state: self._dset_data(*state) (a sequence other than a\n"
        "tuple is converted first).  The state of an empty trajectory leaves an\n"
        "empty one as it is.",
        {"state"}, "None");
}

}  // namespace videvo::trajdata
