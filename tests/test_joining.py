"""Whole curves: the knot union, exact sums, joining and splitting
(knotuniondim, splcsum, splcjoin, splcsli)."""

import numpy as np
import pytest
from scipy.interpolate import BSpline

from videvo import curvekit as ck
from spline_cases import clamped, random_spline, scale
from splines import run_child, tol

a = lambda *v: np.array(v, float)  # noqa: E731


def summed(U1, P1, U2, P2, p):
    mk, nk = ck.knotuniondim(U1, U2, p)
    UK, PK = np.full(mk + 1, np.nan), np.full(nk + 1, np.nan)
    ck.splcsum(U1, P1, U2, P2, p, mk, UK, nk, PK)
    return UK, PK


def split(U, P, p, u):
    UK, PK = np.full(len(U) + p + 1, np.nan), np.full(len(P) + p + 1, np.nan)
    nl, nr = ck.splcsli(U, P, p, u, UK, PK)
    return (UK[:nl + p + 2], PK[:nl + 1]), (UK[nl + 1:nl + nr + p + 3], PK[nl + 1:nl + nr + 2])


def test_worked_examples():
    assert ck.knotuniondim(a(0, 0, 0, 1, 2, 2, 2), a(0, 0, 0, 0.5, 1, 2, 2, 2), 2) == (7, 4)
    U = a(0, 0, 0, 1, 1, 2, 3, 3, 3)
    assert ck.knotuniondim(U, U, 2) == (len(U) - 1, len(U) - 4)
    UK, PK = summed(a(0, 0, 1, 1), a(0, 1), a(0, 0, 0.5, 1, 1), a(1, 1, 1), 1)
    assert UK.tolist() == [0, 0, 0.5, 1, 1] and PK.tolist() == [1, 1.5, 2]
    UK, PK = np.empty(6), np.empty(4)
    ck.splcjoin(a(0, 0, 1, 1), a(0, 1), a(0, 0, 2, 2), a(1, 3), 1, UK, PK)
    assert UK.tolist() == [0, 0, 1, 1, 3, 3] and PK.tolist() == [0, 1, 1, 3]
    UK, PK = np.empty(9), np.empty(6)
    assert ck.splcsli(a(0, 0, 0, 1, 1, 1), a(0, 0, 1), 2, 0.5, UK, PK) == (2, 2)
    assert UK.tolist() == [0, 0, 0, 0.5, 0.5, 0.5, 1, 1, 1] and PK.tolist() == [0, 0, 0.25, 0.25, 0.5, 1]


def test_union_takes_the_larger_multiplicity_of_each_value():
    U1, U2 = clamped(3, [0.5, 0.5, 1, 2, 2, 2]), clamped(3, [0.5, 1, 1, 1.5, 2])
    UK, _ = summed(U1, np.zeros(len(U1) - 4), U2, np.zeros(len(U2) - 4), 3)
    assert UK.tolist() == clamped(3, [0.5, 0.5, 1, 1, 1.5, 2, 2, 2]).tolist()


@pytest.mark.parametrize("p", [0, 1, 2, 3, 5])
def test_sum_equals_the_sum_of_the_curves(p):
    rng = np.random.default_rng(p)
    for _ in range(20):
        (U1, P1), (U2, P2) = random_spline(rng, p), random_spline(rng, p)
        UK, PK = summed(U1, P1, U2, P2, p)
        assert np.all(np.diff(UK) >= 0) and set(UK) == set(U1) | set(U2)
        x = rng.uniform(0, 3, 50)
        expected = BSpline(U1, P1, p)(x) + BSpline(U2, P2, p)(x)
        assert np.allclose(BSpline(UK, PK, p)(x), expected, rtol=0, atol=1e-12 * (scale(P1) + scale(P2)))


def test_sum_on_the_same_knots_adds_the_control_points():
    rng = np.random.default_rng(7)
    U, P1 = random_spline(rng, 3, n_values=5)
    P2 = rng.normal(size=P1.size)
    UK, PK = summed(U, P1, U.copy(), P2, 3)
    assert np.array_equal(UK, U) and np.array_equal(PK, P1 + P2)


@pytest.mark.parametrize("gap", [1e-3, -1e-3, 0.3, -0.9])
def test_sum_of_curves_with_knots_within_the_tolerance_of_each_other(gap):
    # Each curve is refined with the other's nearly equal knot on its own
    # side, so the knots stay in order and the sum stays exact.
    U1, U2 = clamped(2, [0.5, 1.5]), clamped(2, [0.5 + gap * tol(0.5, 0.5), 1.5])
    P1, P2 = a(1, -2, 3, 0.5, 4), a(2, 1, -1, 3, 0)
    UK, PK = summed(U1, P1, U2, P2, 2)
    assert np.all(np.diff(UK) >= 0) and set(UK) == set(U1) | set(U2)
    x = np.linspace(0, 3, 301)
    expected = BSpline(U1, P1, 2)(x) + BSpline(U2, P2, 2)(x)
    assert np.allclose(BSpline(UK, PK, 2)(x), expected, rtol=0, atol=1e-14 * 8)


