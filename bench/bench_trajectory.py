"""Trajectory1d evaluation and pickling against scipy.interpolate, on clamped
cubics with random knots (1,000 control points unless a row says otherwise)."""

import pickle

import numpy as np
from scipy.interpolate import BSpline, splev

from videvo import trajmake
from common import Case, memory_note, random_clamped


def curve(n_cpts, seed=0):
    U, P, p = random_clamped(n_cpts, 3, seed=seed)
    return trajmake.bspltraj(U, P, p, 0), BSpline(U, P, p), (U, P, p)


def scalar_rows():
    rows = []
    for n_cpts in (10**3, 10**4, 10**5, 10**6):
        t, _, tck = curve(n_cpts)
        assert abs(t(3.7) - splev(3.7, tck)) < 1e-12
        # statements, not lambdas: a lambda call would add about 20 ns to both sides
        rows.append(Case(f"t(3.7), {n_cpts:.0e} control points (vs splev)", "t(3.7)", "splev(3.7, tck)",
                         names={"t": t, "splev": splev, "tck": tck},
                         number=20000 if n_cpts < 10**5 else 2000, repeat=7))
    t, _, tck = curve(10**3)
    assert abs(t(3.7, 1) - splev(3.7, tck, der=1)) < 1e-9
    rows.append(Case("t(3.7, 1), 1e+03 control points (vs splev der=1)", "t(3.7, 1)", "splev(3.7, tck, der=1)",
                     names={"t": t, "splev": splev, "tck": tck}, number=20000, repeat=7))
    # A new point every call (the span of the previous one rarely serves):
    # ns/pt is the time of one call, the loop included.
    for n_cpts in (10**3, 10**5):
        t, _, tck = curve(n_cpts)
        us = np.random.default_rng(4).uniform(0, 10, 1000).tolist()
        rows.append(Case(f"t(u), 1e3 random floats one by one, {n_cpts:.0e} cpts", lambda t=t: [t(u) for u in us],
                         lambda tck=tck: [splev(u, tck) for u in us], number=20, repeat=7, points=len(us)))
    return rows


