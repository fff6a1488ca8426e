"""Motion analysis: one-pass kinematics, exact extrema and peaks, sampling."""

import math

import numpy as np
import pytest
from numpy.polynomial import Polynomial

from videvo import curvekit as ck
from videvo import motion, trajdata, trajmake
from trajectories import random_trajectory, reference


def bezier_trajectory(power, start=0.0, stop=1.0, order=0):
    """The polynomial sum power[j] * s**j, s = (x - start) / (stop - start), as
    one Bezier span (its Bernstein coefficients as control points)."""
    d = len(power) - 1
    b = [sum(math.comb(i, j) / math.comb(d, j) * power[j] for j in range(i + 1)) for i in range(d + 1)]
    knots = np.r_[[start] * (d + 1), [stop] * (d + 1)]
    return trajmake.bspltraj(knots, np.array(b, float), d, order)


def polynomial_extrema(power, nu, start=0.0, stop=1.0):
    """Minimum and maximum of the nu-th derivative on [start, stop] from the
    roots of the next derivative (numpy's companion-matrix roots)."""
    f = Polynomial(power, domain=[start, stop], window=[0, 1]).deriv(nu)
    xs = [start, stop] + [r.real for r in f.deriv().roots() if abs(r.imag) < 1e-12 and start < r.real < stop]
    vals = [f(x) for x in xs]
    return min(vals), max(vals)


SMOOTH_STEP = [0.0, 0.0, 0.0, 10.0, -15.0, 6.0]


def test_quintic_smooth_step_peaks_are_the_closed_forms():
    # v = 30 x^2 (1 - x)^2 peaks at x = 1/2; a = 60 x (1 - x)(1 - 2x) peaks where
    # 1 - 6x + 6x^2 = 0, x = 1/2 - sqrt(3)/6, with x(1 - x) = 1/6 and
    # 1 - 2x = sqrt(3)/3: a = 10/sqrt(3); j = 60 (1 - 6x + 6x^2) peaks at the ends.
    pk = motion.peaks(bezier_trajectory(SMOOTH_STEP))
    assert list(pk) == ["velocity", "acceleration", "jerk"]
    assert pk["velocity"] == pytest.approx((15 / 8, 0.5), rel=1e-14)
    assert pk["acceleration"] == pytest.approx((10 / math.sqrt(3), 0.5 - math.sqrt(3) / 6), rel=1e-14)
    assert pk["jerk"] == pytest.approx((60.0, 0.0), abs=1e-12)
    lo, xlo, hi, xhi = motion.extrema(bezier_trajectory(SMOOTH_STEP), 2)
    assert (lo, xlo) == pytest.approx((-10 / math.sqrt(3), 0.5 + math.sqrt(3) / 6), rel=1e-14)


@pytest.mark.parametrize("degree", [3, 4, 6, 9])
@pytest.mark.parametrize("seed", range(3))
def test_extrema_of_polynomials_match_the_roots_of_the_next_derivative(degree, seed):
    power = np.random.default_rng(seed).normal(size=degree + 1)
    t = bezier_trajectory(power, -1.0, 2.0)
    for nu in range(degree):
        lo, xlo, hi, xhi = motion.extrema(t, nu)
        want_lo, want_hi = polynomial_extrema(power, nu, -1.0, 2.0)
        scale = max(abs(want_lo), abs(want_hi))
        assert abs(lo - want_lo) <= 1e-12 * scale and abs(hi - want_hi) <= 1e-12 * scale
        assert abs(t(xlo, nu) - lo) <= 1e-12 * scale and abs(t(xhi, nu) - hi) <= 1e-12 * scale


@pytest.mark.parametrize("a, gap", [(0.37, 1e-6), (0.6, 3e-6)])
def test_an_extremum_next_to_a_double_root_of_the_slope_is_found(a, gap):
    # slope (s - a)(s - b)^2: the minimum -1 at a, then a flat point at b
    slope = Polynomial.fromroots([a, a + gap, a + gap])
    value = slope.integ()
    value -= value(a) + 1.0
    lo, xlo, _, _ = motion.extrema(bezier_trajectory(value.coef), 0)
    assert lo == pytest.approx(-1.0, abs=1e-12) and xlo == pytest.approx(a, abs=1e-5)


