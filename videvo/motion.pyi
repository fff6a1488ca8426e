"""
Motion analysis of trajectories: one-pass kinematics, exact extrema and
peaks, time scaling to velocity, acceleration and jerk limits, fixed-rate
sampling and least-squares trajectories from logged data.
"""

import numpy
import numpy.typing

import videvo.trajdata


def kinematics(t: videvo.trajdata.Trajectory1d, x: numpy.typing.ArrayLike, upto: int = 3) -> numpy.ndarray:
    """
    The trajectory and its derivatives 1..upto at the points x, in one pass.

    Parameters
    ----------
    t : Trajectory1d
    x : array-like of floats
        Points inside [t.start, t.stop], in any order (sorted points are
        fastest: each span is found from the previous one).
    upto : int, default 3
        Highest derivative order.

    Returns
    -------
    numpy.ndarray
        Shape (upto + 1, len(x)), float64: row k holds the k-th derivative
        (for a displacement: position, velocity, acceleration, jerk, ...).

    Raises
    ------
    ValueError
        "'t' is an empty trajectory"; "'upto' must be non-negative number";
        "'x' out of domain: <x>" (also for NaN); for x of more than one
        dimension.
    TypeError
        t not a Trajectory1d.
    """

def sample(t: videvo.trajdata.Trajectory1d, rate: float | None = None, dt: float | None = None, upto: int = 3) -> tuple[numpy.ndarray, numpy.ndarray]:
    """
    Setpoints of a trajectory at a fixed rate: the sample times and the
    kinematics there.

    Parameters
    ----------
    t : Trajectory1d
    rate : float, optional
        Samples per unit of time; give either this or `dt`.
    dt : float, optional
        Time between samples.
    upto : int, default 3
        Highest derivative order.

    Returns
    -------
    (tt, K)
        tt = start, start + dt, ... (each start + k * dt), the last one at
        stop: the final step is shorter when the duration is not a whole
        number of steps (within 1e-9 of a step it is taken as whole); K is
        kinematics(t, tt, upto).

    Raises
    ------
    ValueError
        "'t' is an empty trajectory"; "give exactly one of 'rate' and 'dt'";
        "'rate' must be positive: <rate>" (or 'dt'; also for infinities and
        NaN); "'upto' must be non-negative number"; "too many samples: <N>".
    """

def extrema(t: videvo.trajdata.Trajectory1d, nu: int = 0) -> tuple[float, float, float, float]:
    """
    The exact minimum and maximum of the nu-th derivative of a trajectory over
    its whole domain, and where they occur.

    Per knot span the derivative is a polynomial: its critical points (roots
    of the next derivative, in closed form up to degree 2, otherwise by
    Bernstein subdivision and Newton's method) and the span ends are the
    candidates.  Where the derivative jumps at a knot, both one-sided values
    count.

    Parameters
    ----------
    t : Trajectory1d
    nu : int, default 0
        Derivative order (0: the trajectory itself).

    Returns
    -------
    (lo, xlo, hi, xhi)
        The minimum lo at xlo and the maximum hi at xhi (the first place for
        equal values); for nu > p the derivative is 0 everywhere and both
        places are t.start.

    Raises
    ------
    ValueError
        "'t' is an empty trajectory"; "'nu' must be non-negative number".
    TypeError
        t not a Trajectory1d.
    """

def peaks(t: videvo.trajdata.Trajectory1d) -> dict[str, tuple[float, float]]:
    """
    The peak magnitudes of velocity, acceleration and jerk and when they occur.

    Parameters
    ----------
    t : Trajectory1d
        Of order o: its nu-th derivative is the quantity of order o + nu.

    Returns
    -------
    dict
        name -> (max |value|, time), for the quantities from order max(o, 1)
        to order max(o, 3): 'velocity', 'acceleration', 'jerk' (then 'snap',
        'crackle', 'pop', 'derivative <k>'), each from extrema(t, nu).

    Raises
    ------
    ValueError
        "'t' is an empty trajectory".
    """

def fit_limits(t: videvo.trajdata.Trajectory1d, vmax: float | None = None, amax: float | None = None, jmax: float | None = None) -> videvo.trajdata.Trajectory1d:
    """
    A new trajectory: t run on a time axis stretched (or compressed) by the one
    factor that meets every given limit, at least one of them exactly.

    With the peaks v, a, j of t (see peaks), the factor is
    s = max(v / vmax, (a / amax)^(1/2), (j / jmax)^(1/3)) over the given
    limits; the domain becomes [start, start + s (stop - start)] by hscale(s).
    s < 1 speeds the trajectory up.  A trajectory of order o > 0 (the o-th
    derivative of a path) also has its values divided by s^o, so that it
    describes the same path on the new time axis.

    Parameters
    ----------
    t : Trajectory1d
    vmax, amax, jmax : float, optional
        Limits of |velocity|, |acceleration|, |jerk|; at least one.

    Returns
    -------
    Trajectory1d
        A new, plain trajectory; t is unchanged.

    Raises
    ------
    ValueError
        "'t' is an empty trajectory"; "'vmax' must be positive: <vmax>" (and
        for amax, jmax; also for NaN); "give at least one of 'vmax', 'amax' and
        'jmax'"; "'vmax' limits a lower derivative than the trajectory's
        order <o>" (a velocity limit on an acceleration, say); "no time
        scaling makes a limit active: ..." when every limited quantity is
        zero (a trajectory at rest) or every limit infinite; the message of
        hscale when the new knots would not be finite.
    """

def approximate(x: numpy.typing.ArrayLike, y: numpy.typing.ArrayLike, p: int, ncpts: int, order: int = 0, slopes: tuple[float, float] | None = None) -> videvo.trajdata.Trajectory1d:
    """
    A least-squares trajectory of degree p with ncpts control points through
    logged data (x[i], y[i]).

    The knots are placed by curvekit.kevalappr; the control points by
    curvekit.gcsplapp (the first and last data points are met exactly) or,
    with `slopes`, by curvekit.gdsplapp (the end slopes are met as well).

    Parameters
    ----------
    x, y : array-like of floats
        Increasing times and the values there.
    p : int
        Degree, at least 1.
    ncpts : int
        Number of control points: more than p, fewer than len(x).
    order : int, default 0
        Derivative order of the quantity (0 displacement, 1 velocity, ...).
    slopes : pair of floats, optional
        First derivatives at x[0] and x[-1].

    Returns
    -------
    Trajectory1d
        On [x[0], x[-1]].

    Raises
    ------
    ValueError
        In this order: "xp and fp must have same dimension"; "p must be
        greater than or equal to 1"; "n must be greater than or equal to p"
        (n = ncpts - 1); "the number of points to be approximated must be
        greater than the number of control points"; "'x' must be increasing"
        (also for NaN); "'x' must be finite"; "'order' must be non-negative
        number"; "'slopes' must be None or a pair of floats"; for x or y of
        more than one dimension.
    Exception
        The LAPACK failure message of the least-squares routines for a
        singular system (a basis function without data in its support).
    """

__all__: list = ['kinematics', 'extrema', 'peaks', 'fit_limits', 'sample', 'approximate']
