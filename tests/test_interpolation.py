"""Global interpolation: banded systems by LAPACK, cubic by the tridiagonal
solver."""

import ctypes
import re
import threading

import numpy as np
import pytest
from scipy.interpolate import BSpline, CubicSpline, make_interp_spline
from scipy.linalg import solve_banded

import videvo.curvekit as ck
from splines import run_child
from test_curvekit_module import View, entry, view

INFO = "the algorithm failed with 'info' value: "
LAPACK = re.escape("'dgesv' LAPACK function failed with 'info' value: ")


def data(rng, count, lo=0.0, hi=10.0):
    x = np.r_[lo, np.sort(rng.uniform(lo, hi, count - 2)), hi]
    return x, np.sin(x) + 0.1 * x**2


def plain(x, y, p):
    U = np.empty(len(x) + p + 1)
    ck.averaging(x, p, U)
    P = np.empty(len(x))
    ck.gcsplint(x, y, p, U, P)
    return U, P


def with_slopes(x, y, p, dy):
    U = np.empty(len(x) + p + 3)
    ck.averaging2(x, p, U)
    P = np.empty(len(x) + 2)
    ck.gdsplint(x, y, p, U, P, dy)
    return U, P


def with_derivatives(x, y, p, Ds, De):
    U = np.empty(len(x) + len(Ds) + len(De) + p + 1)
    ck.averaging3(x, p, len(Ds), len(De), U)
    P = np.empty(len(x) + len(Ds) + len(De))
    ck.gadsplint(x, y, p, Ds, De, U, P)
    return U, P


def assert_interpolates(U, P, p, x, y):
    # A backward-stable solve meets the data to rounding of |A| |P| row by row,
    # which exceeds |y| where the system is ill-conditioned.
    scale = np.maximum(BSpline(U, np.abs(P), p)(x), max(1.0, np.abs(y).max()))
    np.testing.assert_array_less(np.abs(BSpline(U, P, p)(x) - y), 1e-12 * scale)


def test_worked_example_on_a_line_and_a_parabola():
    x = np.array([0, 1, 3, 4.0])
    U, P = plain(x, x.copy(), 2)
    np.testing.assert_array_equal(U, [0, 0, 0, 2, 4, 4, 4])
    np.testing.assert_allclose(P, [0, 1, 3, 4], atol=1e-14)
    fp = np.array([0, 1, 9, 16.0])
    U, P = plain(x, fp, 2)
    assert P[0] == 0 and P[3] == 16
    assert_interpolates(U, P, 2, x, fp)
    P = np.empty(2)  # two points: the identity rows only, whatever the knots
    ck.gcsplint(x[[0, 3]], fp[[0, 3]], 3, np.array([0, 0, 0, 4, 4, 4.0]), P)
    np.testing.assert_array_equal(P, [0, 16])


@pytest.mark.parametrize("p", [2, 3, 4, 5, 7])
def test_plain_interpolation_is_scipys_spline_on_the_same_knots(p):
    rng = np.random.default_rng(p)
    x, y = data(rng, 60)
    U, P = plain(x, y, p)
    assert_interpolates(U, P, p, x, y)
    np.testing.assert_allclose(P, make_interp_spline(x, y, k=p, t=U).c, rtol=1e-10, atol=1e-10)


def test_points_closer_than_the_closeness_tolerance_are_interpolated():
    # Sites a tiny fraction of the knot spacing below a knot: the rows hold the
    # true basis values there, not the neighbouring polynomial piece.  The
    # system is so ill-conditioned that its control points are determined only
    # to about 1e-6 of the data (solvers with and without pivoting differ by
    # that much) and reach 1e5 at p = 3; what counts is that the curve meets the
    # data to rounding of those control points.
    x = np.r_[np.linspace(0.0, 50.0, 40), 50.0 + 1e-11, 50.0 + 3e-11, 50.0 + 4e-10, np.linspace(51.0, 60.0, 9)]
    y = np.cos(x)
    for p in (2, 3, 4):
        U, P = plain(x, y, p)
        assert_interpolates(U, P, p, x, y)
        values = x.copy()
        ck.splcev(values, U, P, p)
        np.testing.assert_allclose(values, y, atol=1e-9)


