"""Point1d: construction, property conversions, copies, text forms,
comparison, and make_point at machine level."""

import copy
import ctypes
import pickle

import pytest

from videvo import trajdata
from videvo.trajdata import Point1d
from splines import capsule_address, capsule_name


def fields(pt):
    return (pt.t, pt.val, pt.order)


def test_constructor_and_properties_convert_their_values():
    pt = Point1d(t=1, val=True, order=2.9)
    assert fields(pt) == (1.0, 1.0, 2) and type(pt.t) is float and type(pt.order) is int
    pt.t, pt.val, pt.order = 0.25, -3, 4294967295
    assert fields(pt) == (0.25, -3.0, 4294967295)
    with pytest.raises(AttributeError):
        pt.other = 1


@pytest.mark.parametrize("name, value, error, message", [
    ("order", -1, OverflowError, "^can't convert negative value to unsigned int$"),
    ("order", 2**32, OverflowError, "^value too large to convert to unsigned int$"),
    ("order", "1", TypeError, None),
    ("order", None, TypeError, None),
    ("t", "0.5", TypeError, None),
    ("val", None, TypeError, None),
])
def test_bad_property_values_leave_the_field_unchanged(name, value, error, message):
    pt = Point1d(0.5, 2.0, 1)
    with pytest.raises(error, match=message):
        setattr(pt, name, value)
    assert fields(pt) == (0.5, 2.0, 1)


@pytest.mark.parametrize("name", ["t", "val", "order"])
def test_properties_cannot_be_deleted(name):
    with pytest.raises(NotImplementedError, match="^__del__$"):
        delattr(Point1d(0.0, 0.0, 0), name)


@pytest.mark.parametrize("pnt, error", [
    ([1.0, 5.0, 2], TypeError), (None, TypeError), ((1.0, 5.0), IndexError), ((1.0, 5.0, -1), OverflowError),
])
def test_from_tuple_refuses_bad_tuples(pnt, error):
    with pytest.raises(error):
        Point1d.from_tuple(pnt)


def test_from_tuple_ignores_extra_items():
    assert Point1d.from_tuple((1.0, 5.0, 2, "x")) == Point1d(1.0, 5.0, 2)


def test_comparison_is_exact_and_for_instances_of_the_class_only():
    class Sub(Point1d):
        pass

    a = Point1d(0.5, 2.0, 1)
    assert a == Point1d(0.5, 2.0, 1) and not a != Point1d(0.5, 2.0, 1)
    assert a != Point1d(0.5, 2.0 + 1e-15, 1)
    assert a.__eq__(Sub(0.5, 2.0, 1)) is True and Sub(0.5, 2.0, 1).__eq__(a) is False
    assert (Point1d(0.0, 0.0, 0) == (0.0, 0.0, 0)) is False
    with pytest.raises(TypeError):
        hash(a)
    with pytest.raises(TypeError):
        a < a


def test_copies_are_equal_distinct_plain_points():
    class Sub(Point1d):
        @property
        def val(self):
            return 7.0

    s = Sub(1.0, 2.0, 3)
    for c in (s.copy(), copy.copy(s), copy.deepcopy(s)):
        assert type(c) is Point1d and c is not s and fields(c) == (1.0, 7.0, 3)


def test_text_forms():
    assert str(Point1d(1, 2, 0)) == "Point1d(t = 1.0, val = 2.0, order = 0)"
    assert repr(Point1d(1e-5, 0.1, 3)) == "{'t': 1e-05, 'val': 0.1, 'order': 3}"


@pytest.mark.parametrize("protocol", [0, 2, 5])
def test_points_cannot_be_pickled(protocol):
    with pytest.raises(TypeError):
        pickle.dumps(Point1d(0.0, 1.0, 0), protocol=protocol)


class CPoint(ctypes.Structure):
    _fields_ = [("t", ctypes.c_double), ("val", ctypes.c_double), ("order", ctypes.c_uint32)]


def test_make_point_in_the_export_table():
    capsule = trajdata.__capi__["make_point"]
    assert capsule_name(capsule) == b"c_point1d (double u, double value, unsigned order)"
    make = ctypes.CFUNCTYPE(CPoint, ctypes.c_double, ctypes.c_double, ctypes.c_uint)(capsule_address(capsule))
    p = make(0.5, -2.0, 4000000000)
    assert (p.t, p.val, p.order) == (0.5, -2.0, 4000000000)


def test_method_table_copy_slot_honours_subclasses():
    table = ctypes.cast(capsule_address(Point1d.__dict__["__capi__"]), ctypes.POINTER(ctypes.c_void_p * 7)).contents
    copy_entry = ctypes.PYFUNCTYPE(ctypes.py_object, ctypes.py_object)(table[6])

    class Marked(Point1d):
        def copy(self):
            return Point1d(9.0, 9.0, 9)

    assert fields(copy_entry(Point1d(1.0, 2.0, 3))) == (1.0, 2.0, 3)
    assert fields(copy_entry(Marked(1.0, 2.0, 3))) == (9.0, 9.0, 9)
