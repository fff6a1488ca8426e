"""Fuzz drivers of trajectories: the factories against SciPy, the pickled
state and _dset_data with hostile fields, and Python subclasses whose
redefinitions misbehave."""

import pickle

import numpy as np
from scipy.interpolate import BSpline

import videvo.curvekit as ck
import videvo.trajmake as tm
from videvo.trajdata import Trajectory1d
from common import check, inside, scale, simple_multiplicities, spline


def factories(rng):
    U, P, p = spline(rng, hostile=rng.random() < 0.3)
    t = tm.bspltraj(U, P, p, int(rng.integers(0, 3)))
    x = inside(rng, U, 12)
    v = x.copy()
    ck.splcev(v, U, P, p)
    check(np.array_equal(t(x), v), "a trajectory evaluates unlike its curve", U=U, P=P, p=p)
    count = int(rng.integers(2, 25))
    xp = np.sort(rng.uniform(-2, 2, count))
    fp = np.cos(xp)
    q = int(rng.integers(1, 6))
    kind = int(rng.integers(0, 3))
    if kind == 0:
        made = tm.fromdata(xp, fp, q, 0, bool(rng.integers(0, 2)), (float(rng.normal()), 0.0))
    elif kind == 1:
        made = tm.fromdatatdma(xp, fp, 0, (float(rng.normal()), float(rng.normal())))
    else:
        k, l = int(rng.integers(0, q)), int(rng.integers(0, q))
        made = tm.fromdatawaed(xp, fp, q, 0, rng.normal(size=k), rng.normal(size=l))
    if np.min(np.diff(xp)) > 1e-3:
        U2, P2 = made.get_knotvector_asarray(), made.get_cpts_asarray()
        ref = BSpline(U2, P2, made.p)(xp)
        bound = 1e-9 * np.maximum(BSpline(U2, np.abs(P2), made.p)(xp), 1.0)
        check(np.all(np.abs(ref - fp) <= bound), "a factory's trajectory misses its data", kind=kind, xp=xp)


def _state(rng):
    U, P, p = spline(rng, hostile=True)
    knots, cpts = U.tobytes(), P.tobytes()
    n = len(P) - 1
    order = int(rng.choice([0, 1, 7, 2**32 - 1, -1, 2**32]))
    owner = bool(rng.integers(0, 2))
    kind = int(rng.integers(0, 8))
    if kind == 1:
        knots = knots[:-8]
    elif kind == 2:
        p, n = int(rng.choice([-1, 2**31 - 1, -2**31])), n
    elif kind == 3:
        n = int(rng.choice([-1, 2**31 - 1, n + 1]))
    elif kind == 4:
        knots = bytearray(knots)
    elif kind == 5:
        cpts = None
    elif kind == 6:
        knots = rng.bytes(len(knots))  # any doubles, NaN included
    return (knots, cpts, p, n, order, owner)


def states(rng):
    t = Trajectory1d()
    for _ in range(3):
        state = _state(rng)
        try:
            t.__setstate__(state)
        except (ValueError, TypeError, OverflowError):
            continue
        got = t.__getstate__()
        check(got[:4] == state[:4] and got[5] == state[5], "the state does not come back", state=state[2:])
        again = pickle.loads(pickle.dumps(t))
        check(again.__getstate__() == got, "pickling does not round-trip")
        view = t.get_cpts_asarray()
        try:
            t._dset_data(*state)
            check(False, "data replaced under a live view")
        except BufferError:
            pass
        del view


class _Misbehaving(Trajectory1d):
    mode = 0
    other_state = None
    kept = []

    def peval(self, x):
        if self.mode == 0:
            raise KeyError("peval")
        if self.mode == 1:
            return "not a number"
        if self.mode == 2:
            self.__setstate__(self.other_state)
        return super().peval(x)

    def ceval(self, xp):
        if self.mode == 0:
            raise KeyError("ceval")
        if self.mode == 3:
            _Misbehaving.kept.append(xp)
        super().ceval(xp)
        return 5

    def copy(self):
        return [self] if self.mode == 1 else super().copy()


def subclasses(rng):
    U, P, p = spline(rng)
    s = _Misbehaving()
    s.__setstate__(tm.bspltraj(U, P, p, 0).__getstate__())
    s.mode = int(rng.integers(0, 4))
    U2, P2, p2 = spline(rng)
    s.other_state = tm.bspltraj(U2, P2, p2, 0).__getstate__()
    x = inside(rng, U, 5)
    for call in (lambda: s(float(x[0])), lambda: s(x), lambda: s.copy(), lambda: pickle.loads(pickle.dumps(s)),
                 lambda: s.dpeval(float(x[0]), 1), lambda: s.dceval(x.copy(), 1)):
        try:
            call()
        except (KeyError, TypeError, ValueError):
            pass
    _Misbehaving.kept.clear()


