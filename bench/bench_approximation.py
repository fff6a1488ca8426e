"""Least-squares approximation and the analytic factories against SciPy.

Least squares: kevalappr + gcsplapp against scipy.interpolate.make_lsq_spline
on the same knots (its default QR method and its normal equations), with the
peak memory of the call.  Analytic factories: polytraj of a high degree, and
sintraj against make_interp_spline of the same samples.
"""

import subprocess
import sys

import numpy as np
from scipy.interpolate import make_interp_spline, make_lsq_spline

import videvo.curvekit as ck
from videvo import trajmake
from common import Case


def noisy_sine(count, seed=0):
    x = np.linspace(0.0, 10.0, count)
    return x, np.sin(x) + 0.01 * np.random.default_rng(seed).normal(size=count)


def fit(x, y, n_cpts, p=3):
    U, P = np.empty(n_cpts + p + 1), np.empty(n_cpts)
    ck.kevalappr(x, p, U)
    ck.gcsplapp(x, y, p, U, P)
    return U, P


CHILD = """
import pathlib, sys
import numpy as np
import videvo.curvekit as ck
status = pathlib.Path("/proc/self/status")
def field(name):
    return next(int(l.split()[1]) / 1024 for l in status.read_text().splitlines() if l.startswith(name + ":"))
x = np.linspace(0.0, 10.0, 10**6)
y = np.sin(x)
n_cpts = int(sys.argv[1])
U, P = np.empty(n_cpts + 4), np.empty(n_cpts)
pathlib.Path("/proc/self/clear_refs").write_text("5")
before = field("VmRSS")
ck.kevalappr(x, 3, U)
ck.gcsplapp(x, y, 3, U, P)
print(f"{field('VmHWM') - before:.1f} {field('VmHWM'):.0f}")
"""


def memory_note(n_cpts):
    """Peak memory of one fit in a fresh interpreter (Linux): the growth of the
    resident set's high-water mark during the call, which sees every
    allocation, C++ work arrays included; and the whole process's peak."""
    result = subprocess.run([sys.executable, "-c", CHILD, str(n_cpts)], capture_output=True, text=True)
    if result.returncode != 0:
        return "peak memory n/a"
    growth, total = result.stdout.split()[-2:]
    return f"peak memory +{growth} MB during the call ({total} MB whole process)"


def selected(name):
    """Whether bench/run.py was asked for this row: the setup below (a million
    points, child interpreters) is skipped when it was not."""
    wanted = sys.argv[1:]
    return not wanted or any(s in name for s in wanted)


def least_squares_cases():
    rows = []
    x, y = noisy_sine(10**6)
    U, P = fit(x, y, 1000)
    reference = make_lsq_spline(x, y, U, k=3, method="norm-eq")
    # make_lsq_spline leaves the ends free: the fits differ there only
    assert np.allclose(P[5:-5], reference.c[5:-5], atol=1e-3)
    mine = memory_note(1000)
    rows.append(Case("kevalappr + gcsplapp, p=3, 1e6 pts, 1e3 cpts", lambda: fit(x, y, 1000),
                     lambda: make_lsq_spline(x, y, U, k=3), repeat=3,
                     note=f"SciPy: make_lsq_spline (QR); {mine}"))
    rows.append(Case("kevalappr + gcsplapp, 1e6/1e3 vs norm-eq", lambda: fit(x, y, 1000),
                     lambda: make_lsq_spline(x, y, U, k=3, method="norm-eq"), repeat=5,
                     note="SciPy: make_lsq_spline(method='norm-eq')"))
    # (SciPy takes about a minute here: no SciPy column)
    mine = memory_note(10**5)
    rows.append(Case("kevalappr + gcsplapp, p=3, 1e6 pts, 1e5 cpts", lambda: fit(x, y, 10**5), repeat=3,
                     note=mine))
    return rows


def cases():
    rows = least_squares_cases() if selected("kevalappr + gcsplapp") else []
    c = np.random.default_rng(1).normal(size=61)
    rows.append(Case("polytraj degree 60", lambda: trajmake.polytraj(0.0, 2.0, 60, 0, c), number=200,
                     note="one Bezier segment from 61 power coefficients"))
    xs = np.linspace(0.0, 3600.0, 10**5)
    ys = np.sin(xs * np.pi / 180)
    assert np.allclose(trajmake.sintraj(xs, 3, 0)(xs), ys, atol=1e-12)
    rows.append(Case("sintraj p=3, 1e5 abscissae", lambda: trajmake.sintraj(xs, 3, 0),
                     lambda: make_interp_spline(xs, ys, k=3), repeat=9,
                     note="SciPy: make_interp_spline(k=3) of the samples, given"))
    return rows
