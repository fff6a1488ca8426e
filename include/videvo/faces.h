// The two faces of a function, generated from its one implementation.
//
// An implementation is a plain C++ function on views, ints and doubles:
//     void splcev(Vec C, CVec U, CVec P, int p);
// It raises Python exceptions with raise() (errors.h).  From it, Face<&f>
// generates
//   - the machine-level entry `Face<&f>::machine`, a noexcept function with the
//     same arguments whose result follows the convention of capi.h, and
//   - the Python face, defined on a module by `Face<&f>::def_python`: array
//     arguments arrive as Python objects and are converted through ArrayArg in
//     argument order, optional records become keyword arguments with their
//     defaults, and the result becomes a Python object.
// An Exporter defines the Python faces on a module and collects the machine
// entries for the module's export table.
#pragma once

#include "capi.h"
#include "views.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

namespace videvo {
namespace faces {

// ---- arguments -----------------------------------------------------------

// Scalars: nanobind converts doubles; integers and flags are converted by the
// holders below.
template <class T>
struct PyArg {
    using type = T;
    struct Holder {
        T value;
        Holder(T v, const char*) : value(v) {}
        T get() const { return value; }
    };
    static auto arg(const char* name) { return nb::arg(name); }
    static std::string annotation() {
        if constexpr (std::is_same_v<T, double>) return "float";
        else if constexpr (std::is_same_v<T, bool>) return "bool";
        else return "int";
    }
};

// A Python integer (or an object with __index__) as a C int or unsigned int:
// TypeError for anything else (a float included), OverflowError out of range.
template <class T>
T integer_from_python(nb::handle obj) {
    static_assert(std::is_same_v<T, int> || std::is_same_v<T, unsigned>);
    nb::object index = nb::steal(PyNumber_Index(obj.ptr()));
    if (!index.is_valid()) throw nb::python_error();
    int overflow = 0;
    const long long v = PyLong_AsLongLongAndOverflow(index.ptr(), &overflow);
    if (v == -1 && PyErr_Occurred()) throw nb::python_error();
    if constexpr (std::is_same_v<T, unsigned>) {
        if (overflow < 0 || (overflow == 0 && v < 0)) raise(PyExc_OverflowError, "can't convert negative value to unsigned int");
        if (overflow > 0 || v > static_cast<long long>(UINT_MAX))
            raise(PyExc_OverflowError, "value too large to convert to unsigned int");
    } else {
        if (overflow != 0 || v < INT_MIN || v > INT_MAX) raise(PyExc_OverflowError, "value too large to convert to int");
    }
    return static_cast<T>(v);
}

template <class T>
struct PyIntegerArg {
    using type = nb::handle;
    struct Holder {
        T value;
        Holder(nb::handle obj, const char*) : value(integer_from_python<T>(obj)) {}
        T get() const { return value; }
    };
    static auto arg(const char* name) { return nb::arg(name); }
    static std::string annotation() { return "int"; }
};

template <> struct PyArg<int> : PyIntegerArg<int> {};
template <> struct PyArg<unsigned> : PyIntegerArg<unsigned> {};

// A flag: any object, taken by its truth value.
template <>
struct PyArg<bool> {
    using type = nb::handle;
    struct Holder {
        bool value;
        Holder(nb::handle obj, const char*) {
            const int truth = PyObject_IsTrue(obj.ptr());
            if (truth < 0) throw nb::python_error();
            value = truth != 0;
        }
        bool get() const { return value; }
    };
    static auto arg(const char* name) { return nb::arg(name).none(); }
    static std::string annotation() { return "object"; }
};

// Any Python object, borrowed for the call (None included).
template <>
struct PyArg<PyObject*> {
    using type = nb::handle;
    struct Holder {
        PyObject* value;
        Holder(nb::handle obj, const char*) : value(obj.ptr()) {}
        PyObject* get() const { return value; }
    };
    static auto arg(const char* name) { return nb::arg(name).none(); }
    static std::string annotation() { return "object"; }
};

template <class View, int Ndim, Access Mode>
struct PyArrayArg {
    using type = nb::handle;
    struct Holder : ArrayArg {
        Holder(nb::handle obj, const char* name) : ArrayArg(obj, name, Ndim, Mode) {}
        View get() const {
            if constexpr (std::is_same_v<View, Vec>) return vec();
            else if constexpr (std::is_same_v<View, CVec>) return cvec();
            else return mat();
        }
    };
    static auto arg(const char* name) { return nb::arg(name).none(); }
    static std::string annotation() { return "numpy.ndarray"; }
};

template <> struct PyArg<Vec> : PyArrayArg<Vec, 1, Access::write> {};

// A writable array where None stands for an empty one.
template <>
struct PyArg<VecOrNone> {
    using type = nb::handle;
    struct Holder {
        std::optional<ArrayArg> array;
        Holder(nb::handle obj, const char* name) {
            if (!obj.is_none()) array.emplace(obj, name, 1, Access::write);
        }
        VecOrNone get() const { return array ? VecOrNone(array->vec()) : VecOrNone(); }
    };
    static auto arg(const char* name) { return nb::arg(name).none(); }
    static std::string annotation() { return "numpy.ndarray | None"; }
};
template <> struct PyArg<CVec> : PyArrayArg<CVec, 1, Access::read> {};
template <> struct PyArg<Mat> : PyArrayArg<Mat, 2, Access::write> {};

// A pair of numbers given as any sequence of two numbers.
inline Pair pair_from_python(nb::handle obj, const char* name) {
    const std::string what = std::string("'") + name + "' must be a pair of numbers";
    if (!PySequence_Check(obj.ptr()) || PySequence_Size(obj.ptr()) != 2) {
        PyErr_Clear();
        raise(PyExc_TypeError, what);
    }
    double v[2];
    for (int i = 0; i < 2; ++i) {
        nb::object item = nb::steal(PySequence_GetItem(obj.ptr(), i));
        if (!item.is_valid()) throw nb::python_error();
        v[i] = PyFloat_AsDouble(item.ptr());
        if (v[i] == -1.0 && PyErr_Occurred()) {
            PyErr_Clear();
            raise(PyExc_TypeError, what);
        }
    }
    return {v[0], v[1]};
}

// Any real number (through __float__): TypeError for other objects, and an
// exception raised by __float__ itself passes through.
inline double double_from_python(nb::handle obj) {
    const double v = PyFloat_AsDouble(obj.ptr());
    if (v == -1.0 && PyErr_Occurred()) throw nb::python_error();
    return v;
}

template <>
struct PyArg<Pair> {
    using type = nb::handle;
    struct Holder {
        Pair value;
        Holder(nb::handle obj, const char* name) : value(pair_from_python(obj, name)) {}
        Pair get() const { return value; }
    };
    static auto arg(const char* name) { return nb::arg(name).none(); }
    static std::string annotation() { return "tuple[float, float]"; }
};

template <class T>
nb::object default_to_python(const T& value) {
    if constexpr (std::is_same_v<T, Pair>) return nb::make_tuple(value.first, value.second);
    else return nb::cast(value);
}

// Optional records: a keyword argument with the record's default.
template <class T, T Default>
struct PyArg<Opt<T, Default>> {
    using type = nb::handle;
    struct Holder {
        Opt<T, Default> value;
        Holder(nb::handle obj, const char* name) : value{1, convert(obj, name)} {}
        Opt<T, Default> get() const { return value; }
        static T convert(nb::handle obj, const char* name) {
            if constexpr (std::is_same_v<T, Pair>) return pair_from_python(obj, name);
            else if constexpr (std::is_same_v<T, double>) return double_from_python(obj);
            else return typename PyArg<T>::Holder(obj, name).get();
        }
    };
    static auto arg(const char* name) {
        // (a flag takes any object by its truth value, None included)
        if constexpr (std::is_same_v<T, bool>) return nb::arg(name).none() = default_to_python(Default);
        else return nb::arg(name) = default_to_python(Default);
    }
    static std::string annotation() {
        const std::string text = nb::repr(default_to_python(Default)).c_str();
        if constexpr (std::is_same_v<T, Pair>) return "tuple[float, float] = " + text;
        else return PyArg<T>::annotation() + " = " + text;
    }
};

// ---- results -------------------------------------------------------------

template <class R>
struct Result {
    using machine = R;
    static machine to_machine(R r) { return r; }
    static machine error() { return static_cast<machine>(-1); }
    static nb::object to_python(R r) { return nb::cast(r); }
    static const char* annotation() { return std::is_same_v<R, bool> ? "bool" : "int"; }
};

template <>
struct Result<double> {
    using machine = double;
    static machine to_machine(double r) { return r; }
    static machine error() { return 0.0; }  // the caller checks PyErr_Occurred()
    static nb::object to_python(double r) { return nb::steal(PyFloat_FromDouble(r)); }
    static const char* annotation() { return "float"; }
};

template <>
struct Result<IntPair> {
    using machine = IntPair;
    static machine to_machine(IntPair r) { return r; }
    static machine error() { return {-1, -1}; }
    static nb::object to_python(IntPair r) { return nb::make_tuple(r.first, r.second); }
    static const char* annotation() { return "tuple[int, int]"; }
};

template <>
struct Result<nb::object> {
    using machine = PyObject*;
    static machine to_machine(nb::object r) { return r.release().ptr(); }
    static machine error() { return nullptr; }
    static nb::object to_python(nb::object r) { return r; }
    static const char* annotation() { return "object"; }  // def(..., result) names the type
};

// ---- arrays that share memory ------------------------------------------

// The bytes that an array argument's view covers (nothing for the other
// arguments and for empty arrays).
struct Bytes {
    std::uintptr_t begin = 0, end = 0;
};
inline Bytes bytes_of(const double* data, Py_ssize_t count) {
    if (data == nullptr || count <= 0) return {};
    const auto begin = reinterpret_cast<std::uintptr_t>(data);
    return {begin, begin + static_cast<std::uintptr_t>(count) * sizeof(double)};
}
template <class T>
Bytes bytes_of(const T&) {
    return {};
}
inline Bytes bytes_of(const Vec& v) { return bytes_of(v.data, v.size); }
inline Bytes bytes_of(const VecOrNone& v) { return bytes_of(v.data, v.size); }
inline Bytes bytes_of(const CVec& v) { return bytes_of(v.data, v.size); }
inline Bytes bytes_of(const Mat& m) { return bytes_of(m.data, m.rows * m.cols); }

inline bool overlap(Bytes a, Bytes b) { return a.begin < a.end && b.begin < b.end && a.begin < b.end && b.begin < a.end; }

// Arrays that a function writes.
template <class T>
inline constexpr bool is_output = std::is_same_v<T, Vec> || std::is_same_v<T, VecOrNone> || std::is_same_v<T, Mat>;

// An input read from a copy (kept in `keep`) when `apart`: one that shares
// memory with an output would otherwise change under the function as it
// writes.  Other arguments pass as they are.
template <class T>
T read_apart(T view, bool, std::vector<double>&) {
    return view;
}
inline CVec read_apart(CVec view, bool apart, std::vector<double>& keep) {
    if (!apart) return view;
    keep.assign(view.data, view.data + view.size);
    return {keep.data(), view.size};
}

// ---- the two faces -------------------------------------------------------

template <auto F>
struct Face;

template <class R, class... A, R (*F)(A...)>
struct Face<F> {
    static constexpr std::size_t arity = sizeof...(A);
    using Names = std::array<const char*, arity>;
    using machine_result = typename MachineResult<R>::type;
    using machine_type = machine_result (*)(A...) noexcept;

