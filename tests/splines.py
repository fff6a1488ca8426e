"""Test helpers: random clamped splines and slow, obviously-correct references."""

import numpy as np
from scipy.interpolate import BSpline


def tol(a, b):
    return max(1e-9 * max(abs(a), abs(b)), 1e-13)


def close(a, b):
    return abs(a - b) <= tol(a, b)


def random_spline(rng, p, n_cpts=None, repeats=True, start=0.0, stop=1.0):
    """Clamped knot vector and control points of degree p, with interior knots
    repeated up to p times when `repeats` is set (so the curve stays at least
    continuous)."""
    if n_cpts is None:
        n_cpts = int(rng.integers(p + 1, p + 12))
    n_inner = n_cpts - p - 1
    inner = []
    while len(inner) < n_inner:
        value = rng.uniform(start, stop)
        mult = int(rng.integers(1, p + 1)) if (repeats and p > 0) else 1
        inner.extend([value] * min(mult, n_inner - len(inner)))
    U = np.concatenate([np.full(p + 1, start), np.sort(inner), np.full(p + 1, stop)])
    P = rng.normal(size=n_cpts)
    return U, P


def span_tol(U, p, u, x):
    """The tolerance of the span search: the closeness tolerance of the offsets
    from the start of the domain, so that shifting a curve keeps its spans."""
    return tol(u - U[p], x - U[p])


def reference_span(U, p, u):
    """The span the library must choose: n close to the end of the domain,
    otherwise the last span whose first knot u does not lie below."""
    n = len(U) - p - 2
    if abs(u - U[n + 1]) <= span_tol(U, p, u, U[n + 1]):
        return n
    return max(i for i in range(p, n + 1) if u >= U[i] - span_tol(U, p, u, U[i]))


def reference_derivative(U, P, p, u, nu=0):
    """Derivative of order nu of the polynomial piece of the reference span,
    evaluated at u (which may lie a tolerance outside that span)."""
    s = reference_span(U, p, u)
    piece = BSpline(U[s - p:s + p + 2], P[s - p:s + 1], p, extrapolate=True)
    return float(piece(u, nu))


def cox_de_boor(U, i, p, u):
    """N(i, p)(u) by the recursive definition, half-open spans, the last
    non-empty span closed on the right."""
    m = len(U) - 1
    if p == 0:
        if U[i] <= u < U[i + 1]:
            return 1.0
        last = max(k for k in range(m) if U[k] < U[k + 1])
        return 1.0 if (i == last and u == U[i + 1]) else 0.0
    left = 0.0 if U[i + p] == U[i] else (u - U[i]) / (U[i + p] - U[i]) * cox_de_boor(U, i, p - 1, u)
    right = 0.0 if U[i + p + 1] == U[i + 1] else (
        (U[i + p + 1] - u) / (U[i + p + 1] - U[i + 1]) * cox_de_boor(U, i + 1, p - 1, u))
    return left + right


def sample_points(rng, U, count=40):
    """Points spread over the domain, every distinct knot, points a fraction of
    the closeness tolerance away from knots on both sides, and both ends."""
    lo, hi = U[0], U[-1]
    knots = np.unique(U)
    near = []
    for k in knots:
        t = tol(k, k)
        near += [k - 0.4 * t, k + 0.4 * t]
    pts = np.concatenate([rng.uniform(lo, hi, count), knots, near])
    return np.clip(pts, lo, hi)


def run_child(code, *args, timeout=120):
    """Runs `code` in a child interpreter (outside the source tree, so that it
    imports the installed package; an editable install rebuilds silently) and
    returns the completed process."""
    import os
    import subprocess
    import sys
    import tempfile

    env = dict(os.environ, SKBUILD_EDITABLE_VERBOSE="0")
    return subprocess.run([sys.executable, *args, "-c", code], capture_output=True, text=True,
                          timeout=timeout, cwd=tempfile.gettempdir(), env=env)


def _capsule_api():
    import ctypes

    name = ctypes.pythonapi.PyCapsule_GetName
    name.restype = ctypes.c_char_p
    name.argtypes = [ctypes.py_object]
    pointer = ctypes.pythonapi.PyCapsule_GetPointer
    pointer.restype = ctypes.c_void_p
    pointer.argtypes = [ctypes.py_object, ctypes.c_char_p]
    return name, pointer


def capsule_name(capsule):
    """The name of an export-table capsule (its signature text), as bytes."""
    return _capsule_api()[0](capsule)


def capsule_address(capsule):
    """The pointer held by an export-table capsule."""
    name, pointer = _capsule_api()
    return pointer(capsule, name(capsule))
