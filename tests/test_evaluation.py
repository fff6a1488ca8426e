"""Curve evaluation: values and derivatives at points and on arrays."""

import numpy as np
import pytest
from scipy.interpolate import BSpline

import videvo.curvekit as ck
from splines import random_spline, reference_derivative, run_child, sample_points

INFO = "the algorithm failed with 'info' value: "
U3 = np.array([0, 0, 0, 0, 1, 2, 3, 3, 3, 3.0])
P3 = np.array([0, 1, 3, 4, 2, 0.0])


def scale_of(values):
    return max(1.0, float(np.max(np.abs(values))))


@pytest.mark.parametrize("p", range(6))
def test_values_and_derivatives_follow_the_piece_of_the_selected_span(p):
    # The reference evaluates, with SciPy, the polynomial piece of the span
    # that the closeness rule selects (a parameter a fraction of the tolerance
    # left of a knot is evaluated on the piece right of it).
    rng = np.random.default_rng(100 + p)
    for _ in range(6):
        U, P = random_spline(rng, p, start=rng.uniform(-5, 0), stop=rng.uniform(1, 50))
        x = np.sort(sample_points(rng, U))
        top = p + 2
        CK = np.empty((top + 1, x.size))
        ck.dsplcev(x, U, P, p, 0, top, CK)
        np.testing.assert_array_equal(CK[p + 1:], 0.0)
        for nu in range(0, p + 1):
            ref = np.array([reference_derivative(U, P, p, u, nu) for u in x])
            np.testing.assert_allclose(CK[nu], ref, rtol=1e-9, atol=1e-9 * scale_of(ref))
        values = x.copy()
        ck.splcev(values, U, P, p)
        np.testing.assert_allclose(values, CK[0], rtol=1e-13, atol=1e-13 * scale_of(P))
        for j in range(0, x.size, 7):
            assert ck.splpev(x[j], U, P, p) == pytest.approx(values[j], abs=1e-13 * scale_of(P))
            D = np.empty(top + 1)
            ck.dsplpev(x[j], U, P, p, top, D)
            np.testing.assert_allclose(D, CK[:, j], rtol=1e-9, atol=1e-9 * scale_of(CK[:, j]))


@pytest.mark.parametrize("p", range(6))
def test_values_match_scipy_at_knots_ends_and_between(p):
    rng = np.random.default_rng(200 + p)
    U, P = random_spline(rng, p, n_cpts=40)
    x = np.r_[np.unique(U), rng.uniform(U[0], U[-1], 200)]
    values = np.sort(x)
    expected = BSpline(U, P, p)(values)
    ck.splcev(values, U, P, p)
    np.testing.assert_allclose(values, expected, rtol=1e-13, atol=1e-13 * scale_of(P))


def test_far_from_knots_the_derivatives_are_scipys():
    rng = np.random.default_rng(7)
    U, P = random_spline(rng, 4, n_cpts=60)
    spline = BSpline(U, P, 4)
    x = np.sort(rng.uniform(U[0], U[-1], 500))
    x = x[np.min(np.abs(x[:, None] - U[None, :]), axis=1) > 1e-6]
    CK = np.empty((3, x.size))
    ck.dsplcev(x, U, P, 4, 1, 3, CK)
    for k in range(3):
        ref = spline(x, k + 1)
        np.testing.assert_allclose(CK[k], ref, rtol=1e-10, atol=1e-10 * scale_of(ref))


@pytest.mark.parametrize("p", range(8))
def test_sorted_and_unsorted_parameters_give_identical_results(p):
    # Sorted runs are evaluated several points at a time, other orders one by
    # one: both must round alike, on knots, next to them and between.
    rng = np.random.default_rng(8 + p)
    U, P = random_spline(rng, p, n_cpts=300, start=-1.5, stop=7.0)
    x = np.sort(np.r_[sample_points(rng, U, 2000), np.repeat(U[p + 1:-p - 1][:20], 5)])
    perm = rng.permutation(x.size)
    a, b = x.copy(), x[perm].copy()
    ck.splcev(a, U, P, p)
    ck.splcev(b, U, P, p)
    np.testing.assert_array_max_ulp(a[perm], b, maxulp=4)
    CKa, CKb = np.empty((p + 2, x.size)), np.empty((p + 2, x.size))
    ck.dsplcev(x, U, P, p, 0, p + 1, CKa)
    ck.dsplcev(x[perm], U, P, p, 0, p + 1, CKb)
    np.testing.assert_array_equal(CKa[:, perm], CKb)
    above = np.empty((p + 1, x.size))  # orders from 1 on
    ck.dsplcev(x[perm], U, P, p, 1, p + 1, above)
    np.testing.assert_array_equal(above, CKa[1:, perm])
    np.testing.assert_array_equal(CKa[0], a)
    # One order alone takes lanes for shuffled and for sparse sorted points.
    sparse = x[::16].copy()
    for nu in range(1, p + 1):
        one, few, CKs = np.empty((1, x.size)), np.empty((1, sparse.size)), np.empty((p + 2, sparse.size))
        ck.dsplcev(x[perm], U, P, p, nu, nu, one)
        np.testing.assert_array_equal(one[0], CKa[nu, perm])
        ck.dsplcev(sparse, U, P, p, nu, nu, few)
        ck.dsplcev(sparse, U, P, p, 0, p + 1, CKs)
        np.testing.assert_array_equal(few[0], CKs[nu])


