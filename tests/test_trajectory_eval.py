"""Trajectory1d evaluation: peval, ceval, dpeval, dceval and t(x, nu)."""

import re

import numpy as np
import pytest

from splines import run_child
from trajectories import CPTS, quadratic, random_trajectory, reference, state_of

DEGREES = [0, 1, 2, 3, 5]


def interior_points(rng, t, count=200):
    return np.sort(rng.uniform(t.start, t.stop, count))


@pytest.mark.parametrize("p", DEGREES)
def test_values_match_scipy(p):
    t, rng = random_trajectory(10 + p, p, n_cpts=p + 15)
    ref = reference(t)
    x = interior_points(rng, t)
    assert np.allclose([t.peval(u) for u in x], ref(x), rtol=1e-12, atol=1e-12)
    xp = x.copy()
    assert t.ceval(xp) is None
    assert np.allclose(xp, ref(x), rtol=1e-12, atol=1e-12)
    assert np.allclose(t(x), ref(x), rtol=1e-12, atol=1e-12)


@pytest.mark.parametrize("p", DEGREES)
def test_derivatives_match_scipy(p):
    t, rng = random_trajectory(20 + p, p, n_cpts=p + 12)
    ref = reference(t)
    x = interior_points(rng, t, 60)
    for nu in range(p + 2):
        expected = ref(x, nu)
        scale = max(1.0, np.abs(expected).max())
        assert np.allclose([t.dpeval(u, nu) for u in x], expected, rtol=1e-9, atol=1e-10 * scale)
        xp = x.copy()
        t.dceval(xp, nu)
        assert np.allclose(xp, expected, rtol=1e-9, atol=1e-10 * scale)
        assert np.allclose(t(x, nu), expected, rtol=1e-9, atol=1e-10 * scale)


def test_derivative_defaults_and_extreme_orders():
    t, rng = random_trajectory(3, 3, n_cpts=9)
    x = interior_points(rng, t, 5)
    for u in x:
        assert t.dpeval(u) == t.dpeval(u, 1)
        assert t.dpeval(u, 0) == t.peval(u)
        assert t.dpeval(u, 4) == 0.0 and t.dpeval(u, 2**31 - 1) == 0.0
    xp = x.copy()
    t.dceval(xp, 4)
    assert np.array_equal(xp, np.zeros_like(x))
    xp = x.copy()
    t.dceval(xp)
    assert np.array_equal(xp, t(x, 1))


def test_closed_domain_ends_give_the_end_control_points():
    t = quadratic()
    assert t.peval(0.0) == CPTS[0] and t.peval(2.0) == CPTS[-1]
    assert t(np.array([0.0, 2.0])).tolist() == [CPTS[0], CPTS[-1]]


@pytest.mark.parametrize("p", [0, 1, 3])
def test_zero_length_domain_gives_the_last_control_point_and_no_slope(p):
    from videvo.trajmake import bspltraj
    t = bspltraj(np.full(2 * p + 2, 1.5), np.arange(4.0, 5.0 + p), p, 0)
    assert t.peval(1.5) == t(np.array([1.5]))[0] == 4.0 + p
    assert t.dpeval(1.5, 1) == t(np.array([1.5]), 2)[0] == 0.0


@pytest.mark.parametrize("call, message", [
    (lambda t: t.peval(2.0 + 1e-12), "'x' out of domain: 2.000000000001"),
    (lambda t: t.peval(3.5), "'x' out of domain: 3.5"),
    (lambda t: t.dpeval(-0.5, 2), "'x' out of domain: -0.5"),
    (lambda t: t(3.5, 1), "'x' out of domain: 3.5"),
    (lambda t: t.dpeval(0.5, -1), "'nu' must be non-negative number"),
    (lambda t: t.dpeval(0.5, -2), "negative dimensions are not allowed"),
    (lambda t: t(0.5, -1), "'nu' must be non-negative number"),
    (lambda t: t([0.5, 1.0], -1), "'nu' must be non-negative number"),
    (lambda t: t([[0.0, 1.0]]), "'x' must be one-dimensional"),
    (lambda t: t([]), "zero size arrays are not allowed"),
    (lambda t: t([0.5, 0.5]), "'xp' must be increasing"),
    (lambda t: t([1.0, 2.5, 0.0]), "domain error"),
    (lambda t: t.ceval(None), "zero size arrays are not allowed"),
])
def test_argument_errors(call, message):
    with pytest.raises(ValueError) as info:
        call(quadratic())
    assert str(info.value) == message


