"""Trajectory1d arithmetic: numbers on the control points, exact sums of two
trajectories, equality within the closeness tolerance."""

import ctypes

import numpy as np
import pytest

from videvo import trajmake
from videvo.trajdata import Trajectory1d
from splines import capsule_address, run_child
from trajectories import CPTS, KNOTS, quadratic, random_trajectory, reference, state_of


def cpts(t):
    return t.get_cpts_asarray().tolist()


def with_cpts(t, P):
    return trajmake.bspltraj(t.get_knotvector_asarray(), np.asarray(P, float), t.p, t.order)


@pytest.mark.parametrize("expression, expected", [
    (lambda t: t + 1.5, CPTS + 1.5),
    (lambda t: 1.5 + t, CPTS + 1.5),
    (lambda t: t - 5.0, CPTS - 5.0),
    (lambda t: 5.0 - t, 5.0 - CPTS),
    (lambda t: t * 2.0, CPTS * 2.0),
    (lambda t: 2 * t, CPTS * 2.0),
    (lambda t: t / 4.0, CPTS / 4.0),
    (lambda t: t / np.float64(-0.5), CPTS * -2.0),
    (lambda t: -t, -CPTS),
])
def test_numbers_act_on_a_copy_of_the_control_points(expression, expected):
    t = quadratic(order=2)
    r = expression(t)
    assert type(r) is Trajectory1d and r is not t
    assert cpts(r) == expected.tolist() and (r.p, r.n, r.order) == (2, 3, 2)
    assert r.get_knotvector_asarray().tolist() == KNOTS.tolist()
    assert cpts(t) == CPTS.tolist()


@pytest.mark.parametrize("operation, expected", [
    ("__iadd__", CPTS + 0.5), ("__isub__", CPTS - 0.5), ("__imul__", CPTS * 0.5), ("__itruediv__", CPTS * 2.0)])
def test_in_place_operators_change_the_trajectory_itself(operation, expected):
    t = quadratic()
    assert getattr(t, operation)(0.5) is t
    assert cpts(t) == expected.tolist()


@pytest.mark.parametrize("operand", [lambda: "1", lambda: None, quadratic, lambda: [1.0, 2.0]])
@pytest.mark.parametrize("operation", ["__iadd__", "__isub__", "__imul__", "__itruediv__"])
def test_in_place_operators_take_numbers_only(operation, operand):
    t = quadratic()
    with pytest.raises(TypeError):
        getattr(t, operation)(operand())
    assert cpts(t) == CPTS.tolist()


@pytest.mark.parametrize("zero, error, message", [
    *[(z, ZeroDivisionError, "float division by zero") for z in (0, 0.0, -0.0, np.float64(0), np.float32(-0.0))],
    *[(v, OverflowError, r"\(34, 'Numerical result out of range'\)") for v in (1e-310, -5e-324)],  # as v ** -1.0
])
def test_division_by_zero_leaves_the_trajectory_unchanged(zero, error, message):
    t = quadratic()
    with pytest.raises(error, match=f"^{message}$"):
        t / zero
    with pytest.raises(error, match=f"^{message}$"):
        t /= zero
    assert cpts(t) == CPTS.tolist()


def test_operators_without_a_result():
    t = quadratic()
    with pytest.raises(NotImplementedError):
        t * t
    for call in (lambda: 2.0 / t, lambda: t / t, lambda: t < t, lambda: t >= t, lambda: hash(t)):
        with pytest.raises(TypeError):
            call()
    with pytest.raises(TypeError):
        t.c_splcsum(other=t)
    with pytest.raises(TypeError):
        t.c_splcmul(1.0)


@pytest.mark.parametrize("p", [1, 2, 3, 5])
def test_sum_of_trajectories_on_different_knots(p):
    t1, rng = random_trajectory(p, p, n_cpts=30, stop=2.0)
    t2, _ = random_trajectory(100 + p, p, n_cpts=17, stop=2.0)
    before = (t1.__getstate__(), t2.__getstate__())
    x = np.sort(rng.uniform(0, 2, 200))
    for r, expected in [(t1 + t2, reference(t1)(x) + reference(t2)(x)),
                        (t1 - t2, reference(t1)(x) - reference(t2)(x))]:
        assert set(r.get_knotvector_asarray()) == set(t1.get_knotvector_asarray()) | set(t2.get_knotvector_asarray())
        assert np.allclose(r(x), expected, rtol=0, atol=1e-12)
    assert (t1.__getstate__(), t2.__getstate__()) == before


def make(knots, cpts_, p, order=0):
    return trajmake.bspltraj(np.asarray(knots, float), np.asarray(cpts_, float), p, order)


@pytest.mark.parametrize("other, message", [
    (([0, 0, 1, 2, 2], [0, 1, 2], 1), "the input traiectories must have the same order"),
    (([0, 0, 0, 1, 2.5, 2.5, 2.5], CPTS, 2), "the input traiectories must have the same extremes of domain"),
    ((KNOTS, CPTS, 2, 1), "the trajectories must have the same 'order'"),
])
def test_sum_refuses_mismatched_trajectories(other, message):
    t, other = quadratic(), make(*other)
    with pytest.raises(ValueError, match=f"^{message}$"):
        t + other
    with pytest.raises(ValueError, match=f"^{message}$"):
        t - other


