"""Trajectory1d calculus and knot operations: derivative, antiderivative,
knot insertion, refinement and removal, degree elevation."""

import ctypes

import numpy as np
import pytest

from videvo import curvekit, trajmake
from videvo.trajdata import Trajectory1d
from splines import random_spline, run_child
from test_module_binding import OptInt, slot, trajectory_table
from trajectories import random_trajectory, reference, state_of

DEGREES = [1, 2, 3, 5]


def u_squared(order=0):
    return trajmake.bspltraj(np.array([0, 0, 0, 1, 1, 1.0]), np.array([0, 0, 1.0]), 2, order)


def arrays(t):
    return t.p, t.n, t.order, t.get_knotvector_asarray().tolist(), t.get_cpts_asarray().tolist()


def samples(t, rng, count=200):
    return np.concatenate([[t.start, t.stop], rng.uniform(t.start, t.stop, count)])


def assert_same_curve(a, b, x):
    scale = max(1.0, np.abs(b.get_cpts_asarray()).max())
    assert np.max(np.abs(a(x) - b(x))) <= 1e-13 * scale


@pytest.mark.parametrize("make, expected", [
    (lambda: u_squared().derivative(), (1, 1, 1, [0, 0, 1, 1], [0, 2])),
    (lambda: u_squared().derivative(2), (0, 0, 2, [0, 1], [2])),
    (lambda: u_squared(3).derivative(0), (2, 2, 3, [0, 0, 0, 1, 1, 1], [0, 0, 1])),
    (lambda: trajmake.bspltraj(np.array([0, 1.0]), np.array([1.0]), 0, 1).antiderivative(),
     (1, 1, 0, [0, 0, 1, 1], [0, 1])),
    (lambda: u_squared().knotref(np.array([])), (2, 2, 0, [0, 0, 0, 1, 1, 1], [0, 0, 1])),
])
def test_worked_examples(make, expected):
    t = make()
    assert type(t) is Trajectory1d
    assert arrays(t) == expected


@pytest.mark.parametrize("p", DEGREES)
def test_derivatives_and_antiderivatives_match_scipy(p):
    # Simple interior knots: a derivative of order nu needs multiplicities of
    # at most p - nu + 1.
    rng = np.random.default_rng(40 + p)
    t = trajmake.bspltraj(*random_spline(rng, p, p + 12, repeats=False), p, 3)
    ref, x = reference(t), samples(t, rng)
    for nu in range(p + 1):
        d, a = t.derivative(nu), t.antiderivative(min(nu, 3))
        assert (d.p, d.n, d.order) == (p - nu, t.n - nu, 3 + nu)
        assert (a.p, a.n, a.order) == (p + min(nu, 3), t.n + min(nu, 3), 3 - min(nu, 3))
        expected = ref.derivative(nu)(x)
        assert np.allclose(d(x), expected, rtol=1e-11, atol=1e-11 * np.abs(expected).max())
        assert np.allclose(a(x), ref.antiderivative(min(nu, 3))(x), rtol=1e-12, atol=1e-13)
        # Differences of cumulative sums: rounding grows with the sums.
        assert np.allclose(a.derivative(min(nu, 3))(x), t(x), rtol=0, atol=1e-11)


@pytest.mark.parametrize("p", DEGREES)
@pytest.mark.parametrize("operation", ["knotins", "knotref", "degelev", "removal of an inserted knot", "knotsrem"])
def test_knot_and_degree_operations_keep_the_curve(p, operation):
    t, rng = random_trajectory(60 + p, p, n_cpts=p + 10)
    u = float(rng.uniform(t.start, t.stop))
    if operation == "knotins":
        r = int(rng.integers(1, p + 1))
        result, grown = t.knotins(u, r), r
    elif operation == "knotref":
        X = np.sort(rng.uniform(t.start, t.stop, 7))
        result, grown = t.knotref(X), 7
    elif operation == "degelev":
        nu = int(rng.integers(1, 4))
        s = len(np.unique(t.get_knotvector_asarray())) - 2
        result, grown = t.degelev(nu), nu * (s + 1)
        assert result.p == p + nu
    elif operation == "removal of an inserted knot":
        result, grown = t.knotins(u, 1).knotrem(u, 1), 0
    else:
        result, grown = t.knotref(np.array([0.31, 0.62])).knotsrem(), None
        assert result.n <= t.n
    if grown is not None:
        assert result.n == t.n + grown
    assert_same_curve(result, t, samples(t, rng))


