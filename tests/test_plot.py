"""videvo.plot with the Agg backend: stacked axes, their names, and the drawn values."""

import numpy as np
import pytest

import videvo
from splines import run_child
from trajectories import quadratic, random_trajectory

matplotlib = pytest.importorskip("matplotlib")
matplotlib.use("Agg")
plt = pytest.importorskip("matplotlib.pyplot")


@pytest.fixture(autouse=True)
def close_figures():
    yield
    plt.close("all")


@pytest.mark.parametrize("order, derivatives, names", [
    (0, 0, ["position"]),
    (0, 3, ["position", "velocity", "acceleration", "jerk"]),
    (1, 2, ["velocity", "acceleration", "jerk"]),
    (3, 1, ["jerk", "snap"]),
])
@pytest.mark.parametrize("show_cpts, show_knots", [(True, True), (False, False), (True, False)])
def test_stacked_axes_hold_each_derivative_with_its_name(order, derivatives, names, show_cpts, show_knots):
    t = quadratic(order)
    got = videvo.plot(t, derivatives=derivatives, points=50, show_cpts=show_cpts, show_knots=show_knots)
    axes = [got] if derivatives == 0 else got
    assert len(axes) == derivatives + 1 and len(axes[0].figure.axes) == derivatives + 1
    assert [a.get_ylabel() for a in axes] == names
    for nu, a in enumerate(axes):
        assert len(a.lines) == 1 + show_knots + (show_cpts and nu == 0)
        x, y = a.lines[0].get_data()
        np.testing.assert_allclose(y, t(x, nu), rtol=0, atol=1e-12)


def test_control_points_and_knots_are_marked_where_they_are():
    t, _ = random_trajectory(3, 3, 9)
    ax = videvo.plot(t, points=[0.5, 0.25, 1.0, 0.0])
    curve, knots, cpts = ax.lines
    np.testing.assert_array_equal(curve.get_xdata(), [0.0, 0.25, 0.5, 1.0])
    np.testing.assert_array_equal(knots.get_xdata(), np.unique(t.get_knotvector_asarray()))
    np.testing.assert_array_equal(cpts.get_xdata(), t.get_xcpts())
    np.testing.assert_array_equal(cpts.get_ydata(), t.get_cpts_asarray())


@pytest.mark.parametrize("knots, cpts, p", [
    ([0.0, 1, 2, 3], [1.0, 2, 3], 0),  # (control points at the middles of their spans)
    ([1e15, 1e15, 1e15 + 1, 1e15 + 1], [1.0, 2], 1),  # (fewer distinct times than asked for)
])
def test_degenerate_trajectories_are_drawn(knots, cpts, p):
    t = videvo.trajmake.bspltraj(np.array(knots), np.array(cpts), p, 0)
    curve, _ = videvo.plot(t, derivatives=1)
    x, y = curve.lines[0].get_data()
    assert np.all(np.diff(x) > 0) and np.array_equal(y, t(x))


def test_draws_on_given_axes():
    t = quadratic()
    fig, axes = plt.subplots(3, 1)
    assert list(videvo.plot(t, 2, ax=axes)) == list(axes)
    with pytest.raises(ValueError, match="'ax' must hold 2 axes"):
        videvo.plot(t, 1, ax=axes[0])
    with pytest.raises(ValueError, match="non-negative"):
        videvo.plot(t, -1)


def test_without_matplotlib_says_how_to_get_it():
    r = run_child("import sys; sys.modules['matplotlib'] = None\n"
                  "import videvo, videvo.trajmake as tm, numpy as np\n"
                  "t = tm.bspltraj(np.array([0, 0, 1, 1.]), np.array([0, 1.]), 1, 0)\n"
                  "try:\n    videvo.plot(t)\nexcept ImportError as e:\n    print(e)")
    assert r.returncode == 0, r.stderr
    assert 'pip install "videvo[plot]"' in r.stdout