@pytest.mark.parametrize("p", [2, 3, 5])
def test_near_singular_control_points_are_those_of_a_pivoted_band_solve(p):
    x = np.linspace(0.0, 20.0, 25)
    x = np.sort(np.r_[x, x[12] + 3e-9])
    y = np.sin(x)
    U, P = plain(x, y, p)
    A = BSpline.design_matrix(x, U, p).toarray()
    n = len(x)
    bands = np.zeros((2 * p + 1, n))
    for d in range(-p, p + 1):
        j = np.arange(max(0, d), min(n, n + d))
        bands[p - d, j] = A[j - d, j]
    reference = solve_banded((p, p), bands, y)
    bound = 16 * np.finfo(float).eps * np.linalg.cond(A) * np.abs(reference).max()
    np.testing.assert_allclose(P, reference, rtol=0, atol=bound)


@pytest.mark.parametrize("p", [2, 3, 5])
def test_end_slopes_are_imposed(p):
    rng = np.random.default_rng(10 + p)
    x, y = data(rng, 40)
    dy = (1.5, -2.0)
    U, P = with_slopes(x, y, p, dy)
    spline = BSpline(U, P, p)
    assert_interpolates(U, P, p, x, y)
    assert spline(x[0], 1) == pytest.approx(dy[0], abs=1e-10)
    assert spline(x[-1], 1) == pytest.approx(dy[1], abs=1e-10)
    reference = make_interp_spline(x, y, k=p, t=U, bc_type=([(1, dy[0])], [(1, dy[1])]))
    np.testing.assert_allclose(P, reference.c, rtol=1e-10, atol=1e-10)
    # The default slopes are zero: horizontal end tangents.
    P0 = np.empty(len(x) + 2)
    ck.gdsplint(x, y, p, U, P0)
    assert P0[1] == P0[0] and P0[-2] == P0[-1]


@pytest.mark.parametrize("p, k, l", [(4, 0, 0), (3, 1, 1), (2, 1, 0), (3, 2, 1), (5, 2, 4), (6, 0, 5)])
def test_end_derivatives_are_imposed(p, k, l):
    rng = np.random.default_rng(20 + p)
    x, y = data(rng, 30)
    Ds, De = rng.normal(size=k), rng.normal(size=l)
    U, P = with_derivatives(x, y, p, Ds, De)
    spline = BSpline(U, P, p)
    assert_interpolates(U, P, p, x, y)
    # High derivatives amplify the rounding of the coefficients by 1 / h**order.
    for order in range(1, k + 1):
        assert spline(x[0], order) == pytest.approx(Ds[order - 1], rel=1e-6, abs=1e-6)
    for order in range(1, l + 1):
        assert spline(x[-1], order) == pytest.approx(De[order - 1], rel=1e-6, abs=1e-6)
    bc = ([(i + 1, v) for i, v in enumerate(Ds)] or None, [(i + 1, v) for i, v in enumerate(De)] or None)
    reference = make_interp_spline(x, y, k=p, t=U, bc_type=bc)
    np.testing.assert_allclose(P, reference.c, rtol=1e-8, atol=1e-8)


