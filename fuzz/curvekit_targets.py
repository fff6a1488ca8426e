"""Fuzz drivers of the curve module: one per function or family, each
comparing successful results with SciPy or with an identity."""

import math

import numpy as np
from scipy.interpolate import BSpline

import videvo.curvekit as ck
from common import check, inside, scale, simple_multiplicities, spline


def _curve(U, P, p):
    return BSpline(U, P, p, extrapolate=False)


def evaluation(rng):
    U, P, p = spline(rng, hostile=rng.random() < 0.3)
    x = inside(rng, U, 16)
    v = x.copy()
    ck.splcev(v, U, P, p)
    for u, value in zip(x[:4], v[:4]):
        check(abs(ck.splpev(float(u), U, P, p) - value) <= 1e-12 * scale(P), "splpev differs from splcev", u=u)
    if simple_multiplicities(U, p) and U[-1] > U[0]:
        ref = _curve(U, P, p)(x)
        check(np.allclose(v, ref, rtol=0, atol=1e-9 * scale(P)), "splcev against SciPy", U=U, P=P, p=p)
    k = ck.findspan(p, float(x[0]), U)
    check(p <= k <= len(U) - p - 2, "findspan outside the spans", k=k)


def derivatives(rng):
    U, P, p = spline(rng, hostile=rng.random() < 0.3)
    x = inside(rng, U, 8)
    r2 = int(rng.integers(0, p + 3))
    CK = np.empty((r2 + 1, len(x)))
    ck.dsplcev(x, U, P, p, 0, r2, CK)
    if simple_multiplicities(U, p) and U[-1] - U[0] > 1e-3:
        for d in range(min(r2, p) + 1):
            ref = _curve(U, P, p).derivative(d)(x) if d else _curve(U, P, p)(x)
            width = U[-1] - U[0]
            tol = 1e-7 * scale(P) * (max(p, 1) / width) ** d * 10.0 ** d
            check(np.allclose(CK[d], ref, rtol=1e-7, atol=tol), "dsplcev against SciPy", d=d, U=U, P=P, p=p)
        check(np.all(CK[p + 1:] == 0.0), "derivatives above the degree are not zero")


def derivative_curves(rng):
    U, P, p = spline(rng, pmax=5)
    if p == 0:
        return
    UK, PK = np.empty(len(U) - 2), np.empty(len(P) - 1)
    ck.dsplcpts2(U, P, p, 1, UK, PK)
    x = inside(rng, U, 8)
    if simple_multiplicities(U, p):
        ref = _curve(U, P, p).derivative(1)(x)
        got = x.copy()
        ck.splcev(got, UK, PK, p - 1)
        check(np.allclose(got, ref, rtol=1e-8, atol=1e-8 * scale(P) * len(U)), "dsplcpts2 against SciPy")
    UA, PA = np.empty(len(U) + 2), np.empty(len(P) + 1)
    ck.asplcpts(U, P, p, 1, UA, PA)
    back_U, back_P = np.empty(len(UA) - 2), np.empty(len(PA) - 1)
    ck.dsplcpts2(UA, PA, p + 1, 1, back_U, back_P)
    check(np.allclose(back_P, P, rtol=1e-9, atol=1e-9 * scale(P)), "derivative of the antiderivative")


def basis(rng):
    U, P, p = spline(rng, hostile=rng.random() < 0.3)
    u = float(inside(rng, U, 1)[0])
    span = ck.findspan(p, u, U)
    N = np.empty(p + 1)
    ck.bfunspev(u, span, U, p, N)
    check(abs(N.sum() - 1.0) < 1e-9 and np.all(N >= -1e-12), "basis functions are no partition of unity", N=N)
    k = int(rng.integers(0, p + 2))
    nders = np.empty((k + 1, p + 1))
    ck.dbfunspev(u, span, U, p, k, nders)
    check(np.allclose(nders[0], N, rtol=0, atol=1e-12), "dbfunspev row 0 differs from bfunspev")


def placement(rng):
    p = int(rng.integers(1, 6))
    x = np.sort(rng.uniform(-5, 5, int(rng.integers(1, 20))))
    for place, extra in ((ck.eqspaced, 0), (ck.averaging, 0), (ck.averaging2, 2)):
        U = np.empty(len(x) + p + 1 + extra)
        place(x, p, U)
        check(ck.validknots(p, U) == 0 or x[0] == x[-1], f"{place.__name__} made an invalid knot vector", x=x, p=p)
    k, l = int(rng.integers(0, p + 1)), int(rng.integers(0, p + 1))
    U = np.empty(len(x) + k + l + p + 1)
    ck.averaging3(x, p, k, l, U)
    check(ck.validknots(p, U) == 0 or x[0] == x[-1], "averaging3 made an invalid knot vector")


