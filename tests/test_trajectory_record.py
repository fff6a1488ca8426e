"""Trajectory1d as a record: construction, properties, views, copies, text
forms and pickling."""

import copy
import gc
import pickle
import sys

import numpy as np
import pytest

from videvo.trajdata import Trajectory1d
from trajectories import CPTS, KNOTS, quadratic, random_trajectory, state_of


def test_bare_constructor_makes_an_empty_trajectory():
    t = Trajectory1d()
    assert (t.p, t.n, t.order, t.start, t.stop) == (0, 0, 0, None, None)
    assert t.get_knotvector_asarray() is None and t.get_cpts_asarray() is None
    assert t.__getstate__() == (None, None, 0, 0, 0, False)
    assert str(t) == "Trajectory1d(start = None, stop = None, p = 0, n = 0, order = 0)"
    assert repr(t) == "{'start': None, 'stop': None, 'p': 0, 'n': 0, 'order': 0}"


@pytest.mark.parametrize("call", [lambda: Trajectory1d(1), lambda: Trajectory1d(p=2)])
def test_bare_constructor_takes_no_arguments(call):
    with pytest.raises(TypeError, match=r"^Trajectory1d\(\) takes no arguments$"):
        call()


def test_properties_describe_the_spline_and_are_read_only():
    t = quadratic(order=3)
    assert (t.p, t.n, t.order, t.start, t.stop) == (2, 3, 3, 0.0, 2.0)
    assert type(t.start) is float and type(t.order) is int
    for name in ("p", "n", "order", "start", "stop"):
        with pytest.raises(AttributeError):
            setattr(t, name, 1)


def test_text_forms_use_str_of_each_field():
    t, _ = random_trajectory(0, 3, n_cpts=6, stop=2.0)
    assert str(t) == "Trajectory1d(start = 0.0, stop = 2.0, p = 3, n = 5, order = 0)"
    assert repr(t) == "{'start': 0.0, 'stop': 2.0, 'p': 3, 'n': 5, 'order': 0}"
    t.get_knotvector_asarray()[:] += 0.25
    assert str(t).startswith("Trajectory1d(start = 0.25, stop = 2.25,")


def test_views_share_the_trajectory_memory():
    t = quadratic()
    knots, cpts = t.get_knotvector_asarray(), t.get_cpts_asarray()
    assert knots.dtype == np.float64 and knots.flags.c_contiguous and knots.flags.writeable
    assert np.array_equal(knots, KNOTS) and np.array_equal(cpts, CPTS)
    before = t.peval(1.5)
    cpts[2] += 1.0
    assert t.peval(1.5) != before
    assert np.shares_memory(cpts, t.get_cpts_asarray())


def test_views_keep_their_trajectory_alive():
    t = quadratic()
    base = sys.getrefcount(t)
    views = [t.get_cpts_asarray(), t.get_knotvector_asarray()]
    assert sys.getrefcount(t) == base + 2
    del t
    gc.collect()
    assert np.array_equal(views[0], CPTS) and np.array_equal(views[1], KNOTS)
    assert quadratic().get_cpts_asarray().sum() == CPTS.sum()


def test_get_xcpts_averages_p_knots():
    t = Trajectory1d()
    t.__setstate__(state_of([0, 0, 0, 0, 1, 2, 2, 2, 2], np.arange(5.0), 3))
    x = t.get_xcpts()
    assert np.allclose(x, [0, 1 / 3, 1, 5 / 3, 2], rtol=0, atol=1e-15)
    assert not np.shares_memory(x, t.get_knotvector_asarray())


def test_copies_are_independent_plain_owners():
    class Sub(Trajectory1d):
        pass

    s = Sub()
    s.__setstate__(quadratic(order=1).__getstate__())
    for c in (s.copy(), copy.copy(s), copy.deepcopy(s)):
        assert type(c) is Trajectory1d
        assert c.__getstate__() == s.__getstate__()
        assert c.__getstate__()[5] is True
        c.get_cpts_asarray()[0] = 99.0
        c.get_knotvector_asarray()[-1] = 5.0
        assert s.get_cpts_asarray()[0] == 0.0 and s.stop == 2.0


def test_copy_of_a_borrowed_trajectory_owns_its_buffers():
    t = Trajectory1d()
    t._dset_data(*state_of(KNOTS, CPTS, 2, owner=False))
    assert t.__getstate__()[5] is False
    assert t.copy().__getstate__()[5] is True