@pytest.mark.parametrize("p", [2, 3, 4, 5, 6, 8])
def test_systems_of_many_blocks_match_scipy(p):
    # Rows are eliminated a block at a time and basis rows are computed several
    # sites at once: lengths that fill neither evenly, all three row layouts.
    # High degrees on random sites are ill-conditioned: solvers agree to 1e-8.
    rng = np.random.default_rng(40 + p)
    for count in (131, 517):
        x, y = data(rng, count, hi=50.0)
        U, P = plain(x, y, p)
        scale = np.abs(P).max()
        np.testing.assert_allclose(P, make_interp_spline(x, y, k=p, t=U).c, rtol=0, atol=1e-8 * scale)
        dy = (0.5, -1.0)
        U, P = with_slopes(x, y, p, dy)
        reference = make_interp_spline(x, y, k=p, t=U, bc_type=([(1, dy[0])], [(1, dy[1])]))
        np.testing.assert_allclose(P, reference.c, rtol=0, atol=1e-8 * scale)
        k, l = 1, min(p - 1, 3)
        Ds, De = rng.normal(size=k), rng.normal(size=l)
        U, P = with_derivatives(x, y, p, Ds, De)
        bc = ([(i + 1, v) for i, v in enumerate(Ds)] or None, [(i + 1, v) for i, v in enumerate(De)])
        reference = make_interp_spline(x, y, k=p, t=U, bc_type=bc)
        np.testing.assert_allclose(P, reference.c, rtol=0, atol=1e-8 * np.abs(reference.c).max())
        assert_interpolates(U, P, p, x, y)


@pytest.mark.parametrize("count", [62, 63, 64, 65, 126, 127, 128, 129])
@pytest.mark.parametrize("p", [2, 3, 5])
def test_systems_ending_at_a_block_boundary_match_scipy(p, count):
    # Each block of rows is placed while the one before it is eliminated: a
    # last block of one or two rows, or none, must still be placed and solved.
    # The slopes add two rows, so the plain and the clamped systems end apart.
    rng = np.random.default_rng(count + 1000 * p)
    x, y = data(rng, count, hi=30.0)
    U, P = plain(x, y, p)
    np.testing.assert_allclose(P, make_interp_spline(x, y, k=p, t=U).c, rtol=0, atol=1e-9 * np.abs(P).max())
    dy = (0.25, -0.75)
    U, P = with_slopes(x, y, p, dy)
    reference = make_interp_spline(x, y, k=p, t=U, bc_type=([(1, dy[0])], [(1, dy[1])])).c
    np.testing.assert_allclose(P, reference, rtol=0, atol=1e-9 * np.abs(P).max())


def pivots_without_row_exchanges(x, U, p):
    """|pivot| / max |row of the upper factor| of the plain interpolation
    matrix, row by row, by Gaussian elimination without row exchanges."""
    A = BSpline.design_matrix(x, U, p).toarray()
    ratios = np.empty(len(x))
    for j in range(len(x)):
        ratios[j] = abs(A[j, j]) / np.abs(A[j, j:]).max()
        A[j + 1:, j:] -= np.outer(A[j + 1:, j] / A[j, j], A[j, j:])
    return ratios


def test_a_vanishing_pivot_far_down_restarts_with_row_exchanges():
    # Sites a tiny fraction of the knot spacing apart, 160 rows down: without
    # row exchanges a pivot there is not clearly non-zero, so the system is
    # assembled again and solved with them, from the original right-hand side.
    x = np.r_[np.linspace(0.0, 200.0, 160), 200.0 + 1e-11, 200.0 + 3e-11, 200.0 + 4e-10, np.linspace(201.0, 210.0, 9)]
    y = np.cos(x)
    U = np.empty(len(x) + 4)
    ck.averaging(x, 3, U)
    ratios = pivots_without_row_exchanges(x, U, 3)
    assert ratios.min() < 1e-12 and ratios.argmin() > 128
    P = np.empty(len(x))
    ck.gcsplint(x, y, 3, U, P)
    np.testing.assert_allclose(BSpline(U, P, 3)(x), y, rtol=0, atol=1e-10)


