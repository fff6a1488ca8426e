"""Shared pieces of the fuzz drivers: random splines (tame and hostile), the
exceptions a refused call may raise, and the mismatch a driver reports."""

import numpy as np

import videvo.trajdata as td

# What a function may raise when it refuses its arguments.  Anything else (a
# SystemError, a RuntimeError from a C++ exception, ...) is a finding, and so
# is a crash, which the sanitizer build reports.
REFUSALS = (ValueError, TypeError, OverflowError, BufferError, MemoryError, AssertionError, ZeroDivisionError,
            td.ConvergenceError, td.CorruptedFileError)


class Mismatch(Exception):
    """A successful call whose result differs from the reference."""


def refused(error):
    # LAPACK failures of the interpolators are plain Exception by contract.
    return isinstance(error, REFUSALS) or type(error) is Exception


def check(ok, what, **details):
    if not ok:
        raise Mismatch(what + "".join(f"\n  {k} = {v!r}" for k, v in details.items()))


def scale(P):
    return max(1.0, float(np.max(np.abs(P)))) if len(P) else 1.0


def knot_vector(rng, p, n_interior, start=0.0, width=1.0, max_mult=None, jitter=False):
    """Clamped knots of degree p on [start, start + width] with interior values
    repeated up to max_mult times (p by default); with jitter, copies that
    differ by a few ulps."""
    max_mult = p if max_mult is None else max_mult
    values = np.sort(rng.uniform(start, start + width, n_interior))
    inner = []
    for v in values:
        if len(inner) >= n_interior:
            break
        mult = int(rng.integers(1, max_mult + 1)) if max_mult > 0 else 1
        copies = [v] * mult
        if jitter:
            copies = [v + k * 1e-13 * max(1.0, abs(v)) for k in range(mult)]
        inner.extend(copies)
    inner = sorted(inner[:n_interior])
    return np.r_[[start] * (p + 1), inner, [start + width] * (p + 1)].astype(float)


def spline(rng, pmax=6, max_interior=12, hostile=False):
    """(U, P, p): a random clamped spline; hostile ones have close or repeated
    knots, tiny or shifted domains and huge control points."""
    p = int(rng.integers(0, pmax + 1))
    n_interior = int(rng.integers(0, max_interior + 1))
    start, width, jitter, max_mult, amp = 0.0, 1.0, False, p, 1.0
    if hostile:
        start = float(rng.choice([0.0, -3.0, 1e3, 1e6]))
        width = float(rng.choice([1.0, 1e-6, 50.0]))
        jitter = bool(rng.integers(0, 2))
        max_mult = int(rng.integers(0, p + 2))
        amp = float(rng.choice([1.0, 1e-8, 1e8]))
    U = knot_vector(rng, p, n_interior, start, width, max_mult, jitter)
    P = rng.normal(size=len(U) - p - 1) * amp
    return U, P, p


def simple_multiplicities(U, p):
    """Interior knot values distinct by far more than the closeness tolerance
    and of multiplicity <= p: where the curve is continuous and every span
    choice agrees with the plain one."""
    inner = U[p + 1:len(U) - p - 1]
    values, counts = np.unique(np.r_[U[0], inner, U[-1]], return_counts=True)
    gaps = np.diff(values)
    counts[0] = counts[-1] = 1
    tol = 1e-7 * max(1.0, float(np.max(np.abs(values))))
    return bool(np.all(counts <= max(p, 1)) and (len(gaps) == 0 or np.min(gaps) > tol))


def inside(rng, U, count):
    return np.sort(rng.uniform(U[0], U[-1], count))
