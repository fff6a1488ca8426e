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


def cases():
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