def test_the_first_row_that_leaves_the_band_is_named():
    # Knots for equally spaced sites, then the sites from 200 on run ahead of
    # the knots: the first offending row lies several blocks down, after rows
    # that fit.
    p, kl = 3, 2
    x = np.linspace(0.0, 300.0, 301)
    U = np.empty(len(x) + p + 1)
    ck.averaging(x, p, U)
    x[200:-1] = 200.0 + 99.9 * np.sqrt(np.linspace(0.0, 1.0, 100))
    n = len(x) - 1
    spans = np.clip(np.searchsorted(U, x, side="right") - 1, p, n)
    rows = np.arange(len(x))
    outside = (spans - p < rows - kl) | (spans > rows + kl)
    first = int(np.flatnonzero(outside[1:-1])[0]) + 1
    assert np.all(np.diff(x) > 0) and first > 128
    with pytest.raises(ValueError, match=f"row {first} of the interpolation matrix leaves its band"):
        ck.gcsplint(x, np.cos(x), p, U, np.empty(len(x)))


def test_cubic_by_the_tridiagonal_solver():
    rng = np.random.default_rng(40)
    for count in (4, 7, 500):
        x, y = data(rng, count)
        dy = (0.3, -1.2)
        U, P = np.empty(count + 6), np.empty(count + 2)
        assert ck.cdsplint(x, y, U, P, dy) is None
        np.testing.assert_array_equal(U, np.r_[[x[0]] * 3, x, [x[-1]] * 3])
        spline = BSpline(U, P, 3)
        assert_interpolates(U, P, 3, x, y)
        assert spline(x[0], 1) == pytest.approx(dy[0], abs=1e-10)
        assert spline(x[-1], 1) == pytest.approx(dy[1], abs=1e-10)
        t = np.linspace(x[0], x[-1], 301)
        cubic = CubicSpline(x, y, bc_type=((1, dy[0]), (1, dy[1])))
        np.testing.assert_allclose(spline(t), cubic(t), atol=1e-10 * max(1, np.abs(y).max()))
    clamped = make_interp_spline(x, y, k=3, t=U, bc_type=([(1, 0.0)], [(1, 0.0)]))
    ck.cdsplint(x, y, U, P)
    np.testing.assert_allclose(P, clamped.c, rtol=1e-10, atol=1e-10)


def test_cubic_failures_come_from_the_solver_status():
    x = np.array([0.0, 1.0, 2.0])
    with pytest.raises(ValueError) as err:
        ck.cdsplint(x, x, np.empty(9), np.empty(5))
    assert str(err.value) == INFO + "-1"
    x = np.array([0.0, 1.0, 3.0, 2.0, 4.0])
    with pytest.raises(ValueError, match=INFO + "-3"):
        ck.cdsplint(x, x, np.empty(11), np.empty(7))
    x = np.array([0.0, 1.0, 2.0, 2.0, 4.0])
    with pytest.raises(ZeroDivisionError, match="float division by zero"):
        ck.cdsplint(x, x, np.empty(11), np.empty(7))


def test_repeated_abscissae_make_the_system_singular():
    # With [0, 1, 2, 2, 3, 4] and p = 3 rounding in the band factorisation
    # hides the zero pivot from LAPACK: the repeated point's row is reported.
    x = np.array([0, 1, 2, 2, 3, 4.0])
    with pytest.raises(Exception, match="^" + LAPACK + "4$"):
        plain(x, x, 3)
    rng = np.random.default_rng(50)
    for _ in range(40):
        p = int(rng.integers(2, 7))
        x, _ = data(rng, int(rng.integers(p + 3, 40)))
        k = int(rng.integers(1, len(x) - 1))
        x[k] = x[k + 1] if rng.random() < 0.5 else x[k - 1]
        for interpolate in (plain, lambda x, y, p: with_slopes(x, y, p, (1.0, 1.0)),
                            lambda x, y, p: with_derivatives(x, y, p, np.ones(1), np.ones(p - 1))):
            with pytest.raises(Exception, match="^" + LAPACK + r"[1-9]\d*$") as err:
                interpolate(x, np.cos(x), p)
            assert type(err.value) is Exception