@pytest.mark.parametrize("p", [0, 1, 2, 3, 4])
def test_split_pieces_follow_the_curve_and_join_back(p):
    rng = np.random.default_rng(10 + p)
    for _ in range(10):
        U, P = random_spline(rng, p)
        # a fresh value, and an interior knot when there is one
        for u in [rng.uniform(0.05, 2.95)] + list(np.unique(U[p + 1:-p - 1])[:1]):
            (Ul, Pl), (Ur, Pr) = split(U, P, p, u)
            curve = BSpline(U, P, p)
            left, right = np.linspace(0, u, 30), np.linspace(u, 3, 30)
            assert np.allclose(BSpline(Ul, Pl, p)(left), curve(left), rtol=0, atol=1e-12 * scale(P))
            assert np.allclose(BSpline(Ur, Pr, p)(right), curve(right), rtol=0, atol=1e-12 * scale(P))
            UK, PK = np.empty(len(Ul) + len(Pr)), np.empty(len(Pl) + len(Pr))
            ck.splcjoin(Ul, Pl, Ur, Pr, p, UK, PK)
            x = np.linspace(0, 3, 61)
            assert np.allclose(BSpline(UK, PK, p)(x), curve(x), rtol=0, atol=1e-12 * scale(P))


def test_split_at_a_full_knot_only_copies():
    U, P = clamped(2, [1, 1, 1, 2]), np.arange(7.0)
    UK, PK = np.full(len(U), np.nan), np.full(len(P), np.nan)
    assert ck.splcsli(U, P, 2, 1.0, UK, PK) == (2, 3)
    assert np.array_equal(UK, U) and np.array_equal(PK, P)


def test_split_close_to_a_knot_splits_at_the_knot():
    U, P = clamped(2, [1.0, 2.0]), np.arange(5.0)
    (Ul, _), (Ur, _) = split(U, P, 2, 1.0 + 0.3 * tol(1, 1))
    assert Ul[-3:].tolist() == [1, 1, 1] and Ur[:3].tolist() == [1, 1, 1]


Q_U, Q_P = a(0, 0, 0, 1, 2, 2, 2), a(0, 1, 3, 5)


def E(size):
    """An output array, filled with a marker value."""
    return np.full(size, 7.0)


BAD = [
    # (function, arguments, exception, message)
    ("union: p < 0", ck.knotuniondim, (Q_U, Q_U, -1), ValueError, "'p' must be at least 0, not -1"),
    ("union: empty", ck.knotuniondim, (E(0), Q_U, 2), ValueError, "'U1' must not be empty"),
    ("union: extremes", ck.knotuniondim, (a(0, 0, 1, 1), a(0, 0, 2, 2), 1), AssertionError,
     "same extremes of the knot vector is required"),
    ("union: too few knots", ck.knotuniondim, (a(0, 0, 2), Q_U, 2), ValueError,
     "'U1' must have at least 2p + 2 = 6 knots, not 3"),
    ("union: not clamped", ck.knotuniondim, (a(0, 0.5, 0, 1, 2, 2, 2), Q_U, 2), ValueError,
     "'U1' must be clamped: its first p + 1 and its last p + 1 knots equal"),
    ("union: interior at the end", ck.knotuniondim, (a(0, 0, 0, 0.5, 1, 1, 1), a(0, 0, 0, 1, 1, 1, 1), 2),
     ValueError, "'U2' must have non-decreasing interior knots strictly inside its end knots"),
    ("union: decreasing", ck.knotuniondim, (a(0, 0, 0, 1.5, 0.5, 2, 2, 2), Q_U, 2), ValueError,
     "'U1' must have non-decreasing interior knots strictly inside its end knots"),
    ("union: NaN", ck.knotuniondim, (Q_U, a(0, 0, 0, np.nan, 2, 2, 2), 2), ValueError,
     "'U2' must have non-decreasing interior knots strictly inside its end knots"),
    ("sum: sizes", ck.splcsum, (Q_U, Q_P[:3], Q_U, Q_P, 2, 6, E(7), 3, E(4)), ValueError,
     "'U1' must have len(P) + p + 1 = 6 entries, not 7"),
    ("sum: mk", ck.splcsum, (Q_U, Q_P, Q_U, Q_P, 2, 7, E(8), 4, E(5)), ValueError,
     "'mk' must be 6, the last index of the union of the knot vectors, not 7"),
    ("sum: nk", ck.splcsum, (Q_U, Q_P, Q_U, Q_P, 2, 6, E(7), 4, E(5)), ValueError, "'nk' must be 3, mk - p - 1, not 4"),
    ("sum: UK", ck.splcsum, (Q_U, Q_P, Q_U, Q_P, 2, 6, E(6), 3, E(4)), ValueError, "'UK' must have 7 entries, not 6"),
    ("sum: PK", ck.splcsum, (Q_U, Q_P, Q_U, Q_P, 2, 6, E(7), 3, E(5)), ValueError, "'PK' must have 4 entries, not 5"),
    ("join: sizes", ck.splcjoin, (Q_U, Q_P, Q_U, Q_P, 2, E(11), E(7)), AssertionError, ""),
    ("join: empty", ck.splcjoin, (Q_U, E(0), Q_U, Q_P, 2, E(11), E(8)), ValueError, "'Pl' must not be empty"),
    ("split: at the start", ck.splcsli, (Q_U, Q_P, 2, 0.0, E(10), E(7)), AssertionError, ""),
    ("split: close to the end", ck.splcsli, (Q_U, Q_P, 2, 2 - 1e-12, E(10), E(7)), AssertionError, ""),
    ("split: NaN", ck.splcsli, (Q_U, Q_P, 2, np.nan, E(10), E(7)), AssertionError, ""),
    ("split: too many copies", ck.splcsli, (a(0, 0, 1, 1, 1, 2, 2), Q_P[:4], 1, 1.0, E(9), E(6)),
     AssertionError, ""),
    ("split: UK short", ck.splcsli, (Q_U, Q_P, 2, 0.5, E(9), E(7)), ValueError,
     "'UK' must have at least 10 entries, not 9"),
    ("split: p > n", ck.splcsli, (a(0, 0, 0, 1, 1, 1), a(0, 1), 3, 0.5, E(10), E(6)), ValueError,
     "the algorithm failed with 'info' value: -1"),
]


