"""The curve module's frame: public names, documentation, export table."""

import ctypes

import numpy as np
import pytest

import videvo
import videvo.curvekit as ck
from splines import capsule_address, capsule_name

DOCUMENTED_ORDER = [
    "validknots", "eqspaced", "averaging", "averaging2", "averaging3", "averagcpts", "findspan",
    "findspanmult", "bfunpev", "bfuncev", "bfunspev", "dbfunspev", "splpev", "splcev", "dsplpev",
    "dsplcev", "dsplcpts", "dsplcpts2", "asplcpts", "splkins", "splkref", "splkrem", "splksrem",
    "splkrem_notol", "getbndrem", "degelevc", "gcsplint", "gdsplint", "gadsplint", "cdsplint",
    "splcjoin", "splcsli", "knotuniondim", "splcsum", "kevalappr", "gcsplapp", "gdsplapp",
    "knotsdegelev", "bezpev", "bezcev", "bezpev2", "bezcev2", "getbezmat",
]
PUBLICATION_ORDER = [
    "validknots", "eqspaced", "averaging", "averaging2", "averaging3", "distintknots", "kevalappr",
    "gcsplint", "gdsplint", "cdsplint", "gcsplapp", "gdsplapp", "gadsplint", "averagcpts", "findspan",
    "findspanmult", "bfunpev", "bfuncev", "bfunspev", "dbfunspev", "splpev", "splcev", "dsplpev",
    "dsplcev", "dsplcpts", "splkins", "splkrem", "splksrem", "splkrem_notol", "getbndrem", "degelevc",
    "asplcpts", "dsplcpts2", "splkref", "splcjoin", "splcsli", "knotuniondim", "splcsum",
    "knotsdegelev", "bezpev", "bezcev", "bezpev2", "bezcev2", "getbmtxelement", "getbezmat",
]
FOUNDATION = ["validknots", "eqspaced", "averaging", "averaging2", "averaging3", "averagcpts", "findspan",
              "findspanmult", "bfunpev", "bfuncev", "bfunspev", "dbfunspev", "splpev", "splcev", "dsplpev",
              "dsplcev", "kevalappr"]


def is_ordered_subset(names, order):
    positions = [order.index(n) for n in names]
    return positions == sorted(positions)


def test_public_names_in_documented_order():
    assert set(FOUNDATION) <= set(ck.__all__)
    assert is_ordered_subset(ck.__all__, DOCUMENTED_ORDER)
    for name in ck.__all__:
        assert callable(getattr(ck, name))
        assert getattr(ck, name).__doc__
    assert "distintknots" not in ck.__all__ and not hasattr(ck, "distintknots")
    assert "getbmtxelement" not in ck.__all__ and not hasattr(ck, "getbmtxelement")
    assert ck.NP is np
    assert videvo.__version__.count(".") == 2


def test_module_docstring_is_a_table_of_functions_and_routines():
    lines = ck.__doc__.splitlines()
    header = next(i for i, line in enumerate(lines) if line.startswith("All functions"))
    assert "Wrapper for" in lines[header]
    rows = [line.split() for line in lines[header + 2:] if line.strip()]
    listed = [r[0] for r in rows]
    assert [n for n in listed if n != "getbmtxelement"] == ck.__all__
    assert dict(rows)["splcev"] == "CurveEval"
    assert dict(rows)["findspan"] == "FindSpan"


def test_export_table_holds_signed_capsules_in_publication_order():
    table = ck.__capi__
    names = list(table)
    assert is_ordered_subset(names, PUBLICATION_ORDER)
    assert set(FOUNDATION) | {"distintknots"} <= set(names)
    texts = {name: capsule_name(capsule).decode() for name, capsule in table.items()}
    assert texts["splpev"].startswith("double (")
    assert texts["findspanmult"].startswith("IntPair (")
    assert len(set(texts.values())) < len(texts)  # same forms share a text
    assert texts["averaging"] == texts["averaging2"] != texts["averaging3"]


class View(ctypes.Structure):
    _fields_ = [("data", ctypes.POINTER(ctypes.c_double)), ("size", ctypes.c_ssize_t)]


def entry(name, restype, *argtypes):
    address = capsule_address(ck.__capi__[name])
    # PYFUNCTYPE keeps the interpreter lock and raises a Python error that the
    # entry left set.
    return ctypes.PYFUNCTYPE(restype, *argtypes)(address)


def view(a):
    return View(a.ctypes.data_as(ctypes.POINTER(ctypes.c_double)), a.size)


def test_machine_level_entries_compute_and_report_errors():
    U = np.array([0, 0, 0, 0, 1, 2, 3, 3, 3, 3.0])
    P = np.array([0, 1, 3, 4, 2, 0.0])
    validknots = entry("validknots", ctypes.c_int, ctypes.c_int, View)
    assert validknots(3, view(U)) == 0
    splpev = entry("splpev", ctypes.c_double, ctypes.c_double, View, View, ctypes.c_int)
    assert splpev(1.5, view(U), view(P), 3) == ck.splpev(1.5, U, P, 3)
    with pytest.raises(ValueError, match="'info' value: -5"):
        splpev(7.0, view(U), view(P), 3)
    splcev = entry("splcev", ctypes.c_int, View, View, View, ctypes.c_int)
    C = np.array([0.5, 2.5])
    assert splcev(view(C), view(U), view(P), 3) == 0
    assert C[1] == ck.splpev(2.5, U, P, 3)
    with pytest.raises(ValueError, match="'info' value: -3"):
        splcev(view(C), view(U[:-1]), view(P), 3)
    distintknots = entry("distintknots", ctypes.c_int, View, ctypes.c_int)
    assert distintknots(view(np.array([0, 0, 0, 1, 1, 2, 3, 3, 3.0])), 2) == 2
    assert distintknots(view(U), 3) == 2


def test_status_codes_become_exceptions_with_the_documented_text():
    U = np.array([0, 0, 1, 1.0])
    with pytest.raises(ValueError) as err:
        ck.splpev(0.5, U, np.array([0.0, 1.0]), -1)
    assert str(err.value) == "the algorithm failed with 'info' value: -2"
    assert type(err.value) is ValueError
