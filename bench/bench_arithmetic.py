"""Trajectory1d arithmetic: the exact sum of two cubics on different random
knots at three sizes (no SciPy counterpart: the throughput shows whether the
time grows linearly), and the in-place operators with a number against the
same operation on a NumPy array."""

import operator

import numpy as np

from videvo import trajmake
from common import Case, random_clamped


def sum_cases():
    rows = []
    for n in (10**4, 10**5, 10**6):
        t1 = trajmake.bspltraj(*random_clamped(n, 3, seed=1)[:2], 3, 0)
        t2 = trajmake.bspltraj(*random_clamped(n, 3, seed=2)[:2], 3, 0)
        s = t1 + t2
        x = np.linspace(0, 10, 1001)
        assert np.allclose(s(x), t1(x) + t2(x), rtol=0, atol=1e-9)
        # read: both operands' knots and control points; written: the sum's
        volume = 8 * (2 * (2 * n + 4) + s.get_knotvector_asarray().size + s.get_cpts_asarray().size)
        rows.append(Case(f"t1 + t2, cubic, 2 x {n:.0e} control points", lambda t1=t1, t2=t2: t1 + t2,
                         number=max(1, 10**5 // n), volume=volume, note="(different random knots)"))
    return rows


def in_place_cases():
    U, P, p = random_clamped(10**6, 3, seed=3)
    t = trajmake.bspltraj(U, P, p, 0)
    A = P.copy()
    volume = 2 * 8 * P.size
    return [
        Case("t += 1.0, 1e6 control points (vs P += 1.0)", lambda: operator.iadd(t, 1.0),
             lambda: operator.iadd(A, 1.0), number=20, volume=volume),
        Case("t *= 2.0, 1e6 control points (vs P *= 2.0)", lambda: operator.imul(t, 2.0),
             lambda: operator.imul(A, 2.0), number=20, volume=volume),
    ]


def cases():
    return sum_cases() + in_place_cases()
