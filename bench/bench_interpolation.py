"""Interpolation at curve level: curvekit against scipy.interpolate on the
same data, and the throughput of two threads (the numeric part runs without
the interpreter lock)."""

import threading

import numpy as np
from scipy.interpolate import CubicSpline, make_interp_spline

import videvo.curvekit as ck
from common import Case


def sample(count, seed=0):
    rng = np.random.default_rng(seed)
    x = np.r_[0.0, np.sort(rng.uniform(0.0, 100.0, count - 2)), 100.0]
    return x, np.sin(x)


def global_cubic(x, y):
    """Knots by averaging, control points by gcsplint: what a factory does."""
    U = np.empty(x.size + 4)
    ck.averaging(x, 3, U)
    P = np.empty(x.size)
    ck.gcsplint(x, y, 3, U, P)
    return U, P


def in_threads(fn, threads):
    workers = [threading.Thread(target=fn) for _ in range(threads)]
    for w in workers:
        w.start()
    for w in workers:
        w.join()


def cases():
    rows = []
    for count, label in ((10**5, "1e5"), (10**6, "1e6")):
        x, y = sample(count)
        U, P = global_cubic(x, y)
        reference = make_interp_spline(x, y, k=3, t=U)
        assert np.allclose(P, reference.c, atol=1e-8)
        rows.append(Case(f"gcsplint + averaging, p=3, {label} points", lambda x=x, y=y: global_cubic(x, y),
                         lambda x=x, y=y: make_interp_spline(x, y, k=3), repeat=5 if count > 10**5 else 9,
                         note="SciPy: make_interp_spline(k=3)"))

    xc, yc = sample(10**6, seed=1)
    U, P = np.empty(xc.size + 6), np.empty(xc.size + 2)

    def cubic():
        ck.cdsplint(xc, yc, U, P)

    cubic()
    assert np.allclose(P, make_interp_spline(xc, yc, k=3, bc_type="clamped").c, atol=1e-8)
    rows.append(Case("cdsplint clamped, 1e6 vs make_interp_spline", cubic,
                     lambda: make_interp_spline(xc, yc, k=3, bc_type="clamped"), repeat=5,
                     note="SciPy: make_interp_spline(k=3, clamped)"))
    rows.append(Case("cdsplint clamped, 1e6 vs CubicSpline", cubic, lambda: CubicSpline(xc, yc, bc_type="clamped"),
                     repeat=5, note="SciPy: CubicSpline(clamped)"))

    # Throughput: the same four interpolations in two threads (videvo column)
    # and in one thread (SciPy column); the ratio is the speed-up.
    xt, yt = sample(2 * 10**5, seed=2)
    rows.append(Case("gcsplint 4 x 2e5 points, 2 threads vs 1",
                     lambda: in_threads(lambda: [global_cubic(xt, yt) for _ in range(2)], 2),
                     lambda: [global_cubic(xt, yt) for _ in range(4)], repeat=5,
                     note="SciPy column: one thread; ratio = speed-up"))
    return rows