def array_rows():
    t, spline, _ = curve(10**3)
    x = np.linspace(0, 10, 10**6)
    rows = [
        Case("t(x), 1e6 sorted points", lambda: t(x), lambda: spline(x), points=x.size,
             note=memory_note(lambda: t(x), lambda: spline(x))),
        Case("t(x, 1), 1e6 sorted points", lambda: t(x, 1), lambda: spline(x, nu=1), points=x.size,
             note=memory_note(lambda: t(x, 1), lambda: spline(x, nu=1))),
        Case("t(x, 3), 1e6 sorted points", lambda: t(x, 3), lambda: spline(x, nu=3), points=x.size),
    ]
    for size in (10**3, 10**4, 10**7):  # scaling of the sorted route
        xk = np.linspace(0, 10, size)
        rows.append(Case(f"t(x), {size:.0e} sorted points", lambda xk=xk: t(xk), lambda xk=xk: spline(xk),
                         number=max(1, 10**5 // size), repeat=3 if size > 10**6 else 7, points=size))
    big, big_spline, _ = curve(10**6, seed=2)
    ten = np.sort(np.random.default_rng(3).uniform(0, 10, 10))
    rows.append(Case("t(x), 10 sorted points, 1e6 control points", lambda: big(ten), lambda: big_spline(ten),
                     number=200, repeat=5))
    # a hundred spans between neighbours: each point searches its own span,
    # from the span index that the trajectory keeps once the first calls
    # have built it (about 2 ms, paid once)
    sparse = np.sort(np.random.default_rng(4).uniform(0, 10, 10**4))
    rows.append(Case("t(x), 1e4 sorted points, 1e6 control points", lambda: big(sparse), lambda: big_spline(sparse),
                     number=10, repeat=7, points=sparse.size))
    # (names of their own: the rows above call t and spline when they run)
    for n_cpts in (10**3, 10**5):
        tn, sn, _ = curve(n_cpts)
        for size in (10**4, 10**6, 10**7) if n_cpts == 10**3 else (10**6,):
            xs = np.random.default_rng(1).uniform(0, 10, size)
            assert np.allclose(tn(xs[:1000]), sn(xs[:1000]), rtol=1e-12, atol=1e-12)
            rows.append(Case(f"t(x), {size:.0e} unsorted points, {n_cpts:.0e} cpts", lambda t=tn, xs=xs: t(xs),
                             lambda s=sn, xs=xs: s(xs), number=max(1, 10**5 // size),
                             repeat=3 if size > 10**6 else 7, points=size, note=memory_note(lambda: tn(xs), lambda: sn(xs))))
            if n_cpts == 10**3 and size == 10**6:
                rows.append(Case("t(x, 1), 1e6 unsorted points, 1e+03 cpts", lambda t=tn, xs=xs: t(xs, 1),
                                 lambda s=sn, xs=xs: s(xs, nu=1), repeat=7, points=size))
    # A few points in any order a call, as a controller asks for them: the
    # span index that the first calls build stays with the trajectory.
    tk, sk, _ = curve(10**5)
    few = np.random.default_rng(5).uniform(0, 10, 512)
    rows.append(Case("t(x), 512 unsorted points a call, 1e5 cpts", lambda: tk(few), lambda: sk(few),
                     number=200, repeat=7, points=few.size))
    return rows


def thread_rows():
    # Two threads of a pool started beforehand, as a program that evaluates
    # in threads would keep them: starting a thread takes about 0.1 ms, a
    # large part of one sorted evaluation.
    from concurrent.futures import ThreadPoolExecutor

    t, _, _ = curve(10**3)
    pool = ThreadPoolExecutor(2)
    list(pool.map(np.sort, [np.zeros(10**6)] * 2))  # (both threads started)
    rows = []
    for order in ("unsorted", "sorted"):
        xs = [np.random.default_rng(i).uniform(0, 10, 10**6) for i in range(2)]
        if order == "sorted":
            xs = [np.sort(x) for x in xs]

        def serial(xs=xs):
            for x in xs:
                t(x)

        def two_threads(xs=xs):
            for _ in pool.map(t, xs):
                pass

        # Both warmed up first: the first calls in a thread fault in fresh
        # memory for its results (the allocator's arena of that thread),
        # which a program that keeps evaluating in threads pays once.
        for _ in range(10):
            serial()
            two_threads()
        # The SciPy column is the serial videvo run: the ratio is the speed-up.
        # Ten calls a sample, as such a program makes them: on a virtual
        # machine the median of single calls swung from 0.55 to 1.1 of the
        # serial time from run to run (page faults ruled out), while ten in
        # a row stayed at 0.55 to 0.6.
        rows.append(Case(f"two threads x 1e6 {order} points (vs serial)", two_threads, serial, number=10, repeat=9))
    return rows


def cases():
    big = trajmake.bspltraj(*random_clamped(10**6, 3, seed=2)[:2], 3, 0)
    volume = 8 * (big.get_knotvector_asarray().size + big.get_cpts_asarray().size)

    def round_trip():
        return pickle.loads(pickle.dumps(big, protocol=pickle.HIGHEST_PROTOCOL))

    t, _, tck = curve(10**3)
    assert round_trip().__getstate__() == big.__getstate__()
    return scalar_rows() + [
        Case("t.peval(x), one point (vs splev)", lambda: t.peval(3.3), lambda: splev(3.3, tck),
             number=20000, repeat=7),
    ] + array_rows() + thread_rows() + [
        Case("pickle round trip, 1e6 control points", round_trip, volume=volume,
             note=f"of trajectory data ({volume / 1e6:.0f} MB, dumped and loaded)"),
    ]
