"""Shared pieces of the benchmarks: the case record, timing and test data."""

from __future__ import annotations

import statistics
import time
import timeit
from dataclasses import dataclass
from typing import Callable, Optional

import numpy as np


@dataclass
class Case:
    """One benchmark row: videvo against SciPy on the same data, in one run.

    ``prepare`` runs before every timed sample and is not timed (for example
    to refill an array that the timed call overwrites).  ``number`` calls make
    one sample; the row reports the median time per call over ``repeat``
    samples, and the ratio SciPy / videvo.  A row without a SciPy counterpart
    can give its data ``volume`` instead, to be reported as a throughput.

    For calls that take tens of nanoseconds, the cost of calling a lambda
    would be a large part of the figure: such a row gives both sides as
    statements (strings) instead, timed by ``timeit`` with the names in
    ``names``.  The figure then includes only timeit's own loop.
    """

    name: str
    videvo: Callable[[], object] | str
    scipy: Optional[Callable[[], object] | str] = None
    prepare: Optional[Callable[[], None]] = None
    number: int = 1
    repeat: int = 9
    note: str = ""
    volume: int = 0  # bytes moved per call: when set, the row also shows MB/s
    points: int = 0  # points evaluated per call: when set, the row also shows ns per point
    names: Optional[dict] = None  # the globals of statement rows


def time_per_call(fn: Callable[[], object] | str, prepare: Optional[Callable[[], None]], number: int, repeat: int,
                  names: Optional[dict] = None) -> float:
    samples = []
    timer = timeit.Timer(fn, globals=names) if isinstance(fn, str) else None
    for _ in range(repeat):
        if prepare is not None:
            prepare()
        if timer is not None:
            samples.append(timer.timeit(number) / number)
            continue
        t0 = time.perf_counter()
        for _ in range(number):
            fn()
        samples.append((time.perf_counter() - t0) / number)
    return statistics.median(samples)


def random_clamped(n_cpts: int = 1000, p: int = 3, seed: int = 0, start: float = 0.0, stop: float = 10.0):
    """A clamped B-spline with random interior knots: (U, P, p)."""
    rng = np.random.default_rng(seed)
    inner = np.sort(rng.uniform(start, stop, n_cpts - p - 1))
    U = np.concatenate([np.full(p + 1, start), inner, np.full(p + 1, stop)])
    P = rng.normal(size=n_cpts)
    return U, P, p


def peak_mib(fn: Callable[[], object]) -> float:
    """Peak memory that one call of fn allocates through Python and NumPy, in MiB."""
    import tracemalloc

    tracemalloc.start()
    try:
        fn()
        return tracemalloc.get_traced_memory()[1] / 2**20
    finally:
        tracemalloc.stop()


def memory_note(ours: Callable[[], object], theirs: Callable[[], object]) -> str:
    return f"peak {peak_mib(ours):.1f} MiB (SciPy {peak_mib(theirs):.1f} MiB)"
