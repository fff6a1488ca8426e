"""Knot insertion and refinement: splkins, splkref."""

import numpy as np
import pytest
from hypothesis import given, settings
from hypothesis import strategies as st
from scipy.interpolate import insert

from videvo import curvekit as ck
from spline_cases import GRID, failure, inserted, random_spline, scale, splines, values

QUADRATIC_U = np.array([0, 0, 0, 1, 1, 1.0])
U_SQUARED = np.array([0, 0, 1.0])


def refined(U, P, p, X):
    Ubar, Q = np.full(len(U) + len(X), np.nan), np.full(len(P) + len(X), np.nan)
    ck.splkref(U, P, p, np.asarray(X, float), Ubar, Q)
    return Ubar, Q


class TestInsertion:
    def test_worked_example(self):
        UQ, Q = inserted(QUADRATIC_U, U_SQUARED, 2, 0.5, 1)
        np.testing.assert_array_equal(UQ, [0, 0, 0, 0.5, 1, 1, 1])
        np.testing.assert_array_equal(Q, [0, 0, 0.5, 1])

    def test_up_to_full_multiplicity_at_an_existing_knot(self):
        U = np.array([0, 0, 0, 0, 1, 2, 2, 2, 2.0])
        P = np.array([1.0, -1, 2, 0, 3])
        UQ, Q = inserted(U, P, 3, 1.0, 2)
        np.testing.assert_array_equal(UQ, [0, 0, 0, 0, 1, 1, 1, 2, 2, 2, 2])
        np.testing.assert_allclose(values(UQ, Q, 3), values(U, P, 3), atol=1e-14)
        with pytest.raises(ValueError, match=f"^{failure(-8)}$"):
            inserted(U, P, 3, 1.0, 3)

    @pytest.mark.parametrize("p", [1, 2, 3, 4, 5])
    def test_agrees_with_scipy_insert(self, p):
        rng = np.random.default_rng(300 + p)
        for _ in range(30):
            U, P = random_spline(rng, p)
            interior = U[p + 1 : len(U) - p - 1]
            u = float(rng.choice(np.concatenate([rng.uniform(0.01, 2.99, 2), interior])))
            s = int(np.sum(U == u))
            for r in range(1, p - s + 1):
                UQ, Q = inserted(U, P, p, u, r)
                t, c, _ = insert(u, (U, P, p), m=r)
                np.testing.assert_array_equal(UQ, t)
                np.testing.assert_allclose(Q, c[: len(Q)], rtol=1e-14, atol=1e-14 * scale(P))

    @pytest.mark.parametrize("p", [2, 3, 5])
    def test_the_new_knot_follows_findspanmult_on_bunched_knots(self, p):
        # The insertion's span search starts where u would lie on even knots:
        # on knots bunched towards the ends it must still find FindSpanMult's
        # span (the guess too high or too low), also next to knots and within
        # their tolerance, where the new knot is a copy of the knot it matched
        # (so the knots stay in order).
        rng = np.random.default_rng(320 + p)
        bunched = 3 * (1 - 0.93 ** np.arange(1, 120))
        interior = np.sort(np.r_[bunched, bunched[::7], 3 - bunched[::3]])
        U = np.r_[np.zeros(p + 1), interior, np.full(p + 1, 3.0)]
        P = rng.normal(size=len(U) - p - 1)
        near = np.r_[interior - 1e-12, interior + 1e-12, interior - 1e-6, interior + 1e-6]
        for u in np.r_[interior, near, (interior[1:] + interior[:-1]) / 2, 1e-300]:
            k, s = ck.findspanmult(p, u, U)
            if s < p:
                UQ, _ = inserted(U, P, p, u, 1)
                np.testing.assert_array_equal(UQ, np.insert(U, k + 1, U[k] if s > 0 else u))

    @pytest.mark.parametrize(
        "u, r, code",
        [
            (0.5, 0, -8),
            (0.5, 3, -8),
            (1.0, 1, -8),  # the end of the domain has multiplicity p + 1 already
            (0.0, 1, -7),  # so has the start
            (1.5, 1, -5),
            (np.nan, 1, -5),
        ],
    )
    def test_refused_insertions(self, u, r, code):
        # outputs of the size of no insertion: the refusal comes first
        UQ, Q = np.full(6, 7.0), np.full(3, 7.0)
        with pytest.raises(ValueError, match=f"^{failure(code)}$"):
            ck.splkins(QUADRATIC_U, U_SQUARED, 2, u, r, UQ, Q)
        assert (UQ == 7).all() and (Q == 7).all()

    def test_output_sizes(self):
        with pytest.raises(ValueError, match="^'UQ' must have 7 entries, not 6$"):
            ck.splkins(QUADRATIC_U, U_SQUARED, 2, 0.5, 1, np.empty(6), np.empty(4))
        with pytest.raises(ValueError, match="^'Q' must have 4 entries, not 3$"):
            ck.splkins(QUADRATIC_U, U_SQUARED, 2, 0.5, 1, np.empty(7), np.empty(3))

    def test_knots_and_degree_are_checked_before_the_span_search(self):
        with pytest.raises(ValueError, match=f"^{failure(-2)}$"):
            ck.splkins(QUADRATIC_U, U_SQUARED, -1, 0.5, 1, np.empty(7), np.empty(4))
        with pytest.raises(ValueError, match=f"^{failure(-3)}$"):
            ck.splkins(QUADRATIC_U[::-1].copy(), U_SQUARED, 2, 0.5, 1, np.empty(7), np.empty(4))


