"""Analytic factories: constants, lines, polynomials, sines and cosines,
against their closed forms."""

import ctypes
from fractions import Fraction
from math import comb

import numpy as np
import pytest

from videvo import trajmake as tm
from splines import run_child


def knots(t):
    return t.get_knotvector_asarray().tolist()


def cpts(t):
    return t.get_cpts_asarray().tolist()


def arr(*values):
    return np.array(values, dtype=float)


def test_worked_examples():
    z = tm.zeros(0.0, 2.0, 3, 1)
    assert (z.p, z.n, z.order) == (3, 3, 1)
    assert knots(z) == [0, 0, 0, 0, 2, 2, 2, 2] and cpts(z) == [0.0] * 4
    assert cpts(tm.ones(0.0, 2.0, 3, 1)) == [1.0] * 4
    assert cpts(tm.lin1p(0.0, 2.0, 2, 0, (1.0, 1.0), 2.0)) == [-1, 1, 3]
    assert cpts(tm.lin1p(1e9, 1e9 + 1, 3, 0, (1e9, 0.0), 3.0)) == [0, 1, 2, 3]  # (far from 0, not from the intercept)
    assert cpts(tm.lin2p(0.0, 1.0, 1, 0, (0.0, 0.0), (1.0, 2.0))) == cpts(tm.lin1p(0.0, 1.0, 1, 0, (0.0, 0.0), 2.0))
    square = tm.polytraj(0.0, 1.0, 2, 0, arr(1, 0, 0))
    assert knots(square) == [0, 0, 0, 1, 1, 1] and cpts(square) == [0, 0, 1]
    raised = tm.polytraj(0.0, 1.0, 4, 0, arr(1, 0, 0))
    x = np.linspace(0, 1, 9)
    assert raised.p == 4 and np.allclose(raised(x), x**2, atol=1e-15)
    shifted = tm.polytraj(1.0, 2.0, 2, 0, arr(1, 0, 0))
    assert shifted(1.0) == 0.0 and shifted(2.0) == 1.0
    assert tm.polytraj(1.0, 2.0, 1, 0, arr(1, 0))(1.0) == 1.0  # two coefficients: x itself
    xp = arr(0, 90, 180, 270, 360)
    s = tm.sintraj(xp, 3, 0)
    assert np.allclose(s(xp), [0, 1, 0, -1, 0], atol=1e-15) and s.n == len(xp) + 2 * 2 - 1
    assert cpts(tm.costraj(xp, 3, 0)) == cpts(tm.sintraj(xp, 3, 0, ph=90.0))
    one_point = tm.constant(1.0, 1.0, 2, 0, 5.0)
    assert one_point(1.0) == 5.0 and one_point(arr(1.0)).tolist() == [5.0]


@pytest.mark.parametrize("call, error, message", [
    (lambda: tm.constant(2.0, 1.0, -1, -1, 5.0), ValueError, "'stop' must be greater than 'start'"),
    (lambda: tm.constant(0.0, 1.0, -1, 0, 5.0), ValueError, "'p' must be greater than or equal to zero: -1"),
    (lambda: tm.zeros(0.0, 1.0, 2, -3), ValueError, "'order' value must be greater than or equal to zero: -3"),
    (lambda: tm.ones(np.nan, 1.0, 2, 0), ValueError, "'start' and 'stop' must be finite"),
    (lambda: tm.lin1p(0.0, 1.0, 0, 0, (0, 0), 1.0), ValueError, "'p' must be at least 1: 0"),
    (lambda: tm.lin2p(2.0, 1.0, 0, 0, (0.0, 0.0), (0.0, 1.0)), ZeroDivisionError, "infinite slope is not allowed"),
    (lambda: tm.polytraj(0.0, 1.0, 1, 0, arr(1, 0, 0)), ValueError,
     "'p' must be greater than or equal to the degree of the polynomial: 1"),
    (lambda: tm.polytraj(0.0, 1.0, 1, 0, arr()), ValueError, "'c' must not be empty"),
    (lambda: tm.sintraj(arr(0, 90, 180, 270, 360), 3, 0, nu=3), ValueError,
     "the maximum constrained derivative must be less than 'p'"),
    (lambda: tm.sintraj(arr(0, 90, 90, 270), 3, -1, nu=-2), ValueError, "'nu' must be greater than zero"),
    (lambda: tm.sintraj(arr(0, 90, 90, 270), 0, -1), ValueError, "'xp' must be increasing"),
    (lambda: tm.costraj(arr(0, 90, 180), 0, -1), ValueError, "'p' must be greater than or equal to zero"),
    (lambda: tm.sintraj(arr(), 2, 0), ValueError, "degree inconsistent with the number of data points"),
    (lambda: tm.sintraj(arr(0, 1, 2), 2, -1, nu=5), ValueError,
     "'order' value must be greater than or equal to zero: -1"),
    (lambda: tm.sintraj(arr(0, 1, np.inf), 2, 0, nu=5), ValueError, "'xp' must be finite"),
    (lambda: tm.costraj(arr(0, 1, 2), 1, 0), ValueError, "inconsistent 'p' value"),
])
def test_argument_errors_in_order(call, error, message):
    with pytest.raises(error) as err:
        call()
    assert str(err.value) == message


