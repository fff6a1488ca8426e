"""A curve and the same curve shifted far from zero pick the same spans."""

import numpy as np
import pytest

from videvo import curvekit as ck
from videvo import trajmake

OFFSETS = [1e6, 1.7e9]
GRID = 1 / 1024  # exact at every offset used here, so shifting rounds nothing


def grid_spline(seed, p):
    """Clamped knots on [0, 4] on a grid of eighths (interior knots repeated
    up to p + 1 times, so some curves jump) and random control points."""
    rng = np.random.default_rng(seed)
    inner = np.sort(rng.choice(np.arange(1, 32) / 8, size=5))
    inner = np.repeat(inner, rng.integers(1, p + 2, size=inner.size))
    U = np.r_[[0.0] * (p + 1), inner, [4.0] * (p + 1)]
    return U, rng.standard_normal(len(U) - p - 1)


def points(U):
    """Every knot and the grid points one step either side of it."""
    knots = np.unique(U)
    return np.unique(np.clip(np.r_[knots, knots - GRID, knots + GRID, 307 * GRID, 2765 * GRID], U[0], U[-1]))


@pytest.mark.parametrize("offset", OFFSETS)
def test_the_reported_steps_keep_their_value_far_from_zero(offset):
    t = trajmake.fromdata(offset + np.array([0, 100, 101, 200.0]), np.array([0, 0, 10, 10.0]), 1, 0)
    assert t(offset + 99.5) == 0.0
    assert ck.splpev(offset + 0.4995, offset + np.array([0, 0.5, 1]), np.array([0, 1.0]), 0) == 0.0


@pytest.mark.parametrize("offset", OFFSETS)
@pytest.mark.parametrize("p", range(6))
@pytest.mark.parametrize("seed", range(3))
def test_values_and_derivatives_do_not_depend_on_the_offset(seed, p, offset):
    U, P = grid_spline(seed, p)
    x = points(U)
    for nu in range(p + 1):
        near, far = np.empty((1, x.size)), np.empty((1, x.size))
        ck.dsplcev(x, U, P, p, nu, nu, near)
        ck.dsplcev(x + offset, U + offset, P, p, nu, nu, far)
        np.testing.assert_allclose(far, near, rtol=1e-12, atol=1e-12 * np.abs(near).max())
    for u in x:
        assert ck.findspanmult(p, u + offset, U + offset) == ck.findspanmult(p, u, U)


@pytest.mark.parametrize("offset", OFFSETS)
@pytest.mark.parametrize("p", [1, 2, 3])
def test_insertion_does_not_depend_on_the_offset(p, offset):
    U, P = grid_spline(7, p)
    for u in points(U)[1:-1]:
        _, s = ck.findspanmult(p, u, U)
        r = p - s
        if r < 1:
            continue
        UQ, Q = np.empty(len(U) + r), np.empty(len(P) + r)
        UQs, Qs = np.empty(len(U) + r), np.empty(len(P) + r)
        ck.splkins(U, P, p, u, r, UQ, Q)
        ck.splkins(U + offset, P, p, u + offset, r, UQs, Qs)
        np.testing.assert_array_equal(UQs, UQ + offset)
        np.testing.assert_allclose(Qs, Q, rtol=1e-12, atol=1e-12)
