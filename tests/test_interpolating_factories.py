"""Trajectories through data points: fromdata, fromdatatdma, fromdatawaed."""

import threading

import numpy as np
import pytest
from scipy.interpolate import CubicSpline, make_interp_spline

import videvo.curvekit as ck
from videvo import trajmake
from videvo.trajdata import Trajectory1d
from trajectories import reference


def data(count=30, seed=0, start=-1.0, stop=4.0):
    rng = np.random.default_rng(seed)
    x = np.sort(rng.uniform(start, stop, count))
    return x, np.sin(2 * x) + 0.1 * rng.normal(size=count)


def knots(t):
    return t.get_knotvector_asarray()


def cpts(t):
    return t.get_cpts_asarray()


class TestFromdata:
    def test_worked_example(self):
        x = np.array([0, 1, 3, 4.0])
        t = trajmake.fromdata(x, x, 2, 0)
        assert (t.p, t.n, t.order) == (2, 3, 0)
        assert knots(t).tolist() == [0, 0, 0, 2, 4, 4, 4]
        np.testing.assert_allclose(t(x), x, atol=1e-14)

    @pytest.mark.parametrize("p", [2, 3, 4, 5])
    def test_interpolates_and_matches_scipy_on_the_same_knots(self, p):
        x, y = data(40, seed=p)
        t = trajmake.fromdata(x, y, p, 1)
        assert type(t) is Trajectory1d and t.order == 1 and (t.start, t.stop) == (x[0], x[-1])
        np.testing.assert_allclose(t(x), y, atol=1e-12)
        U = np.empty(len(x) + p + 1)
        ck.averaging(x, p, U)
        np.testing.assert_array_equal(knots(t), U)
        np.testing.assert_allclose(cpts(t), make_interp_spline(x, y, k=p, t=U).c, rtol=1e-9, atol=1e-9)

    def test_degree_one_is_the_polyline(self):
        x, y = data(12)
        t = trajmake.fromdata(x, y, 1, 0)
        assert knots(t).tolist() == [x[0], *x, x[-1]]
        assert cpts(t).tolist() == y.tolist()
        mid = (x[:-1] + x[1:]) / 2
        np.testing.assert_allclose(t(mid), np.interp(mid, x, y), rtol=1e-14)

    @pytest.mark.parametrize("p", [2, 3, 5])
    def test_clamped_ends_take_the_given_slopes(self, p):
        x, y = data(25, seed=10 + p)
        t = trajmake.fromdata(x, y, p, 0, clamp=True, dy=(1.5, -2.0))
        assert t.n == len(x) + 1
        np.testing.assert_allclose(t(x), y, atol=1e-12)
        assert t.dpeval(x[0], 1) == pytest.approx(1.5, abs=1e-10)
        assert t.dpeval(x[-1], 1) == pytest.approx(-2.0, abs=1e-10)
        flat = trajmake.fromdata(x, y, p, 0, clamp=1)  # truth value; dy defaults to zeros
        assert flat.dpeval(x[0], 1) == pytest.approx(0.0, abs=1e-10)
        assert flat.dpeval(x[-1], 1) == pytest.approx(0.0, abs=1e-10)
        free = trajmake.fromdata(x, y, p, 0, clamp=None, dy=(1.5, -2.0))  # None is false
        assert free.n == len(x) - 1

    def test_dy_without_clamp_has_no_effect(self):
        x, y = data(15)
        a = trajmake.fromdata(x, y, 3, 0)
        b = trajmake.fromdata(x, y, 3, 0, False, (5.0, 5.0))
        np.testing.assert_array_equal(cpts(a), cpts(b))

    @pytest.mark.parametrize("call, message", [
        (lambda: trajmake.fromdata(np.arange(4.0), np.arange(3.0), 0, -1), "'fp' must have the same length as 'xp'"),
        (lambda: trajmake.fromdata(np.array([0, 1, 1, 2.0]), np.arange(4.0), 0, -1), "'xp' must be increasing"),
        (lambda: trajmake.fromdata(np.array([0, np.nan, 2, 3.0]), np.arange(4.0), 2, 0), "'xp' must be increasing"),
        (lambda: trajmake.fromdata(np.array([0, 1, 2, np.inf]), np.arange(4.0), 2, 0), "'xp' must be finite"),
        (lambda: trajmake.fromdata(np.arange(4.0), np.arange(4.0), 0, -1), "inconsistent 'p' value"),
        (lambda: trajmake.fromdata(np.arange(9.0), np.arange(9.0), 1, 0, clamp=True), "inconsistent 'p' value"),
        (lambda: trajmake.fromdata(np.arange(3.0), np.arange(3.0), 3, -1),
         "degree inconsistent with the number of data points"),
        (lambda: trajmake.fromdata(np.arange(5.0), np.arange(5.0), 3, 0, clamp=True),
         "degree inconsistent with the number of data points"),
        (lambda: trajmake.fromdata(np.arange(4.0), np.arange(4.0), 3, -2),
         "'order' value must be greater than or equal to zero: -2"),
    ])
    def test_checks_in_order(self, call, message):
        with pytest.raises(ValueError) as err:
            call()
        assert str(err.value) == message

    def test_point_counts_at_the_limits(self):
        assert trajmake.fromdata(np.arange(4.0), np.arange(4.0), 3, 0).n == 3
        assert trajmake.fromdata(np.arange(6.0), np.arange(6.0), 3, 0, clamp=True).n == 7

    def test_arguments(self):
        with pytest.raises(TypeError):
            trajmake.fromdata(None, np.arange(4.0), 3, 0)
        with pytest.raises(TypeError, match="'dy' must be a pair of numbers"):
            trajmake.fromdata(np.arange(6.0), np.arange(6.0), 3, 0, True, (1.0,))
        with pytest.raises(TypeError):
            trajmake.fromdata(np.arange(6.0), np.arange(6.0), 3, 0, True, (0.0, 0.0), 1)
        t = trajmake.fromdata(xp=np.arange(6.0), fp=np.arange(6.0), p=3, order=0, dy=(1, 1), clamp="yes")
        assert t.dpeval(0.0, 1) == pytest.approx(1.0)


    def test_long_inputs_are_checked_and_built_alike_in_threads(self):
        # Long arrays are scanned and their knots placed without the
        # interpreter lock, while other threads build their own trajectories.
        x, y = data(40000, seed=7, stop=400.0)
        late_nan = x.copy()
        late_nan[-5] = np.nan
        with pytest.raises(ValueError, match="^'xp' must be increasing$"):
            trajmake.fromdata(late_nan, y, 3, 0)
        jobs = [(p, clamp) for p in (2, 3, 4, 5) for clamp in (False, True)]
        serial = [cpts(trajmake.fromdata(x, y, p, 0, clamp, (1.0, -1.0))) for p, clamp in jobs]
        results = [None] * len(jobs)

        def build(i):
            p, clamp = jobs[i]
            results[i] = [cpts(trajmake.fromdata(x, y, p, 0, clamp, (1.0, -1.0))) for _ in range(2)]

        threads = [threading.Thread(target=build, args=(i,)) for i in range(len(jobs))]
        for t in threads:
            t.start()
        for t in threads:
            t.join()
        for runs, expected in zip(results, serial):
            assert all(np.array_equal(P, expected) for P in runs)


