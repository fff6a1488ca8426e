"""Knot removal: splkrem, splkrem_notol, splksrem, getbndrem."""

import textwrap

import numpy as np
import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

from videvo import curvekit as ck
from spline_cases import GRID, clamped, failure, inserted, random_spline, scale, splines, values
from splines import run_child

CUBIC_U = np.array([0, 0, 0, 0, 1, 2, 3, 3, 3, 3.0])


def removed(remove, U, P, *args):
    """Runs a removal on copies; returns (count, new U, new P)."""
    U, P = U.copy(), P.copy()
    t = remove(U, P, *args)
    return t, U[: len(U) - t], P[: len(P) - t]


class TestRemoveOneKnot:
    def test_a_knot_that_carries_shape_stays(self):
        P = np.array([0, 0, 0, 1, 0, 0.0])  # a bump at the knot 1.5
        U = clamped(3, [1, 1.5])
        t, U2, P2 = removed(ck.splkrem, U, P, 3, 1.5, 1)
        assert t == 0
        np.testing.assert_array_equal(U2, U)
        np.testing.assert_array_equal(P2, P)
        t, U3, P3 = removed(ck.splkrem_notol, U, P, 3, 1.5, 1)
        assert t == 1
        np.testing.assert_array_equal(U3, clamped(3, [1]))
        assert np.max(np.abs(values(U3, P3, 3) - values(U, P, 3))) > 0.1

    def test_removes_as_many_copies_as_the_tolerance_allows(self):
        # u = 1 inserted twice into a curve where it is a simple knot already
        U = clamped(3, [1, 2])
        P = np.array([0, 1, -1, 2, 0, 1.0])
        UQ, Q = inserted(U, P, 3, 1.0, 2)
        t, U2, P2 = removed(ck.splkrem, UQ, Q, 3, 1.0, 3)
        assert t == 2
        np.testing.assert_array_equal(U2, U)
        np.testing.assert_allclose(P2, P, atol=1e-13)

    def test_default_tolerance_is_1e_11(self):
        U = clamped(2, [1.5])
        P = np.array([0, 0.75, 2.25 + 2e-11, 3.0])  # a line but for a tiny kink at the knot
        bound = ck.getbndrem(U, P, 2, 1.5)
        assert 1e-11 < bound < 1e-10
        assert removed(ck.splkrem, U, P, 2, 1.5, 1)[0] == 0
        assert removed(ck.splkrem, U, P, 2, 1.5, 1, 1e-10)[0] == 1
        assert removed(ck.splksrem, U, P, 2)[0] == 0
        assert removed(ck.splksrem, U, P, 2, 1e-10)[0] == 1

    def test_bound_of_an_inserted_knot_passes_its_own_test(self):
        rng = np.random.default_rng(7)
        U, P = random_spline(rng, 3, n_values=3)
        UQ, Q = inserted(U, P, 3, 0.55, 1)
        bound = ck.getbndrem(UQ, Q, 3, 0.55)
        assert bound < 1e-13
        assert removed(ck.splkrem, UQ, Q, 3, 0.55, 1, bound)[0] == 1
        assert ck.getbndrem(U, P, 3, float(U[4])) > 1e-6  # an original knot carries shape


class TestRemovalErrors:
    P = np.array([0, 1, 3, 2, 5, 4.0])

    @pytest.mark.parametrize(
        "u, num, tol, code",
        [
            (1.0, 2, 1e-11, -8),  # num > s
            (1.0, 0, 1e-11, -8),
            (1.0, 1, -1.0, -9),
            (3.5, 1, 1e-11, -5),
            (np.nan, 1, 1e-11, -5),
            (1.5, 1, 1e-11, -7),  # not a knot
            (0.0, 1, 1e-11, -6),  # the start of the domain
            (3.0, 1, 1e-11, -7),  # the end: no copy in the last span
        ],
    )
    def test_refused_removals(self, u, num, tol, code):
        U, P = CUBIC_U.copy(), self.P.copy()
        with pytest.raises(ValueError, match=f"^{failure(code)}$"):
            ck.splkrem(U, P, 3, u, num, tol)
        if code != -9:
            with pytest.raises(ValueError, match=f"^{failure(code)}$"):
                ck.splkrem_notol(U, P, 3, u, num)
        np.testing.assert_array_equal(U, CUBIC_U)
        np.testing.assert_array_equal(P, self.P)

    class FloatFails:
        def __float__(self):
            raise KeyError("from __float__")

    @pytest.mark.parametrize("tol, kind, message", [
        ("1e-3", TypeError, "must be real number, not str"),
        (FloatFails(), KeyError, "from __float__"),
    ])
    def test_tolerance_that_is_no_number(self, tol, kind, message):
        for call in (lambda U, P: ck.splkrem(U, P, 3, 1.0, 1, tol), lambda U, P: ck.splksrem(U, P, 3, tol)):
            with pytest.raises(kind, match=message):
                call(CUBIC_U.copy(), self.P.copy())

    @pytest.mark.parametrize("u, code", [(1.5, -7), (0.0, -6), (3.0, -7), (-1.0, -5)])
    def test_bound_needs_an_interior_knot(self, u, code):
        with pytest.raises(ValueError, match=f"^{failure(code)}$"):
            ck.getbndrem(CUBIC_U, self.P, 3, u)

    def test_invalid_knot_vector(self):
        U = CUBIC_U.copy()
        U[4:6] = [2.0, 1.0]  # out of order
        calls = (
            lambda: ck.splkrem(U, self.P.copy(), 3, 1.0, 1),
            lambda: ck.splkrem_notol(U, self.P.copy(), 3, 2.0, 1),
            lambda: ck.getbndrem(U, self.P, 3, 1.0),
            lambda: ck.splksrem(U, self.P.copy(), 3),
        )
        for call in calls:
            with pytest.raises(ValueError, match=f"^{failure(-3)}$"):
                call()

    def test_all_knots_status(self):
        with pytest.raises(ValueError, match=f"^{failure(-5)}$"):
            ck.splksrem(CUBIC_U.copy(), self.P.copy(), 3, -1e-3)
        with pytest.raises(ValueError, match=f"^{failure(-1)}$"):
            ck.splksrem(CUBIC_U.copy(), self.P.copy(), 6)

    def test_arrays_are_changed_in_place_and_must_be_writable(self):
        U = CUBIC_U.copy()
        U.setflags(write=False)
        with pytest.raises(ValueError, match="^'U' must be writable$"):
            ck.splkrem(U, self.P.copy(), 3, 1.0, 1)