def insertion(rng):
    U, P, p = spline(rng, hostile=rng.random() < 0.3)
    X = np.sort(rng.uniform(U[0], U[-1], int(rng.integers(1, 6))))
    Ubar, Q = np.empty(len(U) + len(X)), np.empty(len(P) + len(X))
    ck.splkref(U, P, p, X, Ubar, Q)
    if simple_multiplicities(U, p) and simple_multiplicities(Ubar, p):
        x = inside(rng, U, 16)
        check(np.allclose(_curve(Ubar, Q, p)(x), _curve(U, P, p)(x), rtol=0, atol=1e-9 * scale(P)),
              "splkref changed the curve", U=U, P=P, p=p, X=X)
    u, r = float(X[0]), int(rng.integers(1, 4))
    UQ, Q1 = np.empty(len(U) + r), np.empty(len(P) + r)
    ck.splkins(U, P, p, u, r, UQ, Q1)
    t = ck.splkrem(UQ, Q1, p, u, r, 1e-9 * scale(P))
    # Removal divides by the distances to the neighbouring knots: near them
    # rounding may exceed the tolerance.
    width = U[-1] - U[0]
    if np.min(np.abs(np.unique(U) - u)) > 0.02 * width and width > 1e-3:
        check(t == r, "an inserted knot could not be removed again", t=t, r=r, U=U, u=u)
    if t == r:
        check(np.allclose(Q1[:len(P)], P, rtol=0, atol=1e-7 * scale(P)), "removal did not restore the curve")


def removal(rng):
    U, P, p = spline(rng, hostile=rng.random() < 0.5)
    tol = float(rng.choice([0.0, 1e-11, 1e-3, 1.0, math.inf]))
    U2, P2 = U.copy(), P.copy()
    g = ck.splksrem(U2, P2, p, tol)
    check(0 <= g <= len(P) - p - 1, "splksrem removed more than the interior knots", g=g)
    check(ck.validknots(p, U2[:len(U2) - g]) == 0, "splksrem left an invalid knot vector", U=U, p=p)
    inner = U[p + 1:len(U) - p - 1]
    if len(inner):
        u = float(rng.choice(inner))
        try:
            ck.getbndrem(U, P, p, u)
        except ValueError:
            pass
        ck.splkrem_notol(U.copy(), P.copy(), p, u, 1)


def elevation(rng):
    U, P, p = spline(rng, pmax=12, hostile=rng.random() < 0.3)
    t = int(rng.integers(1, 26 - p))
    s = len(np.unique(U[p + 1:len(U) - p - 1]))
    Uh, Q = np.empty(len(U) + t * (s + 2)), np.empty(len(P) + t * (s + 1))
    ck.degelevc(U, P, p, t, Uh, Q)
    if U[-1] > U[0] and simple_multiplicities(U, p):
        x = inside(rng, U, 32)
        check(np.allclose(_curve(Uh, Q, p + t)(x), _curve(U, P, p)(x), rtol=0, atol=1e-12 * scale(P) * (p + t)),
              "degelevc changed the curve", U=U, P=P, p=p, t=t)


def interpolation(rng):
    p = int(rng.integers(2, 7))
    count = int(rng.integers(2, 30))
    x = np.sort(rng.uniform(0, 10, count))
    if rng.random() < 0.2 and count > 3:
        x[count // 2] = x[count // 2 - 1] + 3e-9
        x = np.sort(x)
    y = np.sin(x) * 3
    U, P = np.empty(count + p + 1), np.empty(count)
    ck.averaging(x, p, U)
    ck.gcsplint(x, y, p, U, P)
    if len(np.unique(x)) == count:
        resid = np.abs(_curve(U, P, p)(x) - y)
        bound = 1e-9 * np.maximum(_curve(U, np.abs(P), p)(x), 3.0)
        check(np.all(resid <= bound), "gcsplint misses the data", x=x, p=p)
    if count >= 4:
        U3, P3 = np.empty(count + 6), np.empty(count + 2)
        ck.cdsplint(x, y, U3, P3, (float(rng.normal()), float(rng.normal())))
        if np.min(np.diff(x)) > 1e-6:
            check(np.allclose(_curve(U3, P3, 3)(x), y, rtol=0, atol=1e-8 * scale(P3)), "cdsplint misses the data")


def bezier(rng):
    p = int(rng.integers(0, 30))
    P = rng.normal(size=p + 1)
    x = rng.uniform(0, 1, 8)
    ref = [sum(math.comb(p, i) * u**i * (1 - u) ** (p - i) * P[i] for i in range(p + 1)) for u in x]
    for single, many in ((ck.bezpev, ck.bezcev), (ck.bezpev2, ck.bezcev2)):
        got = x.copy()
        many(got, P)
        check(np.allclose(got, ref, rtol=0, atol=1e-10 * scale(P) * 2.0 ** min(p, 30) / (p + 1)),
              f"{many.__name__} against the Bernstein sum", p=p)
        check(abs(single(float(x[0]), P) - ref[0]) <= 1e-9 * scale(P) * 2.0 ** min(p, 30) / (p + 1),
              f"{single.__name__} against the Bernstein sum")
    M = np.empty((p + 1, p + 1))
    ck.getbezmat(p, M)


TARGETS = {f.__name__: f for f in (evaluation, derivatives, derivative_curves, basis, placement, insertion,
                                   removal, elevation, interpolation, bezier)}
