"""Clamped B-splines for the tests of the exact curve algorithms.

Random splines are seeded; their interior knots lie on a grid of step 0.1 in
(0, 3), so that no two distinct knots are closer than 0.1 and the exact
transformations stay well conditioned.  `values` evaluates through SciPy, the
reference the results are compared with.
"""

import numpy as np
from hypothesis import strategies as st
from scipy.interpolate import BSpline

from videvo import curvekit as ck

START, STOP = 0.0, 3.0
GRID = np.round(np.arange(1, 30) * 0.1, 12)
SAMPLES = np.linspace(START, STOP, 241)


def clamped(p, interior):
    return np.concatenate([np.full(p + 1, START), np.asarray(interior, float), np.full(p + 1, STOP)])


def random_spline(rng, p, max_mult=None, n_values=None):
    """(U, P) of degree p with up to six interior knot values of multiplicity
    1..max_mult (p by default)."""
    max_mult = p if max_mult is None else max_mult
    n_values = int(rng.integers(0, 7)) if n_values is None else n_values
    values_ = np.sort(rng.choice(GRID, n_values, replace=False))
    mults = rng.integers(1, max_mult + 1, n_values) if max_mult > 0 else np.zeros(n_values, int)
    U = clamped(p, np.repeat(values_, mults))
    P = rng.normal(scale=2.0, size=len(U) - p - 1)
    return U, P


def max_interior_mult(U, p):
    interior = U[p + 1 : len(U) - p - 1]
    return max((int(np.sum(interior == v)) for v in np.unique(interior)), default=0)


def failure(code):
    """The message of a kernel status code."""
    return f"the algorithm failed with 'info' value: {code}"


def inserted(U, P, p, u, r):
    """The curve with u inserted r times (splkins into new arrays)."""
    UQ, Q = np.full(len(U) + r, np.nan), np.full(len(P) + r, np.nan)
    ck.splkins(U, P, p, u, r, UQ, Q)
    return UQ, Q


def values(U, P, p, x=SAMPLES):
    return BSpline(U, P, p)(x)


def scale(P):
    return max(1.0, float(np.max(np.abs(P))))


@st.composite
def splines(draw, min_degree=1, max_degree=5):
    """(U, P, p) with interior knots on GRID and multiplicities up to p."""
    p = draw(st.integers(min_degree, max_degree))
    chosen = draw(st.lists(st.sampled_from(list(GRID)), max_size=5, unique=True))
    mults = [draw(st.integers(1, max(p, 1))) for _ in chosen]
    U = clamped(p, np.repeat(np.sort(chosen), mults) if chosen else [])
    coef = st.floats(-10, 10, allow_nan=False, allow_infinity=False)
    P = np.array(draw(st.lists(coef, min_size=len(U) - p - 1, max_size=len(U) - p - 1)))
    return U, P, p
