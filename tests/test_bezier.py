"""Bezier curves: point and array evaluation, the Bezier matrix."""

import ctypes
from math import comb

import numpy as np
import pytest

import videvo.curvekit as ck
from test_curvekit_module import View, entry, view

INFO = "the algorithm failed with 'info' value: "


def bernstein_reference(P, u):
    n = len(P) - 1
    return sum(comb(n, k) * u**k * (1 - u) ** (n - k) * P[k] for k in range(n + 1))


@pytest.mark.parametrize("point, array", [(ck.bezpev, ck.bezcev), (ck.bezpev2, ck.bezcev2)])
def test_evaluation_at_points_and_in_place_on_arrays(point, array):
    rng = np.random.default_rng(1)
    for degree in (0, 1, 5, 80):  # 80: work arrays beyond the stack
        P = rng.normal(size=degree + 1)
        u = np.r_[0.0, rng.uniform(0, 1, 8), 1.0]
        values = [point(x, P) for x in u]
        np.testing.assert_allclose(values, [bernstein_reference(P, x) for x in u], atol=1e-13)
        assert values[0] == P[0] and values[-1] == P[-1]
        C = u.copy()
        assert array(C, P) is None
        np.testing.assert_array_equal(C, values)
    assert point(0.3, np.array([1, 2, 4.0])) == pytest.approx(1.69, abs=1e-15)


@pytest.mark.parametrize("point, array", [(ck.bezpev, ck.bezcev), (ck.bezpev2, ck.bezcev2)])
def test_parameters_outside_the_unit_interval_are_refused(point, array):
    P = np.array([1.0, 2.0, 3.0])
    for u in (1 + 1e-15, -1e-300, float("nan")):
        with pytest.raises(ValueError) as err:
            point(u, P)
        assert str(err.value) == INFO + "-3"
    C = np.array([0.0, 0.5, 1.5, 0.25])
    with pytest.raises(ValueError, match=INFO + "-3"):
        array(C, P)
    np.testing.assert_array_equal(C, [0.0, 0.5, 1.5, 0.25])  # checked before writing
    for call, code in [(lambda: point(0.5, np.empty(0)), -2), (lambda: array(np.array([0.5]), np.empty(0)), -2),
                       (lambda: array(np.empty(0), P), -4)]:
        with pytest.raises(ValueError, match=INFO + str(code)):
            call()


def test_bezier_matrix():
    M = np.zeros(9)
    ck.getbezmat(2, M)
    np.testing.assert_array_equal(M, [1, 0, 0, -2, 2, 0, 1, -2, 1])
    M = np.full(16, 7.0)
    ck.getbezmat(3, M)
    assert np.all(M.reshape(4, 4)[np.triu_indices(4, 1)] == 7.0)  # upper triangle not written
    with pytest.raises(ValueError):
        ck.getbezmat(3, np.zeros(15))
    # It maps Bezier control points to power-basis coefficients.
    P = np.random.default_rng(3).normal(size=10)
    M = np.zeros(100)
    ck.getbezmat(9, M)
    a = M.reshape(10, 10) @ P
    assert np.polyval(a[::-1], 0.7) == pytest.approx(ck.bezpev(0.7, P), abs=1e-12)
    # Entries far beyond 32-bit binomials are exact.
    M = np.zeros(41**2)
    ck.getbezmat(40, M)
    for r, c in [(20, 10), (33, 17), (40, 21)]:
        assert M[r * 41 + c] == float(comb(40, r) * comb(r, c) * (-1) ** (r - c))
    # Near the largest binomials a double holds, the steps never overflow.
    M = np.zeros(1030**2)
    ck.getbezmat(1029, M)
    assert M[480 * 1030] == pytest.approx(float(comb(1029, 480)), rel=1e-13)


def test_machine_level_entries():
    element = entry("getbmtxelement", ctypes.c_double, ctypes.c_int, ctypes.c_int, ctypes.c_int)
    assert (element(3, 2, 1), element(2, 0, 0), element(3, 1, 2)) == (-6.0, 1.0, 0.0)
    # C(60, 30) is not a double: two roundings at most.
    assert element(60, 30, 15) == pytest.approx(-comb(60, 30) * comb(30, 15), rel=3e-16)
    bezcev = entry("bezcev", ctypes.c_int, View, View)
    with pytest.raises(ValueError, match=INFO + "-3"):
        bezcev(view(np.array([0.5, 3.0])), view(np.array([1.0, 2.0])))