@pytest.mark.parametrize("owner", [True, False])
def test_loaded_copies_are_released_whatever_the_owner_flag(owner):
    import tracemalloc

    n = 100_000
    state = state_of(np.r_[[0.0] * 3, np.linspace(0, 1, n - 3), [1.0] * 3], np.zeros(n), 2, owner=owner)
    t = Trajectory1d()
    tracemalloc.start()
    try:
        for _ in range(20):
            t.__setstate__(state)
        grown = tracemalloc.get_traced_memory()[0]
    finally:
        tracemalloc.stop()
    assert grown < 4 * 16 * n  # one load's buffers, not twenty
    assert t.__getstate__()[5] is owner


@pytest.mark.parametrize("protocol", [2, 3, 4, 5])
def test_pickle_round_trip(protocol):
    t, _ = random_trajectory(2, 4, n_cpts=30)
    t2 = pickle.loads(pickle.dumps(t, protocol=protocol))
    assert type(t2) is Trajectory1d
    assert t2.__getstate__() == t.__getstate__()
    assert not np.shares_memory(t2.get_cpts_asarray(), t.get_cpts_asarray())
    assert t2(0.3) == t(0.3)
    assert pickle.loads(pickle.dumps(Trajectory1d(), protocol=protocol)).__getstate__() == Trajectory1d().__getstate__()


@pytest.mark.parametrize("protocol", [0, 1])
def test_old_pickle_protocols_are_refused(protocol):
    with pytest.raises(TypeError):
        pickle.dumps(quadratic(), protocol=protocol)


def test_state_holds_the_buffers_as_native_doubles():
    t = quadratic(order=2)
    knots, cpts, p, n, order, owner = t.__getstate__()
    assert len(knots) == (n + p + 2) * 8 and len(cpts) == (n + 1) * 8
    assert np.array_equal(np.frombuffer(knots), KNOTS) and np.array_equal(np.frombuffer(cpts), CPTS)
    assert (p, n, order, owner) == (2, 3, 2, True)
    assert t._sget_knotvector() == knots and t._sget_cpts() == cpts


def test_unpickled_order_stays_unsigned():
    t = Trajectory1d()
    t.__setstate__(list(state_of(KNOTS, CPTS, 2, order=4294967295)))
    assert t.order == 4294967295
    with pytest.raises(OverflowError):
        t._dset_data(*state_of(KNOTS, CPTS, 2, order=-1))
    with pytest.raises(OverflowError):
        t._dset_data(*state_of(KNOTS, CPTS, 2, order=2**32))


def _bad_states():
    good = state_of(KNOTS, CPTS, 2)
    yield "None knots", (None,) + good[1:], TypeError, "expected bytes, NoneType found"
    yield "None cpts", good[:1] + (None,) + good[2:], TypeError, "expected bytes, NoneType found"
    yield "bytearray", (bytearray(good[0]),) + good[1:], TypeError, "expected bytes, bytearray found"
    yield "short knots", (good[0][:-8],) + good[1:], ValueError, "'knots' must hold (n + p + 2) * 8 = 56 bytes, not 48"
    yield "long cpts", good[:1] + (good[1] + b"\0" * 8,) + good[2:], ValueError, "'cpts' must hold (n + 1) * 8 = 32 bytes, not 40"
    yield "p < 0", good[:2] + (-1,) + good[3:], ValueError, "'p' must be greater than or equal to zero: -1"
    yield "n < p", good[:2] + (4,) + good[3:], ValueError, "'n' must be greater than or equal to 'p': 3"


@pytest.mark.parametrize("label, state, error, message", list(_bad_states()), ids=lambda v: v if isinstance(v, str) else "")
def test_bad_states_are_refused_and_change_nothing(label, state, error, message):
    t = quadratic(order=1)
    before = t.__getstate__()
    with pytest.raises(error) as info:
        t.__setstate__(state)
    assert str(info.value) == message
    assert t.__getstate__() == before


def test_data_cannot_be_replaced_under_live_views():
    t = quadratic()
    view = t.get_cpts_asarray()
    if isinstance(view.base, memoryview):
        view.base.release()  # (nothing that Python code reaches may unpin the buffers)
    other = state_of([0, 0, 1, 1], [5.0, 6.0], 1)
    with pytest.raises(BufferError):
        t._dset_data(*other)
    assert np.array_equal(view, CPTS) and t.n == 3
    del view
    gc.collect()
    t._dset_data(*other)
    assert t.__getstate__() == other


def test_empty_trajectory_operations_raise_value_error():
    t = Trajectory1d()
    for call in (t.get_xcpts, lambda: t.peval(0.0), lambda: t.dpeval(0.0, 1), lambda: t(0.0), lambda: t([0.0, 1.0]),
                 lambda: t.ceval(np.array([0.0])), lambda: t.dceval(np.array([0.0]), 1)):
        with pytest.raises(ValueError, match="empty trajectory"):
            call()
    c = t.copy()
    assert type(c) is Trajectory1d and c.__getstate__() == (None, None, 0, 0, 0, True)
