"""Degree elevation: degelevc, knotsdegelev."""

import textwrap

import numpy as np
import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

from videvo import curvekit as ck
from spline_cases import SAMPLES, clamped, failure, random_spline, scale, splines, values
from splines import run_child


def distinct_interior(U, p):
    interior = U[p + 1 : len(U) - p - 1]
    return len(np.unique(interior))


def elevated(U, P, p, t):
    s = distinct_interior(U, p)
    Uh, Q = np.full(len(U) + t * (s + 2), np.nan), np.full(len(P) + t * (s + 1), np.nan)
    ck.degelevc(U, P, p, t, Uh, Q)
    return Uh, Q


def away_from(knots, x=SAMPLES):
    """The samples that are no knot (a curve with a jump differs there by side)."""
    return x[np.min(np.abs(x[:, None] - np.asarray(knots)[None, :]), axis=1) > 1e-9]


class TestWorkedExamples:
    def test_line_to_quadratic(self):
        Uh, Q = elevated(np.array([0, 0, 1, 1.0]), np.array([0, 1.0]), 1, 1)
        np.testing.assert_array_equal(Uh, [0, 0, 0, 1, 1, 1])
        np.testing.assert_array_equal(Q, [0, 0.5, 1])

    def test_cubic_with_one_knot_gains_its_multiplicity(self):
        U = clamped(3, [1.5])
        P = np.array([1.0, -1, 2, 0, 3])
        Uh, Q = elevated(U, P, 3, 1)
        assert len(Q) == len(P) + 2
        np.testing.assert_array_equal(Uh, clamped(4, [1.5, 1.5]))
        np.testing.assert_allclose(values(Uh, Q, 4), values(U, P, 3), rtol=0, atol=1e-14)

    def test_degree_zero_is_elevated(self):
        U, P = np.array([0, 1, 2, 3.0]), np.array([5.0, -1, 2])
        Uh, Q = elevated(U, P, 0, 2)
        np.testing.assert_array_equal(Uh, [0, 0, 0, 1, 1, 1, 2, 2, 2, 3, 3, 3])
        np.testing.assert_array_equal(Q, [5, 5, 5, -1, -1, -1, 2, 2, 2])

    @pytest.mark.parametrize("p", [1, 2, 3, 4])
    def test_jumps_at_knots_of_multiplicity_p_plus_1_are_kept(self, p):
        rng = np.random.default_rng(700 + p)
        U = clamped(p, [1.0] * (p + 1) + [2.0])
        P = rng.normal(size=len(U) - p - 1)
        for t in (1, 2, 3):
            Uh, Q = elevated(U, P, p, t)
            x = away_from([1.0, 2.0])
            np.testing.assert_allclose(values(Uh, Q, p + t, x), values(U, P, p, x), rtol=0, atol=1e-13)
            assert np.sum(Uh == 1.0) == p + t + 1


class TestAgainstScipy:
    @pytest.mark.parametrize("p", [0, 1, 2, 3, 4, 5])
    def test_elevated_curves_evaluate_alike(self, p):
        rng = np.random.default_rng(800 + p)
        for _ in range(25):
            U, P = random_spline(rng, p, max_mult=p + 1)
            x = away_from(U)
            for t in (1, 2, 4):
                Uh, Q = elevated(U, P, p, t)
                np.testing.assert_allclose(values(Uh, Q, p + t, x), values(U, P, p, x), rtol=0,
                                           atol=1e-12 * scale(P))

    @pytest.mark.parametrize("t", [31, 34, 40, 97])
    def test_high_degrees_keep_the_curve(self, t):
        # C(34, 17) no longer fits in 32 bits: the coefficients must not overflow
        U = clamped(3, [0.7, 1.4, 1.4, 2.2])
        P = np.array([1.0, -2, 0.5, 3, -1, 2, 0, 1.5])
        Uh, Q = elevated(U, P, 3, t)
        np.testing.assert_allclose(values(Uh, Q, 3 + t), values(U, P, 3), rtol=0, atol=1e-12)

    @pytest.mark.parametrize("p, t, inner", [
        (8, 1, None), (12, 1, None), (15, 1, None), (20, 5, None), (10, 15, None),
        (4, 3, [0.2, 0.5, 0.5 + 1e-7, 0.5 + 2e-7, 0.9]),  # clustered knots
    ])
    def test_random_interior_knots_keep_the_curve_at_high_degrees(self, p, t, inner):
        rng = np.random.default_rng(p * 100 + t)
        for _ in range(5):
            knots = np.sort(rng.uniform(0, 3, 8)) if inner is None else np.array(inner)
            U = clamped(p, list(knots))
            P = rng.normal(size=len(U) - p - 1)
            x = np.linspace(U[0], U[-1], 1001)
            Uh, Q = elevated(U, P, p, t)
            np.testing.assert_allclose(values(Uh, Q, p + t, x), values(U, P, p, x), rtol=0,
                                       atol=1e-12 * scale(P))

    def test_degree_above_1000_is_refused(self):
        U, P = clamped(1, []), np.array([0, 1.0])
        Uh, Q = elevated(U, P, 1, 999)
        np.testing.assert_allclose(values(Uh, Q, 1000, np.array([0.3])), [0.1], rtol=1e-12)
        with pytest.raises(ValueError, match=f"^{failure(-5)}$"):
            ck.degelevc(U, P, 1, 1000, np.empty(2004), np.empty(1002))


