"""The frames of videvo.trajdata and videvo.trajmake: public names, the
machine-level tables, and the checks they make when they bind each other."""

import ctypes
import os
import pickle
import re

import numpy as np
import pytest

import videvo
from videvo import curvekit, trajdata, trajmake
from videvo.trajdata import Trajectory1d, ViDEVOObject
from splines import capsule_address, capsule_name, run_child
from trajectories import CPTS, KNOTS, quadratic

FACTORIES = ["bspltraj", "fromdata", "fromdatatdma", "fromdatawaed", "constant", "zeros", "ones", "lin1p",
             "lin2p", "sintraj", "costraj", "polytraj"]

address_of = capsule_address


def test_trajdata_frame():
    assert trajdata.__all__[:4] == ["ConvergenceError", "CorruptedFileError", "ViDEVOObject", "Trajectory1d"]
    assert trajdata.DEF_EXT == ".videvo"
    assert trajdata.np is np and trajdata.os is os and trajdata.re is re and trajdata.videvo is videvo
    assert trajdata.etree.__name__ == "lxml.etree"
    assert issubclass(Trajectory1d, ViDEVOObject)
    for cls in (trajdata.ConvergenceError, trajdata.CorruptedFileError):
        assert cls.__bases__ == (Exception,) and cls.__doc__
    with pytest.raises(Exception):
        raise trajdata.CorruptedFileError("x")
    with pytest.raises(trajdata.ConvergenceError):
        try:
            raise trajdata.ConvergenceError("x")
        except trajdata.CorruptedFileError:
            pytest.fail("caught by the other class")
    for name in ("peval", "ceval", "dpeval", "dceval", "__call__", "copy", "get_xcpts", "_dset_data"):
        assert getattr(Trajectory1d, name).__doc__
    assert Trajectory1d.__doc__ and ViDEVOObject.__doc__ and trajmake.bspltraj.__doc__


def test_base_class_is_abstract_and_picklable():
    with pytest.raises(NotImplementedError, match="^abstract method$"):
        ViDEVOObject.loadxml("any", "x")
    with pytest.raises(TypeError):
        ViDEVOObject.loadxml(1, "x")
    obj = ViDEVOObject()
    for call in (obj._getAttrib, lambda: obj._addViDEVOObject(None, "x"),
                 lambda: obj._updateViDEVOObject(None, None, None)):
        with pytest.raises(NotImplementedError, match="^abstract method$"):
            call()
    assert type(pickle.loads(pickle.dumps(obj))) is ViDEVOObject


def test_trajmake_frame_and_export_table():
    assert trajmake.np is np
    names = list(trajmake.__capi__)
    assert "bspltraj" in names and trajmake.__all__ == names
    assert [n for n in FACTORIES if n in names] == names
    assert capsule_name(trajmake.__capi__["bspltraj"]) == b"TrajectoryObject (CVec knots, CVec cpts, int p, int order)"


class View(ctypes.Structure):
    _fields_ = [("data", ctypes.POINTER(ctypes.c_double)), ("size", ctypes.c_ssize_t)]


class OptInt(ctypes.Structure):
    _fields_ = [("given", ctypes.c_int), ("value", ctypes.c_int)]


class OptBool(ctypes.Structure):
    _fields_ = [("given", ctypes.c_int), ("value", ctypes.c_bool)]


def view(a):
    return View(a.ctypes.data_as(ctypes.POINTER(ctypes.c_double)), a.size)


def slot(table, number, restype, *argtypes):
    """Entry `number` (counting from 1) of a method table; PYFUNCTYPE keeps the
    interpreter lock and raises the Python error an entry leaves set."""
    return ctypes.PYFUNCTYPE(restype, *argtypes)(table[number - 1])


def trajectory_table():
    capsule = Trajectory1d.__dict__["__capi__"]
    assert capsule_name(capsule).startswith(b"Trajectory1d methods: c_loadxml ")
    return ctypes.cast(address_of(capsule), ctypes.POINTER(ctypes.c_void_p * 39)).contents


def test_method_table_slots_in_order():
    table = trajectory_table()
    t = quadratic()
    peval = slot(table, 17, ctypes.c_double, ctypes.py_object, ctypes.c_double)
    assert peval(t, 1.5) == t.peval(1.5)
    with pytest.raises(ValueError, match="'x' out of domain: 3.0"):
        peval(t, 3.0)
    dpeval = slot(table, 19, ctypes.c_double, ctypes.py_object, ctypes.c_double, OptInt)
    assert dpeval(t, 0.5, OptInt(0, 0)) == t.dpeval(0.5, 1) and dpeval(t, 0.5, OptInt(1, 2)) == t.dpeval(0.5, 2)
    ceval = slot(table, 18, ctypes.c_int, ctypes.py_object, View)
    xp = np.array([0.5, 1.5])
    assert ceval(t, view(xp)) == 0 and xp.tolist() == t([0.5, 1.5]).tolist()
    copy_entry = slot(table, 34, ctypes.py_object, ctypes.py_object)
    assert copy_entry(t).__getstate__() == t.__getstate__()
    sget_cpts = slot(table, 15, ctypes.py_object, ctypes.py_object)
    assert sget_cpts(t) == CPTS.tobytes()
    c_shift = slot(table, 21, ctypes.c_int, ctypes.py_object, ctypes.c_double)
    assert c_shift(t, 1.0) == 0 and (t.start, t.stop) == (1.0, 3.0)
    c_imul = slot(table, 11, ctypes.c_int, ctypes.py_object, ctypes.c_double)
    assert c_imul(t, 2.0) == 0 and t.get_cpts_asarray().tolist() == (2 * CPTS).tolist()
    base_table = ctypes.cast(address_of(ViDEVOObject.__dict__["__capi__"]), ctypes.POINTER(ctypes.c_void_p * 5)).contents
    # Trajectory1d has its own persistence hooks and inherits the base's savexml.
    assert [a != b for a, b in zip(table, base_table)] == [True, True, True, True, False]


