// ViDEVOObject: the abstract persistable base class and its method table.
#include "overrides.h"

namespace videvo::trajdata {

Base Base::from(PyObject* o) {
    if (!PyObject_TypeCheck(o, viDEVOObject_type))
        raise(PyExc_TypeError, std::string("expected a ViDEVOObject, not ") + Py_TYPE(o)->tp_name);
    return {o};
}

namespace {

[[noreturn]] void abstract() { raise(PyExc_NotImplementedError, "abstract method"); }

// Slot 1, the base form: the loader of a class that cannot be loaded.
nb::object c_loadxml(PyObject* fname, PyObject* ID) {
    require_str_or_none(fname, "fname");
    require_str_or_none(ID, "ID");
    return nb::none();
}

nb::object loadxml(PyObject* fname, PyObject* ID) {
    require_str_or_none(fname, "fname");
    require_str_or_none(ID, "ID");
    abstract();
}

nb::object getAttrib(Base) { abstract(); }

void addViDEVOObject(Base, PyObject*, PyObject* ID) {
    require_str_or_none(ID, "ID");
    abstract();
}

void updateViDEVOObject(Base, PyObject*, PyObject*, PyObject* ID) {
    require_str_or_none(ID, "ID");
    abstract();
}

// The base holds no state: a bare instance pickles as nothing but its class
// (and a Python subclass as its instance dictionary).
nb::object getstate(Base self) {
    nb::object dict = nb::steal(PyObject_GetAttrString(self.obj, "__dict__"));
    if (!dict.is_valid()) {
        if (!PyErr_ExceptionMatches(PyExc_AttributeError)) throw nb::python_error();
        PyErr_Clear();
        return nb::none();
    }
    if (PyDict_Check(dict.ptr()) && PyDict_GET_SIZE(dict.ptr()) != 0) return dict;
    return nb::none();
}

}  // namespace

bool has_abstract_hooks(PyObject* obj) {
    return nb::inst_ptr<ViDEVOObjectRecord>(obj)->vtab == &viDEVOObject_methods &&
           runs_own<&addViDEVOObject, &updateViDEVOObject>(obj);
}

void register_base(nb::module_&, BaseClass& cls) {
    viDEVOObject_type = reinterpret_cast<PyTypeObject*>(cls.ptr());
    ViDEVOObjectMethods& table = viDEVOObject_methods;
    fill_not_built(table);
    table.c_loadxml = &faces::Face<&c_loadxml>::machine;

    faces::Face<&loadxml>::def_static(cls, "loadxml",
        "Load an object saved under `ID` in the file `fname`.\n\n"
        "Abstract: the persistable classes provide their own loader.  Raises\n"
        "NotImplementedError(\"abstract method\"); TypeError when `fname` or `ID`\n"
        "is neither str nor None.",
        {"fname", "ID"});
    def_method<&getAttrib>(cls, table, &ViDEVOObjectMethods::_getAttrib, "_getAttrib",
        "The attributes that describe the object in a saved file, as a dict of\n"
        "attribute name to text.  Abstract: raises NotImplementedError(\"abstract method\").",
        {});
    def_method<&addViDEVOObject>(cls, table, &ViDEVOObjectMethods::_addViDEVOObject, "_addViDEVOObject",
        "Append the object as a new element under `root`, with the attribute ID.\n"
        "Abstract: raises NotImplementedError(\"abstract method\").",
        {"root", "ID"});
    def_method<&updateViDEVOObject>(cls, table, &ViDEVOObjectMethods::_updateViDEVOObject,
        "_updateViDEVOObject",
        "Rewrite the existing element `node` of the document `tree` with the\n"
        "object's current data.  Abstract: raises NotImplementedError(\"abstract method\").",
        {"tree", "node", "ID"});
    faces::MethodFace<&getstate>::def(cls, "__getstate__",
        "The state for pickling: None (the class holds no data), or the instance\n"
        "dictionary of a subclass that has one.",
        {});
}

}  // namespace videvo::trajdata