@pytest.mark.parametrize("p", [1, 3])
def test_points_in_any_order_on_a_curve_larger_than_the_cache(p):
    # Beyond a megabyte of knots and control points, shuffled points ask for
    # their memory chunks ahead; they still round as the sorted points do.
    rng = np.random.default_rng(30 + p)
    U, P = random_spline(rng, p, n_cpts=70_000)
    x = np.sort(np.r_[rng.uniform(U[0], U[-1], 5_000), U[p + 1:-p - 1:50]])
    perm = rng.permutation(x.size)
    a, b = x.copy(), x[perm].copy()
    ck.splcev(a, U, P, p)
    ck.splcev(b, U, P, p)
    np.testing.assert_array_equal(a[perm], b)
    CKa, CKb = np.empty((3, x.size)), np.empty((3, x.size))
    ck.dsplcev(x, U, P, p, 0, 2, CKa)
    ck.dsplcev(x[perm], U, P, p, 0, 2, CKb)
    np.testing.assert_array_equal(CKa[:, perm], CKb)


def test_ends_give_the_end_control_points():
    rng = np.random.default_rng(9)
    for p in range(6):
        U, P = random_spline(rng, p)
        assert ck.splpev(U[0], U, P, p) == P[0]
        assert ck.splpev(U[-1], U, P, p) == pytest.approx(P[-1], abs=1e-15)


@pytest.mark.parametrize("p", [1, 2, 3, 5, 7])
def test_ends_and_knots_of_multiplicity_p_give_their_control_points_exactly(p):
    # d * (1 / d) misses 1 for about one knot difference in seven, so the
    # basis must not pass through it where the parameter is a knot of its span.
    rng = np.random.default_rng(40 + p)
    for _ in range(40):
        a, b, c = np.sort(rng.uniform(0, 1, 3)) * rng.uniform(0.1, 7)
        U = np.r_[np.zeros(p + 1), a, np.full(p, b), c, np.full(p + 1, c + rng.uniform(0.1, 3))]
        P = rng.normal(size=U.size - p - 1)
        ends = np.array([U[0], b, U[-1]])
        expected = P[[0, p + 1, -1]]
        assert [ck.splpev(u, U, P, p) for u in ends] == list(expected)
        x = np.r_[ends, rng.uniform(U[0], U[-1], 9)]
        for order in (np.arange(x.size), rng.permutation(x.size)):
            values, CK = x[order].copy(), np.empty((2, x.size))
            ck.splcev(values, U, P, p)
            ck.dsplcev(x[order], U, P, p, 0, 1, CK)
            where = np.argsort(order)[:3]
            np.testing.assert_array_equal(values[where], expected)
            np.testing.assert_array_equal(CK[0, where], expected)


def test_splcev_overwrites_its_parameters():
    P = np.array([0, 0.5, 1, 2, 2.5, 3.0])
    C = np.array([0.5, 1.5, 2.5])
    first = C.copy()
    ck.splcev(C, U3, P, 3)
    expected = [ck.splpev(u, U3, P, 3) for u in first]
    np.testing.assert_allclose(C, expected, rtol=1e-15)
    ck.splcev(C, U3, P, 3)  # now evaluates at the values of the first call
    np.testing.assert_allclose(C, [ck.splpev(u, U3, P, 3) for u in expected], rtol=1e-15)


def test_degree_zero_and_derivatives_above_the_degree():
    U = np.array([0, 1, 2, 3.0])
    P = np.array([5, 6, 7.0])
    C = np.array([0.0, 0.5, 1.0, 2.999, 3.0])
    ck.splcev(C, U, P, 0)
    assert C.tolist() == [5, 5, 6, 7, 7]
    CK = np.full(4, 9.0)
    ck.dsplpev(1.5, U, P, 0, 3, CK)
    assert CK.tolist() == [6, 0, 0, 0]
    CK = np.full((2, 2), 9.0)
    ck.dsplcev(np.array([0.5, 1.0]), U3, P3, 3, 4, 5, CK)
    assert (CK == 0).all()