def test_sum_compares_the_knots_not_the_reported_domain():
    class Moved(Trajectory1d):
        start = property(lambda self: -1.0)

    m = Moved()
    m.__setstate__(quadratic().__getstate__())
    assert np.allclose((m + quadratic())([0.5, 1.5]), 2 * quadratic()([0.5, 1.5]))


def test_operators_call_a_subclass_sum():
    class Logged(Trajectory1d):
        def c_splcsum(self, other):
            return quadratic(order=7)

    s = Logged()
    s.__setstate__(quadratic().__getstate__())
    assert (s + quadratic()).order == 7 and (s - quadratic()).order == 7


@pytest.mark.parametrize("name", ["__add__", "__radd__", "__sub__", "__rsub__", "__mul__", "__rmul__", "__truediv__",
                                  "__iadd__", "__isub__", "__imul__", "__itruediv__", "__eq__"])
def test_unbound_operators_check_their_instance(name):
    with pytest.raises(TypeError, match="^expected a Trajectory1d, not int$"):
        getattr(Trajectory1d, name)(3, 4)


def test_empty_trajectories_are_refused():
    e = Trajectory1d()
    for call in (lambda: e + 1.0, lambda: 1.0 - e, lambda: -e, lambda: e.__iadd__(1.0), lambda: e / 2.0,
                 lambda: e == Trajectory1d(), lambda: e + e):
        with pytest.raises(ValueError):
            call()


@pytest.mark.parametrize("change, equal", [
    (lambda P: P, True),
    (lambda P: np.where(P == 0, 1e-14, P), True),       # near zero: absolute 1e-13
    (lambda P: P * (1 + 1e-10), True),                   # relative 1e-9
    (lambda P: P + np.array([0, 1e-6, 0, 0]), False),
    (lambda P: np.where(P == 0, np.nan, P), False),
])
def test_equality_within_the_closeness_tolerance(change, equal):
    t = quadratic()
    other = with_cpts(t, change(CPTS.copy()))
    assert (t == other) is equal and (t != other) is (not equal)


def test_equality_needs_the_same_class_and_ownership():
    t = quadratic()
    assert (t == 3) is False and (t != "x") is True and (t == t.copy()) is True
    borrowed = Trajectory1d()
    borrowed.__setstate__(state_of(KNOTS, CPTS, 2, owner=False))
    assert (borrowed == borrowed.copy()) is False and (borrowed == borrowed) is True

    class Sub(Trajectory1d):
        pass

    s = Sub()
    s.__setstate__(t.__getstate__())
    assert (s == t) is False and (s == s.copy()) is False  # the copy is a plain Trajectory1d


def slot(number, restype, *argtypes):
    table = ctypes.cast(capsule_address(Trajectory1d.__dict__["__capi__"]), ctypes.POINTER(ctypes.c_void_p * 39))
    return ctypes.PYFUNCTYPE(restype, *argtypes)(table.contents[number - 1])


def test_machine_level_entries():
    c_eq = slot(9, ctypes.c_int, ctypes.py_object, ctypes.py_object)
    c_iadd = slot(10, ctypes.c_int, ctypes.py_object, ctypes.c_double)
    c_imul = slot(11, ctypes.c_int, ctypes.py_object, ctypes.c_double)
    t = quadratic()
    assert c_iadd(t, 1.0) == 0 and c_imul(t, 2.0) == 0 and cpts(t) == ((CPTS + 1.0) * 2.0).tolist()
    assert c_eq(t, t.copy()) == 1 and c_eq(t, quadratic()) == 0
    assert c_iadd(Trajectory1d(), 1.0) == 0  # nothing to change
    with pytest.raises(ValueError):  # 0 with the exception set
        c_eq(Trajectory1d(), Trajectory1d())


CORRUPT_KNOTS = r"""
import numpy as np
from videvo.trajdata import Trajectory1d
t = Trajectory1d()
# An unpickled trajectory whose interior knots run past its end: the sum refuses it.
t.__setstate__((np.array([0, 0, 0, 3, 3, 1, 1, 1.]).tobytes(), np.zeros(5).tobytes(), 2, 4, 0, True))
u = Trajectory1d()
u.__setstate__((np.array([0, 0, 0, 0.5, 1, 1, 1.]).tobytes(), np.zeros(4).tobytes(), 2, 3, 0, True))
for a, b in ((t, u), (u, t)):
    try:
        a + b
    except ValueError as e:
        print("refused:", e)
"""


def test_corrupt_knots_are_refused_in_a_child_interpreter():
    result = run_child(CORRUPT_KNOTS, "-O")
    assert result.returncode == 0, result.stderr
    assert result.stdout.count("refused:") == 2, result.stdout