class TestRefinement:
    def test_one_knot_equals_insertion(self):
        Ubar, Q = refined(QUADRATIC_U, U_SQUARED, 2, [0.5])
        UQ, QQ = inserted(QUADRATIC_U, U_SQUARED, 2, 0.5, 1)
        np.testing.assert_array_equal(Ubar, UQ)
        np.testing.assert_array_equal(Q, QQ)

    def test_three_knots_into_a_bezier_curve(self):
        P = np.array([1.0, -2.0, 4.0])
        Ubar, Q = refined(QUADRATIC_U, P, 2, [0.25, 0.5, 0.75])
        np.testing.assert_array_equal(Ubar, [0, 0, 0, 0.25, 0.5, 0.75, 1, 1, 1])
        x = np.linspace(0, 1, 101)
        np.testing.assert_allclose(values(Ubar, Q, 2, x), values(QUADRATIC_U, P, 2, x), atol=1e-14)

    @pytest.mark.parametrize("p", [1, 2, 3, 4, 5])
    def test_agrees_with_repeated_scipy_insert(self, p):
        rng = np.random.default_rng(400 + p)
        for _ in range(20):
            U, P = random_spline(rng, p)
            X = np.sort(rng.choice(GRID + 0.05, int(rng.integers(1, 6)), replace=False))
            Ubar, Q = refined(U, P, p, X)
            tck = (U, P, p)
            for x in X:
                tck = insert(x, tck)
            np.testing.assert_array_equal(Ubar, tck[0])
            np.testing.assert_allclose(Q, tck[1][: len(Q)], rtol=1e-13, atol=1e-13 * scale(P))

    @pytest.mark.parametrize("seed", range(4))
    def test_degree_zero_is_repeated_single_insertion(self, seed):
        # Degree 0: the span holding x is split and its value copied; at a knot
        # the new empty span takes the value on the left.
        rng = np.random.default_rng(seed)
        U = np.r_[0.0, np.sort(rng.choice(GRID, int(rng.integers(0, 6)))), 3.0]
        P = rng.normal(size=len(U) - 1)
        X = np.sort(np.r_[rng.choice(U[1:-1], min(2, len(U) - 2)), rng.uniform(0.01, 2.99, 4)])
        Ubar, Q = refined(U, P, 0, X)
        for x in X:
            k = np.searchsorted(U, x, side="left") - 1
            U, P = np.insert(U, k + 1, x), np.insert(P, k + 1, P[k])
        np.testing.assert_array_equal(Ubar, U)
        np.testing.assert_array_equal(Q, P)

    @pytest.mark.parametrize(
        "X, code",
        [
            ([0.0, 0.5], -5),  # a knot at the start of the domain
            ([0.5, 1.0], -5),  # and at its end
            ([0.6, 0.4], -5),  # out of order
            ([0.5, np.nan], -5),
            ([], -6),  # nothing to insert: refused
        ],
    )
    def test_refused_refinements(self, X, code):
        Ubar, Q = np.full(6 + len(X), 7.0), np.full(3 + len(X), 7.0)
        with pytest.raises(ValueError, match=f"^{failure(code)}$"):
            ck.splkref(QUADRATIC_U, U_SQUARED, 2, np.array(X, float), Ubar, Q)
        assert (Ubar == 7).all() and (Q == 7).all()

    def test_output_sizes(self):
        with pytest.raises(ValueError, match="^'Ubar' must have 8 entries, not 7$"):
            ck.splkref(QUADRATIC_U, U_SQUARED, 2, np.array([0.2, 0.4]), np.empty(7), np.empty(5))
        with pytest.raises(ValueError, match="^'Q' must have 5 entries, not 6$"):
            ck.splkref(QUADRATIC_U, U_SQUARED, 2, np.array([0.2, 0.4]), np.empty(8), np.empty(6))


inside = st.floats(0.01, 2.99, allow_nan=False)


@settings(max_examples=80, deadline=None)
@given(splines(), inside, st.integers(1, 5))
def test_insertion_keeps_the_curve(curve, u, r):
    U, P, p = curve
    s = ck.findspanmult(p, u, U)[1]
    r = min(r, p - s)
    if r < 1:
        return
    UQ, Q = inserted(U, P, p, u, r)
    np.testing.assert_allclose(values(UQ, Q, p), values(U, P, p), rtol=0, atol=1e-12 * scale(P))


@settings(max_examples=80, deadline=None)
@given(splines(), st.lists(inside, min_size=1, max_size=8))
def test_refinement_keeps_the_curve(curve, X):
    U, P, p = curve
    Ubar, Q = refined(U, P, p, np.sort(X))
    assert np.all(np.diff(Ubar) >= 0)
    np.testing.assert_allclose(values(Ubar, Q, p), values(U, P, p), rtol=0, atol=1e-12 * scale(P))
