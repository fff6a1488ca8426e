"""Kernel routines without a Python face (Bernstein polynomials, Bezier
products, the tridiagonal solver's status codes), through a build of the
kernel sources as a plain shared library."""

import ctypes as C
import os
import pathlib
import shutil
import subprocess
from math import comb

import numpy as np
import pytest
from scipy.interpolate import BSpline

KERNEL = pathlib.Path(__file__).resolve().parents[1] / "kernel"


@pytest.fixture(scope="module")
def kernel(tmp_path_factory):
    compiler = shutil.which(os.environ.get("CXX", "c++"))
    if compiler is None or not KERNEL.is_dir():
        pytest.skip("needs a C++ compiler and the kernel sources")
    library = tmp_path_factory.mktemp("kernel") / "libkernel.so"
    sources = sorted(str(p) for p in KERNEL.glob("*.cpp"))
    subprocess.run([compiler, "-std=c++20", "-O1", "-shared", "-fPIC", f"-I{KERNEL}", *sources, "-o",
                    str(library)], check=True, capture_output=True)
    return C.CDLL(str(library))


def ref(value, ctype=C.c_int):
    return C.byref(ctype(value))


def ptr(a):
    return a.ctypes.data_as(C.POINTER(C.c_double))


def call_status(routine, *args):
    info = C.c_int(99)
    routine(*args, C.byref(info))
    return info.value


def test_bernstein_polynomials(kernel):
    B = np.empty(3)
    kernel.AllBernstein(ref(2), ref(0.5, C.c_double), ptr(B))
    np.testing.assert_array_equal(B, [0.25, 0.5, 0.25])
    value = C.c_double(-1.0)
    for i, n, u, code in [(3, 2, 0.5, -1), (-1, 2, 0.5, -1), (0, 2, 1 + 1e-15, -3), (0, 2, np.nan, -3)]:
        assert call_status(kernel.Bernstein, ref(i), ref(n), ref(u, C.c_double), C.byref(value)) == code
        assert value.value == -1.0
    n, u = 90, 0.37  # 90: the work array leaves the stack
    B = np.empty(n + 1)
    kernel.AllBernstein(ref(n), ref(u, C.c_double), ptr(B))
    for i in (0, 1, n // 3, n):
        assert call_status(kernel.Bernstein, ref(i), ref(n), ref(u, C.c_double), C.byref(value)) == 0
        assert value.value == pytest.approx(comb(n, i) * u**i * (1 - u) ** (n - i), rel=1e-12)
        assert B[i] == pytest.approx(value.value, rel=1e-12)


def bezier(P, u):
    n = len(P) - 1
    return sum(comb(n, k) * u**k * (1 - u) ** (n - k) * P[k] for k in range(n + 1))


def test_bezier_product_control_points(kernel):
    rng = np.random.default_rng(4)
    for p, q in [(0, 0), (3, 2), (1, 6), (5, 5)]:
        fb, gb = rng.normal(size=p + 1), rng.normal(size=q + 1)
        hb = np.full(p + q + 1, np.nan)
        kernel.BezierProduct(ptr(fb), ref(p), ptr(gb), ref(q), ref(p + q), ref(0), ref(p + q), ptr(hb))
        for u in (0.0, 0.3, 0.8, 1.0):
            assert bezier(hb, u) == pytest.approx(bezier(fb, u) * bezier(gb, u), abs=1e-13)
    # A slice [first, last] clipped to hb[0..M]: nothing else is written.
    full = hb.copy()
    part = np.full(p + q + 3, 7.0)
    kernel.BezierProduct(ptr(fb), ref(p), ptr(gb), ref(q), ref(6), ref(-2), ref(20), ptr(part))
    np.testing.assert_array_equal(part[:7], full[:7])
    np.testing.assert_array_equal(part[7:], 7.0)
    part[:] = 7.0
    kernel.BezierProduct(ptr(fb), ref(p), ptr(gb), ref(q), ref(p + q), ref(3), ref(4), ptr(part))
    np.testing.assert_array_equal(part[3:5], full[3:5])
    np.testing.assert_array_equal(np.r_[part[:3], part[5:]], 7.0)
    part[:] = 7.0
    kernel.BezierProduct(ptr(fb), ref(-1), ptr(gb), ref(q), ref(p + q), ref(0), ref(p + q), ptr(part))
    np.testing.assert_array_equal(part, 7.0)


def cubic_case(rng, n):
    x = np.r_[0.0, np.sort(rng.uniform(0, 5, n - 1)), 5.0]
    U = np.r_[[x[0]] * 4, x[1:n], [x[n]] * 4]
    P_true = rng.normal(size=n + 3)
    Q = BSpline(U, P_true, 3)(x)
    return x, U, P_true, Q


def test_tridiagonal_solver_failures_leave_the_control_points_alone(kernel):
    # (its solutions are checked through cdsplint)
    x, U, P_true, Q = cubic_case(np.random.default_rng(9), 6)
    untouched = np.arange(9.0)
    cases = [
        (2, U, -1),                                      # fewer than 4 points
        (6, np.r_[U[:3], 0.5, U[4:]], -3),               # not clamped
        (6, np.r_[U[:5], U[5], U[5], U[7:]], 2),         # two interior knots coincide
    ]
    for n, knots, code in cases:
        P = untouched.copy()
        assert call_status(kernel.SolveTridiagonal, ref(n), ptr(Q), ptr(knots), ptr(P)) == code
        np.testing.assert_array_equal(P, untouched)


@pytest.mark.parametrize("n", [3, 4, 9, 200])
def test_tridiagonal_solver_in_place_equals_the_copying_one(kernel, n):
    # P and the inner knots double as work arrays: the inner points come out
    # bit for bit the same, the given P[1] and P[n + 1] and the ends are not
    # overwritten, and the knots are put back exactly.
    x, U, P_true, Q = cubic_case(np.random.default_rng(n), n)
    P = np.r_[-1.0, P_true[1], np.full(n - 1, 7.0), P_true[n + 1], -2.0]
    copied, in_place, knots = P.copy(), P.copy(), U.copy()
    assert call_status(kernel.SolveTridiagonal, ref(n), ptr(Q), ptr(U), ptr(copied)) == 0
    assert call_status(kernel.SolveTridiagonalInPlace, ref(n), ptr(x), ptr(Q), ptr(knots), ptr(in_place)) == 0
    np.testing.assert_array_equal(in_place, copied)
    np.testing.assert_array_equal(knots, U)
    np.testing.assert_allclose(in_place[1:-1], P_true[1:-1], rtol=0, atol=1e-9)
    assert (in_place[0], in_place[-1]) == (-1.0, -2.0)


def test_tridiagonal_solver_in_place_puts_the_knots_back_after_a_failure(kernel):
    # Two interior abscissae coincide far down: the factors have overwritten
    # most inner knots when the pivot fails.
    x, U, P_true, Q = cubic_case(np.random.default_rng(3), 40)
    x[35] = x[34]
    U = np.r_[[x[0]] * 4, x[1:40], [x[40]] * 4]
    knots = U.copy()
    assert call_status(kernel.SolveTridiagonalInPlace, ref(40), ptr(x), ptr(Q), ptr(knots), ptr(P_true.copy())) == 2
    np.testing.assert_array_equal(knots, U)