def test_data_that_do_not_suit_the_knot_vector_are_refused():
    x = np.r_[np.linspace(0, 0.1, 8), 10.0]  # clustered points, equally spaced knots
    U = np.empty(len(x) + 4)
    ck.eqspaced(x, 3, U)
    with pytest.raises(ValueError, match="'xp' does not suit the knot vector 'U'"):
        ck.gcsplint(x, x, 3, U, np.empty(len(x)))
    # Unsorted sites (two neighbours swapped) give the same system when their
    # rows fit into the band, and that error otherwise.
    rng = np.random.default_rng(80)
    outcomes = set()
    for _ in range(40):
        p = int(rng.integers(2, 7))
        x, y = data(rng, 30)
        U, P = plain(x, y, p)
        swap = np.arange(len(x))
        k = int(rng.integers(1, len(x) - 2))
        swap[[k, k + 1]] = [k + 1, k]
        Q = np.empty_like(P)
        try:
            ck.gcsplint(x[swap], y[swap], p, U, Q)
            np.testing.assert_allclose(Q, P, rtol=1e-10, atol=1e-10)
            outcomes.add("same")
        except ValueError as err:
            assert "does not suit" in str(err)
            outcomes.add("refused")
    assert outcomes == {"same", "refused"}


SIZE_CHECKS = """
import numpy as np
import videvo.curvekit as ck
x = np.linspace(0.0, 1.0, 6); e = np.empty
cases = [
    (ck.gcsplint, (x, x[:-1], 3, e(10), e(6)), "xp and fp must have same dimension"),
    (ck.gcsplint, (x, x, 3, e(10), e(5)), "P dimension must be: len(xp)"),
    (ck.gcsplint, (x, x, 1, e(8), e(6)), "p must be greater than 1"),
    (ck.gcsplint, (x, x, 3, e(9), e(6)), "U dimension must be: len(xp) + p + 1"),
    (ck.gcsplint, (e(0), e(0), 3, e(4), e(0)), "xp must not be empty"),
    (ck.gcsplint, (x[:4], x[:4], 4, e(9), e(4)), "degree inconsistent with the number of data points"),
    (ck.gdsplint, (x, x[:-1], 3, e(12), e(8)), "xp and fp must have same dimension"),
    (ck.gdsplint, (x, x, 3, e(12), e(7)), "P dimension must be: len(xp) + 2"),
    (ck.gdsplint, (x, x, 1, e(10), e(8)), "p must be greater than 1"),
    (ck.gdsplint, (x, x, 3, e(13), e(8)), "U dimension must be: len(xp) + p + 3"),
    (ck.gdsplint, (x[:1], x[:1], 2, e(6), e(3)), "xp must have at least 2 points"),
    (ck.gadsplint, (x, x[:-1], 3, e(1), e(1), e(12), e(8)), "xp and fp must have same dimension"),
    (ck.gadsplint, (x, x, 3, e(1), e(1), e(12), e(7)), "P dimension must be: len(xp) + len(Ds) + len(De)"),
    (ck.gadsplint, (x, x, 1, e(0), e(0), e(8), e(6)), "p must be greater than 1"),
    (ck.gadsplint, (x, x, 3, e(3), e(0), e(13), e(9)),
     "the maximum constrained derivative must be less than 'p'"),
    (ck.gadsplint, (x, x, 3, e(1), e(1), e(11), e(8)), "U dimension must be: len(P) + p + 1"),
    (ck.gadsplint, (x[:1], x[:1], 3, e(1), e(0), e(6), e(2)), "xp must have at least 2 points"),
    (ck.cdsplint, (x, x[:-1], e(12), e(8)), "xp and fp must have same dimension"),
    (ck.cdsplint, (x, x, e(12), e(9)), "P dimension must be: len(xp) + 2"),
    (ck.cdsplint, (x, x, e(11), e(8)), "U dimension must be: len(xp) + 6"),
]
for fn, args, message in cases:
    try:
        fn(*args)
    except AssertionError as err:
        assert str(err) == message, (fn.__name__, str(err), message)
    else:
        raise SystemExit(f"{fn.__name__}: no AssertionError for {message!r}")
print("checked", len(cases), "with assertions", "on" if __debug__ else "off")
"""


