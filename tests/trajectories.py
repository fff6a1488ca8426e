"""Test helpers for trajectories: building them and reading them back."""

import numpy as np
from scipy.interpolate import BSpline

from videvo import trajmake
from splines import random_spline

KNOTS = np.array([0, 0, 0, 1, 2, 2, 2.0])
CPTS = np.array([0, 1, 3, 5.0])


def quadratic(order=0):
    """The small worked example: p = 2, n = 3 on [0, 2]."""
    return trajmake.bspltraj(KNOTS, CPTS, 2, order)


def random_trajectory(seed, p, n_cpts=None, start=0.0, stop=1.0):
    rng = np.random.default_rng(seed)
    U, P = random_spline(rng, p, n_cpts, start=start, stop=stop)
    return trajmake.bspltraj(U, P, p, 0), rng


def reference(t):
    """scipy's B-spline over copies of the trajectory's arrays."""
    return BSpline(t.get_knotvector_asarray().copy(), t.get_cpts_asarray().copy(), t.p)


def state_of(knots, cpts, p, order=0, owner=True):
    """A pickled state for the given arrays."""
    knots, cpts = np.asarray(knots, float), np.asarray(cpts, float)
    return (knots.tobytes(), cpts.tobytes(), p, len(cpts) - 1, order, owner)