    static machine_result machine(A... args) noexcept {
        try {
            if constexpr (std::is_void_v<R>) {
                F(args...);
                return 0;
            } else {
                return Result<R>::to_machine(F(args...));
            }
        } catch (...) {
            set_error_from_exception();
            if constexpr (std::is_void_v<R>) return -1;
            else return Result<R>::error();
        }
    }

    // Converts the Python arguments one after the other (each holder lives
    // until the implementation returns), then calls it.
    template <std::size_t I, class Args, class... Done>
    static nb::object call(const Args& args, const Names& names, Done... done) {
        if constexpr (I == arity) {
            if constexpr ((is_output<A> || ...)) return apart(names, std::index_sequence_for<A...>{}, done...);
            else return invoke(done...);
        } else {
            using T = std::tuple_element_t<I, std::tuple<A...>>;
            typename PyArg<T>::Holder held(std::get<I>(args), names[I]);
            return call<I + 1>(args, names, done..., held.get());
        }
    }

    static nb::object invoke(A... views) {
        if constexpr (std::is_void_v<R>) {
            F(views...);
            return nb::none();
        } else {
            return Result<R>::to_python(F(views...));
        }
    }

    // Calls a function that writes arrays with arguments apart from its
    // outputs: two outputs that share memory are refused, and an input that
    // shares memory with an output is read from a copy, so that every output
    // is what it would be on arrays of its own.
    template <std::size_t... I>
    static nb::object apart(const Names& names, std::index_sequence<I...>, A... views) {
        constexpr std::array<bool, arity> output{is_output<A>...};
        const std::array<Bytes, arity> bytes{bytes_of(views)...};
        std::array<bool, arity> copy{};
        bool any = false;
        for (std::size_t i = 0; i < arity; ++i) {
            if (!output[i]) continue;
            for (std::size_t j = 0; j < arity; ++j) {
                if (j == i || !overlap(bytes[i], bytes[j])) continue;
                if (output[j])
                    raise(PyExc_ValueError, std::string("'") + names[std::min(i, j)] + "' and '" +
                                                names[std::max(i, j)] + "' must not share memory");
                copy[j] = any = true;
            }
        }
        if (!any) return invoke(views...);
        std::array<std::vector<double>, arity> keep;
        return invoke(read_apart(views, copy[I], keep[I])...);
    }

