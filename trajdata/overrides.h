// The override rule of the method tables, and the registration of methods.
//
// A method that is both a Python method and a table entry is written once, as
// an implementation whose first parameter is the instance (Traj or Base).
// `def_method` defines the Python method from it (which always runs the
// implementation itself, so that super() in a subclass works) and fills the
// table slot with `Overridable<impl>`'s entry.  That entry runs the
// implementation directly on instances of the class itself; on any other
// instance it looks the method up by name and, when a Python subclass has
// redefined it, calls the redefinition and converts its result.
#pragma once

#include "trajdata.h"

#include <algorithm>
#include <string>
#include <tuple>
#include <type_traits>

namespace videvo::trajdata {

// The class's own function object of one method, and its interned name.
template <auto Impl>
struct OwnMethod {
    static inline PyObject* function = nullptr;
    static inline PyObject* name = nullptr;
};

// The bound redefinition of method `name` on `self`, or an invalid object when
// `self` runs the class's own function `own`.
nb::object python_override(PyObject* self, PyObject* name, PyObject* own);

// Whether `self` runs the class's own function of every method Impls (none
// of them is redefined).
template <auto... Impls>
bool runs_own(PyObject* self) {
    return (!python_override(self, OwnMethod<Impls>::name, OwnMethod<Impls>::function).is_valid() && ...);
}

// ---- arguments and results of redefinitions ---------------------------------

// A new numpy array holding a copy of a view, for a redefinition that
// receives an array argument (it may keep the array beyond the call).
nb::object array_over(const double* data, Py_ssize_t size, bool writable);

template <class T>
nb::object to_python(const T& value) {
    if constexpr (std::is_same_v<T, PyObject*>) return nb::borrow(value ? value : Py_None);
    else if constexpr (std::is_same_v<T, VecOrNone>) return value.is_none() ? nb::none() : array_over(value.data, value.size, true);
    else if constexpr (std::is_same_v<T, Vec>) return array_over(value.data, value.size, true);
    else if constexpr (std::is_same_v<T, CVec>) return array_over(value.data, value.size, false);
    else if constexpr (requires { value.get(); }) return to_python(value.get());  // Opt records
    else return nb::cast(value);
}

// The redefinition's result as the entry's logical result type.
template <class R>
R from_python(nb::object result, PyObject* name) {
    if constexpr (std::is_void_v<R>) {
        (void)result, (void)name;
    } else if constexpr (std::is_same_v<R, double>) {
        const double v = PyFloat_AsDouble(result.ptr());
        if (v == -1.0 && PyErr_Occurred()) throw nb::python_error();
        return v;
    } else if constexpr (std::is_same_v<R, int>) {
        return faces::integer_from_python<int>(result);
    } else if constexpr (std::is_same_v<R, TrajectoryObject> || std::is_same_v<R, PointObject>) {
        constexpr bool traj = std::is_same_v<R, TrajectoryObject>;
        if (!result.is_none() && !PyObject_TypeCheck(result.ptr(), traj ? trajectory1d_type : point1d_type))
            raise(PyExc_TypeError, std::string(nb::borrow<nb::str>(name).c_str()) + "() must return a " +
                                       (traj ? "Trajectory1d" : "Point1d") + " or None, not " +
                                       Py_TYPE(result.ptr())->tp_name);
        return {std::move(result)};
    } else {
        static_assert(std::is_same_v<R, nb::object>);
        (void)name;
        return result;
    }
}

// An argument as a redefinition receives it.  A writable array is a copy
// whose contents are written back into the caller's view after the call (when
// the redefinition left it at its length).
template <class T>
struct OverrideArg {
    T value;
    nb::object obj;

    explicit OverrideArg(const T& v) : value(v), obj(to_python(v)) {}