def test_machine_constructors():
    table = trajectory_table()
    from_ptrs = slot(table, 6, ctypes.py_object, ctypes.c_void_p, ctypes.c_void_p, ctypes.c_int, ctypes.c_int,
                     ctypes.c_uint, OptBool)
    knots, cpts = KNOTS.copy(), CPTS.copy()
    # Borrowed buffers: the trajectory works on the caller's memory.
    t = from_ptrs(knots.ctypes.data, cpts.ctypes.data, 2, 3, 5, OptBool(0, True))
    assert type(t) is Trajectory1d and (t.p, t.n, t.order) == (2, 3, 5) and t.__getstate__()[5] is False
    cpts[1] = 10.0
    assert t.peval(0.5) == trajmake.bspltraj(knots, cpts, 2, 0).peval(0.5) != quadratic().peval(0.5)
    knots[3] = 5.0  # (the caller's memory may change at any time: its knots are never trusted)
    with pytest.raises(ValueError, match="'info' value: -3$"):
        t.peval(0.5)
    del t
    new_struct = slot(table, 7, ctypes.py_object, ctypes.c_int, ctypes.c_int, ctypes.c_uint)
    s = new_struct(3, 10, 1)
    assert (s.p, s.n, s.order) == (3, 10, 1) and s.get_knotvector_asarray().size == 15
    assert s.get_cpts_asarray().size == 11 and s.__getstate__()[5] is True


def test_table_entries_honour_subclass_redefinitions():
    class Doubled(Trajectory1d):
        def peval(self, x):
            return 2.0 * super().peval(x)

    d = Doubled()
    d.__setstate__(quadratic().__getstate__())
    peval = slot(trajectory_table(), 17, ctypes.c_double, ctypes.py_object, ctypes.c_double)
    assert peval(d, 1.5) == 2.0 * quadratic().peval(1.5)
    with pytest.raises(TypeError):
        peval(object(), 1.5)


def test_machine_level_bspltraj():
    entry = ctypes.PYFUNCTYPE(ctypes.py_object, View, View, ctypes.c_int, ctypes.c_int)(
        address_of(trajmake.__capi__["bspltraj"]))
    t = entry(view(KNOTS), view(CPTS), 2, 1)
    assert t.__getstate__() == quadratic(order=1).__getstate__()
    with pytest.raises(ValueError, match="inconsistent 'knots' vector"):
        entry(view(KNOTS[:-1]), view(CPTS), 2, 1)


# ---- binding failures, in child interpreters --------------------------------------

FAKE_CURVEKIT = r"""
import ctypes, sys, types
new = ctypes.pythonapi.PyCapsule_New
new.restype = ctypes.py_object
new.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_void_p]
fake = types.ModuleType("videvo.curvekit")
fake.names = {}    # capsule names must outlive the capsules
fake.__capi__ = {}
for name, text in signatures.items():
    if name == missing:
        continue
    fake.names[name] = (text + " changed" if name == altered else text).encode()
    fake.__capi__[name] = new(1, fake.names[name], None)   # never called: the import fails first
sys.modules["videvo.curvekit"] = fake
try:
    import videvo.trajdata
    print("imported")
except ImportError as e:
    print("ImportError:", e)
"""


def curvekit_signatures():
    return {name: capsule_name(c).decode() for name, c in curvekit.__capi__.items()}


@pytest.mark.parametrize("missing, altered, expected", [
    ("splcev", "", "videvo.curvekit does not export 'splcev'"),
    ("distintknots", "", "videvo.curvekit does not export 'distintknots'"),
    ("splkref", "", "videvo.curvekit does not export 'splkref'"),
    ("", "dsplpev", "videvo.curvekit.dsplpev has signature 'void (double u, CVec U, CVec P, int p, int d, Vec CK) changed'"),
])
def test_trajdata_import_fails_on_a_mismatched_curve_module(missing, altered, expected):
    setup = f"signatures, missing, altered = {curvekit_signatures()!r}, {missing!r}, {altered!r}\n"
    result = run_child(setup + FAKE_CURVEKIT)
    assert result.returncode == 0, result.stderr
    assert result.stdout.splitlines()[-1].startswith("ImportError: " + expected), result.stdout


def test_trajmake_import_fails_on_a_class_without_its_table():
    code = r"""
import sys, types
fake = types.ModuleType("videvo.trajdata")
class ViDEVOObject: pass
class Trajectory1d(ViDEVOObject): __capi__ = "not a capsule"
fake.ViDEVOObject, fake.Trajectory1d, fake.__capi__ = ViDEVOObject, Trajectory1d, {}
sys.modules["videvo.trajdata"] = fake
try:
    import videvo
    print("imported")
except ImportError as e:
    print("ImportError:", e)
"""
    result = run_child(code)
    assert result.returncode == 0, result.stderr
    assert result.stdout.splitlines()[-1].startswith(
        "ImportError: videvo.trajdata.Trajectory1d.__capi__ is missing"), result.stdout