    // The Python face as a function of a module.  `result`, when given, is the
    // type the signature names for an object result.
    static void def_python(nb::module_& m, const char* name, const char* doc, const Names& names,
                           const char* result = nullptr) {
        define(m, name, doc, names, std::index_sequence_for<A...>{}, result);
    }

    // The Python face as a static method of a class.
    template <class Class>
    static void def_static(Class& cls, const char* name, const char* doc, const Names& names,
                           const char* result = nullptr) {
        define(cls, name, doc, names, std::index_sequence_for<A...>{}, result);
    }

    static std::string result_annotation(const char* result = nullptr) {
        if (result) return result;
        if constexpr (std::is_void_v<R>) return "None";
        else return Result<R>::annotation();
    }

private:
    // "def name(a: int, U: numpy.ndarray, ...) -> float", for help() and stubs.
    template <std::size_t... I>
    static std::string signature(const char* name, const Names& names, std::index_sequence<I...>,
                                 const char* result) {
        std::string text = std::string("def ") + name + "(";
        ((text += (I ? ", " : "") + std::string(names[I]) + ": " + PyArg<A>::annotation()), ...);
        return text + ") -> " + result_annotation(result);
    }

    template <class Scope, std::size_t... I>
    static void define(Scope& scope, const char* name, const char* doc, const Names& names,
                       std::index_sequence<I...> seq, const char* result) {
        const std::string sig = signature(name, names, seq, result);
        auto face = [names](typename PyArg<A>::type... args) -> nb::object {
            return call<0>(std::forward_as_tuple(args...), names);
        };
        if constexpr (std::is_same_v<Scope, nb::module_>) {
            scope.def(name, face, PyArg<A>::arg(names[I])..., nb::sig(sig.c_str()), doc);
        } else {
            scope.def_static(name, face, PyArg<A>::arg(names[I])..., nb::sig(sig.c_str()), doc);
        }
    }
};

// ---- methods -------------------------------------------------------------

// The Python face of a method, from an implementation whose first parameter
// is the instance: PyArg<S> converts `self` (and checks its type); the other
// arguments are converted as for functions.
template <auto F>
struct MethodFace;

template <class R, class S, class... A, R (*F)(S, A...)>
struct MethodFace<F> {
    using Names = std::array<const char*, sizeof...(A)>;