@settings(max_examples=80, deadline=None)
@given(splines(min_degree=0), st.integers(1, 6))
def test_elevation_keeps_the_curve(curve, t):
    U, P, p = curve
    Uh, Q = elevated(U, P, p, t)
    x = away_from(U) if p == 0 else SAMPLES
    np.testing.assert_allclose(values(Uh, Q, p + t, x), values(U, P, p, x), rtol=0, atol=1e-12 * scale(P))


class TestKnotsCloseToTheEnds:
    def test_end_knots_are_snapped_and_the_input_kept(self):
        U = np.array([0, 1e-15, 1e-15, 0.5, 1, 1 - 1e-16, 1.0])
        P = np.array([1.0, 2, 3, 4])
        before = U.copy()
        Uh, Q = elevated(U, P, 2, 1)
        np.testing.assert_array_equal(U, before)
        np.testing.assert_array_equal(Uh, [0, 0, 0, 0, 0.5, 0.5, 1, 1, 1, 1])
        x = np.linspace(0, 1, 51)
        exact_ends = np.array([0, 0, 0, 0.5, 1, 1, 1.0])  # the same curve
        np.testing.assert_allclose(values(Uh, Q, 3, x), values(exact_ends, P, 2, x), atol=1e-13)


class TestErrors:
    U = clamped(2, [1.0, 2.0])
    P = np.array([0, 1, 3, 2, 5.0])

    @pytest.mark.parametrize("p, t, code", [(-1, 1, -2), (5, 1, -1), (2, 0, -5), (2, -3, -5)])
    def test_status_codes(self, p, t, code):
        Uh, Q = np.full(20, 7.0), np.full(20, 7.0)
        with pytest.raises(ValueError, match=f"^{failure(code)}$"):
            ck.degelevc(self.U, self.P, p, t, Uh, Q)
        assert (Uh == 7).all() and (Q == 7).all()

    @pytest.mark.parametrize("U", [clamped(2, [1.0, 1.0, 1.0, 1.0]), np.array([0, 0, 0, 0, 1, 1, 1.0])])
    def test_knot_value_repeated_more_than_p_plus_1_times(self, U):
        with pytest.raises(ValueError, match=f"^{failure(-3)}$"):
            ck.degelevc(U, np.arange(len(U) - 3.0), 2, 1, np.empty(16), np.empty(9))

    def test_short_outputs_are_refused_before_writing(self):
        Uh, Q = np.full(13, 7.0), np.full(8, 7.0)
        with pytest.raises(ValueError, match="^'Uh' must have at least 12 entries, not 11$"):
            ck.degelevc(self.U, self.P, 2, 1, Uh[:11], Q)
        with pytest.raises(ValueError, match="^'Q' must have at least 8 entries, not 7$"):
            ck.degelevc(self.U, self.P, 2, 1, Uh[:12], Q[:7])
        assert (Uh == 7).all() and (Q == 7).all()

    def test_long_outputs_fail_the_assertion(self):
        with pytest.raises(AssertionError) as info:
            ck.degelevc(self.U, self.P, 2, 1, np.empty(12), np.empty(9))
        assert info.value.args == ()
        with pytest.raises(AssertionError):
            ck.degelevc(self.U, self.P, 2, 1, np.empty(13), np.empty(8))

    def test_without_assertions_long_outputs_pass_and_short_ones_still_fail(self):
        code = textwrap.dedent(
            """
            import numpy as np
            from videvo import curvekit as ck
            U = np.array([0, 0, 0, 1, 2, 3, 3, 3.0]); P = np.array([0, 1, 3, 2, 5.0])
            Uh, Q = np.zeros(13), np.zeros(9)
            ck.degelevc(U, P, 2, 1, Uh, Q)
            print(Uh[:12].tolist() == [0, 0, 0, 0, 1, 1, 2, 2, 3, 3, 3, 3])
            try:
                ck.degelevc(U, P, 2, 1, np.zeros(11), np.zeros(8))
            except ValueError as e:
                print(e)
            """
        )
        run = run_child(code, "-O", timeout=60)
        assert run.returncode == 0, run.stderr
        # (an editable install may print its rebuild first)
        assert run.stdout.splitlines()[-2:] == ["True", "'Uh' must have at least 12 entries, not 11"]


class TestIncreaseMultiplicity:
    def test_worked_example(self):
        Uh = np.full(10, np.nan)
        ck.knotsdegelev(np.array([0, 0, 0, 1, 2, 2, 2.0]), 2, Uh)
        np.testing.assert_array_equal(Uh, [0, 0, 0, 0, 1, 1, 2, 2, 2, 2])

    def test_matches_the_knots_of_elevation_by_one(self):
        rng = np.random.default_rng(900)
        for p in range(1, 6):
            U, P = random_spline(rng, p)
            Uh, _ = elevated(U, P, p, 1)
            got = np.full(len(Uh), np.nan)
            ck.knotsdegelev(U, p, got)
            np.testing.assert_array_equal(got, Uh)

    def test_size_and_degree_checks(self):
        U = np.array([0, 0, 0, 1, 2, 2, 2.0])
        with pytest.raises(ValueError, match="^'Uh' must have 10 entries, not 11$"):
            ck.knotsdegelev(U, 2, np.empty(11))
        with pytest.raises(ValueError, match="^'p' must be at least 0, not -1$"):
            ck.knotsdegelev(U, -1, np.empty(10))
        with pytest.raises(ValueError, match="^'U' must have at least 8 knots for degree 3$"):
            ck.knotsdegelev(U, 3, np.empty(10))