TARGETS = {f.__name__: f for f in (factories, states, subclasses)}


def _values(t, x):
    return np.array([t.peval(float(u)) for u in x])


def operations(rng):
    """The calculus, knot and domain operations of trajectories, each checked
    against the curve it came from."""
    U, P, p = spline(rng, pmax=5, hostile=rng.random() < 0.2)
    t = tm.bspltraj(U, P, p, 0)
    x = inside(rng, U, 8)
    tame = simple_multiplicities(U, p) and U[-1] - U[0] > 1e-3
    tol = 1e-8 * scale(P)
    op = int(rng.integers(0, 8))
    if op == 0:
        nu = int(rng.integers(0, p + 2))
        d = t.derivative(nu)
        if tame and nu <= p:
            ref = BSpline(U, P, p).derivative(nu)(x) if nu else BSpline(U, P, p)(x)
            check(np.allclose(_values(d, x), ref, rtol=1e-7, atol=tol * 10.0 ** nu), "derivative against SciPy", nu=nu)
    elif op == 1:
        a = t.antiderivative(1)
        check(np.allclose(a.derivative(1).get_cpts_asarray(), P, rtol=1e-9, atol=tol), "antiderivative")
    elif op == 2:
        u, r = float(x[0]), int(rng.integers(1, p + 2))
        k = t.knotins(u, r)
        if tame:
            check(np.allclose(_values(k, x), _values(t, x), rtol=0, atol=tol), "knotins changed the curve")
    elif op == 3:
        k = t.knotref(np.sort(rng.uniform(U[0], U[-1], int(rng.integers(1, 5)))))
        if tame:
            check(np.allclose(_values(k, x), _values(t, x), rtol=0, atol=tol), "knotref changed the curve")
    elif op == 4:
        e = t.degelev(int(rng.integers(1, 4)))
        if tame:
            check(np.allclose(_values(e, x), _values(t, x), rtol=0, atol=tol), "degelev changed the curve")
    elif op == 5:
        k = float(rng.choice([2.0, 0.5, -1.0, 0.0, np.nan, np.inf]))
        before = _values(t, x)
        t.hscale(k)
        if tame and k > 0 and np.isfinite(k):
            check(np.allclose(_values(t, U[0] + (x - U[0]) * k), before, rtol=0, atol=tol), "hscale")
    elif op == 6:
        s = float(rng.choice([1.0, -3.5, 1e6, np.nan]))
        before = _values(t, x)
        t.rshift(s)
        if tame and np.isfinite(s) and abs(s) < 1e3:
            check(np.allclose(_values(t, x + s), before, rtol=0, atol=tol), "rshift")
    else:
        r = t.knotsrem(float(rng.choice([0.0, 1e-13, 1e-6])))
        check(r.n <= t.n, "knotsrem added control points")


def xml(rng):
    """Saved trajectories load back as they were; damaged files are refused."""
    import os
    import tempfile

    from lxml import etree

    U, P, p = spline(rng, pmax=5)
    t = tm.bspltraj(U, P, p, int(rng.integers(0, 3)))
    with tempfile.TemporaryDirectory() as folder:
        name = os.path.join(folder, "t.videvo")
        t.savexml(name, "a")
        check(Trajectory1d.loadxml(name, "a").__getstate__() == t.__getstate__(), "XML does not round-trip")
        data = bytearray(open(name, "rb").read())
        kind = int(rng.integers(0, 4))
        if kind == 0:
            data = data[:int(rng.integers(0, len(data)))]
        elif kind == 1:
            for _ in range(int(rng.integers(1, 6))):
                data[int(rng.integers(0, len(data)))] = int(rng.choice(list(b'0123456789.-e" <>&')))
        elif kind == 2:
            data = data.replace(b'p="', b'p="' + str(int(rng.choice([-1, 2**31, 99]))).encode() + b'', 1)
        else:
            data = data.replace(b"<cpts>", b"<cpts>nan inf 1e999 ", 1)
        open(name, "wb").write(bytes(data))
        try:
            Trajectory1d.loadxml(name, "a")
        except (etree.LxmlError, OSError, UnicodeError, SyntaxError):
            pass


TARGETS.update({f.__name__: f for f in (operations, xml)})
