"""Knot spans and basis functions."""

import numpy as np
import pytest
from hypothesis import given, settings
from hypothesis import strategies as st
from scipy.interpolate import BSpline

import videvo.curvekit as ck
from splines import cox_de_boor, random_spline, reference_span, run_child, sample_points, span_tol, tol

INFO = "the algorithm failed with 'info' value: "
CUBIC = np.array([0, 0, 0, 0, 1, 2, 3, 3, 3, 3.0])
DOUBLE = np.array([0, 0, 0, 0, 1, 1, 2, 2, 2, 2.0])


class TestFindSpan:
    @pytest.mark.parametrize("u, span", [(0, 3), (0.5, 3), (1, 4), (1 - 1e-12, 4), (2.5, 5), (3, 5),
                                         (3 + 1e-10, 5), (3 - 1e-10, 5)])
    def test_clamped_cubic(self, u, span):
        assert ck.findspan(3, u, CUBIC) == span

    @pytest.mark.parametrize("u, k, s", [(1, 5, 2), (0.5, 3, 0), (0, 3, 4), (2, 5, 0), (1 + 1e-11, 5, 2)])
    def test_multiplicity(self, u, k, s):
        assert ck.findspanmult(3, u, DOUBLE) == (k, s)

    @pytest.mark.parametrize("fn", [ck.findspan, ck.findspanmult])
    @pytest.mark.parametrize("u", [-1e-9, 3 + 1e-8, 1e300, -np.inf, np.inf, np.nan])
    def test_outside_the_domain_or_nan_is_rejected(self, fn, u):
        with pytest.raises(ValueError, match="^" + INFO + "-2$"):
            fn(3, u, CUBIC)

    @pytest.mark.parametrize("fn", [ck.findspan, ck.findspanmult])
    def test_degree_and_knot_checks(self, fn):
        with pytest.raises(ValueError, match="^" + INFO + "-1$"):
            fn(-1, 0.5, CUBIC)
        with pytest.raises(ValueError, match="^" + INFO + "-3$"):
            fn(3, 0.5, np.array([0, 0, 0, 0.5, 1, 2, 3, 3, 3, 3.0]))
        with pytest.raises(ValueError, match="^" + INFO + "-3$"):
            fn(5, 0.5, CUBIC)  # too few knots for degree 5

    @settings(max_examples=150, deadline=None)
    @given(st.integers(0, 5), st.integers(0, 2**32 - 1))
    def test_agrees_with_the_reference_rule(self, p, seed):
        rng = np.random.default_rng(seed)
        U, _ = random_spline(rng, p, start=-3.0, stop=rng.uniform(-2.9, 1e6))
        for u in sample_points(rng, U, 15):
            k, s = ck.findspanmult(p, u, U)
            assert k == ck.findspan(p, u, U) == reference_span(U, p, u)
            assert U[k] < U[k + 1]  # never an empty span
            run = 0
            while k - run >= 0 and abs(u - U[k - run]) <= span_tol(U, p, u, U[k - run]):
                run += 1
            assert s == run

    def test_tie_with_the_tolerance_picks_the_span_right_of_the_knot(self):
        # u = 1 - tol(u, 1) exactly ties the search threshold of the double
        # knot at 1: the result must be the non-empty span after it.
        U = np.array([0, 0, 0, 0, 0.5, 1, 1, 2, 2, 2, 2.0])
        u = 1 - 1e-9
        assert u == 1 - tol(u, 1.0)
        span = ck.findspan(3, u, U)
        assert span == 6 and U[span] < U[span + 1]
        C = np.array([u])
        ck.splcev(C, U, np.arange(7.0), 3)
        assert np.isfinite(C[0])


