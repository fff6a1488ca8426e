"""Many trajectories on a cluster: least-squares fits and their peaks over
2,000 logged moves on a local Dask cluster of two worker processes, equal to
the serial run."""

import numpy as np
import pytest

from videvo import motion

dask = pytest.importorskip("dask")
bag = pytest.importorskip("dask.bag")
distributed = pytest.importorskip("dask.distributed")

FIT = dict(p=3, ncpts=12, slopes=(0.0, 0.0))


def logged_moves(count, points=200, seed=0):
    """Noisy rest-to-rest moves of random length and duration."""
    rng = np.random.default_rng(seed)
    moves = []
    for _ in range(count):
        x = np.sort(rng.uniform(0.0, rng.uniform(0.5, 2.0), points))
        s = (x - x[0]) / (x[-1] - x[0])
        y = rng.uniform(-1, 1) * s**3 * (10 - 15 * s + 6 * s**2) + rng.normal(0, 1e-3, points)
        moves.append((x, y))
    return moves


def test_fits_and_peaks_on_two_worker_processes_equal_the_serial_run():
    moves = logged_moves(2000)
    serial = [motion.approximate(x, y, **FIT) for x, y in moves]
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                                  dashboard_address=None) as cluster, distributed.Client(cluster):
        fits = bag.from_sequence(moves, npartitions=8).starmap(motion.approximate, **FIT)
        trajectories, peaks = dask.compute(fits, fits.map(motion.peaks))
    assert len(trajectories) == 2000
    # the trajectories came back by pickle, bit for bit
    assert [t.__getstate__() for t in trajectories] == [t.__getstate__() for t in serial]
    assert peaks == [motion.peaks(t) for t in serial]
