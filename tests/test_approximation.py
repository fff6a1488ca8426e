"""Least-squares approximation with fixed ends: gcsplapp, gdsplapp (and the
knots of kevalappr), against a dense least-squares solve of the same
constrained problem."""

import numpy as np
import pytest
from scipy.interpolate import BSpline
from scipy.linalg import lapack

import videvo.curvekit as ck
from splines import random_spline, run_child


def data(rng, count, lo=0.0, hi=5.0, shuffle=False):
    x = np.r_[lo, np.sort(rng.uniform(lo, hi, count - 2)), hi]
    if shuffle:
        rng.shuffle(x[1:-1])
    return x, np.cos(3 * x) + 0.1 * rng.normal(size=count)


def knots(x, p, n_cpts):
    U = np.empty(n_cpts + p + 1)
    ck.kevalappr(x, p, U)
    return U


def dense_fit(x, y, p, U, fixed):
    """The same fit by numpy's dense least squares: the basis matrix of the
    interior points, the fixed control points (index -> value) moved to the
    right-hand side."""
    N = BSpline.design_matrix(x, U, p).toarray()[1:-1]
    r = y[1:-1] - sum(N[:, i] * v for i, v in fixed.items())
    free = [i for i in range(N.shape[1]) if i not in fixed]
    P = np.empty(N.shape[1])
    P[free] = np.linalg.lstsq(N[:, free], r, rcond=None)[0]
    for i, v in fixed.items():
        P[i] = v
    return P


def slope_ends(x, y, p, U, dy):
    n = len(U) - p - 2
    return {0: y[0], 1: y[0] + (U[p + 1] - x[0]) * dy[0] / p,
            n - 1: y[-1] - (x[-1] - U[n]) * dy[1] / p, n: y[-1]}


@pytest.mark.parametrize("p, n_cpts, shuffle", [(1, 9, False), (2, 14, True), (3, 30, False), (3, 12, True),
                                                (5, 20, False), (7, 25, True)])
def test_fits_equal_dense_least_squares(p, n_cpts, shuffle):
    rng = np.random.default_rng(10 * p + n_cpts)
    x, y = data(rng, 300, shuffle=shuffle)
    U = knots(x[np.argsort(x)], p, n_cpts)
    P = np.empty(n_cpts)
    ck.gcsplapp(x, y, p, U, P)
    expected = dense_fit(x, y, p, U, {0: y[0], n_cpts - 1: y[-1]})
    np.testing.assert_allclose(P, expected, rtol=0, atol=1e-12 * np.abs(expected).max())
    assert P[0] == y[0] and P[-1] == y[-1]
    dy = (rng.normal(), rng.normal())
    ck.gdsplapp(x, y, p, U, P, dy)
    expected = dense_fit(x, y, p, U, slope_ends(x, y, p, U, dy))
    np.testing.assert_allclose(P, expected, rtol=0, atol=1e-12 * np.abs(expected).max())
    # the curve meets the end points and the end slopes
    curve = BSpline(U, P, p)
    np.testing.assert_allclose(curve([x.min(), x.max()]), [y[0], y[-1]], rtol=0, atol=1e-13)
    np.testing.assert_allclose(curve([x.min(), x.max()], 1), dy, rtol=1e-11, atol=1e-11)


@pytest.mark.parametrize("p", [1, 2, 3, 4])
def test_data_on_a_spline_give_back_its_control_points(p):
    rng = np.random.default_rng(p)
    U, P = random_spline(rng, p, n_cpts=p + 9, repeats=False, stop=3.0)
    x = np.r_[0.0, np.sort(rng.uniform(0, 3, 400)), 3.0]
    curve = BSpline(U, P, p)
    Q = np.empty_like(P)
    ck.gcsplapp(x, curve(x), p, U, Q)
    np.testing.assert_allclose(Q, P, rtol=0, atol=1e-10)
    Q[:] = 0.0
    ck.gdsplapp(x, curve(x), p, U, Q, tuple(curve([0.0, 3.0], 1)))
    np.testing.assert_allclose(Q, P, rtol=0, atol=1e-10)


@pytest.mark.parametrize("fn, n_cpts", [(ck.gcsplapp, 2), (ck.gdsplapp, 4)])
def test_fits_without_unknowns_return_the_fixed_points(fn, n_cpts):
    x, y = data(np.random.default_rng(6), 30)
    p = n_cpts - 1
    U, P = knots(x, p, n_cpts), np.full(n_cpts, np.nan)
    fn(x, y, p, U, P)
    expected = dense_fit(x, y, p, U, {0: y[0], n_cpts - 1: y[-1]} if n_cpts == 2 else slope_ends(x, y, p, U, (0, 0)))
    np.testing.assert_array_equal(P, expected)