@pytest.mark.parametrize("mode", [[], ["-O"]])
def test_size_checks_hold_in_every_interpreter_mode(mode):
    result = run_child(SIZE_CHECKS, *mode)
    assert result.returncode == 0, result.stderr
    # (an editable install may print its rebuild first)
    assert result.stdout.splitlines()[-1] == "checked 20 with assertions " + ("off" if mode else "on")


def test_concurrent_interpolations_equal_serial_ones():
    rng = np.random.default_rng(60)
    jobs = [(*data(rng, 20000), p) for p in (2, 3, 4, 5)]
    serial = [plain(*job)[1] for job in jobs]
    results = [[] for _ in jobs]
    threads = [threading.Thread(target=lambda i=i: results[i].extend(plain(*jobs[i])[1] for _ in range(3)))
               for i in range(len(jobs))]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    for runs, expected in zip(results, serial):
        assert len(runs) == 3 and all(np.array_equal(P, expected) for P in runs)


class Slopes(ctypes.Structure):
    _fields_ = [("given", ctypes.c_int), ("first", ctypes.c_double), ("second", ctypes.c_double)]


def test_machine_level_entries_solve_and_raise():
    x, y = data(np.random.default_rng(70), 12)
    U, expected = with_slopes(x, y, 3, (0.5, -0.5))
    gdsplint = entry("gdsplint", ctypes.c_int, View, View, ctypes.c_int, View, View, Slopes)
    P = np.empty(len(x) + 2)
    assert gdsplint(view(x), view(y), 3, view(U), view(P), Slopes(1, 0.5, -0.5)) == 0
    np.testing.assert_array_equal(P, expected)
    assert gdsplint(view(x), view(y), 3, view(U), view(P), Slopes(0, 9.0, 9.0)) == 0
    assert P[1] == P[0]  # record not given: zero slopes
    gcsplint = entry("gcsplint", ctypes.c_int, View, View, ctypes.c_int, View, View)
    with pytest.raises(AssertionError, match="P dimension must be: len"):
        gcsplint(view(x), view(y), 3, view(U), view(P))


MISSING_DGEMM = """
import sys, types
import scipy.linalg.cython_blas as blas
fake = types.ModuleType("scipy.linalg.cython_blas")
fake.__pyx_capi__ = {k: v for k, v in blas.__pyx_capi__.items() if k != "dgemm"}
sys.modules["scipy.linalg.cython_blas"] = fake
try:
    import videvo.curvekit
except ImportError as err:
    print("ImportError:", err)
"""


def test_import_fails_without_a_lapack_or_blas_entry():
    result = run_child(MISSING_DGEMM)
    assert result.returncode == 0, result.stderr
    assert result.stdout.splitlines()[-1] == "ImportError: scipy.linalg.cython_blas.dgemm is not available"


@pytest.mark.parametrize("call, name", [
    (lambda x, y, bad: ck.gdsplint(x, y, 3, np.empty(len(x) + 6), np.empty(len(x) + 2), (bad, 0.0)), "dy"),
    (lambda x, y, bad: ck.cdsplint(x, y, np.empty(len(x) + 6), np.empty(len(x) + 2), (0.0, bad)), "dy"),
    (lambda x, y, bad: ck.gadsplint(x, y, 3, np.array([1.0, bad]), np.array([0.0]), np.empty(len(x) + 7),
                                    np.empty(len(x) + 3)), "Ds"),
    (lambda x, y, bad: ck.gadsplint(x, y, 3, np.array([]), np.array([bad]), np.empty(len(x) + 5),
                                    np.empty(len(x) + 1)), "De"),
])
@pytest.mark.parametrize("bad", [np.nan, np.inf, -np.inf])
def test_end_conditions_that_are_not_finite_are_refused(call, name, bad):
    x = np.linspace(0.0, 5.0, 8)
    with pytest.raises(ValueError, match=f"^'{name}' must hold finite numbers$"):
        call(x, np.sin(x), bad)