@pytest.mark.parametrize("p", DEGREES)
@pytest.mark.parametrize("where", [0.2, 0.8])
def test_knot_insertion_holds_the_curve_modules_arrays(p, where):
    # Both arrays of the result lie in one block, placed after the source's
    # alignment: each must hold exactly what the curve module writes (r going
    # up and down), and the block must survive a replacement of the data.
    t, _ = random_trajectory(80 + p, p, n_cpts=p + 40)
    U, P = t.get_knotvector_asarray().copy(), t.get_cpts_asarray().copy()
    u = t.start + where * (t.stop - t.start)
    for r in [*range(1, p + 1), *range(p, 0, -1)]:
        UQ, Q = np.empty(U.size + r), np.empty(P.size + r)
        curvekit.splkins(U, P, p, u, r, UQ, Q)
        result = t.knotins(u, r)
        assert arrays(result) == (p, t.n + r, t.order, UQ.tolist(), Q.tolist())
        result._dset_data(*t.__getstate__())
        assert arrays(result) == arrays(t)


def test_removal_takes_out_no_more_than_the_tolerance_allows():
    t, _ = random_trajectory(7, 3, n_cpts=12)
    u = float(np.unique(t.get_knotvector_asarray())[2])
    assert [t.knotrem(u, 1).n, t.knotrem(u, 1, tol=1e6).n, t.knotrem_notol(u, 1).n] == [t.n, t.n - 1, t.n - 1]


BAD_CALLS = [
    ("derivative(-1)", lambda t: t.derivative(-1), ValueError, "'nu' must be greater than or equal to zero: -1"),
    ("antiderivative(-1)", lambda t: t.antiderivative(-1), ValueError,
     "'nu' must be greater than or equal to zero: -1"),
    ("antiderivative below order 0", lambda t: t.antiderivative(2), ValueError, "negative 'order' not allowed"),
    ("degelev(-1)", lambda t: t.degelev(-1), ValueError, "'nu' must be non-negative number"),
    ("degelev(0)", lambda t: t.degelev(0), ValueError, "the algorithm failed with 'info' value: -5"),
    ("derivative above the degree", lambda t: t.derivative(4), ValueError,
     "the algorithm failed with 'info' value: -5"),
    ("knotins after stop", lambda t: t.knotins(3.5, 1), ValueError, "'u' out of domain: 3.5"),
    ("knotins r < 0", lambda t: t.knotins(0.5, -1), ValueError, "'r' must be non-negative number"),
    ("knotins r > p", lambda t: t.knotins(0.5, 4), ValueError, "'r' must be less than or equal to 'p'"),
    ("knotrem before start", lambda t: t.knotrem(-1.0, 1), ValueError, "'u' out of domain: -1.0"),
    ("knotrem_notol r < 0", lambda t: t.knotrem_notol(1.0, -2), ValueError, "'r' must be non-negative number"),
    ("knotref repeated value", lambda t: t.knotref(np.array([0.5, 0.5])), ValueError, "'X' must be increasing"),
    ("knotref beyond p copies", lambda t: t.knotref(np.array([1.0, 1.0 + 1e-12])), ValueError,
     "the multiplicity of the knot 1.0 would exceed 'p'"),
    ("knotref at the end", lambda t: t.knotref(np.array([3.0])), ValueError,
     "the algorithm failed with 'info' value: -5"),
    ("degree above the cap", lambda t: t.degelev(2**30), ValueError,
     "the degree of the result would exceed 1000: 1073741827"),
    ("order overflow", lambda t: t.derivative(1), OverflowError, "the order of the result would exceed 4294967295"),
]


