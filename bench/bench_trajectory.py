"""Trajectory1d evaluation and pickling against scipy.interpolate, on the
clamped cubic with 1,000 control points of the curve benchmarks."""

import pickle

import numpy as np
from scipy.interpolate import BSpline, splev

from videvo import trajmake
from common import Case, random_clamped


def cases():
    U, P, p = random_clamped(1000, 3)
    t = trajmake.bspltraj(U, P, p, 0)
    spline = BSpline(U, P, p)
    tck = (U, P, p)
    x = np.linspace(U[0], U[-1], 10**6)
    xs = np.random.default_rng(1).permutation(x)
    assert np.allclose(t(xs[:1000]), spline(xs[:1000]), rtol=1e-12, atol=1e-12)
    assert np.allclose(t(x[::1000], 3), spline(x[::1000], nu=3), rtol=1e-9, atol=1e-9)

    big = trajmake.bspltraj(*random_clamped(10**6, 3, seed=2)[:2], 3, 0)
    volume = 8 * (big.get_knotvector_asarray().size + big.get_cpts_asarray().size)

    def round_trip():
        return pickle.loads(pickle.dumps(big, protocol=pickle.HIGHEST_PROTOCOL))

    assert round_trip().__getstate__() == big.__getstate__()
    return [
        Case("t.peval(x), one point (vs splev)", lambda: t.peval(3.3), lambda: splev(3.3, tck),
             number=20000, repeat=7),
        Case("t(x), one point (vs splev)", lambda: t(3.3), lambda: splev(3.3, tck), number=20000, repeat=7),
        Case("t(x), 1e6 sorted points", lambda: t(x), lambda: spline(x)),
        Case("t(x), 1e6 unsorted points (sort included)", lambda: t(xs), lambda: spline(xs)),
        Case("t(x, 3), 1e6 sorted points", lambda: t(x, 3), lambda: spline(x, nu=3)),
        Case("pickle round trip, 1e6 control points", round_trip, volume=volume,
             note=f"of trajectory data ({volume / 1e6:.0f} MB, dumped and loaded)"),
    ]
