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


def logged_move(seed, points=200):
    """A noisy rest-to-rest move of random length and duration (loaded from a
    log, in real use): times x and positions y."""
    rng = np.random.default_rng(seed)
    x = np.sort(rng.uniform(0.0, rng.uniform(0.5, 2.0), points))
    s = (x - x[0]) / (x[-1] - x[0])
    y = rng.uniform(-1, 1) * s**3 * (10 - 15 * s + 6 * s**2) + rng.normal(0, 1e-3, points)
    return x, y


def on_cluster(count, load=logged_move, fit=FIT, partitions=8):
    """Fits and peaks of `count` moves, each loaded and fitted on a worker."""
    fits = bag.from_sequence(range(count), npartitions=partitions).map(load).starmap(motion.approximate, **fit)
    return dask.compute(fits, fits.map(motion.peaks))


def serial(count, load=logged_move, fit=FIT):
    fits = [motion.approximate(*load(seed), **fit) for seed in range(count)]
    return fits, [motion.peaks(t) for t in fits]


def test_fits_and_peaks_on_two_worker_processes_equal_the_serial_run():
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                                  dashboard_address=":0") as cluster, distributed.Client(cluster):
        trajectories, peaks = on_cluster(2000)
    fits, want = serial(2000)
    assert len(trajectories) == 2000
    # the trajectories came back by pickle, bit for bit
    assert [t.__getstate__() for t in trajectories] == [t.__getstate__() for t in fits]
    assert peaks == want