@pytest.mark.parametrize("points, message", [
    ([], "zero size arrays are not allowed"),
    ([0.0, 0.0, 1.0], "'xp' must be increasing"),
    ([0.5, 0.4], "'xp' must be increasing"),
    ([-0.1, 1.0], "domain error"),
    ([0.1, 2.1], "domain error"),
])
def test_array_checks_leave_the_array_unchanged(points, message):
    t = quadratic()
    for evaluate in (t.ceval, lambda xp: t.dceval(xp, 1)):
        xp = np.array(points, dtype=float)
        with pytest.raises(ValueError) as info:
            evaluate(xp)
        assert str(info.value) == message
        assert xp.tolist() == points


def test_calling_accepts_any_order_and_never_writes_the_input():
    t, rng = random_trajectory(5, 3, n_cpts=20)
    x = rng.uniform(0, 1, 500)
    before = x.copy()
    values = t(x)
    assert np.array_equal(x, before)
    assert np.array_equal(values, t(np.sort(x))[np.argsort(np.argsort(x))])
    assert np.array_equal(t(x, 2), t(np.sort(x), 2)[np.argsort(np.argsort(x))])
    q = quadratic()
    assert q([2.0, 0.0, 1.0]).tolist() == [q.peval(2.0), q.peval(0.0), q.peval(1.0)]


def test_scalars_give_floats_and_arrays_give_arrays():
    t = quadratic()
    for x in (0.5, 1, np.float32(0.5), np.int64(1), True):
        r = t(x)
        assert type(r) is float and r == t.peval(float(x))
    r = t(np.array(0.5))
    assert isinstance(r, np.ndarray) and r.shape == (1,) and r[0] == t.peval(0.5)
    assert t((0.5, 1.5)).tolist() == [t.peval(0.5), t.peval(1.5)]
    assert t([1, 2]).dtype == np.float64
    with pytest.raises(TypeError):
        t("0.5")


def test_nan_points_are_rejected_by_the_curve_module():
    # A NaN passes the trajectory's own domain checks; the curve module must
    # refuse it (a span search on NaN could otherwise hang or read out of
    # bounds), so this runs in a child interpreter with a timeout.
    code = """
import numpy as np
from videvo import trajmake
t = trajmake.bspltraj(np.array([0, 0, 0, 1, 2, 2, 2.]), np.array([0, 1, 3, 5.]), 2, 0)
nan = float("nan")
calls = [lambda: t.peval(nan), lambda: t.dpeval(nan, 1), lambda: t(nan), lambda: t(nan, 3),
         lambda: t([0.5, nan, 1.0]), lambda: t([nan, 0.5]), lambda: t([nan]),
         lambda: t.ceval(np.array([0.5, nan, 1.0])), lambda: t.dceval(np.array([nan]), 1)]
for call in calls:
    try:
        call()
        print("evaluated")
    except ValueError as e:
        print("ValueError", e)
"""
    result = run_child(code, timeout=60)
    assert result.returncode == 0, result.stderr
    lines = result.stdout.splitlines()
    assert len(lines) == 9
    assert all(line.startswith("ValueError the algorithm failed with 'info' value: -") for line in lines), lines


def sorted_outcome(t, x, nu):
    """What t(x, nu) gives when the points are sorted first, as a result array
    or the error message."""
    order = np.argsort(x)
    try:
        ys = t(x[order], nu)
    except ValueError as e:
        return str(e)
    out = np.empty_like(ys)
    out[order] = ys
    return out


@pytest.mark.parametrize("size", [5000, 70_000])  # (the repeat check finds the range of the longer)
@pytest.mark.parametrize("nu", [0, 1])
@pytest.mark.parametrize("case", ["distinct", "repeat", "signed zeros", "nan", "nan and high", "low", "high",
                                  "all nan"])