@pytest.mark.parametrize("p", [2, 3, 5, 7])
def test_no_dense_sample_exceeds_the_extrema_and_they_are_attained(p):
    # random knots, repeated up to p times: the top derivatives jump at knots
    t, _ = random_trajectory(10 + p, p, n_cpts=30)
    x, h = np.linspace(t.start, t.stop, 10**6, retstep=True)
    for nu in range(p + 1):
        lo, xlo, hi, xhi = motion.extrema(t, nu)
        v = t(x, nu)
        scale = np.abs(v).max()
        assert v.max() <= hi + 1e-12 * scale and v.min() >= lo - 1e-12 * scale
        # a sample lies within h of each extremum (every span is longer than h)
        slope = 2 * np.abs(t(x, nu + 1)).max()
        assert hi - v.max() <= slope * h + 1e-12 * scale and v.min() - lo <= slope * h + 1e-12 * scale
        for value, where in ((lo, xlo), (hi, xhi)):
            # attained there, or just before where the derivative jumps (the
            # span search puts points within the closeness tolerance on the knot)
            sides = [t(where, nu), t(max(where - 1e-7, t.start), nu)]
            assert min(abs(s - value) for s in sides) <= slope * 1e-7 + 1e-12 * scale


def test_extrema_above_the_degree_are_zero():
    t = bezier_trajectory(SMOOTH_STEP, 2.0, 3.0)
    assert motion.extrema(t, 6) == (0.0, 2.0, 0.0, 2.0)


@pytest.mark.parametrize("nu, value", [(0, 3.0), (1, 0.0)])
def test_a_one_point_domain_has_the_value_of_its_evaluation(nu, value):
    t = trajmake.bspltraj(np.full(6, 2.0), np.array([1.0, 2.0, 3.0]), 2, 0)
    assert motion.extrema(t, nu) == (value, 2.0, value, 2.0) and t(2.0, nu) == value


@pytest.mark.parametrize("order", [0, 1, 2, 3])
def test_peak_names_follow_the_order(order):
    t = bezier_trajectory(SMOOTH_STEP, order=order)
    names = ["velocity", "acceleration", "jerk"]
    pk = motion.peaks(t)
    assert list(pk) == names[max(order, 1) - 1:]
    # the quantity of order q is the (q - order)-th derivative
    base = motion.peaks(bezier_trajectory(SMOOTH_STEP))
    for q, name in enumerate(names, start=1):
        if q >= order:
            lo, xlo, hi, xhi = motion.extrema(t, q - order)
            assert pk[name] == (max(abs(lo), abs(hi)), xlo if abs(lo) > abs(hi) else xhi)
    if order == 1:
        assert pk["acceleration"] == base["velocity"]


@pytest.mark.parametrize("sort", [True, False])
def test_kinematics_equal_scipy_derivatives(sort):
    t, rng = random_trajectory(4, 5, n_cpts=40, start=-1.0, stop=3.0)
    x = rng.uniform(-1.0, 3.0, 5000)
    x = np.sort(x) if sort else x
    K = motion.kinematics(t, list(x), upto=7)
    assert K.shape == (8, len(x)) and K.dtype == np.float64
    spline = reference(t)
    for nu in range(8):
        want = spline(x, nu=nu) if nu <= 5 else np.zeros_like(x)
        assert np.allclose(K[nu], want, rtol=1e-11, atol=1e-11 * np.abs(want).max() + 1e-300)


@pytest.mark.parametrize(
    "kwargs, times",
    [
        ({"rate": 4.0}, [0.0, 0.25, 0.5, 0.75, 1.0]),
        ({"dt": 0.3}, [0.0, 0.3, 0.6, 0.9, 1.0]),  # a shorter last step ends at stop
        ({"dt": 0.1}, [k / 10 for k in range(11)]),  # 10 steps up to rounding: no remnant step
        ({"rate": 0.5}, [0.0, 1.0]),
        ({"dt": 1e10}, [0.0, 1.0]),  # a domain shorter than the rounding allowance
    ],
)
def test_sample_steps_from_start_and_ends_at_stop(kwargs, times):
    t = bezier_trajectory(SMOOTH_STEP)
    tt, K = motion.sample(t, upto=2, **kwargs)
    assert np.allclose(tt, times, rtol=0, atol=1e-15) and tt[-1] == 1.0
    assert np.array_equal(K, motion.kinematics(t, tt, 2))