class TestBasisFunctions:
    def test_partition_of_unity_and_agreement_with_the_recursive_definition(self):
        rng = np.random.default_rng(11)
        for p in range(0, 6):
            U, _ = random_spline(rng, p, n_cpts=p + 8)
            n = len(U) - p - 2
            N = np.empty(p + 1)
            for u in rng.uniform(U[0], U[-1], 25):
                span = ck.findspan(p, u, U)
                ck.bfunspev(u, span, U, p, N)
                assert abs(N.sum() - 1) < 1e-13
                ref = [cox_de_boor(U, span - p + j, p, u) for j in range(p + 1)]
                np.testing.assert_allclose(N, ref, atol=1e-13)
                for i in range(n + 1):
                    assert abs(ck.bfunpev(u, i, U, p) - cox_de_boor(U, i, p, u)) < 1e-13

    def test_derivatives_of_basis_functions(self):
        rng = np.random.default_rng(12)
        for p in range(0, 6):
            U, _ = random_spline(rng, p, n_cpts=p + 6, repeats=False)
            for u in rng.uniform(U[0], U[-1], 10):
                span = ck.findspan(p, u, U)
                nders = np.empty((p + 1, p + 1))
                ck.dbfunspev(u, span, U, p, p, nders)
                N = np.empty(p + 1)
                ck.bfunspev(u, span, U, p, N)
                np.testing.assert_allclose(nders[0], N, atol=1e-14)
                for k in range(1, p + 1):
                    scale = np.abs(nders[k]).max() + 1
                    assert abs(nders[k].sum()) < 1e-10 * scale
                    for j in range(p + 1):
                        unit = np.zeros(len(U) - p - 1)
                        unit[span - p + j] = 1
                        assert nders[k, j] == pytest.approx(BSpline(U, unit, p)(u, k), rel=1e-9, abs=1e-9 * scale)

    def test_single_basis_function_at_the_ends(self):
        U = np.array([0, 0, 0, 1, 2, 3, 3, 3.0])
        m, p = len(U) - 1, 2
        assert ck.bfunpev(0.0, 0, U, p) == 1.0
        assert ck.bfunpev(3.0, m - p - 1, U, p) == 1.0
        assert ck.bfunpev(0.5, 3, U, p) == 0.0       # u < U[3]
        C = np.array([0.0, 0.5, 1.5, 3.0])
        ck.bfuncev(C, 2, U, p)
        np.testing.assert_allclose(C, [cox_de_boor(U, 2, p, u) for u in [0.0, 0.5, 1.5, 3.0]], atol=1e-15)

    @pytest.mark.parametrize("call, message", [
        (lambda N: ck.bfunspev(0.5, 2, CUBIC, 3, N), "'span' must lie in [3, 5], not 2"),
        (lambda N: ck.bfunspev(0.5, 6, CUBIC, 3, N), "'span' must lie in [3, 5], not 6"),
        (lambda N: ck.bfunspev(3.5, 5, CUBIC, 3, N), "'u' out of the knot vector: 3.5"),
        (lambda N: ck.bfunspev(np.nan, 5, CUBIC, 3, N), "'u' out of the knot vector: nan"),
        (lambda N: ck.bfunspev(0.5, 3, CUBIC, -1, N), "'p' must be at least 0, not -1"),
        (lambda N: ck.bfunspev(0.5, 3, CUBIC[:5], 3, N), "'U' must have at least 8 knots for degree 3"),
        (lambda N: ck.bfunspev(0.5, 3, CUBIC, 2, N), "'N' must have 3 entries, not 4"),
        (lambda N: ck.dbfunspev(0.5, 3, CUBIC, 3, 4, N.reshape(1, 4)), "'k' must lie in [0, 3], not 4"),
        (lambda N: ck.dbfunspev(0.5, 3, CUBIC, 3, 0, N.reshape(2, 2)), "'nders' must have shape (1, 4), not (2, 2)"),
        (lambda N: ck.bfuncev(N, 6, CUBIC, 3), "'span' must lie in [0, 5], not 6"),
        (lambda N: ck.bfuncev(N, 0, CUBIC, 3), "'u' out of the knot vector: 7.0"),
    ])
    def test_bad_spans_degrees_and_points_are_rejected_without_writing(self, call, message):
        N = np.full(4, 7.0)
        with pytest.raises(ValueError) as err:
            call(N)
        assert str(err.value) == message
        assert (N == 7.0).all()

    def test_out_of_range_span_in_a_child_interpreter(self):
        # Before the range checks these read far outside U; the child must
        # end normally with ValueError for each.
        code = (
            "import numpy as np, videvo.curvekit as ck\n"
            "U = np.array([0, 0, 0, 0, 1, 2, 3, 3, 3, 3.0])\n"
            "calls = [lambda: ck.bfunspev(0.5, 10**6, U, 3, np.empty(4)),\n"
            "         lambda: ck.bfunpev(0.5, -10**6, U, 3),\n"
            "         lambda: ck.dbfunspev(0.5, 10**6, U, 3, 3, np.empty((4, 4))),\n"
            "         lambda: ck.findspan(3, 1e308, U)]\n"
            "for c in calls:\n"
            "    try:\n"
            "        c()\n"
            "    except ValueError:\n"
            "        pass\n"
            "print('ok')\n"
        )
        result = run_child(code)
        assert result.returncode == 0, result.stderr
        assert result.stdout.splitlines()[-1] == "ok"


