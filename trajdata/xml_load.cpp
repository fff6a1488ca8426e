// Loading: Trajectory1d.loadxml and Point1d.loadxml.  Nothing read from a
// file is trusted: sizes are checked against the numbers actually present
// before anything is allocated, and every fault names the object.
#include "xml.h"

#include <climits>
#include <cstdint>

namespace videvo::trajdata::xml {
namespace {

// The first element of class `tag` saved under ID in the file; ValueError
// when there is none (also when the root is of another kind).
nb::object find_saved(PyObject* fname, PyObject* ID, const char* tag) {
    const nb::str id = id_text(ID);
    nb::object root = parse_file(complete_name(fname)).attr("getroot")();
    if (is_list_root(root)) {
        std::vector<nb::object> found = find_objects(root, nb::str(tag), id, 1);
        if (!found.empty()) return std::move(found[0]);
    }
    raise_with(PyExc_ValueError, "no match for ID: ", id);
}

// int() of an attribute's text: TypeError when it is missing, ValueError when
// it is no integer.
nb::object integer_attribute(nb::handle element, const char* name) {
    return entry_result(PyNumber_Long(element.attr("get")(name).ptr()));
}

// The value of an integer attribute, which must lie in [low, high].
std::int64_t bounded(nb::handle element, const char* name, std::int64_t low, std::int64_t high, nb::handle id) {
    nb::object value = integer_attribute(element, name);
    int overflow = 0;
    const long long v = PyLong_AsLongLongAndOverflow(value.ptr(), &overflow);
    if (overflow != 0 || v < low || v > high)
        raise_object_fault("Trajectory1d", id, std::string("'") + name + "' = " + nb::str(value).c_str() +
                                                   " is out of range [" + std::to_string(low) + ", " +
                                                   std::to_string(high) + "]");
    return v;
}

// The first `count` numbers of the text of the element's own child `tag`.
Buffer numbers_of(nb::handle element, const char* tag, std::int64_t count, nb::handle id) {
    nb::object child = element.attr("find")(tag);
    if (child.is_none()) raise_object_fault("Trajectory1d", id, std::string("it has no '") + tag + "' element");
    nb::object text = child.attr("text");
    const std::string_view words = utf8_of(text);
    const std::int64_t present = count_words(words);
    if (present < count)
        raise_object_fault("Trajectory1d", id, std::string("'") + tag + "' holds " + std::to_string(present) +
                                                   " numbers, " + std::to_string(count) + " needed");
    Buffer values = Buffer::allocate(count);
    parse_numbers(words, values.get(), count);
    return values;
}

TrajectoryObject load_trajectory(PyObject* fname, PyObject* ID) {
    const nb::str id = id_text(ID);
    nb::object element = find_saved(fname, ID, "Trajectory1d");
    // The knot count n + p + 2 must fit the record's 32-bit fields too.
    const std::int64_t p = bounded(element, "p", 0, INT32_MAX - 2, id);
    const std::int64_t n = bounded(element, "n", p, INT32_MAX - 2 - p, id);
    const std::int64_t order = bounded(element, "order", 0, UINT32_MAX, id);
    nb::object owner = element.attr("get")("owner");
    if (owner.is_none()) raise_object_fault("Trajectory1d", id, "it has no 'owner' attribute");
    // Any non-empty text, "False" included, makes an owner.
    const bool owns = nb::len(owner) != 0;
    Buffer knots = numbers_of(element, "knots", n + p + 2, id);
    Buffer cpts = numbers_of(element, "cpts", n + 1, id);
    const int status = ck.validknots(static_cast<int>(p), CVec(knots.get(), knots.size()));
    if (status < 0) throw nb::python_error();
    if (status != 0)
        raise_object_fault("Trajectory1d", id, "'knots' is no clamped knot vector of degree " + std::to_string(p));
    TrajectoryObject t = from_ptrs(knots.get(), cpts.get(), static_cast<int>(p), static_cast<int>(n),
                                   static_cast<unsigned>(order), {1, owns});
    // The buffers are this load's own copies: a non-owning result (what the
    // file asked for) still releases them, as an unpickled one does.
    trajectory_record(t.value.ptr())->copies_owned = 1;
    knots.release();
    cpts.release();
    return t;
}

PointObject load_point(PyObject* fname, PyObject* ID) {
    nb::object element = find_saved(fname, ID, "Point1d");
    nb::object get = element.attr("get");
    nb::object t = entry_result(PyNumber_Float(get("t").ptr()));
    nb::object val = entry_result(PyNumber_Float(get("val").ptr()));
    nb::object order = integer_attribute(element, "order");
    nb::object point = new_point();
    c_point1d& p = Pt::exact(point.ptr()).rec->p;
    p.t = point_double(t.ptr());
    p.val = point_double(val.ptr());
    p.order = point_order(order.ptr());
    return {std::move(point)};
}

// The loader as the base form of the slot, which returns any object.
template <auto Load>
nb::object load_object(PyObject* fname, PyObject* ID) {
    return Load(fname, ID).value;
}

template <auto Load, class Class, class Table>
void def_loader(Class& cls, Table& table, const char* doc) {
    table.base.c_loadxml = &faces::Face<&load_object<Load>>::machine;
    table.c_loadxml = &faces::Face<Load>::machine;
    faces::Face<Load>::def_static(cls, "loadxml", doc, {"fname", "ID"});
}

}  // namespace

void def_trajectory_loader(TrajectoryClass& cls) {
    def_loader<&load_trajectory>(cls, trajectory1d_methods,
        "The trajectory saved under the name `ID` in the XML file `fname` (the\n"
        "extension \".videvo\" is added when it has none).\n\n"
        "Raises ValueError(\"no match for ID: <ID>\") when the file holds no such\n"
        "trajectory, TypeError for a missing p, n or order, ValueError for a number\n"
        "that does not parse, CorruptedFileError (naming the ID and the fault) for\n"
        "sizes out of range, missing data, too few numbers or an invalid knot vector,\n"
        "and lxml's or the interpreter's error for a file that cannot be read.");
}

void def_point_loader(PointClass& cls) {
    def_loader<&load_point>(cls, point1d_methods,
        "The point saved under the name `ID` in the XML file `fname` (the extension\n"
        "\".videvo\" is added when it has none).\n\n"
        "Raises ValueError(\"no match for ID: <ID>\") when the file holds no such\n"
        "point, TypeError for a missing attribute, ValueError for a number that does\n"
        "not parse, OverflowError for a negative order, and lxml's or the\n"
        "interpreter's error for a file that cannot be read.");
}

}  // namespace videvo::trajdata::xml
