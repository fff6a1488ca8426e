"""Derivative and antiderivative curves: dsplcpts, dsplcpts2, asplcpts."""

import numpy as np
import pytest
from hypothesis import given, settings
from scipy.interpolate import BSpline

from videvo import curvekit as ck
from spline_cases import SAMPLES, failure, max_interior_mult, random_spline, scale, splines, values

QUADRATIC_U = np.array([0, 0, 0, 1, 1, 1.0])
U_SQUARED = np.array([0, 0, 1.0])  # the curve u**2


def derivative(U, P, p, d):
    UK = np.full(len(U) - 2 * d, np.nan)
    PK = np.full(len(P), np.nan)
    nk = ck.dsplcpts2(U, P, p, d, UK, PK)
    return nk, UK, PK[: nk + 1]


def antiderivative(U, P, p, d):
    UK = np.full(len(U) + 2 * d, np.nan)
    PK = np.full(len(P) + d, np.nan)
    ck.asplcpts(U, P, p, d, UK, PK)
    return UK, PK


class TestWorkedExamples:
    def test_derivative_of_u_squared_is_2u(self):
        nk, UK, PK = derivative(QUADRATIC_U, U_SQUARED, 2, 1)
        assert nk == 1
        np.testing.assert_array_equal(UK, [0, 0, 1, 1])
        np.testing.assert_array_equal(PK, [0, 2])

    def test_order_zero_copies_the_curve(self):
        U = np.array([0, 0, 0, 0.5, 1, 1, 1])
        P = np.array([1.0, -2, 3, 4])
        nk, UK, PK = derivative(U, P, 2, 0)
        assert nk == 3
        np.testing.assert_array_equal(UK, U)
        np.testing.assert_array_equal(PK, P)

    def test_order_p_gives_piecewise_constant_on_inner_knots(self):
        U = np.array([0, 0, 0, 0, 1, 2, 3, 3, 3, 3.0])
        P = np.array([0, 1, 4, 9, 16, 25.0])
        nk, UK, PK = derivative(U, P, 3, 3)
        assert nk == 2
        np.testing.assert_array_equal(UK, U[3:7])
        np.testing.assert_allclose(BSpline(UK, PK, 0)(SAMPLES), BSpline(U, P, 3).derivative(3)(SAMPLES))

    def test_antiderivatives_of_one(self):
        U, P = np.array([0, 1.0]), np.array([1.0])
        UK, PK = antiderivative(U, P, 0, 1)
        np.testing.assert_array_equal(UK, [0, 0, 1, 1])
        np.testing.assert_array_equal(PK, [0, 1])
        UK, PK = antiderivative(U, P, 0, 2)
        np.testing.assert_array_equal(UK, [0, 0, 0, 1, 1, 1])
        np.testing.assert_array_equal(PK, [0, 0, 0.5])

    def test_table_of_derivatives_over_a_range(self):
        U = np.array([0, 0, 0, 1, 2, 3, 3, 3.0])
        P = np.array([0, 1, 3, 2, 5.0])
        PK = np.full((3, 5), np.nan)
        ck.dsplcpts(U, P, 2, 2, 1, 3, PK)
        np.testing.assert_array_equal(PK[0, :3], P[1:4])
        # rows k hold r2 - r1 - k + 1 points; the rest is untouched
        assert np.isnan(PK[0, 3:]).all() and np.isnan(PK[1, 2:]).all() and np.isnan(PK[2, 1:]).all()
        np.testing.assert_array_equal(PK[1, :2], [2, -1])
        np.testing.assert_array_equal(PK[2, :1], [-3])

    def test_single_point_range_writes_row_zero_only(self):
        U = np.array([0, 0, 0, 1, 2, 3, 3, 3.0])
        P = np.array([0, 1, 3, 2, 5.0])
        PK = np.full((3, 5), np.nan)
        ck.dsplcpts(U, P, 2, 2, 2, 2, PK)
        assert PK[0, 0] == 3 and np.isnan(PK).sum() == 14


class TestAgainstScipy:
    @pytest.mark.parametrize("p", [1, 2, 3, 4, 5])
    def test_derivative_curves(self, p):
        rng = np.random.default_rng(100 + p)
        for _ in range(25):
            U, P = random_spline(rng, p)
            top = min(p, p + 1 - max_interior_mult(U, p))  # higher orders meet an empty span
            for d in range(top + 1):
                nk, UK, PK = derivative(U, P, p, d)
                assert nk == len(P) - 1 - d
                want = BSpline(U, P, p).derivative(d)(SAMPLES) if d else values(U, P, p)
                got = BSpline(UK, PK, p - d)(SAMPLES)
                np.testing.assert_allclose(got, want, rtol=0, atol=1e-11 * max(1, np.abs(want).max()))
                table = np.empty((d + 1, len(P)))
                ck.dsplcpts(U, P, p, d, 0, len(P) - 1, table)
                np.testing.assert_array_equal(table[d, : nk + 1], PK)

    @pytest.mark.parametrize("p", [0, 1, 2, 3, 4, 5])
    def test_antiderivative_curves(self, p):
        rng = np.random.default_rng(200 + p)
        for _ in range(25):
            U, P = random_spline(rng, p, max_mult=max(p, 1))
            for d in range(1, 4):
                UK, PK = antiderivative(U, P, p, d)
                want = BSpline(U, P, p).antiderivative(d)
                np.testing.assert_array_equal(UK, want.t)
                np.testing.assert_allclose(PK, want.c[: len(PK)], rtol=1e-13, atol=1e-13 * scale(P))
                assert BSpline(UK, PK, p + d)(0.0) == 0.0