class TestFromdatatdma:
    def test_knots_are_the_abscissae(self):
        x = np.array([0, 0.5, 1.5, 2, 3.5, 4.0])
        t = trajmake.fromdatatdma(x, x ** 2, 2)
        assert (t.p, t.n, t.order) == (3, 7, 2)
        assert knots(t).tolist() == [0, 0, 0, 0, 0.5, 1.5, 2, 3.5, 4, 4, 4, 4]

    def test_agrees_with_the_clamped_cubic_spline(self):
        x, y = data(200, seed=3)
        t = trajmake.fromdatatdma(x, y, 0, dy=(0.5, -1.0))
        spline = CubicSpline(x, y, bc_type=((1, 0.5), (1, -1.0)))
        probe = np.linspace(x[0], x[-1], 777)
        np.testing.assert_allclose(t(probe), spline(probe), atol=1e-11)
        assert t.dpeval(x[0], 1) == pytest.approx(0.5, abs=1e-10)
        assert t.dpeval(x[-1], 1) == pytest.approx(-1.0, abs=1e-10)

    def test_checks(self):
        with pytest.raises(ValueError, match="^too few data points$"):
            trajmake.fromdatatdma(np.arange(5.0), np.arange(5.0), 0)
        with pytest.raises(ValueError, match="^'fp' must have the same length as 'xp'$"):
            trajmake.fromdatatdma(np.arange(5.0), np.arange(6.0), 0)
        with pytest.raises(ValueError, match="^'xp' must be increasing$"):
            trajmake.fromdatatdma(np.array([0, 1, 2, 2, 3, 4.0]), np.arange(6.0), 0)
        with pytest.raises(ValueError, match="^'order' value must be greater than or equal to zero: -1$"):
            trajmake.fromdatatdma(np.arange(6.0), np.arange(6.0), -1)


