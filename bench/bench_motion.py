"""Motion analysis against the usual SciPy approach: kinematics in one pass
against separate derivative evaluations, exact extrema against dense sampling."""

import atexit
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
    """approximate + peaks over 2,000 logged moves: two worker processes of a
    local Dask cluster (started at the first call, not timed after it) against
    the serial loop in this process."""
    try:
        import dask
        import dask.bag as db
        from dask.distributed import Client, LocalCluster
    except ImportError:
        return []
    sys.path.insert(0, str(__import__("pathlib").Path(__file__).resolve().parents[1] / "tests"))
    from test_motion_dask import FIT, logged_moves

    moves = logged_moves(2000)
    client = []

    def on_cluster():
        if not client:
            cluster = LocalCluster(n_workers=2, threads_per_worker=1, dashboard_address=None)
            client.append(Client(cluster))
            atexit.register(cluster.close)
            atexit.register(client[0].close)
        fits = db.from_sequence(moves, npartitions=8).starmap(motion.approximate, **FIT)
        return dask.compute(fits, fits.map(motion.peaks))

    def serial():
        fits = [motion.approximate(x, y, **FIT) for x, y in moves]
        return fits, [motion.peaks(t) for t in fits]

    return [Case("motion dask: approximate + peaks, 2000 moves, 2 workers", on_cluster, serial, repeat=5,
                 note="ratio = speed-up over the serial loop")]
