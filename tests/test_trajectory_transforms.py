"""Trajectory1d domain transformations in place: rshift, ashift, hscale, adapt."""

import numpy as np
import pytest

from videvo import trajmake
from splines import run_child
from trajectories import random_trajectory


def cubic_on(start, stop, interior=()):
    U = np.concatenate([[start] * 4, interior, [stop] * 4]).astype(float)
    return trajmake.bspltraj(U, np.linspace(-1.0, 2.0, len(U) - 4), 3, 0)


def knots(t):
    return t.get_knotvector_asarray().tolist()


@pytest.mark.parametrize("interval, operation, expected", [
    ((0.0, 1.0, []), lambda t: t.rshift(2.0), [2.0] * 4 + [3.0] * 4),
    ((1.0, 4.0, []), lambda t: t.ashift(5.0), [5.0] * 4 + [8.0] * 4),
    ((1.0, 4.0, [2.5]), lambda t: t.ashift(1.0), [1.0] * 4 + [2.5] + [4.0] * 4),
    ((1.0, 3.0, [2.0]), lambda t: t.hscale(2.0), [1.0] * 4 + [3.0] + [5.0] * 4),
    ((2.0, 4.0, [3.0]), lambda t: t.adapt(0.0, 10.0), [0.0] * 4 + [5.0] + [10.0] * 4),
    ((2.0, 4.0, [3.0]), lambda t: t.adapt(2.0, 4.0), [2.0] * 4 + [3.0] + [4.0] * 4),
])
def test_worked_examples(interval, operation, expected):
    t = cubic_on(*interval)
    cpts = t.get_cpts_asarray().copy()
    assert operation(t) is None
    assert knots(t) == expected
    assert np.array_equal(t.get_cpts_asarray(), cpts)


@pytest.mark.parametrize("seed", range(2))
def test_the_curve_moves_with_its_time_axis(seed):
    t, rng = random_trajectory(seed, 3, n_cpts=12, start=1.0, stop=3.0)
    x = rng.uniform(1.0, 3.0, 50)
    before, slope = t(x), t(x, 1)
    moved = t.copy()
    moved.rshift(0.75)
    assert np.allclose(moved(x + 0.75), before, rtol=0, atol=1e-13)
    scaled = t.copy()
    scaled.hscale(2.0)
    assert scaled.get_knotvector_asarray()[0] == 1.0
    assert np.allclose(scaled(1.0 + 2.0 * (x - 1.0)), before, rtol=0, atol=1e-13)
    assert np.allclose(scaled(1.0 + 2.0 * (x - 1.0), 1), slope / 2.0, rtol=1e-12, atol=1e-12)
    mapped = t.copy()
    mapped.adapt(-4.0, 6.0)
    assert (mapped.start, mapped.stop) == (-4.0, 6.0)
    assert np.allclose(mapped(-4.0 + 5.0 * (x - 1.0)), before, rtol=0, atol=1e-13)


def test_scaling_keeps_the_clamped_start_exact():
    # k u - (k - 1) U[0] differs from U[0] by an ulp for many pairs.
    rng = np.random.default_rng(5)
    for start, k in zip(rng.uniform(-50, 50, 200), rng.uniform(0.01, 20, 200)):
        t = cubic_on(start, start + 3.0, [start + 1.0])
        t.hscale(k)
        U = t.get_knotvector_asarray()
        assert np.all(U[:4] == start) and np.all(np.diff(U) >= 0) and np.all(U[-4:] == U[-1])


def test_trajectories_adapted_to_one_domain_share_its_ends_and_add():
    rng = np.random.default_rng(6)
    for s0, L0, s1, L1 in rng.uniform([-100, 0.01, -100, 0.01], [100, 50, 100, 50], (200, 4)):
        t, other = cubic_on(s0, s0 + L0, [s0 + L0 / 3]), cubic_on(s1, s1 + 1.0, [])
        t.adapt(s1, s1 + L1)
        other.adapt(s1, s1 + L1)
        U = t.get_knotvector_asarray()
        assert (t.start, t.stop) == (s1, s1 + L1) and np.all(U[-4:] == s1 + L1) and np.all(np.diff(U) >= 0)
        assert (t + other).stop == s1 + L1


BAD = [
    ("hscale(0)", lambda t: t.hscale(0.0), ValueError, "'k' must be a finite number greater than zero: 0.0"),
    ("hscale(nan)", lambda t: t.hscale(float("nan")), ValueError, "'k' must be a finite number greater than zero: nan"),
    ("hscale to infinity", lambda t: t.hscale(1e308), ValueError,
     "the new knots would not be finite or the domain would be empty"),
    ("hscale to nothing", lambda t: t.hscale(1e-320), ValueError,
     "the new knots would not be finite or the domain would be empty"),
    ("adapt(1, 1)", lambda t: t.adapt(1.0, 1.0), ValueError, "'stop' must be strictly greater than 'start'"),
    ("adapt to nan", lambda t: t.adapt(float("nan"), 1.0), ValueError, "'start' and 'stop' must be finite numbers"),
    ("adapt too wide", lambda t: t.adapt(-1e308, 1e308), ValueError,
     "the new knots would not be finite or the domain would be empty"),
    # A domain of no length is reported before the arguments' finiteness.
    ("adapt of a point", lambda t: t.adapt(0.0, float("inf")), ZeroDivisionError, "float division by zero"),
]


@pytest.mark.parametrize("label, call, error, message", BAD, ids=[b[0] for b in BAD])
def test_refusals_leave_the_trajectory_unchanged(label, call, error, message):
    t = cubic_on(1.0, 1.0 if label == "adapt of a point" else 3.0, [])
    before = t.__getstate__()
    with pytest.raises(error) as info:
        call(t)
    assert str(info.value) == message
    assert t.__getstate__() == before


def test_infinite_shifts_are_accepted_and_every_operation_copes():
    code = """
import numpy as np
from videvo import trajmake
x = np.linspace(0, 2, 12)
for shift in (float("inf"), float("nan")):
    t = trajmake.fromdata(x, np.sin(x), 3, 0)
    t.rshift(shift)
    for call in (lambda: t(1.0), lambda: t(x), lambda: t.derivative(), lambda: t.antiderivative(0),
                 lambda: t.degelev(), lambda: t.knotins(1.0, 1), lambda: t.knotref(np.array([1.0])),
                 lambda: t.knotsrem(), lambda: t.hscale(2.0), lambda: t.adapt(0.0, 1.0)):
        try:
            call()
            print("accepted")
        except ValueError:
            print("refused")
"""
    child = run_child(code)
    assert child.returncode == 0, child.stderr
    assert child.stdout.split() == ["refused"] * 20