def test_sample_at_a_control_rate_hits_every_period():
    t = bezier_trajectory(SMOOTH_STEP, 0.5, 2.5)
    tt, K = motion.sample(t, rate=1000.0)
    assert len(tt) == 2001 and tt[-1] == 2.5 and K.shape == (4, 2001)
    assert np.allclose(np.diff(tt), 1e-3, rtol=1e-9, atol=0)


# the smooth step's peaks on [0, 1] (see above), and its velocity on a domain
# of length 2 as a trajectory of order 1
PEAKS = {"velocity": 15 / 8, "acceleration": 10 / math.sqrt(3), "jerk": 60.0}
SMOOTH_VELOCITY = [0.0, 0.0, 15.0, -30.0, 15.0]


@pytest.mark.parametrize("power, order", [(SMOOTH_STEP, 0), (SMOOTH_VELOCITY, 1)])
@pytest.mark.parametrize(
    "limits", [dict(vmax=0.5, amax=2.0, jmax=20.0), dict(vmax=10.0), dict(amax=1.0, jmax=1e3), dict(jmax=6e3)]
)
def test_fit_limits_meets_every_limit_and_one_exactly(power, order, limits):
    t = bezier_trajectory(power, 1.0, 3.0, order)
    f = motion.fit_limits(t, **limits)
    quantity = {"vmax": ("velocity", 1), "amax": ("acceleration", 2), "jmax": ("jerk", 3)}
    # on a domain of length 2 the quantity of order q peaks at PEAKS / 2^q
    s = max((PEAKS[name] / 2**q / limits[k]) ** (1 / q) for k, (name, q) in quantity.items() if k in limits)
    assert (f.start, f.order) == (1.0, order) and f.stop == pytest.approx(1.0 + 2.0 * s, rel=1e-15)
    pk = motion.peaks(f)
    ratios = [pk[quantity[k][0]][0] / v for k, v in limits.items()]
    assert max(ratios) == pytest.approx(1.0, rel=1e-12) and all(r <= 1.0 for r in ratios)
    # the same path on the new time axis: the position's own peaks scale exactly
    assert pk["jerk"][0] == pytest.approx(PEAKS["jerk"] / (2 * s) ** 3, rel=1e-12)
    assert t.stop == 3.0


@pytest.mark.parametrize("limits", [dict(amax=1.0), dict(jmax=0.1), dict(jmax=1.0)])
def test_fit_limits_never_exceeds_a_limit_by_rounding(limits):
    (key, limit), = limits.items()
    f = motion.fit_limits(bezier_trajectory(SMOOTH_STEP), **limits)
    assert limit * (1 - 1e-14) < motion.peaks(f)[{"amax": "acceleration", "jmax": "jerk"}[key]][0] <= limit


def test_a_trajectory_that_is_not_a_number_somewhere_has_nan_extrema_there():
    t = trajmake.bspltraj(np.array([0, 0, 1, 2, 3, 4, 4.0]), np.array([0, 1, np.nan, 4, 5.0]), 1, 0)
    lo, xlo, hi, xhi = motion.extrema(t)
    assert np.isnan(lo) and np.isnan(hi) and xlo == xhi == 1.0  # (the first span that is not a number)
    with pytest.raises(ValueError, match="^no time scaling meets the limits: the trajectory is not a number at t = 1"):
        motion.fit_limits(t, vmax=1.0)
    assert list(motion.peaks(bezier_trajectory(SMOOTH_STEP, order=2**31 - 1))) == ["derivative 2147483647"]


@pytest.mark.parametrize("slopes", [None, (0.0, 0.0), (-1.5, 2.0)])
def test_approximate_places_knots_and_fits_as_the_curve_module_does(slopes):
    rng = np.random.default_rng(7)
    x = np.sort(rng.uniform(0.5, 4.5, 300))
    y = np.sin(x) + rng.normal(0, 1e-2, x.size)
    a = motion.approximate(list(x), y, 3, 25, order=1, slopes=slopes)
    U, P = np.empty(29), np.empty(25)
    ck.kevalappr(x, 3, U)
    if slopes is None:
        ck.gcsplapp(x, y, 3, U, P)
    else:
        ck.gdsplapp(x, y, 3, U, P, slopes)
    assert (a.p, a.n, a.order) == (3, 24, 1)
    assert np.array_equal(a.get_knotvector_asarray(), U) and np.array_equal(a.get_cpts_asarray(), P)
    assert (a(x[0]), a(x[-1])) == (y[0], y[-1])
    if slopes is not None:
        assert (a(x[0], 1), a(x[-1], 1)) == pytest.approx(slopes, abs=1e-12)


