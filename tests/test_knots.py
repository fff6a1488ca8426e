"""Knot vectors: validation, placement and control-point abscissae."""

import numpy as np
import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

import videvo.curvekit as ck

INFO = "the algorithm failed with 'info' value: "


def arr(*values):
    return np.array(values, dtype=float)


class TestValidKnots:
    @pytest.mark.parametrize("U, p, expected", [
        (arr(0, 0, 0, 0, 1, 2, 2, 2, 2), 3, 0),
        (arr(0, 0, 0, 0, 1, 1, 1, 1), 3, 0),
        (arr(0, 0, 0, 0, 1, 1, 1, 2), 3, 1),                 # last knot differs
        (arr(0, 0, 0, 0.1, 1, 2, 2, 2, 2), 3, 1),            # start not clamped
        (arr(0, 0, 0, 0, 1, 1 - 1e-14, 2, 2, 2, 2), 3, 0),   # drop within tolerance
        (arr(0, 0, 0, 0, 1, 1 - 1e-6, 2, 2, 2, 2), 3, 1),    # real drop
        (arr(0, 1e-15, 1e-15, 1e-15, 1, 1, 1, 1), 3, 0),     # absolute floor 1e-13
        (arr(0, 1e-12, 1e-12, 1e-12, 1, 1, 1, 1), 3, 1),
        (arr(0, 1, 1, 3), 0, 0),                              # degree 0: non-decreasing only
        (arr(0, 2, 1, 3), 0, 1),
        (arr(0, 0, 0, 0, np.nan, 1, 1, 1, 1), 3, 1),
    ])
    def test_examples(self, U, p, expected):
        assert ck.validknots(p, U) == expected

    def test_knot_vector_too_short_or_negative_degree_is_invalid(self):
        U = arr(0, 0, 1, 1)
        assert ck.validknots(2, U) == 1
        assert ck.validknots(-1, U) == 1
        assert ck.validknots(0, arr()) == 1

    def test_long_knot_vector_with_one_drop_anywhere(self):
        U = np.r_[np.zeros(4), np.linspace(0.001, 0.999, 997), np.ones(4)]
        assert ck.validknots(3, U) == 0
        for i in (4, 5, 11, 500, 999, 1000):
            bad = U.copy()
            bad[i] = bad[i - 1] - 1e-3
            assert ck.validknots(3, bad) == 1, i


