"""Motion analysis against the usual SciPy approach: kinematics in one pass
against separate derivative evaluations, exact extrema against dense sampling."""

import atexit
import functools
import pathlib
import sys

import numpy as np
from scipy.interpolate import BSpline

from videvo import motion, trajmake
from common import Case, random_clamped


def cases():
    U, P, p = random_clamped(1000, 3)
    t = trajmake.bspltraj(U, P, p, 0)
    spline = BSpline(U, P, p)
    x = np.linspace(U[0], U[-1], 10**6)
    K = motion.kinematics(t, x, 3)
    assert all(np.array_equal(K[nu], t(x, nu)) for nu in range(4))

    U2, P2, _ = random_clamped(10**4, 3, seed=3)
    t2 = trajmake.bspltraj(U2, P2, 3, 0)
    s2 = BSpline(U2, P2, 3)
    dense = np.linspace(U2[0], U2[-1], 10**6)

    def sampled_max():
        v = s2(dense, nu=1)
        i = np.argmax(v)
        return v[i], dense[i]

    hi, _ = sampled_max()
    assert motion.extrema(t2, 1)[2] >= hi
    return dask_cases() + [
        Case("motion.kinematics upto=3, 1e6 sorted (vs 4 t(x, nu))", lambda: motion.kinematics(t, x, 3),
             lambda: [t(x, nu) for nu in range(4)], note="ratio against videvo's own t(x, nu)"),
        Case("motion.kinematics upto=3, 1e6 sorted (vs 4 BSpline)", lambda: motion.kinematics(t, x, 3),
             lambda: [spline(x, nu=nu) for nu in range(4)]),
        Case("motion.extrema(t, 1), 1e4 cpts (vs BSpline 1e6 + argmax)", lambda: motion.extrema(t2, 1), sampled_max,
             number=10, note="exact against sampled"),
    ]


def dask_cases():
    """approximate + peaks over 2,000 logged moves of 10,000 points, each loaded
    (here: made) and fitted on one of two worker processes of a local Dask
    cluster, against the serial loop in this process.  The cluster starts at
    the first call, which the median leaves out."""
    try:
        from dask.distributed import Client, LocalCluster
    except ImportError:
        return []
    sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1] / "tests"))
    from test_motion_dask import logged_move, on_cluster, serial

    load = functools.partial(logged_move, points=10_000)
    fit = dict(p=3, ncpts=100, slopes=(0.0, 0.0))
    client = []

    def two_workers():
        if not client:
            cluster = LocalCluster(n_workers=2, threads_per_worker=1, dashboard_address=":0")
            client.append(Client(cluster))
            atexit.register(cluster.close)
            atexit.register(client[0].close)
        return on_cluster(2000, load, fit)

    return [Case("motion dask: approximate + peaks, 2000 moves, 2 workers", two_workers,
                 lambda: serial(2000, load, fit), repeat=5, note="ratio = speed-up over the serial loop")]