EMPTY = trajdata.Trajectory1d()
STEP = bezier_trajectory(SMOOTH_STEP)
X = np.linspace(0.0, 1.0, 20)


@pytest.mark.parametrize(
    "call, message",
    [
        (lambda: motion.extrema(STEP, -1), "'nu' must be non-negative number"),
        (lambda: motion.kinematics(STEP, [0.5], -1), "'upto' must be non-negative number"),
        (lambda: motion.kinematics(STEP, [0.5, 1.5]), "'x' out of domain: 1.5"),
        (lambda: motion.kinematics(STEP, [np.nan]), "'x' out of domain: nan"),
        (lambda: motion.kinematics(STEP, [[0.5]]), "'x' must be one-dimensional, not 2-dimensional"),
        (lambda: motion.sample(STEP, rate=0.0), "'rate' must be positive: 0.0"),
        (lambda: motion.sample(STEP, dt=-0.1), "'dt' must be positive: -0.1"),
        (lambda: motion.sample(STEP, rate=np.inf), "'rate' must be positive: inf"),
        (lambda: motion.sample(STEP), "give exactly one of 'rate' and 'dt'"),
        (lambda: motion.sample(STEP, rate=1.0, dt=1.0), "give exactly one of 'rate' and 'dt'"),
        (lambda: motion.sample(STEP, dt=1e-12), "too many samples: 1000000000002.0"),
        (lambda: motion.extrema(EMPTY), "'t' is an empty trajectory"),
        (lambda: motion.kinematics(EMPTY, [0.0]), "'t' is an empty trajectory"),
        (lambda: motion.peaks(EMPTY), "'t' is an empty trajectory"),
        (lambda: motion.sample(EMPTY, rate=1.0), "'t' is an empty trajectory"),
        (lambda: motion.fit_limits(EMPTY, vmax=1.0), "'t' is an empty trajectory"),
        (lambda: motion.approximate(X, X[:-1], 3, 8), "xp and fp must have same dimension"),
        (lambda: motion.approximate(X, X, 0, 8), "p must be greater than or equal to 1"),
        (lambda: motion.approximate(X, X, 3, 3), "n must be greater than or equal to p"),
        (lambda: motion.approximate(X, X, 3, 20),
         "the number of points to be approximated must be greater than the number of control points"),
        (lambda: motion.approximate(X[::-1], X, 3, 8), "'x' must be increasing"),
        (lambda: motion.approximate(X, X, 3, 8, order=-1), "'order' must be non-negative number"),
        (lambda: motion.approximate(X, X, 3, 8, slopes=(1.0,)), "'slopes' must be None or a pair of floats"),
        (lambda: motion.fit_limits(STEP, vmax=0.0), "'vmax' must be positive: 0.0"),
        (lambda: motion.fit_limits(STEP, vmax=1.0, amax=-2.0), "'amax' must be positive: -2.0"),
        (lambda: motion.fit_limits(STEP, jmax=np.nan), "'jmax' must be positive: nan"),
        (lambda: motion.fit_limits(STEP), "give at least one of 'vmax', 'amax' and 'jmax'"),
        (lambda: motion.fit_limits(bezier_trajectory([1.0, 2.0, 0.0], order=2), vmax=1.0, amax=1.0),
         "'vmax' limits a lower derivative than the trajectory's order 2"),
        (lambda: motion.fit_limits(bezier_trajectory([1.0, 0.0, 0.0]), vmax=1.0, amax=1.0),
         "no time scaling makes a limit active: every limited quantity is zero or its limit infinite"),
        (lambda: motion.fit_limits(trajmake.lin1p(0.0, 1.0, 3, 0, (0.0, 0.0), 0.1), amax=1e-3),  # (rounding only)
         "no time scaling makes a limit active: every limited quantity is zero or its limit infinite"),
    ],
)
def test_bad_arguments_are_refused(call, message):
    with pytest.raises(ValueError) as info:
        call()
    assert str(info.value) == message


def test_a_trajectory_is_required():
    with pytest.raises(TypeError, match="'t' must be a Trajectory1d, not list"):
        motion.extrema([0.0, 1.0])