class TestFromdatawaed:
    def test_without_end_conditions_it_is_fromdata(self):
        x, y = data(20, seed=4)
        a = trajmake.fromdatawaed(x, y, 3, 0, np.empty(0), np.empty(0))
        b = trajmake.fromdata(x, y, 3, 0)
        np.testing.assert_array_equal(knots(a), knots(b))
        np.testing.assert_allclose(cpts(a), cpts(b), rtol=1e-12, atol=1e-12)

    @pytest.mark.parametrize("p, Ds, De", [(3, [0.7], [-0.2]), (5, [1.0, -2.0, 0.5], [0.0, 3.0]), (4, [], [2.0, 1.0, -1.0])])
    def test_end_derivatives_are_prescribed(self, p, Ds, De):
        x, y = data(30, seed=p)
        Ds, De = np.array(Ds, float), np.array(De, float)
        t = trajmake.fromdatawaed(x, y, p, 0, Ds, De)
        assert t.n == len(x) + len(Ds) + len(De) - 1
        np.testing.assert_allclose(t(x), y, atol=1e-11)
        spline = reference(t)
        for i, d in enumerate(Ds):
            assert spline(x[0], i + 1) == pytest.approx(d, abs=1e-8 * max(1, abs(d)))
        for i, d in enumerate(De):
            assert spline(x[-1], i + 1) == pytest.approx(d, abs=1e-8 * max(1, abs(d)))

    def test_slopes_agree_with_clamped_fromdata(self):
        x, y = data(20, seed=6)
        t = trajmake.fromdatawaed(x, y, 3, 0, np.array([1.0]), np.array([2.0]))
        c = trajmake.fromdata(x, y, 3, 0, clamp=True, dy=(1.0, 2.0))
        for u in (x[0], x[-1]):
            assert t.dpeval(u, 1) == pytest.approx(c.dpeval(u, 1), abs=1e-9)

    @pytest.mark.parametrize("args, message", [
        ((np.arange(4.0), np.arange(3.0), 3, 0, [], []), "'fp' must have the same length as 'xp'"),
        ((np.array([0, 2, 1.0]), np.arange(3.0), 3, 0, [], []), "'xp' must be increasing"),
        ((np.arange(4.0), np.arange(4.0), 1, 0, [], []), "inconsistent 'p' value"),
        ((np.arange(2.0), np.arange(2.0), 3, 0, [], []), "degree inconsistent with the number of data points"),
        ((np.arange(3.0), np.arange(3.0), 3, 0, [], []), "degree inconsistent with the number of data points"),
        ((np.arange(5.0), np.arange(5.0), 3, 0, [1, 2, 3], []),
         "the maximum constrained derivative must be less than 'p'"),
        ((np.arange(5.0), np.arange(5.0), 3, -1, [], []), "'order' value must be greater than or equal to zero: -1"),
    ])
    def test_checks(self, args, message):
        xp, fp, p, order, Ds, De = args
        with pytest.raises(ValueError) as err:
            trajmake.fromdatawaed(xp, fp, p, order, np.array(Ds, float), np.array(De, float))
        assert str(err.value) == message

    def test_as_few_points_as_the_degree_with_end_conditions(self):
        # Three points and one condition at each end give a cubic of five
        # control points: accepted, and it meets all five conditions.
        x = np.array([0.0, 1.0, 2.0])
        t = trajmake.fromdatawaed(x, np.array([0.0, 1.0, 0.0]), 3, 0, np.array([1.0]), np.array([-1.0]))
        assert t.n == 4
        np.testing.assert_allclose(t(x), [0, 1, 0], atol=1e-12)
        assert t.dpeval(0.0, 1) == pytest.approx(1.0)


