"""Machine-level entries of the exact curve functions, called as the other
modules call them: arrays as views, the optional tolerance as a trailing
record {given, value}."""

import ctypes

import numpy as np
import pytest

from videvo import curvekit as ck


class View(ctypes.Structure):  # Vec and CVec: pointer and length
    _fields_ = [("data", ctypes.POINTER(ctypes.c_double)), ("size", ctypes.c_ssize_t)]


class OptTol(ctypes.Structure):
    _fields_ = [("given", ctypes.c_int), ("value", ctypes.c_double)]


SIGNATURES = {
    "dsplcpts": "void (CVec U, CVec P, int p, int d, int r1, int r2, Mat PK)",
    "splkins": "void (CVec UP, CVec P, int p, double u, int r, Vec UQ, Vec Q)",
    "splkrem": "int (Vec U, Vec P, int p, double u, int num, OptTol tol)",
    "splksrem": "int (Vec U, Vec P, int p, OptTol tol)",
    "splkrem_notol": "int (Vec U, Vec P, int p, double u, int num)",
    "getbndrem": "double (CVec U, CVec P, int p, double u)",
    "degelevc": "void (CVec U, CVec P, int p, int t, Vec Uh, Vec Q)",
    "asplcpts": "void (CVec U, CVec P, int p, int d, Vec UK, Vec PK)",
    "dsplcpts2": "int (CVec U, CVec P, int p, int d, Vec UK, Vec PK)",
    "splkref": "void (CVec U, CVec P, int p, CVec X, Vec Ubar, Vec Q)",
    "knotsdegelev": "void (CVec U, int p, Vec Uh)",
}


def entry(name, restype, *argtypes):
    capsule = ck.__capi__[name]
    get_name = ctypes.pythonapi.PyCapsule_GetName
    get_name.restype, get_name.argtypes = ctypes.c_char_p, [ctypes.py_object]
    get_pointer = ctypes.pythonapi.PyCapsule_GetPointer
    get_pointer.restype, get_pointer.argtypes = ctypes.c_void_p, [ctypes.py_object, ctypes.c_char_p]
    address = get_pointer(capsule, get_name(capsule))
    # PYFUNCTYPE: the entry may set a Python error, so the GIL stays held
    return ctypes.PYFUNCTYPE(restype, *argtypes)(address)


def view(a):
    return View(a.ctypes.data_as(ctypes.POINTER(ctypes.c_double)), a.size)


def test_signature_texts():
    for name, text in SIGNATURES.items():
        assert ctypes.pythonapi.PyCapsule_IsValid(ctypes.py_object(ck.__capi__[name]), text.encode()), name


def test_removal_tolerance_record_defaults_to_1e_11():
    splkrem = entry("splkrem", ctypes.c_int, View, View, ctypes.c_int, ctypes.c_double, ctypes.c_int, OptTol)
    U0 = np.array([0, 0, 0, 1.5, 3, 3, 3.0])
    P0 = np.array([0, 0.75, 2.25 + 2e-11, 3.0])  # removal moves the curve by 4e-11
    for record, removed in [(OptTol(0, 0.0), 0), (OptTol(1, 1e-10), 1), (OptTol(0, 1e-10), 0)]:
        U, P = U0.copy(), P0.copy()
        assert splkrem(view(U), view(P), 2, 1.5, 1, record) == removed


def test_entries_report_failures_as_python_errors():
    splksrem = entry("splksrem", ctypes.c_int, View, View, ctypes.c_int, OptTol)
    U, P = np.array([0, 0, 1, 1.0]), np.array([0, 1.0])
    with pytest.raises(ValueError, match="^the algorithm failed with 'info' value: -5$"):
        splksrem(view(U), view(P), 1, OptTol(1, -1.0))
    getbndrem = entry("getbndrem", ctypes.c_double, View, View, ctypes.c_int, ctypes.c_double)
    with pytest.raises(ValueError, match="^the algorithm failed with 'info' value: -7$"):
        getbndrem(view(U), view(P), 1, 0.5)