def test_singular_normal_matrix_reports_the_pivot_of_the_dense_solve():
    # No data point between 1 and 4: the basis functions living there have
    # no data, and their columns of the normal matrix vanish.
    x = np.r_[np.linspace(0, 1, 30), np.linspace(4, 5, 30)]
    y = np.sin(x)
    p = 3
    U = np.r_[[0.0] * 4, np.linspace(0.5, 4.5, 9), [5.0] * 4]
    n = len(U) - p - 2
    N = BSpline.design_matrix(x, U, p).toarray()[1:-1, 1:n]
    info = lapack.dgesv(N.T @ N, N.T @ y[1:-1])[-1]
    assert info > 0
    with pytest.raises(Exception, match=f"^'dgesv' LAPACK function failed with 'info' value: {info}$"):
        ck.gcsplapp(x, y, p, U, np.empty(n + 1))


def bad(x, y, **changes):
    args = dict(xp=x, fp=y, p=3, U=knots(x, 3, 8), P=np.empty(8))
    args.update(changes)
    return args


X = np.linspace(0.0, 4.0, 20)
Y = np.sin(X)
CHECKS = [
    (bad(X, Y[:-1]), AssertionError, "xp and fp must have same dimension"),
    (bad(X, Y, p=0), AssertionError, "p must be greater than or equal to 1"),
    (bad(X, Y, p=9, U=np.empty(18)), AssertionError, "n must be greater than or equal to p"),
    (bad(X, Y, P=np.empty(20), U=np.empty(24)), AssertionError,
     "the number of points to be approximated must be greater than the number of control points"),
    (bad(X, Y, U=np.empty(11)), AssertionError, "U dimension must be: len(P) + p + 1"),
    (bad(X, Y, U=np.r_[0, 0, 0, 0, 3, 2, 4, 4, 4, 4, 4, 4.0]), ValueError,
     "'U' must be a clamped knot vector of degree 3"),
    (bad(X, Y, U=np.r_[[0.0] * 4, 1, 2, 3, 3.5, [5.0] * 4]), ValueError, "'U' must start at xp[0] and end at xp[-1]"),
    (bad(np.zeros(20), Y, U=np.zeros(12)), ValueError, "'U' must span a domain of positive length"),
    (bad(np.r_[X[:5], np.nan, X[6:]], Y), ValueError, "'xp' must be finite and lie inside [U[0], U[-1]]"),
    (bad(np.r_[X[:5], 4.5, X[6:]], Y), ValueError, "'xp' must be finite and lie inside [U[0], U[-1]]"),
]


@pytest.mark.parametrize("fn", [ck.gcsplapp, ck.gdsplapp])
@pytest.mark.parametrize("args, error, message", CHECKS)
def test_checks_raise_before_writing(fn, args, error, message):
    args["P"][:] = 7.0
    with pytest.raises(error) as err:
        fn(**args)
    assert str(err.value) == message
    assert (args["P"] == 7.0).all()


def test_slopes_need_four_control_points_and_knots_two_points():
    with pytest.raises(ValueError, match="^'P' must have at least 4 entries when the end slopes are given, not 3$"):
        ck.gdsplapp(X, Y, 2, knots(X, 2, 3), np.empty(3))
    with pytest.raises(ValueError, match="^'xp' must have at least 2 points$"):
        ck.kevalappr(X[:1], 0, np.empty(2))


CHILD = """
import numpy as np, videvo.curvekit as ck
x = np.linspace(0.0, 4.0, 20)
for fn in (ck.gcsplapp, ck.gdsplapp):
    for args in [(x, x[:-1], 3, np.empty(12), np.empty(8)), (x, x, 3, np.empty(11), np.empty(8)),
                 (x[:0], x[:0], 3, np.empty(12), np.empty(8))]:
        try:
            fn(*args)
        except AssertionError:
            continue
        raise SystemExit("no AssertionError")
print("checked with assertions", "on" if __debug__ else "off")
"""


@pytest.mark.parametrize("mode", [[], ["-O"]])
def test_size_checks_hold_in_every_interpreter_mode(mode):
    result = run_child(CHILD, *mode)
    assert result.returncode == 0, result.stderr
    assert result.stdout.splitlines()[-1] == "checked with assertions " + ("off" if mode else "on")