def smooth_step(x):
    return 10 * x**3 - 15 * x**4 + 6 * x**5, 30 * x**2 * (1 - x) ** 2, 60 * x - 180 * x**2 + 120 * x**3


@pytest.mark.parametrize("p", [5, 7, 12])
def test_smooth_step_rests_at_both_ends(p):
    t = tm.polytraj(0.0, 1.0, p, 0, arr(6, -15, 10, 0, 0, 0), True)
    x = np.r_[0.0, np.random.default_rng(p).uniform(0, 1, 50), 1.0]
    for nu, expected in enumerate(smooth_step(x)):
        np.testing.assert_allclose(t(x, nu), expected, rtol=0, atol=1e-11)
    assert abs(t(0.0, 1)) < 1e-12 and abs(t(1.0, 1)) < 1e-12 and abs(t(0.0, 2)) < 1e-11 and abs(t(1.0, 2)) < 1e-11


@pytest.mark.parametrize("start, stop, p, dimless", [(0.0, 1.0, 3, False), (-2.0, 3.0, 4, False),
                                                     (1.0, 1.5, 6, False), (-2.0, 3.0, 4, True)])
def test_polynomials_and_lines_equal_their_closed_forms(start, stop, p, dimless):
    rng = np.random.default_rng(p)
    c = rng.normal(size=4)
    x = rng.uniform(start, stop, 30)
    local = (x - start) / (stop - start) if dimless else x - start
    scale = 1 / (stop - start) if dimless else 1.0
    t = tm.polytraj(start, stop, p, 2, c, dimless)
    assert (t.p, t.order, t.start, t.stop) == (p, 2, start, stop)
    for nu in range(5):
        poly = np.polyder(c, nu) if nu else c
        # each derivative scales the rounding of the control points by about p / length
        atol = 1e-13 * (p / (stop - start)) ** nu
        np.testing.assert_allclose(t(x, nu), np.polyval(poly, local) * scale**nu, rtol=1e-12, atol=atol)
    line = tm.lin2p(start, stop, p, 0, (0.5, c[0]), (2.0, c[1]))
    slope = (c[1] - c[0]) / 1.5
    np.testing.assert_allclose(line(x), c[0] + slope * (x - 0.5), rtol=1e-13, atol=1e-13)
    np.testing.assert_allclose(line(x, 1), slope, rtol=1e-12)
    np.testing.assert_allclose(tm.constant(start, stop, p, 0, c[2])(x), c[2], rtol=1e-15)


def exact_bezier(a):
    d = len(a) - 1
    return [sum(Fraction(comb(i, r), comb(d, r)) * a[r] for r in range(i + 1)) for i in range(d + 1)]


@pytest.mark.parametrize("d", [17, 60])
@pytest.mark.parametrize("signs", ["positive", "mixed"])
def test_power_to_bezier_conversion_matches_exact_rationals(d, signs):
    rng = np.random.default_rng(d)
    c = rng.uniform(0.1, 1, d + 1) if signs == "positive" else rng.normal(size=d + 1)
    # on [1, 3] the powers of the length 2 are exact, so the rational
    # reference sees the same power coefficients
    for start, stop, dimless, b in [(0.0, 1.0, True, 1), (1.0, 3.0, False, 2)]:
        P = np.array(cpts(tm.polytraj(start, stop, d, 0, c, dimless)))
        a = [Fraction(float(v)) * b**r for r, v in enumerate(c[::-1])]
        exact = exact_bezier(a)
        # relative to the size of the terms summed (there is nothing to lose in
        # a sum of positive terms, where that is the value itself)
        scale = exact_bezier([abs(v) for v in a])
        errors = [abs(Fraction(float(got)) - e) / s for got, e, s in zip(P, exact, scale)]
        assert max(errors) < 1e-14


