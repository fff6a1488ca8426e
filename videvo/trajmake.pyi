"""
Factories of trajectories: each returns a new videvo.trajdata.Trajectory1d
that owns its knot vector and control points.
"""

import numpy

import videvo.trajdata


def bspltraj(knots: numpy.ndarray, cpts: numpy.ndarray, p: int, order: int) -> videvo.trajdata.Trajectory1d:
    """
    A new trajectory from a clamped knot vector and control points.

    Parameters
    ----------
    knots : float64 array
        Knot vector U[0..n+p+1]: p + 1 equal knots at each end, non-decreasing
        in between, len(cpts) + p + 1 values.
    cpts : float64 array
        Control points P[0..n].
    p : int
        Degree, at least 0.
    order : int
        Derivative order of the quantity (0 displacement, 1 velocity, ...), at
        least 0.

    Returns
    -------
    Trajectory1d
        Degree p, n = len(cpts) - 1, holding copies of the arrays.

    Raises
    ------
    ValueError
        "'p' must be greater than or equal to zero"; "inconsistent 'knots'
        vector" (not clamped for p, decreasing, not finite, or of another length);
        "'order' value must be greater than or equal to zero: <order>" (checked
        in this order).
    TypeError
        None or a non-array in place of an array.
    """

def fromdata(xp: numpy.ndarray, fp: numpy.ndarray, p: int, order: int, clamp: object = False, dy: tuple[float, float] = (0.0, 0.0)) -> videvo.trajdata.Trajectory1d:
    """
    A new trajectory of degree p through the points (xp[i], fp[i]).

    Parameters
    ----------
    xp, fp : float64 arrays
        Increasing abscissae (times) and the values there.
    p : int
        Degree: at least 1, at least 2 with `clamp`.
    order : int
        Derivative order of the quantity (0 displacement, 1 velocity, ...).
    clamp : object, default False
        When true (by its truth value), the first derivatives at both ends are
        prescribed by `dy`.
    dy : pair of floats, default (0.0, 0.0)
        Slopes at xp[0] and xp[-1]; ignored without `clamp`.

    Returns
    -------
    Trajectory1d
        Knots by averaging the abscissae, control points by global interpolation
        (n = len(xp) - 1, or len(xp) + 1 with `clamp`); for p = 1 the polyline.

    Raises
    ------
    ValueError
        In this order: "'fp' must have the same length as 'xp'"; "'xp' must be
        increasing" (also for a NaN); "inconsistent 'p' value"; "degree
        inconsistent with the number of data points" (fewer than p + 1 points,
        p + 3 with `clamp`); the order message.
    Exception
        "'dgesv' LAPACK function failed with 'info' value: <info>" for a
        singular system.
    """

def fromdatatdma(xp: numpy.ndarray, fp: numpy.ndarray, order: int, dy: tuple[float, float] = (0.0, 0.0)) -> videvo.trajdata.Trajectory1d:
    """
    A new cubic trajectory through the points (xp[i], fp[i]) with the slopes
    `dy` at both ends, solved by the tridiagonal algorithm.

    Parameters
    ----------
    xp, fp : float64 arrays
        At least 6 points, xp increasing.
    order : int
        Derivative order of the quantity.
    dy : pair of floats, default (0.0, 0.0)
        Slopes at xp[0] and xp[-1].

    Returns
    -------
    Trajectory1d
        Degree 3, n = len(xp) + 1; the interior knots are xp[1:-1].

    Raises
    ------
    ValueError
        In this order: "'fp' must have the same length as 'xp'"; "'xp' must be
        increasing"; "too few data points"; the order message.
    """

def fromdatawaed(xp: numpy.ndarray, fp: numpy.ndarray, p: int, order: int, Ds: numpy.ndarray, De: numpy.ndarray) -> videvo.trajdata.Trajectory1d:
    """
    A new trajectory of degree p through the points (xp[i], fp[i]) with
    derivatives prescribed at both ends.

    Parameters
    ----------
    xp, fp : float64 arrays
        Increasing abscissae and the values there.
    p : int
        Degree, at least 2.
    order : int
        Derivative order of the quantity.
    Ds, De : float64 arrays
        Ds[i] (De[i]) is the derivative of order i + 1 at xp[0] (xp[-1]); either
        may be empty, both shorter than p.

    Returns
    -------
    Trajectory1d
        Knots by averaging, n = len(xp) + len(Ds) + len(De) - 1.

    Raises
    ------
    ValueError
        In this order: "'fp' must have the same length as 'xp'"; "'xp' must be
        increasing"; "inconsistent 'p' value"; "degree inconsistent with the
        number of data points" (also when fewer than p + 1 control points
        would result); "the maximum constrained derivative must be less than
        'p'"; the order message.
    Exception
        The LAPACK failure message for a singular system.
    """

