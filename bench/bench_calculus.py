"""Trajectory1d calculus and knot operations against SciPy, on a clamped cubic
with 1,000 control points: derivative, antiderivative, knot insertion, and
degree elevation (which SciPy lacks: time only)."""

import numpy as np
from scipy.interpolate import BSpline, insert

from videvo import trajmake
from common import Case, random_clamped


def cases():
    U, P, p = random_clamped(1000, 3)
    t = trajmake.bspltraj(U, P, p, 1)
    spline = BSpline(U, P, p)
    tck = (U, P, p)
    u = 3.3
    x = np.linspace(U[0], U[-1], 101)
    assert np.allclose(t.derivative()(x), spline.derivative()(x), rtol=1e-10, atol=1e-10)
    assert np.allclose(t.antiderivative()(x), spline.antiderivative()(x), rtol=1e-12, atol=1e-12)
    assert np.allclose(t.knotins(u, 1)(x), BSpline(*insert(u, tck, 1))(x), rtol=1e-12, atol=1e-12)
    assert np.allclose(t.degelev(1)(x), spline(x), rtol=1e-12, atol=1e-12)
    return [
        Case("t.derivative(), 1e3 control points", t.derivative, spline.derivative, number=500),
        Case("t.antiderivative(), 1e3 control points", t.antiderivative, spline.antiderivative, number=500),
        Case("t.knotins(u, 1), 1e3 control points (vs insert)", lambda: t.knotins(u, 1),
             lambda: insert(u, tck, 1), number=500),
        Case("t.degelev(1), 1e3 control points", lambda: t.degelev(1), number=200,
             note="SciPy has no degree elevation"),
    ]
