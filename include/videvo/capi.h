// Machine-level calling convention and export tables.
//
// An export table is a module attribute `__capi__`: a dict mapping a function's
// name to a PyCapsule whose pointer is the entry point and whose capsule name
// is the entry's signature text.  Publisher and importers compile against the
// same signature texts (one header per publishing module), and an importer
// binds every name it needs when it is imported, failing with ImportError on a
// missing name or a different text.
//
// Entry points are plain `noexcept` function pointers, called with the
// interpreter lock held (an entry may set an exception, and a long one releases
// the lock itself for its numeric part).  Arrays travel as views
// (views.h), ints as int, doubles as double.  On failure an entry sets a Python
// exception and returns its error value:
//   void and int results -> int, -1 on failure (void entries return 0 on success)
//   double results       -> the caller checks PyErr_Occurred()
//   object results       -> PyObject* (new reference), NULL on failure
//   pairs of ints        -> IntPair, {-1, -1} on failure
// Optional trailing arguments travel in an Opt record {given, value}.
#pragma once

#include "errors.h"
#include "views.h"

#include <cstring>
#include <string>

namespace videvo {

struct IntPair {
    int first;
    int second;
};

struct Pair {
    double first;
    double second;
};

// Optional trailing argument: `given` counts the optional values supplied
// (0 or 1); Default is used when it is 0.
template <class T, T Default>
struct Opt {
    int given;
    T value;
    T get() const { return given ? value : Default; }
    static constexpr T default_value = Default;
};

using object = PyObject*;

// The machine-level result type for a function's logical result type.
template <class R> struct MachineResult { using type = R; };
template <> struct MachineResult<void> { using type = int; };
template <> struct MachineResult<nb::object> { using type = PyObject*; };

namespace capi {

inline const char* const table_attribute = "__capi__";

// Adds an entry to an export table under construction.
inline void add_entry(nb::dict& table, const char* name, const char* signature, void* entry) {
    PyObject* capsule = PyCapsule_New(entry, signature, nullptr);
    if (capsule == nullptr) throw nb::python_error();
    table[name] = nb::steal(capsule);
}

template <class Fn>
void* entry_pointer(Fn fn) {
    return reinterpret_cast<void*>(fn);
}

// Imports `module` and returns its export table; ImportError when absent.
inline nb::dict import_table(const char* module) {
    nb::object mod;
    try {
        mod = nb::module_::import_(module);
    } catch (nb::python_error& e) {
        throw nb::import_error((std::string("cannot import ") + module + ": " + e.what()).c_str());
    }
    if (!nb::hasattr(mod, table_attribute) || !nb::isinstance<nb::dict>(mod.attr(table_attribute)))
        throw nb::import_error((std::string(module) + " publishes no export table").c_str());
    return nb::borrow<nb::dict>(mod.attr(table_attribute));
}

// A capsule name for an error message: bytes outside printable ASCII become
// '?', so that the message is always valid text.
inline std::string printable(const char* text) {
    std::string result = text != nullptr ? text : "";
    for (char& c : result)
        if (c < 0x20 || c > 0x7e) c = '?';
    return result;
}

// Binds one entry by name, checking its signature text.
template <class Fn>
Fn bind(const nb::dict& table, const char* module, const char* name, const char* signature) {
    PyObject* capsule = PyDict_GetItemString(table.ptr(), name);
    if (capsule == nullptr)
        throw nb::import_error((std::string(module) + " does not export '" + name + "'").c_str());
    if (!PyCapsule_CheckExact(capsule))
        throw nb::import_error((std::string(module) + " exports '" + name + "' as something else than an entry point").c_str());
    const char* published = PyCapsule_GetName(capsule);
    if (published == nullptr || std::strcmp(published, signature) != 0)
        throw nb::import_error((std::string(module) + "." + name + " has signature '" + printable(published) +
                                "', expected '" + signature + "'")
                                   .c_str());
    void* entry = PyCapsule_GetPointer(capsule, published);
    if (entry == nullptr) throw nb::python_error();
    return reinterpret_cast<Fn>(entry);
}

}  // namespace capi
}  // namespace videvo

// For the X-macro lists of the API headers, X(name, logical result, (arguments)):
// declares entry `name`'s function-pointer type name##_fn and its signature
// text name##_sig ...
#define VIDEVO_CAPI_DECLARE(name, result, args)                                  \
    using name##_fn = ::videvo::MachineResult<result>::type(*) args noexcept;   \
    inline constexpr const char name##_sig[] = #result " " #args;

// ... gives its name as a string, for lists in publication order ...
#define VIDEVO_CAPI_NAME(name, result, args) #name,

// ... and binds it from `table`, the export table of module api::module_name
// (api being the namespace of the declarations), into `target.name`.
#define VIDEVO_CAPI_BIND(api, table, target, name) \
    (target).name = ::videvo::capi::bind<api::name##_fn>(table, api::module_name, #name, api::name##_sig)