class TestDomainAndArguments:
    def test_point_outside_the_domain(self):
        with pytest.raises(ValueError, match="^" + INFO + "-5$"):
            ck.splpev(3 + 1e-15, U3, P3, 3)
        CK = np.empty(2)
        with pytest.raises(ValueError, match="^" + INFO + "-5$"):
            ck.dsplpev(-1e-300, U3, P3, 3, 1, CK)

    @pytest.mark.parametrize("bad", [-0.1, 3.1, np.nan, np.inf])
    @pytest.mark.parametrize("where", [0, 2, 4, 6])
    def test_every_parameter_is_checked_and_nothing_written(self, bad, where):
        C = np.array([0.0, 0.5, 1.0, 1.5, 2.0, 2.5, 3.0])
        C[where] = bad
        before = C.copy()
        with pytest.raises(ValueError, match="^" + INFO + "-5$"):
            ck.splcev(C, U3, P3, 3)
        np.testing.assert_array_equal(C, before)
        CK = np.full((1, C.size), 9.0)
        with pytest.raises(ValueError, match="^" + INFO + "-8$"):
            ck.dsplcev(C, U3, P3, 3, 1, 1, CK)
        assert (CK == 9.0).all()
        with pytest.raises(ValueError, match="^" + INFO + "-5$"):
            ck.splpev(bad, U3, P3, 3)

    def test_nan_never_hangs_the_unsorted_path(self):
        C = np.array([2.0, np.nan, 1.0])
        with pytest.raises(ValueError):
            ck.splcev(C, U3, P3, 3)

    @pytest.mark.parametrize("U, P, p, code", [
        (U3, P3, -1, -2),
        (U3, P3, 6, -1),
        (U3[:-1], P3, 3, -3),                                     # length mismatch
        (np.array([0, 0, 0, 0.5, 1, 2, 3, 3, 3, 3.0]), P3, 3, -3),  # not clamped
    ])
    def test_curve_checks(self, U, P, p, code):
        with pytest.raises(ValueError, match="^" + INFO + str(code) + "$"):
            ck.splpev(0.5, U, P, p)
        with pytest.raises(ValueError, match="^" + INFO + str(code) + "$"):
            ck.splcev(np.array([0.5]), U, P, p)
        with pytest.raises(ValueError, match="^" + INFO + str(code) + "$"):
            ck.dsplcev(np.array([0.5]), U, P, p, 0, 0, np.empty((1, 1)))

    def test_derivative_argument_codes(self):
        C = np.array([0.5, 1.5])
        with pytest.raises(ValueError, match="^" + INFO + "-6$"):
            ck.splcev(np.empty(0), U3, P3, 3)
        with pytest.raises(ValueError, match="^" + INFO + "-6$"):
            ck.dsplpev(0.5, U3, P3, 3, -1, np.empty(0))
        with pytest.raises(ValueError, match="^" + INFO + "-5$"):
            ck.dsplcev(C, U3, P3, 3, -1, 1, np.empty((3, 2)))
        with pytest.raises(ValueError, match="^" + INFO + "-6$"):
            ck.dsplcev(C, U3, P3, 3, 2, 1, np.empty((0, 2)))
        with pytest.raises(ValueError, match="^" + INFO + "-7$"):
            ck.dsplcev(np.empty(0), U3, P3, 3, 1, 1, np.empty((1, 0)))
        with pytest.raises(ValueError, match="^" + INFO + "-9$"):
            ck.dsplcev(C, U3, P3, 3, 1, 2, np.empty((3, 2)))

    def test_output_sizes(self):
        with pytest.raises(ValueError, match="^'CK' must have 3 entries, not 2$"):
            ck.dsplpev(0.5, U3, P3, 3, 2, np.empty(2))
        with pytest.raises(ValueError, match=r"^'CK' must have 2 columns \(one per parameter\), not 3$"):
            ck.dsplcev(np.array([0.5, 1.5]), U3, P3, 3, 1, 1, np.empty((1, 3)))


