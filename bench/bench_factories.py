"""Interpolating factories against SciPy's interpolating constructors on the
same data, their peak memory, and their throughput in two threads."""

import threading
import tracemalloc

import numpy as np
from scipy.interpolate import CubicSpline, make_interp_spline

from videvo import trajmake
from common import Case


def sample(count, seed=0):
    rng = np.random.default_rng(seed)
    x = np.r_[0.0, np.sort(rng.uniform(0.0, 100.0, count - 2)), 100.0]
    return x, np.sin(x)


def peak_megabytes(fn):
    """Peak of the memory traced (NumPy arrays and the interpreter's
    allocator, which holds the trajectory's buffers) during one call."""
    tracemalloc.start()
    try:
        fn()
        return tracemalloc.get_traced_memory()[1] / 1e6
    finally:
        tracemalloc.stop()


def cases():
    rows = []
    for count, label in ((10**5, "1e5"), (10**6, "1e6")):
        x, y = sample(count)
        t = trajmake.fromdata(x, y, 3, 0)
        assert np.allclose(t(x), y, atol=1e-9)
        note = "SciPy: make_interp_spline(k=3)"
        if count == 10**6:
            mb = peak_megabytes(lambda: trajmake.fromdata(x, y, 3, 0))
            note += f"; peak memory {mb:.0f} MB (result {16 * count / 1e6:.0f} MB + upper factor)"
        rows.append(Case(f"fromdata p=3, {label} points", lambda x=x, y=y: trajmake.fromdata(x, y, 3, 0),
                         lambda x=x, y=y: make_interp_spline(x, y, k=3), repeat=5 if count > 10**5 else 9,
                         note=note, points=count))

    xc, yc = sample(10**6, seed=1)
    rows.append(Case("fromdatatdma, 1e6 vs make_interp_spline", lambda: trajmake.fromdatatdma(xc, yc, 0),
                     lambda: make_interp_spline(xc, yc, k=3, bc_type="clamped"), repeat=5,
                     note="SciPy: make_interp_spline(k=3, clamped)"))
    rows.append(Case("fromdatatdma, 1e6 vs CubicSpline", lambda: trajmake.fromdatatdma(xc, yc, 0),
                     lambda: CubicSpline(xc, yc, bc_type="clamped"), repeat=5, note="SciPy: CubicSpline(clamped)"))

    # Per-point cost from 1e6 to 1e7 points, where the arrays no longer fit in
    # the caches and every buffer of a call is fresh memory.
    xs, ys = sample(10**7, seed=3)

    def ten_calls():
        for _ in range(10):
            trajmake.fromdatatdma(xc, yc, 0)  # each result freed before the next call

    rows.append(Case("fromdatatdma, 1e7 vs 10 x 1e6 (scaling)", lambda: trajmake.fromdatatdma(xs, ys, 0), ten_calls,
                     repeat=5, points=10**7,
                     note="other column: 10 calls at 1e6; ratio = per-point cost at 1e6 / at 1e7"))

    xt, yt = sample(2 * 10**5, seed=2)

    def two_threads():
        workers = [threading.Thread(target=lambda: [trajmake.fromdata(xt, yt, 3, 0) for _ in range(2)])
                   for _ in range(2)]
        for w in workers:
            w.start()
        for w in workers:
            w.join()

    rows.append(Case("fromdata 4 x 2e5 points, 2 threads vs 1", two_threads,
                     lambda: [trajmake.fromdata(xt, yt, 3, 0) for _ in range(4)], repeat=5,
                     note="SciPy column: the same in one thread; ratio = speed-up"))
    return rows