class TestRemoveAllKnots:
    def test_bezier_curve_has_nothing_to_remove(self):
        U = clamped(3, [])
        P = np.array([1.0, 2, 0, 1])
        t, U2, P2 = removed(ck.splksrem, U, P, 3)
        assert t == 0
        np.testing.assert_array_equal(U2, U)
        np.testing.assert_array_equal(P2, P)

    @pytest.mark.parametrize("p", [1, 2, 3, 4, 5])
    def test_keeps_the_knots_that_carry_shape(self, p):
        rng = np.random.default_rng(600 + p)
        for _ in range(20):
            U, P = random_spline(rng, p, n_values=3)
            X = np.sort(rng.choice(GRID + 0.05, 4, replace=False))
            Ubar, Q = np.empty(len(U) + 4), np.empty(len(P) + 4)
            ck.splkref(U, P, p, X, Ubar, Q)
            t, U2, P2 = removed(ck.splksrem, Ubar, Q, p)
            # the random original knots carry shape: exactly the inserted ones go
            assert t == 4
            np.testing.assert_array_equal(U2, U)
            np.testing.assert_allclose(P2, P, rtol=0, atol=1e-11 * scale(P))


@settings(max_examples=80, deadline=None)
@given(
    st.integers(1, 5),
    st.lists(st.floats(-10, 10, allow_nan=False), min_size=6, max_size=6),
    st.lists(st.sampled_from(list(GRID + 0.05)), min_size=1, max_size=8, unique=True),
)
def test_removing_all_knots_of_a_refined_bezier_curve(p, coefs, X):
    U, P = clamped(p, []), np.array(coefs[: p + 1])
    X = np.sort(X)
    Ubar, Q = np.empty(len(U) + len(X)), np.empty(len(P) + len(X))
    ck.splkref(U, P, p, X, Ubar, Q)
    t, U2, P2 = removed(ck.splksrem, Ubar, Q, p)
    assert t == len(X)
    np.testing.assert_array_equal(U2, U)
    np.testing.assert_allclose(P2, P, rtol=0, atol=1e-11 * scale(P))


@settings(max_examples=80, deadline=None)
@given(splines(), st.sampled_from(list(GRID + 0.05)), st.integers(1, 5))
def test_removal_undoes_insertion(curve, u, r):
    U, P, p = curve
    r = min(r, p)
    UQ, Q = inserted(U, P, p, u, r)
    t, U2, P2 = removed(ck.splkrem, UQ, Q, p, u, r)
    assert t == r
    np.testing.assert_array_equal(U2, U)
    np.testing.assert_allclose(P2, P, rtol=0, atol=1e-11 * scale(P))


def test_removing_the_end_knots_is_refused_in_a_child_interpreter():
    # The start knot has no control point before it: reading one would be out
    # of bounds.  Run where a crash cannot take the test session down.
    code = textwrap.dedent(
        """
        import numpy as np
        from videvo import curvekit as ck
        U = np.array([0, 0, 0, 1, 2, 2, 2.0])
        P = np.arange(4.0)
        for call in (lambda: ck.getbndrem(U, P, 2, 0.0),
                     lambda: ck.splkrem_notol(U.copy(), P.copy(), 2, 0.0, 3),
                     lambda: ck.splkrem(U.copy(), P.copy(), 2, 2.0, 1)):
            try:
                call()
            except ValueError as e:
                print(e)
        """
    )
    run = run_child(code, timeout=60)
    assert run.returncode == 0, run.stderr
    # (an editable install may print its rebuild first)
    assert run.stdout.splitlines()[-3:] == [failure(-6), failure(-6), failure(-7)]


def test_runs_of_close_knots_longer_than_the_order_end_cleanly_in_a_child_interpreter():
    # Closeness is no equality: a run of knots close to one another may be far
    # longer than p + 1, which the removal formulas are not made for.
    code = textwrap.dedent(
        """
        import numpy as np
        from videvo import curvekit as ck
        cases = [np.r_[[0.0] * 4, 0.5 + 1e-13 * np.arange(8), [1.0] * 4], np.zeros(14),
                 np.r_[[1e6] * 4, np.linspace(1e6, 1e6 + 1, 16000)[1:-1], [1e6 + 1] * 4]]
        for U in cases:
            P = np.cos(np.arange(len(U) - 4.0))
            U0, P0 = U.copy(), P.copy()
            print(ck.splksrem(U, P, 3, 1e-3), np.array_equal(U, U0) and np.array_equal(P, P0))
        """
    )
    run = run_child(code, timeout=60)
    assert run.returncode == 0, run.stderr
    assert run.stdout.splitlines()[-3:] == ["0 True"] * 3