@pytest.mark.parametrize("p, nu, amp, ph, k", [(3, -1, 1.0, 0.0, 1.0), (5, 4, 2.5, 30.0, 0.5),
                                               (4, 0, 1.0, -45.0, 3.0), (6, 2, 0.5, 10.0, 2.0)])
def test_sines_meet_samples_and_end_derivatives(p, nu, amp, ph, k):
    xp = np.linspace(-30.0, 400.0, 120)
    t = tm.sintraj(xp, p, 1, amp, ph, k, nu)
    kr = k * np.pi / 180

    def derivative(x, i):
        return amp * kr**i * np.sin((k * x + ph) * np.pi / 180 + i * np.pi / 2)

    np.testing.assert_allclose(t(xp), derivative(xp, 0), rtol=0, atol=1e-12)
    h = xp[1] - xp[0]
    for i in range(1, (p - 1 if nu == -1 else nu) + 1):
        ends = arr(xp[0], xp[-1])
        # the rounding of the values, amplified by a factor 1 / h per order
        np.testing.assert_allclose(t(ends, i), derivative(ends, i), rtol=1e-9, atol=1e-12 * amp / h**i)
    x = np.random.default_rng(p).uniform(xp[0], xp[-1], 40)
    np.testing.assert_allclose(t(x), derivative(x, 0), rtol=0, atol=1e-3 * amp)
    cosine = tm.costraj(xp, p, 1, amp, ph, k, nu)
    np.testing.assert_allclose(cosine(xp), amp * np.cos((k * xp + ph) * np.pi / 180), rtol=0, atol=1e-12)


class View(ctypes.Structure):
    _fields_ = [("data", ctypes.POINTER(ctypes.c_double)), ("size", ctypes.c_ssize_t)]


class SinOpt(ctypes.Structure):
    _fields_ = [("given", ctypes.c_int), ("amp", ctypes.c_double), ("ph", ctypes.c_double),
                ("k", ctypes.c_double), ("nu", ctypes.c_int)]


@pytest.mark.parametrize("name", ["sintraj", "costraj"])
def test_machine_entries_take_the_values_not_given_as_defaults(name):
    from splines import capsule_address
    entry = ctypes.PYFUNCTYPE(ctypes.py_object, View, ctypes.c_int, ctypes.c_int, SinOpt)(
        capsule_address(tm.__capi__[name]))
    xp = np.linspace(0.0, 300.0, 12)
    view = View(xp.ctypes.data_as(ctypes.POINTER(ctypes.c_double)), xp.size)
    t = entry(view, 3, 0, SinOpt(1, 2.0, 99.0, 99.0, 99))
    assert cpts(t) == cpts(getattr(tm, name)(xp, 3, 0, 2.0))


HUGE = """
import numpy as np
from videvo import trajmake as tm
xp = np.linspace(0.0, 1.0, 8)
for call in (lambda: tm.constant(0.0, 1.0, 2**31 - 1, 0, 1.0), lambda: tm.lin1p(0.0, 1.0, 2**31 - 1, 0, (0, 0), 1.0),
             lambda: tm.sintraj(xp, 3, 0, nu=2**31 - 1), lambda: tm.costraj(xp, 2**31 - 1, 0)):
    try:
        call()
    except (MemoryError, ValueError) as err:
        print(type(err).__name__, err)
"""


def test_huge_degrees_and_derivative_counts_are_refused_before_allocating():
    result = run_child(HUGE)
    assert result.returncode == 0, result.stderr
    assert result.stdout.splitlines()[-4:] == [
        "MemoryError memory allocation failed", "MemoryError memory allocation failed",
        "ValueError the maximum constrained derivative must be less than 'p'",
        "ValueError degree inconsistent with the number of data points"]