    void write_back() const {
        if constexpr (std::is_same_v<T, Vec> || std::is_same_v<T, VecOrNone>) {
            if (value.data == nullptr) return;
            const ArrayArg result(obj, "xp", 1, Access::read);
            const CVec r = result.cvec();
            if (r.size == value.size)
                std::copy(r.data, r.data + r.size, value.data);
        }
    }
};

template <class R, class... A>
R call_override(const nb::object& f, PyObject* name, const A&... args) {
    std::tuple<OverrideArg<A>...> held{OverrideArg<A>(args)...};
    nb::object result = std::apply([&](const auto&... h) { return f(h.obj...); }, held);
    std::apply([](const auto&... h) { (h.write_back(), ...); }, held);
    return from_python<R>(std::move(result), name);
}

// ---- the table entry of an overridable method --------------------------------

template <auto Impl>
struct Overridable;

template <class R, class S, class... A, R (*Impl)(S, A...)>
struct Overridable<Impl> {
    static R call(Self self, A... args) {
        if (!S::is_exact(self)) {
            const S checked = S::from(self);
            using Own = OwnMethod<Impl>;
            if (nb::object f = python_override(self, Own::name, Own::function); f.is_valid())
                return call_override<R>(f, Own::name, args...);
            return Impl(checked, args...);
        }
        return Impl(S::exact(self), args...);
    }
};

template <auto Impl>
constexpr auto overridable_entry = &faces::Face<&Overridable<Impl>::call>::machine;

// Puts the overridable entry of `Impl` into `slot` of `table`, once the
// class has its Python method `name` (which runs `Impl`).
template <auto Impl, class Class, class Table, class Slot>
void set_overridable_slot(Class& cls, Table& table, Slot Table::*slot, const char* name) {
    using Own = OwnMethod<Impl>;
    // Both references live as long as the class.
    Own::function = nb::getattr(cls, name).release().ptr();
    Own::name = PyUnicode_InternFromString(name);
    if (Own::name == nullptr) throw nb::python_error();
    table.*slot = overridable_entry<Impl>;
}

// Defines Python method `name` of `cls` from `Impl` and puts its overridable
// entry into `slot` of `table`.
template <auto Impl, class Class, class Table, class Slot>
void def_method(Class& cls, Table& table, Slot Table::*slot, const char* name, const char* doc,
                const typename faces::MethodFace<Impl>::Names& names) {
    faces::MethodFace<Impl>::def(cls, name, doc, names);
    set_overridable_slot<Impl>(cls, table, slot, name);
}

// Fills `slot` of `table` with an entry of `Impl` that honours redefinitions
// of the Python method already defined from `Defined` (one Python method
// served by several entries).
template <auto Impl, auto Defined, class Table, class Slot>
void def_entry_of(Table& table, Slot Table::*slot) {
    OwnMethod<Impl>::function = OwnMethod<Defined>::function;
    OwnMethod<Impl>::name = OwnMethod<Defined>::name;
    table.*slot = overridable_entry<Impl>;
}

// A table entry that is not available in this build: it raises
// NotImplementedError.  Every slot starts with one, so that no slot is ever a
// null pointer.
template <class Fn>
struct NotBuilt;

template <class R, class... A>
struct NotBuilt<R (*)(A...) noexcept> {
    static R raise_not_built(A...) noexcept {
        PyErr_SetString(PyExc_NotImplementedError, "this method is not available");
        if constexpr (std::is_pointer_v<R>) return nullptr;
        else if constexpr (std::is_same_v<R, double>) return 0.0;
        else return static_cast<R>(-1);
    }
};

#define VIDEVO_TRAJDATA_SLOT_NOT_BUILT(slot, result, args) \
    table.slot = &NotBuilt<decltype(table.slot)>::raise_not_built;

inline void fill_not_built(ViDEVOObjectMethods& table) { VIDEVO_VIDEVOOBJECT_SLOTS(VIDEVO_TRAJDATA_SLOT_NOT_BUILT) }

// The subclasses' own slots (the first five are the base's, inherited).
inline void fill_not_built(Trajectory1dMethods& table) { VIDEVO_TRAJECTORY1D_SLOTS(VIDEVO_TRAJDATA_SLOT_NOT_BUILT) }
inline void fill_not_built(Point1dMethods& table) { VIDEVO_POINT1D_SLOTS(VIDEVO_TRAJDATA_SLOT_NOT_BUILT) }

#undef VIDEVO_TRAJDATA_SLOT_NOT_BUILT

}  // namespace videvo::trajdata
