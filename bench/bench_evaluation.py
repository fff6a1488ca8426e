"""Curve evaluation: curvekit against scipy.interpolate on a clamped cubic
with 1,000 control points on random knots."""

import numpy as np
from scipy.interpolate import BSpline, splev

import videvo.curvekit as ck
from common import Case, random_clamped


def cases():
    U, P, p = random_clamped(1000, 3)
    spline = BSpline(U, P, p)
    tck = (U, P, p)
    x = np.linspace(U[0], U[-1], 10**6)
    C = np.empty_like(x)
    CK = np.empty((1, x.size))
    xs = np.random.default_rng(1).permutation(x)

    def refill_sorted():
        C[:] = x

    def refill_unsorted():
        C[:] = xs

    def check_span_walk():
        # The sorted fast path must give the spans of the binary search: the
        # values agree with the unsorted evaluation of the same points.
        a = x[::101].copy()
        b = a[::-1].copy()
        ck.splcev(a, U, P, p)
        ck.splcev(b, U, P, p)
        assert np.array_equal(a, b[::-1])

    check_span_walk()
    return [
        Case("splcev, 1e6 sorted points", lambda: ck.splcev(C, U, P, p), lambda: spline(x), prepare=refill_sorted,
             points=x.size),
        Case("splcev, 1e6 unsorted points", lambda: ck.splcev(C, U, P, p), lambda: spline(xs), prepare=refill_unsorted,
             points=x.size),
        *[Case(f"dsplcev derivative {nu}, 1e6 sorted points", lambda nu=nu: ck.dsplcev(x, U, P, p, nu, nu, CK),
               lambda nu=nu: spline(x, nu=nu), points=x.size) for nu in (1, 2, 3)],
        Case("splpev one point (vs splev)", lambda: ck.splpev(3.3, U, P, p), lambda: splev(3.3, tck),
             number=20000, repeat=7),
    ]