@pytest.mark.parametrize("fn, args, error, message", [case[1:] for case in BAD], ids=[case[0] for case in BAD])
def test_bad_arguments_are_refused_before_anything_is_written(fn, args, error, message):
    outputs = [x for x in args if isinstance(x, np.ndarray) and x.size and np.all(x == 7.0)]
    with pytest.raises(error) as info:
        fn(*args)
    assert str(info.value) == message
    assert all(np.all(x == 7.0) for x in outputs)


CHECKS_IN_CHILD = r"""
import numpy as np
from videvo import curvekit as ck
a = lambda *v: np.array(v, float)
cases = [
    (ck.knotuniondim, (a(0, 0, 1, 1), a(0, 0, 2, 2), 1), "same extremes of the knot vector is required"),
    (ck.splcsum, (a(0, 0, 1, 1), a(0, 1), a(0, 0, 2, 2), a(0, 1), 1, 3, np.empty(4), 1, np.empty(2)),
     "same extremes of the knot vector is required"),
    (ck.splcjoin, (a(0, 0, 1, 1), a(0, 1), a(0, 0, 1, 1), a(0, 1), 1, np.empty(5), np.empty(5)), ""),
    (ck.splcsli, (a(0, 0, 1, 1), a(0, 1), 1, 1.0, np.empty(6), np.empty(4)), ""),
    (ck.splcsli, (a(0, 0, 1, 1, 1), a(0, 1), 1, 0.5, np.empty(6), np.empty(4)), ""),
]
for fn, args, message in cases:
    try:
        fn(*args)
    except AssertionError as err:
        assert str(err) == message, (fn.__name__, str(err))
    else:
        raise SystemExit(f"{fn.__name__}: no AssertionError")
# A union whose second vector has an interior knot at its end: refused, never
# merged past the arrays.
U1, U2 = a(0, 0, 0, 0.5, 1, 1, 1), a(0, 0, 0, 1, 1, 1, 1)
for call in (lambda: ck.knotuniondim(U1, U2, 2),
             lambda: ck.splcsum(U1, a(0, 1, 2, 3), U2, a(0, 1, 2, 3), 2, 6, np.empty(7), 3, np.empty(4))):
    try:
        call()
    except ValueError:
        pass
    else:
        raise SystemExit("bad union accepted")
print("checked with assertions", "on" if __debug__ else "off")
"""


@pytest.mark.parametrize("mode", [[], ["-O"]])
def test_checks_hold_in_every_interpreter_mode(mode):
    result = run_child(CHECKS_IN_CHILD, *mode)
    assert result.returncode == 0, result.stderr
    assert result.stdout.splitlines()[-1] == "checked with assertions " + ("off" if mode else "on")
