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


def _aliased_call(case, shared):
    """The outputs of one call, on arrays of their own or sharing an input's memory."""
    U, P, p = np.array([0, 0, 0, 0, 1, 2, 3, 4, 4, 4, 4.]), np.array([1, 3, -2, 5, 4, 0, 2.]), 3
    x = np.linspace(0, 4, 7)
    if case == "splcsum":  # P2 is the front of PK
        U2, P2 = np.array([0, 0, 0, 0, 0.5, 1, 2, 4, 4, 4, 4.]), np.array([2, -1, 0, 3, 1, 5, 4.])
        mk, nk = ck.knotuniondim(U, U2, p)
        UK, PK = np.empty(mk + 1), np.zeros(nk + 1)
        PK[:P2.size] = P2
        ck.splcsum(U, P, U2, PK[:P2.size] if shared else P2, p, mk, UK, nk, PK)
        return UK, PK
    if case == "bezcev":  # the points are the control points
        B = np.array([0.1, 0.7, 0.3, 0.9])
        ck.bezcev(B, B if shared else B.copy())
        return (B,)
    C = x.copy()  # splcev: the points are the control points
    ck.splcev(C, U, C if shared else x.copy(), p)
    return (C,)


@pytest.mark.parametrize("case", ["splcsum", "bezcev", "splcev"])
def test_inputs_that_share_an_outputs_memory_are_read_as_they_were(case):
    for fresh, shared in zip(_aliased_call(case, False), _aliased_call(case, True)):
        np.testing.assert_array_equal(shared, fresh)


def test_outputs_that_share_memory_are_refused():
    U, P = np.array([0, 0, 0, 1, 2, 2, 2.]), np.array([1, 3, -2, 5.])
    out = np.zeros(U.size + 8)
    with pytest.raises(ValueError, match="^'Ubar' and 'Q' must not share memory$"):
        ck.splkref(U, P, 2, np.array([0.5]), out[:U.size + 1], out[U.size:U.size + 6])
    assert not out.any()  # refused before anything was written
    ck.splkref(U, P, 2, np.array([0.5]), out[:U.size + 1], out[U.size + 1:U.size + 6])  # side by side