class TestPlacement:
    def test_worked_examples(self):
        x = arr(0, 1, 3, 4)
        U = np.empty(7)
        ck.eqspaced(x, 2, U)
        assert U.tolist() == [0, 0, 0, 2, 4, 4, 4]
        ck.averaging(x, 2, U)
        assert U.tolist() == [0, 0, 0, 2, 4, 4, 4]
        U8 = np.empty(8)
        ck.averaging(x, 3, U8)
        assert U8.tolist() == [0, 0, 0, 0, 4, 4, 4, 4]
        U9 = np.empty(9)
        ck.averaging2(x, 2, U9)
        assert U9.tolist() == [0, 0, 0, 0.5, 2, 3.5, 4, 4, 4]
        U7 = np.empty(7)
        ck.kevalappr(arr(0, 1, 2, 3, 4), 2, U7)
        assert U7.tolist() == [0, 0, 0, 1.5, 4, 4, 4]

    @settings(max_examples=60, deadline=None)
    @given(st.integers(1, 6), st.lists(st.floats(-100, 100), min_size=8, max_size=30, unique=True))
    def test_averaging3_generalises_the_other_averaging_rules(self, p, xs):
        x = np.sort(np.array(xs))
        n = len(x) - 1
        U1, U3 = np.empty(n + p + 2), np.empty(n + p + 2)
        ck.averaging(x, p, U1)
        ck.averaging3(x, p, 0, 0, U3)
        np.testing.assert_array_equal(U1, U3)
        U2, U3 = np.empty(n + p + 4), np.empty(n + p + 4)
        ck.averaging2(x, p, U2)
        ck.averaging3(x, p, 1, 1, U3)
        np.testing.assert_allclose(U2, U3, rtol=1e-15, atol=1e-13)
        for k, l in [(0, p), (p, 1), (2 if p >= 2 else 1, 0)]:
            U = np.empty(n + k + l + p + 2)
            ck.averaging3(x, p, k, l, U)
            assert ck.validknots(p, U) == 0
            assert U[0] == x[0] and U[-1] == x[-1]

    def test_placed_knots_are_valid_and_clamped(self):
        rng = np.random.default_rng(3)
        x = np.sort(rng.uniform(-5, 5, 25))
        for p in range(1, 6):
            for fn, extra in [(ck.eqspaced, 0), (ck.averaging, 0), (ck.averaging2, 2)]:
                U = np.empty(len(x) + p + 1 + extra)
                fn(x, p, U)
                assert ck.validknots(p, U) == 0
                assert (U[:p + 1] == x[0]).all() and (U[-p - 1:] == x[-1]).all()
            U = np.empty(10 + p + 1)
            ck.kevalappr(x, p, U)
            assert ck.validknots(p, U) == 0

    @pytest.mark.parametrize("fn", [ck.averaging, ck.averaging2])
    def test_averaging_rejects_degree_below_one(self, fn):
        U = np.full(9, 7.0)
        with pytest.raises(ValueError, match="'p' must be at least 1"):
            fn(arr(0, 1, 3, 4), 0, U)
        assert (U == 7.0).all()

    def test_wrong_output_size_is_rejected_before_writing(self):
        U = np.full(8, 7.0)
        with pytest.raises(ValueError, match="^'U' must have 7 entries, not 8$"):
            ck.averaging(arr(0, 1, 3, 4), 2, U)
        with pytest.raises(ValueError, match="^'U' must have 9 entries, not 8$"):
            ck.averaging2(arr(0, 1, 3, 4), 2, U)
        assert (U == 7.0).all()

    @pytest.mark.parametrize("place, p, count, extra", [
        (lambda x, p, U: ck.eqspaced(x, p, U), 3, 3, 0),
        (lambda x, p, U: ck.averaging(x, p, U), 4, 4, 0),
        (lambda x, p, U: ck.averaging2(x, p, U), 5, 3, 2),
        (lambda x, p, U: ck.averaging3(x, p, 1, 0, U), 3, 2, 1),
    ])
    def test_fewer_points_than_the_degree_needs_are_refused(self, place, p, count, extra):
        # The two clamped ends would overlap into a decreasing knot vector.
        U = np.full(count + extra + p + 1, 7.0)
        message = f"^'xp' must have at least {p + 1 - extra} entries for degree {p}, not {count}$"
        with pytest.raises(ValueError, match=message):
            place(np.linspace(0, 1, count), p, U)
        assert (U == 7.0).all()
        U = np.empty(count + 1 + extra + p + 1)
        place(np.linspace(0, 1, count + 1), p, U)
        assert ck.validknots(p, U) == 0

    def test_bad_arguments(self):
        with pytest.raises(ValueError, match="'p' must be at least 0"):
            ck.eqspaced(arr(0, 1), -1, np.empty(1))
        with pytest.raises(ValueError, match="'xp' must not be empty"):
            ck.averaging(arr(), 2, np.empty(3))
        with pytest.raises(ValueError, match="'k' must lie in"):
            ck.averaging3(arr(0, 1, 2, 3), 2, 3, 0, np.empty(10))
        with pytest.raises(ValueError, match="'l' must lie in"):
            ck.averaging3(arr(0, 1, 2, 3), 2, 0, -1, np.empty(5))
        with pytest.raises(ValueError, match="'U' must have at least 6 entries"):
            ck.kevalappr(arr(0, 1, 2, 3, 4), 2, np.empty(5))
        with pytest.raises(ValueError, match="'xp' must have at least as many points"):
            ck.kevalappr(arr(0, 1, 2), 2, np.empty(7))


class TestControlPointAbscissae:
    def test_examples(self):
        C = np.empty(4)
        ck.averagcpts(arr(0, 0, 0, 1, 2, 2, 2), 2, C)
        assert C.tolist() == [0, 0.5, 1.5, 2]
        C = np.empty(5)
        ck.averagcpts(arr(0, 0, 0, 0, 1, 2, 2, 2, 2), 3, C)
        np.testing.assert_allclose(C, [0, 1 / 3, 1, 5 / 3, 2], rtol=1e-15)

    def test_abscissae_reproduce_the_identity(self):
        # The control points x_i make the B-spline the identity function.
        from scipy.interpolate import BSpline
        rng = np.random.default_rng(5)
        U = np.r_[np.zeros(4), np.sort(rng.uniform(0, 3, 9)), np.full(4, 3.0)]
        C = np.empty(len(U) - 4)
        ck.averagcpts(U, 3, C)
        x = np.linspace(0, 3, 50)
        np.testing.assert_allclose(BSpline(U, C, 3)(x), x, atol=1e-14)

    @pytest.mark.parametrize("U, p, C_len, message", [
        (arr(0, 0, 1, 1), -1, 2, INFO + "-2"),
        (arr(0, 0, 0, 1, 1, 1), 3, 2, INFO + "-1"),
        (arr(0, 0, 0, 1, 2, 2, 2), 2, 3, INFO + "-3"),        # length is not len(C) + p + 1
        (arr(0, 0, 1, 1, 2, 2, 1), 2, 4, INFO + "-3"),        # decreasing
        (arr(0, 1, 2), 0, 2, "'p' must be at least 1"),
    ])
    def test_errors_leave_the_output_alone(self, U, p, C_len, message):
        C = np.full(C_len, 7.0)
        with pytest.raises(ValueError, match="^" + message.replace("'", "'")):
            ck.averagcpts(U, p, C)
        assert (C == 7.0).all()
