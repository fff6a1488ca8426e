"""Python subclasses of Trajectory1d: their redefinitions are honoured by the
operations that go through the method table."""

import copy
import pickle

import numpy as np
import pytest

from videvo.trajdata import Trajectory1d
from trajectories import KNOTS, CPTS, quadratic, state_of


class Shifted(Trajectory1d):
    """Values one higher; array evaluations ten higher."""

    def peval(self, x):
        return super().peval(x) + 1.0

    def dpeval(self, x, nu=1):
        return super().dpeval(x, nu) * 2.0

    def ceval(self, xp):
        super().ceval(xp)
        xp += 10.0

    def dceval(self, xp, nu=1):
        super().dceval(xp, nu)
        xp *= -1.0


class Recording(Trajectory1d):
    """Remembers the states it was given; copies itself as a marked plain copy."""

    def _dset_data(self, *state):
        self.__dict__.setdefault("states", []).append(state[2:])
        super()._dset_data(*state)

    def copy(self):
        c = super().copy()
        c.get_cpts_asarray()[:] = -1.0
        return c


class NarrowDomain(Trajectory1d):
    """Claims a smaller domain than its knots."""

    @property
    def stop(self):
        return 1.0


def make(cls, order=0):
    t = cls()
    t.__setstate__(quadratic(order).__getstate__())
    return t


def test_calling_runs_the_redefined_evaluations():
    plain, s = quadratic(), make(Shifted)
    assert s(1.5) == plain(1.5) + 1.0
    assert s(1.5, 1) == plain(1.5, 1) * 2.0
    x = np.array([1.5, 0.5, 1.0])
    assert np.array_equal(s(x), plain(x) + 10.0)
    assert np.array_equal(s(x, 1), -plain(x, 1))
    # The Python methods themselves run the class's own code through super().
    assert s.peval(1.5) == plain.peval(1.5) + 1.0


def test_copies_and_unpickling_run_the_redefined_methods():
    r = make(Recording)
    assert r.states == [(2, 3, 0, True)]
    for c in (copy.copy(r), copy.deepcopy(r), r.copy()):
        assert type(c) is Trajectory1d and c.get_cpts_asarray().tolist() == [-1.0] * 4
    r2 = pickle.loads(pickle.dumps(r))
    assert type(r2) is Recording and r2.states == [(2, 3, 0, True)]


class Doubled(Trajectory1d):
    """Hands out its control points doubled and its knots shifted by one."""

    def _sget_cpts(self):
        return (2.0 * np.frombuffer(super()._sget_cpts())).tobytes()

    def _sget_knotvector(self):
        return (np.frombuffer(super()._sget_knotvector()) + 1.0).tobytes()


def test_pickled_state_comes_from_the_redefined_byte_getters():
    d = make(Doubled)
    knots, cpts = d.__getstate__()[:2]
    assert np.frombuffer(cpts).tolist() == (2.0 * CPTS).tolist()
    assert np.frombuffer(knots).tolist() == (KNOTS + 1.0).tolist()
    d2 = pickle.loads(pickle.dumps(d))
    assert type(d2) is Doubled
    assert d2.get_cpts_asarray().tolist() == (2.0 * CPTS).tolist()
    assert d2.start == KNOTS[0] + 1.0


def test_a_redefinition_must_return_what_the_method_returns():
    class BadCopy(Trajectory1d):
        def copy(self):
            return "not a trajectory"

    class NoneCopy(Trajectory1d):
        def copy(self):
            return None

    with pytest.raises(TypeError, match="copy\\(\\) must return a Trajectory1d or None, not str"):
        copy.copy(make(BadCopy))
    assert copy.copy(make(NoneCopy)) is None

    class BadValue(Trajectory1d):
        def peval(self, x):
            return "high"

    with pytest.raises(TypeError):
        make(BadValue)(0.5)


def test_redefined_domain_properties_are_used_by_the_checks():
    t = make(NarrowDomain)
    assert t.peval(1.0) == quadratic().peval(1.0)
    with pytest.raises(ValueError, match="'x' out of domain: 1.5"):
        t.peval(1.5)
    with pytest.raises(ValueError, match="domain error"):
        t.ceval(np.array([0.5, 1.5]))
    assert str(t).startswith("Trajectory1d(start = 0.0, stop = 1.0,")


def test_subclasses_need_not_call_the_base_initialiser():
    class OwnInit(Trajectory1d):
        def __init__(self, label):
            self.label = label

    t = OwnInit("x")
    assert t.label == "x" and t.p == 0 and t.start is None
    t._dset_data(*state_of(KNOTS, CPTS, 2))
    assert t(1.0) == quadratic()(1.0)
    with pytest.raises(TypeError):
        OwnInit("x", "y")