def test_factories_are_published_for_other_modules():
    assert trajmake.__all__[:4] == ["bspltraj", "fromdata", "fromdatatdma", "fromdatawaed"]
    assert list(trajmake.__capi__)[:4] == ["bspltraj", "fromdata", "fromdatatdma", "fromdatawaed"]


def test_fromdata_at_machine_level_takes_its_optional_values_in_one_record():
    import ctypes

    from splines import capsule_address

    class View(ctypes.Structure):
        _fields_ = [("data", ctypes.POINTER(ctypes.c_double)), ("size", ctypes.c_ssize_t)]

    class Options(ctypes.Structure):
        _fields_ = [("given", ctypes.c_int), ("clamp", ctypes.c_int), ("dy0", ctypes.c_double),
                    ("dy1", ctypes.c_double)]

    entry = ctypes.PYFUNCTYPE(ctypes.py_object, View, View, ctypes.c_int, ctypes.c_int, Options)(
        capsule_address(trajmake.__capi__["fromdata"]))
    x, y = data(10, seed=8)

    def view(a):
        return View(a.ctypes.data_as(ctypes.POINTER(ctypes.c_double)), a.size)

    plain = entry(view(x), view(y), 3, 0, Options(0, 1, 5.0, 5.0))      # nothing given: no clamp
    np.testing.assert_array_equal(cpts(plain), cpts(trajmake.fromdata(x, y, 3, 0)))
    clamped = entry(view(x), view(y), 3, 0, Options(1, 1, 5.0, 5.0))    # clamp given, dy default
    assert clamped.dpeval(x[0], 1) == pytest.approx(0.0, abs=1e-9)
    sloped = entry(view(x), view(y), 3, 0, Options(2, 1, 2.0, -1.0))
    assert sloped.dpeval(x[-1], 1) == pytest.approx(-1.0, abs=1e-9)
    with pytest.raises(ValueError, match="inconsistent 'p' value"):
        entry(view(x), view(y), 0, 0, Options(0, 0, 0.0, 0.0))


@pytest.mark.parametrize("make", [
    lambda x, bad: trajmake.fromdata(x, np.sin(x), 3, 0, True, (bad, 0.0)),
    lambda x, bad: trajmake.fromdatatdma(x, np.sin(x), 0, (0.0, bad)),
    lambda x, bad: trajmake.fromdatawaed(x, np.sin(x), 3, 0, np.array([bad]), np.array([0.0])),
])
def test_end_conditions_that_are_not_finite_are_refused(make):
    x = np.linspace(0.0, 5.0, 8)
    for bad in (np.nan, np.inf):
        with pytest.raises(ValueError, match="must hold finite numbers$"):
            make(x, bad)