def constant(start: float, stop: float, p: int, order: int, k: float) -> videvo.trajdata.Trajectory1d:
    """
    A new trajectory of degree p that is the constant k on [start, stop]: one
    Bezier segment (knots p + 1 times start, p + 1 times stop) whose control
    points all equal k.  start = stop is accepted; the result then evaluates
    to k there.

    Raises ValueError, in this order: "'stop' must be greater than 'start'";
    "'start' and 'stop' must be finite"; "'p' must be greater than or equal
    to zero: <p>"; the order message.  MemoryError for a degree whose knot
    vector the library cannot hold.
    """

def zeros(start: float, stop: float, p: int, order: int) -> videvo.trajdata.Trajectory1d:
    """constant(start, stop, p, order, 0.0): the zero trajectory of degree p."""

def ones(start: float, stop: float, p: int, order: int) -> videvo.trajdata.Trajectory1d:
    """
    constant(start, stop, p, order, 1.0): the trajectory of degree p that is 1.
    """

def lin1p(start: float, stop: float, p: int, order: int, pt: tuple[float, float], m: float) -> videvo.trajdata.Trajectory1d:
    """
    A new trajectory of degree p on [start, stop] that is the straight line
    through pt = (x0, y0) with slope m (x0 may lie outside the domain).

    Raises ValueError, in this order: "'stop' must be greater than 'start'";
    "'start' and 'stop' must be finite"; "'p' must be at least 1: <p>"; the
    order message.
    """

def lin2p(start: float, stop: float, p: int, order: int, pt1: tuple[float, float], pt2: tuple[float, float]) -> videvo.trajdata.Trajectory1d:
    """
    A new trajectory of degree p on [start, stop] that is the straight line
    through the points pt1 and pt2.

    Raises ZeroDivisionError("infinite slope is not allowed") when the two
    abscissae are equal (before anything else), then as lin1p.
    """

def sintraj(xp: numpy.ndarray, p: int, order: int, amp: float = 1.0, ph: float = 0.0, k: float = 1.0, nu: int = -1) -> videvo.trajdata.Trajectory1d:
    """
    A new trajectory of degree p through amp * sin((k x + ph) pi / 180) sampled
    at the increasing abscissae xp (angles in degrees: k is in degrees per unit
    of x), with its exact derivatives of orders 1..nu prescribed at both ends.

    Parameters
    ----------
    xp : float64 array
        Increasing abscissae, at least p + 1 of them.
    p : int
        Degree, at least 2.
    order : int
        Derivative order of the quantity.
    amp, ph, k : float, defaults 1.0, 0.0, 1.0
        Amplitude, phase (degrees) and multiplier (degrees per unit of x).
    nu : int, default -1
        Number of end derivatives; -1 stands for p - 1.

    Returns
    -------
    Trajectory1d
        As fromdatawaed(xp, samples, p, order, Ds, De).

    Raises
    ------
    ValueError
        In this order, before anything is allocated: "'nu' must be greater than
        zero" (nu < -1); "'xp' must be increasing"; "'p' must be greater than
        or equal to zero" (p <= 0); "degree inconsistent with the number of data
        points"; the order message; "'xp' must be finite"; "inconsistent 'p'
        value" (p = 1); "the maximum constrained derivative must be less than
        'p'".
    """

def costraj(xp: numpy.ndarray, p: int, order: int, amp: float = 1.0, ph: float = 0.0, k: float = 1.0, nu: int = -1) -> videvo.trajdata.Trajectory1d:
    """
    sintraj(xp, p, order, amp, ph + 90.0, k, nu): the cosine, as a sine shifted
    by 90 degrees.  Raises as sintraj.
    """

def polytraj(start: float, stop: float, p: int, order: int, c: numpy.ndarray, dimless: object = False) -> videvo.trajdata.Trajectory1d:
    """
    A new trajectory of degree p on [start, stop] that is a polynomial, exactly.

    Parameters
    ----------
    start, stop : float
        The domain.
    p : int
        Degree of the result, at least the degree len(c) - 1 of the polynomial.
    order : int
        Derivative order of the quantity.
    c : float64 array
        Coefficients from the highest power down to the constant term.
    dimless : object, default False
        For three or more coefficients: when true (by its truth value) the
        polynomial is in the normalised parameter t = (x - start) / (stop - start),
        otherwise in the local abscissa x - start.  One coefficient gives the
        constant c[0]; two give the line c[0] x + c[1] in the absolute abscissa x.

    Returns
    -------
    Trajectory1d
        One Bezier segment of degree len(c) - 1, raised to degree p with degelev.

    Raises
    ------
    ValueError
        In this order: "'stop' must be greater than 'start'"; "'start' and
        'stop' must be finite"; "'c' must not be empty"; "'p' must be greater
        than or equal to the degree of the polynomial: <p>"; the order message;
        for one or two coefficients the checks of constant and lin1p; the errors
        of degelev.
    """

__capi__: object

__all__: list = ['bspltraj', 'fromdata', 'fromdatatdma', 'fromdatawaed', 'constant', 'zeros', 'ones', 'lin1p', 'lin2p', 'sintraj', 'costraj', 'polytraj']