def test_unsorted_points_give_what_sorted_points_give(case, nu, size):
    rng = np.random.default_rng(len(case))
    t, _ = random_trajectory(4, 3, n_cpts=40, start=-1.0, stop=1.0)
    x = rng.uniform(-1, 1, size)
    if case == "repeat":
        x[4321] = x[17]
    elif case == "signed zeros":
        x[10], x[99] = 0.0, -0.0
    elif case == "nan":
        x[300] = np.nan
    elif case == "nan and high":
        x[[5, 6]] = np.nan, 1.5
    elif case == "low":
        x[2000] = -1.0 - 1e-12
    elif case == "high":
        x[7] = np.inf
    elif case == "all nan":
        x = np.array([np.nan, np.nan])
    want = sorted_outcome(t, x, nu)
    if isinstance(want, str):
        with pytest.raises(ValueError, match="^" + want.replace("(", r"\(").replace(")", r"\)") + "$"):
            t(x, nu)
    else:
        np.testing.assert_array_equal(t(x, nu), want)


@pytest.mark.parametrize("size", [2, 33, 1000, 100_001, 600_001])
@pytest.mark.parametrize("where", [None, "first and last", "last two", "apart", "zeros", "crowded", "crowded pair",
                                   "spilled", "spilled pair", "spilled, first", "nans", "nan, last two"])