def test_derivative_scale_factors_do_not_overflow_at_high_degree():
    # On a Bezier knot vector of degree p the p-th derivative of basis
    # function j is p! (-1)^(p - j) C(p, j); p! exceeds a 32-bit int from 13 on.
    from math import comb, factorial
    p = 14
    U = np.r_[np.zeros(p + 1), np.ones(p + 1)]
    nders = np.empty((p + 1, p + 1))
    ck.dbfunspev(0.3, p, U, p, p, nders)
    expected = [factorial(p) * (-1) ** (p - j) * comb(p, j) for j in range(p + 1)]
    np.testing.assert_allclose(nders[p], expected, rtol=1e-6)


@settings(max_examples=60, deadline=None)
@given(st.integers(0, 4), st.integers(0, 2**32 - 1), st.sampled_from([0.0, -3.0, 1e6]))
def test_walking_galloping_and_indexed_searches_agree_with_the_binary_search(p, seed, start):
    # Sorted points walk and gallop from span to span, shuffled ones start
    # from the cell index, single points use the binary search; on curves
    # that jump at their knots any other span gives another value.
    rng = np.random.default_rng(seed)
    U, _ = random_spline(rng, p, n_cpts=int(rng.integers(p + 1, 60)), start=start, stop=start + 5)
    inner = np.unique(U)
    U = np.r_[[U[0]] * (p + 1), np.repeat(inner[1:-1], p + 1), [U[-1]] * (p + 1)]  # a jump at every knot
    P = rng.standard_normal(len(U) - p - 1)
    ties = [k - span_tol(U, p, k - 1e-9, k) for k in inner]  # exactly on a search threshold
    gaps = rng.integers(0, 2, len(U))  # long and short steps between points
    x = np.unique(np.clip(np.r_[sample_points(rng, U, 30), ties, U[gaps > 0] + 1e-3], U[0], U[-1]))
    walked = x.copy()
    ck.splcev(walked, U, P, p)
    shuffled = rng.permutation(len(x))
    indexed = np.repeat(x[shuffled], 1 + len(U) // len(x))[: max(len(x), len(U))]
    ck.splcev(indexed, U, P, p)
    single = np.array([x[i : i + 1].copy() for i in range(len(x))])
    for c in single:
        ck.splcev(c, U, P, p)
    np.testing.assert_array_equal(walked, single[:, 0])
    np.testing.assert_array_equal(indexed, np.repeat(single[shuffled, 0], 1 + len(U) // len(x))[: len(indexed)])
    few = x[shuffled][: max(1, len(U) // 8)]  # cells of a few spans each
    spread = few.copy()
    ck.splcev(spread, U, P, p)
    np.testing.assert_array_equal(spread, single[shuffled, 0][: len(few)])
