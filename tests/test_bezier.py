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


@pytest.mark.parametrize("point", [ck.bezpev, ck.bezpev2])
def test_point_evaluation_agrees_with_the_bernstein_sum(point):
    rng = np.random.default_rng(1)
    for degree in (0, 1, 2, 5, 12, 80):
        P = rng.normal(size=degree + 1)
        for u in (0.0, 0.25, 0.5, 0.9, 1.0, *rng.uniform(0, 1, 5)):
            assert point(u, P) == pytest.approx(bernstein_reference(P, u), abs=1e-14)
        assert point(0.0, P) == P[0] and point(1.0, P) == P[-1]
    assert point(0.3, np.array([1, 2, 4.0])) == pytest.approx(1.69, abs=1e-15)


@pytest.mark.parametrize("point", [ck.bezpev, ck.bezpev2])
def test_point_evaluation_refuses_parameters_outside_the_unit_interval(point):
    P = np.array([1.0, 2.0])
    for u, code in [(1 + 1e-15, -3), (-1e-300, -3), (float("nan"), -3)]:
        with pytest.raises(ValueError) as err:
            point(u, P)
        assert str(err.value) == INFO + str(code)
    with pytest.raises(ValueError, match=INFO + "-2"):
        point(0.5, np.empty(0))


@pytest.mark.parametrize("array, point", [(ck.bezcev, ck.bezpev), (ck.bezcev2, ck.bezpev2)])
def test_array_evaluation_replaces_every_parameter_by_the_curve_value(array, point):
    rng = np.random.default_rng(2)
    P = rng.normal(size=7)
    u = np.r_[0.0, rng.uniform(0, 1, 30), 1.0]
    C = u.copy()
    assert array(C, P) is None
    np.testing.assert_array_equal(C, [point(x, P) for x in u])
    # Evaluating twice evaluates at the values of the first call.
    C = np.array([0.5])
    array(C, np.array([0.2, 0.6]))
    array(C, np.array([0.0, 1.0]))
    assert C[0] == pytest.approx(0.4, abs=1e-15)


@pytest.mark.parametrize("array", [ck.bezcev, ck.bezcev2])
def test_array_evaluation_checks_every_parameter_before_writing(array):
    P = np.array([1.0, 2.0, 3.0])
    C = np.array([0.0, 0.5, 1.5, 0.25])
    with pytest.raises(ValueError, match=INFO + "-3"):
        array(C, P)
    np.testing.assert_array_equal(C, [0.0, 0.5, 1.5, 0.25])
    with pytest.raises(ValueError, match=INFO + "-4"):
        array(np.empty(0), P)
    with pytest.raises(ValueError, match=INFO + "-2"):
        array(np.array([0.5]), np.empty(0))


def test_bezier_matrix_lower_triangle():
    M = np.zeros(9)
    ck.getbezmat(2, M)
    np.testing.assert_array_equal(M, [1, 0, 0, -2, 2, 0, 1, -2, 1])
    M = np.full(16, 7.0)
    ck.getbezmat(3, M)
    assert np.all(np.triu(M.reshape(4, 4), 1)[np.triu_indices(4, 1)] == 7.0)
    with pytest.raises(ValueError):
        ck.getbezmat(3, np.zeros(15))
    ck.getbezmat(-1, np.empty(0))  # nothing to do


def test_bezier_matrix_maps_control_points_to_power_coefficients():
    rng = np.random.default_rng(3)
    for p in (1, 4, 9):
        P = rng.normal(size=p + 1)
        M = np.zeros((p + 1) ** 2)
        ck.getbezmat(p, M)
        a = M.reshape(p + 1, p + 1) @ P
        for u in rng.uniform(0, 1, 5):
            assert np.polyval(a[::-1], u) == pytest.approx(ck.bezpev(u, P), abs=1e-12)


def test_bezier_matrix_entries_beyond_32_bit_binomials_are_exact():
    # C(40, 20) C(20, 10) exceeds 2**31 many times over.
    p = 40
    M = np.zeros((p + 1) ** 2)
    ck.getbezmat(p, M)
    for r, c in [(20, 10), (33, 17), (40, 21), (40, 40)]:
        assert M[r * (p + 1) + c] == float(comb(p, r) * comb(r, c) * (-1) ** (r - c))


def test_matrix_element_through_the_export_table():
    element = entry("getbmtxelement", ctypes.c_double, ctypes.c_int, ctypes.c_int, ctypes.c_int)
    assert element(3, 2, 1) == -6.0
    assert element(2, 0, 0) == 1.0
    assert element(3, 1, 2) == 0.0
    # C(60, 30) is not a double: two roundings at most.
    assert element(60, 30, 15) == pytest.approx(-comb(60, 30) * comb(30, 15), rel=3e-16)
    bezcev = entry("bezcev", ctypes.c_int, View, View)
    C = np.array([0.5, 3.0])
    with pytest.raises(ValueError, match=INFO + "-3"):
        bezcev(view(C), view(np.array([1.0, 2.0])))
