"""trajmake.bspltraj: a trajectory from knots and control points."""

import numpy as np
import pytest

from videvo import trajmake
from videvo.trajdata import Trajectory1d
from trajectories import CPTS, KNOTS, reference


def test_worked_example():
    t = trajmake.bspltraj(KNOTS, CPTS, 2, 0)
    assert type(t) is Trajectory1d
    assert (t.p, t.n, t.order, t.start, t.stop) == (2, 3, 0, 0.0, 2.0)
    assert np.array_equal(t.get_knotvector_asarray(), KNOTS) and np.array_equal(t.get_cpts_asarray(), CPTS)
    assert t.__getstate__()[5] is True


def test_arguments_by_keyword_and_read_only_inputs():
    knots, cpts = KNOTS.copy(), CPTS.copy()
    knots.flags.writeable = cpts.flags.writeable = False
    t = trajmake.bspltraj(order=1, p=2, cpts=cpts, knots=knots)
    assert (t.p, t.n, t.order) == (2, 3, 1)


def test_result_never_references_the_inputs():
    knots, cpts = KNOTS.copy(), CPTS.copy()
    t = trajmake.bspltraj(knots, cpts, 2, 0)
    knots[:] = 7.0
    cpts[:] = 7.0
    assert np.array_equal(t.get_knotvector_asarray(), KNOTS) and np.array_equal(t.get_cpts_asarray(), CPTS)


def test_degree_zero_gives_a_piecewise_constant_trajectory():
    t = trajmake.bspltraj(np.array([0, 1, 2, 3.0]), np.array([5, 6, 7.0]), 0, 0)
    assert (t.p, t.n) == (0, 2)
    assert t([0.5, 1.5, 2.5]).tolist() == [5.0, 6.0, 7.0]
    assert np.array_equal(t([0.2, 2.9]), reference(t)([0.2, 2.9]))


ORDER_MESSAGE = "'order' value must be greater than or equal to zero: -1"


@pytest.mark.parametrize("knots, cpts, p, order, message", [
    (KNOTS, CPTS, -1, 0, "'p' must be greater than or equal to zero"),
    ([0, 0, 0.5, 1, 2, 2, 2], CPTS, -1, -1, "'p' must be greater than or equal to zero"),
    ([0, 0, 0.5, 1, 2, 2, 2], CPTS, 2, 0, "inconsistent 'knots' vector"),
    ([0, 0, 0, 1.5, 1, 2, 2, 2], np.arange(5.0), 2, 0, "inconsistent 'knots' vector"),
    ([0, 0, 0, 1, 2, 2, 2], CPTS, 2, -1, ORDER_MESSAGE),
    ([0, 0, 0.5, 1, 2, 2, 2], CPTS, 2, -1, "inconsistent 'knots' vector"),
    # the length must match len(cpts) + p + 1 (never read beyond the end)
    ([0, 0, 0, 1, 2, 2, 2], np.arange(5.0), 2, 0, "inconsistent 'knots' vector"),
    ([0, 0, 0, 1, 2, 2, 2], np.arange(3.0), 2, 0, "inconsistent 'knots' vector"),
    ([0, 0, 0, 2, 2, 2], [], 2, 0, "inconsistent 'knots' vector"),
    ([0, 0, 0, np.nan, 2, 2, 2], CPTS, 2, 0, "inconsistent 'knots' vector"),
    ([np.nan, 1, 2, 3], [1, 2, 3.0], 0, 0, "inconsistent 'knots' vector"),
    ([0, 1, 2, np.inf], [1, 2, 3.0], 0, 0, "inconsistent 'knots' vector"),
    ([-np.inf, 1, 2, 3], [1, 2, 3.0], 0, 0, "inconsistent 'knots' vector"),
])
def test_checks_in_order(knots, cpts, p, order, message):
    with pytest.raises(ValueError) as info:
        trajmake.bspltraj(np.array(knots, dtype=float), np.array(cpts, dtype=float), p, order)
    assert str(info.value) == message


@pytest.mark.parametrize("knots, cpts", [(None, CPTS), (KNOTS, None)])
def test_none_for_an_array_is_a_type_error(knots, cpts):
    with pytest.raises(TypeError, match="must be a float64 array, not None"):
        trajmake.bspltraj(knots, cpts, 2, 0)


@pytest.mark.parametrize("p, order, error", [(2.0, 0, TypeError), (2, "0", TypeError), (2**31, 0, OverflowError),
                                             (2, -2**31 - 1, OverflowError)])
def test_int_arguments_are_converted_strictly(p, order, error):
    with pytest.raises(error):
        trajmake.bspltraj(KNOTS, CPTS, p, order)