@pytest.mark.parametrize("label, call, error, message", BAD_CALLS, ids=[c[0] for c in BAD_CALLS])
def test_refusals_name_the_fault_and_leave_the_source_unchanged(label, call, error, message):
    # A cubic on [0, 3] with the interior knot 1.0 twice.
    order = 2**32 - 1 if label == "order overflow" else 1
    t = Trajectory1d()
    t.__setstate__(state_of([0, 0, 0, 0, 1, 1, 2, 3, 3, 3, 3], np.arange(7.0), 3, order))
    before = t.__getstate__()
    with pytest.raises(error) as info:
        call(t)
    assert str(info.value) == message
    assert t.__getstate__() == before


@pytest.mark.parametrize("name, args", [
    ("derivative", ()), ("antiderivative", ()), ("degelev", ()), ("knotsrem", ()), ("knotins", (0.5, 1)),
    ("knotref", (np.array([0.5]),)), ("knotrem", (0.5, 1)), ("rshift", (1.0,)), ("ashift", (1.0,)),
    ("hscale", (2.0,)), ("adapt", (0.0, 1.0)),
])
def test_operations_on_an_empty_trajectory_raise_value_error(name, args):
    with pytest.raises(ValueError, match="^empty trajectory"):
        getattr(Trajectory1d(), name)(*args)


def test_huge_sizes_end_cleanly():
    code = """
import numpy as np
from videvo import trajmake
from videvo.trajdata import Trajectory1d
x = np.linspace(0, 2, 12)
t = trajmake.fromdata(x, np.sin(x), 3, 0)
huge = Trajectory1d()
state = list(t.__getstate__()); state[4] = 2**32 - 1
huge.__setstate__(tuple(state))
for call in (lambda: t.derivative(2**31 - 1), lambda: t.degelev(2**30), lambda: t.degelev(2**31 - 1),
             lambda: huge.antiderivative(2**31 - 1), lambda: huge.antiderivative(2**31 - 5),
             lambda: t.knotins(1.0, 2**31 - 1)):
    try:
        call()
        print("accepted")
    except (ValueError, OverflowError) as e:
        print(type(e).__name__)
e = t.degelev(40)
xs = np.linspace(0, 2, 101)
print(e.p, e.n, np.max(np.abs(e(xs) - t(xs))) < 1e-9)
"""
    child = run_child(code)
    assert child.returncode == 0, child.stderr
    # (an antiderivative of that order would have more than 2**31 control points)
    assert child.stdout.split() == ["ValueError"] * 3 + ["OverflowError"] * 2 + ["ValueError", "43", "371", "True"]


def test_only_degree_elevation_is_capped_at_degree_1000():
    p = 1001
    t = trajmake.bspltraj(np.r_[[0.0] * (p + 1), [1.0] * (p + 1)], np.linspace(0, 1, p + 1), p, 1)
    x = np.linspace(0, 1, 7)
    for result in (t.knotins(0.5, 1), t.knotref(np.array([0.25, 0.5]))):
        assert result.p == p and np.allclose(result(x), t(x), rtol=0, atol=1e-12)
    a = t.antiderivative(1)
    assert a.p == p + 1 and np.allclose(a(x, 1), t(x), rtol=0, atol=1e-12)
    with pytest.raises(ValueError, match="^the degree of the result would exceed 1000: 1002$"):
        t.degelev(1)


class Traced(Trajectory1d):
    """Redefines two operations."""

    def derivative(self, nu=1):
        return super().derivative(nu).antiderivative(nu)

    def degelev(self, nu=1):
        return None


def test_table_entries_run_a_subclass_redefinition():
    table = trajectory_table()
    derivative = slot(table, 27, ctypes.py_object, ctypes.py_object, OptInt)
    degelev = slot(table, 35, ctypes.py_object, ctypes.py_object, OptInt)
    t = Traced()
    t.__setstate__(u_squared(order=1).__getstate__())
    assert arrays(derivative(t, OptInt(0, 0))) == arrays(u_squared(order=1)) and t.derivative().p == 2
    assert degelev(t, OptInt(1, 1)) is None
    plain = u_squared()
    assert arrays(derivative(plain, OptInt(1, 2))) == arrays(plain.derivative(2))
    assert arrays(degelev(plain, OptInt(0, 0))) == arrays(plain.degelev())
