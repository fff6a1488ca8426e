"""Exact curve algorithms: knot insertion, derivative and antiderivative curves
against scipy.interpolate on a clamped cubic with 1,000 control points, and
degree elevation and removal of all knots at 10^4 and 10^5 control points
(their times should grow tenfold between the two rows)."""

import numpy as np
from scipy.interpolate import insert, splantider, splder

import videvo.curvekit as ck
from common import Case, random_clamped


def distinct_interior(U, p):
    interior = U[p + 1 : len(U) - p - 1]
    return int(np.count_nonzero(np.diff(interior))) + (1 if interior.size else 0)


def elevation_case(n_cpts):
    U, P, p = random_clamped(n_cpts, 3, seed=2)
    s = distinct_interior(U, p)
    Uh, Q = np.empty(len(U) + s + 2), np.empty(len(P) + s + 1)
    return Case(f"degelevc cubic by 1, {n_cpts:.0e} cpts", lambda: ck.degelevc(U, P, p, 1, Uh, Q),
                repeat=5)


def removal_case(n_cpts):
    # A cubic on jittered, evenly spread knots, refined at the middle of every
    # span: half of the knots go again.
    rng = np.random.default_rng(3)
    p, n0 = 3, n_cpts // 2
    inner = (np.arange(1, n0 - p) + rng.uniform(-0.3, 0.3, n0 - p - 1)) / (n0 - p)
    U0 = np.concatenate([np.zeros(p + 1), inner, np.ones(p + 1)])
    P0 = rng.normal(size=n0)
    inner = U0[p : len(U0) - p]
    X = (inner[:-1] + inner[1:]) / 2
    U, P = np.empty(len(U0) + len(X)), np.empty(len(P0) + len(X))
    ck.splkref(U0, P0, p, X, U, P)
    Uw, Pw = U.copy(), P.copy()

    def refill():
        Uw[:] = U
        Pw[:] = P

    refill()
    assert ck.splksrem(Uw, Pw, p) == len(X)
    return Case(f"splksrem cubic, {len(P):.0e} cpts", lambda: ck.splksrem(Uw, Pw, p), prepare=refill,
                repeat=5, note=f"removes {len(X)}")


def cases():
    U, P, p = random_clamped(1000, 3)
    tck = (U, np.concatenate([P, np.zeros(p + 1)]), p)  # FITPACK pads c to len(t)
    u = 0.5 * (U[500] + U[501])
    UQ, Q = np.empty(len(U) + 1), np.empty(len(P) + 1)
    UK, PK = np.empty(len(U) - 2), np.empty(len(P))
    UA, PA = np.empty(len(U) + 2), np.empty(len(P) + 1)

    ck.splkins(U, P, p, u, 1, UQ, Q)
    assert np.allclose(Q, insert(u, tck)[1][: len(Q)])
    ck.asplcpts(U, P, p, 1, UA, PA)
    assert np.allclose(PA, splantider(tck)[1][: len(PA)])

    return [
        Case("splkins one knot, 1e3 cpts (vs insert)", lambda: ck.splkins(U, P, p, u, 1, UQ, Q),
             lambda: insert(u, tck), number=2000),
        Case("dsplcpts2 1st derivative, 1e3 cpts (vs splder)", lambda: ck.dsplcpts2(U, P, p, 1, UK, PK),
             lambda: splder(tck), number=2000),
        Case("asplcpts, 1e3 cpts (vs splantider)", lambda: ck.asplcpts(U, P, p, 1, UA, PA),
             lambda: splantider(tck), number=2000),
        elevation_case(10**4),
        elevation_case(10**5),
        removal_case(10**4),
        removal_case(10**5),
    ]