class TestArrayArguments:
    @pytest.mark.parametrize("bad, kind, message", [
        (None, TypeError, "'U' must be a float64 array, not None"),
        ([0, 0, 0, 0, 1, 2, 3, 3, 3, 3.0], TypeError, "'U' must be a float64 array, not list"),
        (U3.astype(np.int64), ValueError, "'U' must have dtype float64, not int64"),
        (U3.astype(np.float32), ValueError, "'U' must have dtype float64, not float32"),
        (U3.reshape(2, 5), ValueError, "'U' must be one-dimensional, not 2-dimensional"),
        (np.repeat(U3, 2)[::2], ValueError, "'U' must be C-contiguous"),
        (U3.astype(">f8"), ValueError, None),
    ])
    def test_rejected_arrays(self, bad, kind, message):
        with pytest.raises(kind) as err:
            ck.splpev(0.5, bad, P3, 3)
        if message is not None:
            assert str(err.value) == message

    def test_arrays_with_too_few_dimensions_are_refused_in_every_module(self):
        # A 0-d array has no dimensions to read; a 1-d one has no second.
        code = """
import numpy as np, videvo.curvekit as ck, videvo.trajmake as tm
z = np.array(0.5); U = np.array([0, 0, 1, 1.0]); P = np.array([0, 1.0])
t = tm.bspltraj(U, P, 1, 0)
for call in (lambda: ck.splcev(z, U, P, 1), lambda: ck.splpev(0.5, U, z, 1),
             lambda: tm.bspltraj(z, P, 1, 0), lambda: tm.fromdata(z, P, 1, 0),
             lambda: tm.fromdatatdma(U, z, 0), lambda: tm.fromdatawaed(U, P, 1, 0, z, P),
             lambda: t.ceval(z), lambda: t.dceval(z, 1),
             lambda: ck.dsplcev(U, U, P, 1, 1, 1, np.empty(8)),
             lambda: ck.dsplcev(U, U, P, 1, 1, 1, z)):
    try:
        call()
    except ValueError as e:
        assert "dimensional, not" in str(e), e
    else:
        raise AssertionError("accepted")
"""
        done = run_child(code)
        assert done.returncode == 0, done.stderr

    def test_degrees_and_orders_at_the_limits_of_int_are_refused_in_a_child_interpreter(self):
        # Sizes derived from them overflowed 32 bits (and then read past U).
        code = """
import numpy as np, videvo.curvekit as ck, videvo.trajmake as tm
U, P, big = np.array([0, 0, 1, 1.0]), np.array([0, 1.0]), 2**31 - 1
print(ck.validknots(-2**31, U), ck.validknots(big, U))
for call in (lambda: ck.findspan(big, 0.5, np.empty(0)), lambda: ck.kevalappr(U, big, np.empty(0)),
             lambda: ck.bfunspev(0.5, 1, U, 2**30, np.empty(2)),
             lambda: ck.averaging3(U, big, big, big, np.empty(4))):
    try:
        call()
    except ValueError as e:
        print(e)
print(tm.bspltraj(U, P, 1, 0)(np.array([0.5]), big).tolist())
"""
        done = run_child(code)
        assert done.returncode == 0, done.stderr
        assert done.stdout.splitlines()[-6:] == [
            "1 1", INFO + "-3", "'U' must have at least 4294967296 entries for degree 2147483647",
            "'U' must have at least 2147483650 knots for degree 1073741824",
            "'U' must have 6442450946 entries, not 4", "[0.0]"]

    def test_read_only_inputs_are_accepted_outputs_are_not(self):
        U, P = U3.copy(), P3.copy()
        U.flags.writeable = False
        P.flags.writeable = False
        assert ck.splpev(1.5, U, P, 3) == ck.splpev(1.5, U3, P3, 3)
        C = np.array([0.5])
        C.flags.writeable = False
        with pytest.raises(ValueError, match="^'C' must be writable$"):
            ck.splcev(C, U3, P3, 3)

    def test_any_float64_buffer_works(self):
        C = memoryview(bytearray(np.array([0.5, 2.5]).tobytes())).cast("d")
        ck.splcev(C, memoryview(U3), memoryview(P3), 3)
        assert list(C) == [ck.splpev(0.5, U3, P3, 3), ck.splpev(2.5, U3, P3, 3)]

    def test_output_views_of_larger_arrays_are_written_in_place(self):
        big = np.zeros((3, 4))
        big[1, :] = [0.5, 1.0, 1.5, 2.0]
        ck.splcev(big[1], U3, P3, 3)
        assert big[0].tolist() == [0] * 4 and big[2].tolist() == [0] * 4
        assert big[1, 0] == ck.splpev(0.5, U3, P3, 3)


def test_walked_spans_are_the_spans_of_the_search():
    # With degree 0 the value is the control point of the span, so the spans
    # that the sorted walk picks can be read off and compared with findspan.
    rng = np.random.default_rng(21)
    for _ in range(20):
        U, _ = random_spline(rng, 0, n_cpts=int(rng.integers(1, 40)), start=rng.uniform(-3, 0),
                             stop=rng.uniform(0.5, 30))
        U[1:-1] = np.sort(np.repeat(U[1:-1], rng.integers(1, 4, U.size - 2)))[:U.size - 2]
        P = np.arange(U.size - 1, dtype=float)
        ties = [x - 1e-9 * abs(x) for x in U if x > 0] + [x - 1e-13 for x in U]
        x = np.sort(np.clip(np.r_[sample_points(rng, U, 30), ties], U[0], U[-1]))
        spans = x.copy()
        ck.splcev(spans, U, P, 0)
        assert spans.tolist() == [ck.findspan(0, u, U) for u in x]