    // `result`, when given, is the type the signature names for an object result.
    template <class Class>
    static void def(Class& cls, const char* name, const char* doc, const Names& names,
                    const char* result = nullptr) {
        def(cls, name, doc, names, result, std::index_sequence_for<A...>{});
    }

private:
    template <class Class, std::size_t... I>
    static void def(Class& cls, const char* name, const char* doc, const Names& names, const char* result,
                    std::index_sequence<I...>) {
        std::string sig = std::string("def ") + name + "(self";
        ((sig += ", " + std::string(names[I]) + ": " + PyArg<A>::annotation()), ...);
        sig += ") -> " + Face<F>::result_annotation(result);
        const typename Face<F>::Names all{"self", names[I]...};
        cls.def(
            name,
            [all](nb::handle self, typename PyArg<A>::type... args) -> nb::object {
                return Face<F>::template call<0>(std::forward_as_tuple(self, args...), all);
            },
            PyArg<A>::arg(names[I])..., nb::sig(sig.c_str()), doc);
    }
};

// ---- export tables -------------------------------------------------------

// Defines Python faces on a module and collects machine entries; publish()
// writes the export table in the given order.
class Exporter {
public:
    explicit Exporter(nb::module_ m) : module_(std::move(m)) {}

    // Python face and export entry.  Fn is the entry type the importers bind
    // (from the module's API header); it must be exactly the generated one.
    template <auto F, class Fn>
    void def(const char* name, const char* signature, const char* doc, const typename Face<F>::Names& names) {
        Face<F>::def_python(module_, name, doc, names);
        export_only<F, Fn>(name, signature);
    }

    // Export entry without a Python face.
    template <auto F, class Fn>
    void export_only(const char* name, const char* signature) {
        static_assert(std::is_same_v<Fn, typename Face<F>::machine_type>,
                      "the implementation does not match the entry type of the API header");
        entries_.push_back({name, signature, capi::entry_pointer(&Face<F>::machine)});
    }

    // Publishes `module.__capi__` with the entries in the order of `order`
    // (names not defined are skipped: they are not built yet).
    template <class Names>
    void publish(const Names& order) {
        nb::dict table;
        for (const char* name : order)
            for (const Entry& e : entries_)
                if (e.name == name) capi::add_entry(table, e.name.c_str(), e.signature, e.pointer);
        module_.attr(capi::table_attribute) = table;
    }

    bool has(const std::string& name) const {
        for (const Entry& e : entries_)
            if (e.name == name) return true;
        return false;
    }

    nb::module_& module() { return module_; }

private:
    struct Entry {
        std::string name;
        const char* signature;
        void* pointer;
    };
    nb::module_ module_;
    std::vector<Entry> entries_;
};

}  // namespace faces
}  // namespace videvo