def test_a_repeat_among_many_unsorted_points_is_found(size, where):
    # The repeat check splits the values into parts by a hash and looks for
    # a repeat within each part through a table of its own: values that
    # share a part or a slot must pass, any repeat (wherever it lies, 0.0
    # and -0.0 included) must be found.  Values whose hashes share their top
    # 24 bits crowd one part and its table; 600 whose hashes share their top
    # 8 (not zeros) overflow one part of the larger arrays, and the last of
    # them wait beside it (the hash inverted below).
    t, _ = random_trajectory(4, 3, n_cpts=40, start=-1.0, stop=1.0)
    rng = np.random.default_rng(size)
    x = rng.uniform(-1, 1, size)
    pairs = {"first and last": (0, -1), "last two": (-2, -1), "apart": (size // 3, size - 1 - size // 3)}
    if where is not None and where.startswith(("crowded", "spilled")):
        crowded = where.startswith("crowded")
        top, bound, count = (0, 2**40, size // 2) if crowded else (0xA5 << 56, 2**56, min(size // 2, 600))
        k = rng.integers(0, bound, 4 * size, dtype=np.uint64) | np.uint64(top)
        k *= np.uint64(pow(0x9E3779B97F4A7C15, -1, 2**64))
        pool = (k ^ (k >> np.uint64(32))).view(np.float64)
        pool = pool[np.abs(pool) <= 1.0]
        x[:count] = pool[:count]
        pairs["spilled pair"] = (count - 1, -1)  # (in the larger arrays, both beside the part)
        where = {"crowded": None, "crowded pair": "first and last", "spilled": None,
                 "spilled, first": "first and last"}.get(where, where)
    if where == "zeros":
        x[[-1, 0]] = 0.0, -0.0
    elif where == "nans":  # (NaNs with the same bits equal nothing: the domain check speaks)
        x[[1, -2]] = np.nan
    elif where == "nan, last two":  # (a NaN takes no room from the values: the repeat speaks)
        x[0], x[-1] = np.nan, x[-2]
    elif where is not None:
        i, j = pairs[where]
        x[j] = x[i]
    if where in ("nans", "nan, last two"):
        with pytest.raises(ValueError, match="^" + re.escape(sorted_outcome(t, x, 0)) + "$"):
            t(x)
    elif where is None:
        np.testing.assert_array_equal(t(x), sorted_outcome(t, x, 0))
    else:
        with pytest.raises(ValueError, match="^'xp' must be increasing$"):
            t(x)


@pytest.mark.parametrize("p", [0, 1, 3, 7, 9])
def test_a_point_alone_gives_what_it_gives_within_an_array(p):
    # One point reuses the span of the previous call when it can: in any
    # order, on knots and a fraction of the tolerance beside them, the value
    # and the derivatives must be those of the array evaluation, bit for bit.
    from splines import sample_points
    from videvo import curvekit as ck
    t, rng = random_trajectory(30 + p, p, n_cpts=60, start=-3.0, stop=5.0)
    U, P = t.get_knotvector_asarray().copy(), t.get_cpts_asarray().copy()  # (views die here)
    x = np.unique(sample_points(rng, U, 200))
    values = t(x)
    slopes = t(x, 1)
    curvatures = t(x, 2)
    CK = np.empty(p + 3)
    for i in np.r_[rng.permutation(x.size), np.arange(x.size), np.arange(x.size)[::-1]]:
        u = float(x[i])
        assert t(u) == t.peval(u) == t.dpeval(u, 0) == ck.splpev(u, U, P, p) == values[i]
        assert t(u, 1) == t.dpeval(u, 1) == slopes[i]
        ck.dsplpev(u, U, P, p, p + 2, CK)
        assert t(u, 2) == CK[2] == curvatures[i] and t(u, p + 1) == CK[p + 1] == 0.0


@pytest.mark.parametrize("change", ["shift", "view", "state"])
def test_points_alone_after_the_knots_change(change):
    # Points alone that keep starting outside the last point's span start
    # from a span index kept with the trajectory, and so do short arrays in
    # any order and sparse sorted ones: after the knots are shifted, written
    # through a view or replaced, no value may come from the old knots.
    import pickle
    t, rng = random_trajectory(7, 3, n_cpts=400, start=0.0, stop=4.0)
    points = rng.permutation(np.unique(rng.uniform(0.0, 4.0, 300)))

    def alone_equals_array():
        at = np.sort(points)
        values = pickle.loads(pickle.dumps(t))(at)  # (a copy without an index)
        np.testing.assert_array_equal(t(points), values[np.searchsorted(at, points)])
        np.testing.assert_array_equal(t(at[::5]), values[::5])
        for u in points:
            assert t(float(u)) == values[np.searchsorted(at, u)]

    alone_equals_array()  # (builds the index)
    if change == "shift":
        t.rshift(0.25)
        points = np.clip(points + 0.25, t.start, t.stop)
    elif change == "view":
        U = t.get_knotvector_asarray()
        U[4:-4] = np.sort(rng.uniform(0.0, 4.0, U.size - 8))
        del U
    else:
        other, _ = random_trajectory(8, 3, n_cpts=150, start=0.0, stop=4.0)
        t.__setstate__(state_of(other.get_knotvector_asarray().tolist(), other.get_cpts_asarray().tolist(), 3))
    alone_equals_array()


@pytest.mark.parametrize("nu", [0, 2])
@pytest.mark.parametrize("where", [1, 2, 3, 4, 5, 6, 8, 40, 63])
@pytest.mark.parametrize("fault", ["swap", "repeat", "nan", "beyond"])
def test_increasing_points_broken_anywhere_take_the_checked_route(fault, where, nu):
    # Increasing points are evaluated straight from the caller's array, the
    # order being checked on the way (four points at a time): a break at any
    # position must lead to the general route's result or error.
    t, rng = random_trajectory(7, 3, n_cpts=30, start=-1.0, stop=1.0)
    x = np.sort(rng.uniform(-1, 1, 64))
    if fault == "swap":
        x[where - 1], x[where] = x[where], x[where - 1]
    elif fault == "repeat":
        x[where] = x[where - 1]
    elif fault == "nan":
        x[where] = np.nan
    elif where == 63:
        x[where] = 1.0 + 1e-9
    else:
        x[:where] = x[:where] - 3.0  # increasing, but starting below the domain
    want = sorted_outcome(t, x, nu)
    if isinstance(want, str):
        with pytest.raises(ValueError) as info:
            t(x, nu)
        assert str(info.value) == want
    else:
        np.testing.assert_array_equal(t(x, nu), want)
        np.testing.assert_array_equal(t(x, nu), [t.dpeval(u, nu) for u in x])
