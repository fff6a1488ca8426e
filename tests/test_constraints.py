"""Point constraints: setValueTr shifts, setValueAm scales, and a refused
call leaves the trajectory as it was."""

import numpy as np
import pytest

from videvo import trajmake
from videvo.trajdata import Point1d, Trajectory1d
from trajectories import random_trajectory


def with_order(t, order):
    r = Trajectory1d()
    knots, cpts, p, n, _, owner = t.__getstate__()
    r._dset_data(knots, cpts, p, n, order, owner)
    return r


FORMS = [lambda t, val, order: Point1d(t, val, order), lambda t, val, order: (t, val, order)]


@pytest.mark.parametrize("form", FORMS)
@pytest.mark.parametrize("seed", range(4))
def test_shift_meets_the_value_and_keeps_every_derivative(form, seed):
    t, rng = random_trajectory(seed, 3, n_cpts=12, start=-1.0, stop=2.0)
    t = with_order(t, 2)
    x, val = rng.uniform(-1.0, 2.0), rng.normal() * 10
    xs = np.linspace(-1.0, 2.0, 7)
    slopes = t(xs, 1)
    before = t.get_cpts_asarray().copy()
    t.setValueTr(form(x, val, 2))
    assert t.peval(x) == pytest.approx(val, rel=1e-12, abs=1e-12)
    assert np.allclose(t(xs, 1), slopes, rtol=1e-12, atol=1e-9)
    assert np.ptp(t.get_cpts_asarray() - before) < 1e-12 * (1 + np.abs(before).max())


@pytest.mark.parametrize("form", FORMS)
@pytest.mark.parametrize("relative", [-2, -1, 0, 1, 3])
def test_scaling_meets_the_value_of_any_relative_order(form, relative):
    t, rng = random_trajectory(relative + 10, 4, n_cpts=10, stop=3.0)
    t = with_order(t, 2)
    x, val = rng.uniform(0.5, 3.0), rng.normal() * 5
    before = t.get_cpts_asarray().copy()
    t.setValueAm(form(x, val, 2 + relative))
    if relative < 0:
        reached = t.antiderivative(-relative).peval(x)
    else:
        reached = t.dpeval(x, relative)
    assert reached == pytest.approx(val, rel=1e-9)
    ratio = t.get_cpts_asarray() / before
    assert np.allclose(ratio, ratio[0], rtol=1e-14, atol=0)
    assert t.order == 2


def linear(cpts, order=0):
    return trajmake.bspltraj(np.array([0, 0, 1, 2, 2.0]), np.array(cpts, float), 1, order)


# Objects are built per test (instances in the parameter list would live
# until the interpreter exits).
def plain():
    return linear([1, 2, 3])


def point(*fields):
    return lambda: Point1d(*fields)


def given(value):
    return lambda: value


REFUSED = [
    ("setValueTr", lambda: linear([1, 2, 3], 1), point(1.0, 5.0, 0), ValueError,
     "^this method cannot be used to set a constraint on the n-th antiderivative$"),
    ("setValueTr", plain, point(1.0, 5.0, 1), ValueError,
     "^this method cannot be used to set a constraint on the n-th derivative$"),
    ("setValueTr", lambda: with_order(plain(), 4294967295), point(1.0, 5.0, 0), ValueError, "antiderivative$"),
    ("setValueTr", plain, given((3.0, 5.0, 0)), ValueError, "^'x' out of domain: 3.0$"),
    ("setValueTr", plain, given([1.0, 5.0, 0]), TypeError, "^No matching signature found$"),
    ("setValueTr", plain, given((1.0, 5.0)), IndexError, None),
    ("setValueAm", plain, given((1.0, 5.0, -1)), OverflowError, None),
    ("setValueAm", lambda: linear([0, 2, 3]), point(0.0, 5.0, 0), ZeroDivisionError, None),
    ("setValueAm", plain, point(1.0, 5.0, 2), ZeroDivisionError, None),
    ("setValueAm", lambda: linear([1e-320] * 3), point(1.0, 1e10, 0), ValueError, "is not finite$"),
    ("setValueAm", plain, point(1.0, np.nan, 0), ValueError, "is not finite$"),
    ("setValueAm", plain, point(-1.0, 5.0, 0), ValueError, "out of domain"),
    ("setValueAm", plain, given(None), TypeError, "^No matching signature found$"),
]


@pytest.mark.parametrize("method, t, point, error, message", REFUSED)
def test_refused_constraints_change_nothing(method, t, point, error, message):
    t, point = t(), point()
    state = t.__getstate__()
    with pytest.raises(error, match=message):
        getattr(t, method)(point)
    assert t.__getstate__() == state


def test_constraint_read_through_attribute_access():
    class Goal(Point1d):
        @property
        def val(self):
            return 10.0

    t = linear([1, 2, 3])
    t.setValueAm(Goal(1.0, 0.0, 0))
    assert t.peval(1.0) == 10.0