@settings(max_examples=60, deadline=None)
@given(splines(min_degree=0, max_degree=5))
def test_derivative_of_antiderivative_gives_back_the_control_points(curve):
    U, P, p = curve
    for d in (1, 2, 3):
        UK, PK = antiderivative(U, P, p, d)
        nk, UD, PD = derivative(UK, PK, p + d, d)
        np.testing.assert_array_equal(UD, U)
        # d successive differences over spans down to 0.1 of a domain of length 3
        # amplify the rounding of the antiderivative by up to (3 / 0.1)**d
        np.testing.assert_allclose(PD, P, rtol=0, atol=1e-9 * scale(P))


class TestErrors:
    U = np.array([0, 0, 0, 1, 2, 3, 3, 3.0])
    P = np.array([0, 1, 3, 2, 5.0])

    @pytest.mark.parametrize(
        "p, d, code", [(-1, 1, -2), (5, 1, -1), (2, -1, -5), (2, 3, -5)]
    )
    def test_status_of_bad_degree_and_order(self, p, d, code):
        with pytest.raises(ValueError, match=f"^{failure(code)}$"):
            ck.dsplcpts2(self.U, self.P, p, d, np.empty(8), np.empty(5))

    def test_invalid_knot_vector(self):
        U = self.U.copy()
        U[4] = 0.5  # decreasing
        with pytest.raises(ValueError, match=f"^{failure(-3)}$"):
            ck.dsplcpts2(U, self.P, 2, 1, np.empty(6), np.empty(5))
        with pytest.raises(ValueError, match=f"^{failure(-3)}$"):
            ck.asplcpts(self.U[:-1], self.P, 2, 1, np.empty(9), np.empty(6))

    def test_range_checks_of_the_table(self):
        PK = np.empty((2, 5))
        for r1, r2, code in [(-1, 2, -6), (5, 5, -6), (2, 5, -7), (3, 2, -7)]:
            with pytest.raises(ValueError, match=f"^{failure(code)}$"):
                ck.dsplcpts(self.U, self.P, 2, 1, r1, r2, PK)

    def test_output_sizes_are_checked_before_writing(self):
        with pytest.raises(ValueError, match="^'PK' must have shape \\(2, 5\\), not \\(2, 4\\)$"):
            ck.dsplcpts(self.U, self.P, 2, 1, 0, 3, np.empty((2, 4)))
        PK = np.full(4, 7.0)
        with pytest.raises(ValueError, match="^'PK' must have at least 5 entries, not 4$"):
            ck.dsplcpts2(self.U, self.P, 2, 1, np.empty(6), PK)
        assert (PK == 7).all()
        with pytest.raises(ValueError, match="^'UK' must have at least 6 entries, not 5$"):
            ck.dsplcpts2(self.U, self.P, 2, 1, np.empty(5), np.empty(5))
        with pytest.raises(ValueError, match="^'UK' must have at least 12 entries, not 11$"):
            ck.asplcpts(self.U, self.P, 2, 2, np.empty(11), np.empty(7))

    def test_antiderivative_capacity_is_status_minus_6(self):
        PK = np.full(6, 7.0)
        with pytest.raises(ValueError, match=f"^{failure(-6)}$"):
            ck.asplcpts(self.U, self.P, 2, 2, np.empty(12), PK)
        assert (PK == 7).all()
        with pytest.raises(ValueError, match=f"^{failure(-5)}$"):
            ck.asplcpts(self.U, self.P, 2, -1, np.empty(12), PK)

    def test_zero_knot_span_raises_zero_division(self):
        # a double interior knot leaves no span for the derivative of order p
        U = np.array([0, 0, 0, 1, 1, 2, 2, 2.0])
        P = np.array([0, 1, 3, 2, 5.0])
        with pytest.raises(ZeroDivisionError, match="^float division by zero$"):
            ck.dsplcpts2(U, P, 2, 2, np.empty(4), np.empty(5))
        with pytest.raises(ZeroDivisionError):
            ck.dsplcpts(U, P, 2, 2, 0, 4, np.empty((3, 5)))
