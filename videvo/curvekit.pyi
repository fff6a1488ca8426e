"""
B-spline and Bezier routines on float64 arrays.

Arrays are one-dimensional contiguous float64 NumPy arrays (two-dimensional
row-major where stated); results are written into arrays that the caller
passes.  Kernel status codes are raised as exceptions.

All functions       Wrapper for
------------------- --------------------------
validknots          ValidKnotVector
eqspaced            EquallySpaced
averaging           AveragingAlg1
averaging2          AveragingAlg2
averaging3          AveragingAlg3
averagcpts          AveragingCpts
findspan            FindSpan
findspanmult        FindSpanMult
bfunpev             OneBasisFun
bfuncev             OneBasisFun
bfunspev            BasisFuns
dbfunspev           DersBasisFuns
splpev              CurvePoint
splcev              CurveEval
dsplpev             CurveDerivsAlg1
dsplcev             CurveDerivsEval
dsplcpts            CurveDerivCptsAlg1
dsplcpts2           CurveDerivCptsAlg2
asplcpts            CurveAntiDerivCpts
splkins             CurveKnotIns
splkref             RefineKnotVectCurve
splkrem             RemoveCurveKnot
splksrem            RemoveCurveKnots
splkrem_notol       RemoveCurveKnotWithoutTol
getbndrem           GetRemovalBndCurve
degelevc            DegreeElevateCurve
gcsplint            -
gdsplint            -
gadsplint           -
cdsplint            SolveTridiagonal
splcjoin            -
splcsli             -
knotuniondim        -
splcsum             -
kevalappr           KnotsEvalL2Approx
gcsplapp            -
gdsplapp            -
knotsdegelev        IncreaseMultByOne
bezpev              PointOnBezierCurve
bezcev              BezierCurveEval
bezpev2             deCasteljau1
bezcev2             BezierCurveEval2
getbmtxelement      GetBezierMatrixElement
getbezmat           GetBezierMatrix
"""

import numpy


def validknots(p: int, U: numpy.ndarray) -> int:
    """
    Check a clamped knot vector for degree p: the first p + 1 and the last p + 1
    knots equal and the knots non-decreasing in between, all up to the closeness
    tolerance max(1e-9 * max(|a|, |b|), 1e-13).  Returns 0 when U is valid for
    len(U) - p - 1 control points, 1 otherwise.
    """

def eqspaced(xp: numpy.ndarray, p: int, U: numpy.ndarray) -> None:
    """
    Fill U (len(xp) + p + 1 entries) with the clamped knot vector of degree p
    whose interior knots are equally spaced between xp[0] and xp[-1].
    Raises ValueError for p < 0, an empty xp, fewer than p + 1 entries in xp or
    a U of another length.
    """

def averaging(xp: numpy.ndarray, p: int, U: numpy.ndarray) -> None:
    """
    Fill U (len(xp) + p + 1 entries) with the knots for interpolating the
    parameters xp by a degree-p B-spline: clamped ends and interior knots that
    are the means of p consecutive parameters.
    Raises ValueError for p < 1, an empty xp, fewer than p + 1 entries in xp or
    a U of another length.
    """

def averaging2(xp: numpy.ndarray, p: int, U: numpy.ndarray) -> None:
    """
    Knots by averaging for interpolation with the first derivative given at
    both ends: U has len(xp) + p + 3 entries.
    Raises ValueError for p < 1, an empty xp, fewer than p - 1 entries in xp or
    a U of another length.
    """

def averaging3(xp: numpy.ndarray, p: int, k: int, l: int, U: numpy.ndarray) -> None:
    """
    Knots by averaging for interpolation with k derivative conditions at the
    start and l at the end: U has len(xp) + k + l + p + 1 entries.  Each
    window of p parameters is clipped to the data and averaged over its length.
    Raises ValueError for p < 1, k or l outside [0, p], an empty xp, fewer than
    p + 1 - k - l entries in xp or a U of another length.
    """

def averagcpts(U: numpy.ndarray, p: int, C: numpy.ndarray) -> None:
    """
    Fill C with the abscissae of the control points of a degree-p curve on the
    knot vector U: C[i] = (U[i+1] + ... + U[i+p]) / p, with len(U) = len(C) + p + 1.
    Raises ValueError for p = 0 and, through the status code, for p < 0 (-2),
    p > len(C) - 1 (-1) or an invalid knot vector (-3).
    """

def kevalappr(xp: numpy.ndarray, p: int, U: numpy.ndarray) -> None:
    """
    Fill U with the clamped knot vector of degree p for a least-squares fit of
    the parameters xp by len(U) - p - 1 control points.
    Raises ValueError for p < 0, fewer than 2 points, a U shorter than 2p + 2
    entries or fewer points than control points.
    """

def findspan(p: int, u: float, U: numpy.ndarray) -> int:
    """
    Index of the knot span that holds u: the i in [p, n] with U[i] <= u < U[i+1]
    up to the closeness tolerance (a u close to a knot gets the span to its
    right, a u close to the end of the domain gets n).  n = len(U) - p - 2.
    Raises ValueError through the status code for p < 0 (-1), an invalid knot
    vector (-3) or a u outside the domain or NaN (-2).
    """

def findspanmult(p: int, u: float, U: numpy.ndarray) -> tuple[int, int]:
    """
    The span k of u (as findspan) and the multiplicity s of u at that span:
    the number of consecutive knots U[k], U[k-1], ... close to u.  Returns (k, s).
    Errors as findspan.
    """

def bfunpev(u: float, span: int, U: numpy.ndarray, p: int) -> float:
    """
    Value at u of the single basis function N(span, p) on the knot vector U.
    Raises ValueError for p < 0, a U of fewer than 2p + 2 knots, span outside
    [0, len(U) - p - 2] or u outside [U[0], U[-1]] (or NaN).
    """

def bfuncev(C: numpy.ndarray, span: int, U: numpy.ndarray, p: int) -> None:
    """
    Replace every C[j] by N(span, p)(C[j]).  Errors as bfunpev; nothing is
    written when one of them applies.
    """

def bfunspev(u: float, span: int, U: numpy.ndarray, p: int, N: numpy.ndarray) -> None:
    """
    Fill N (p + 1 entries) with the basis functions N(span - p, p) ... N(span, p)
    at u, span being the knot span of u.
    Raises ValueError for p < 0, a U of fewer than 2p + 2 knots, N of another
    size, span outside [p, len(U) - p - 2] or u outside [U[0], U[-1]] (or NaN).
    """

def dbfunspev(u: float, span: int, U: numpy.ndarray, p: int, k: int, nders: numpy.ndarray) -> None:
    """
    Fill the (k + 1) x (p + 1) array nders with the basis functions of span and
    their derivatives up to order k at u: nders[i, j] is the i-th derivative of
    N(span - p + j, p).
    Raises ValueError as bfunspev, and for k outside [0, p] or nders of another
    shape.
    """

def splpev(u: float, U: numpy.ndarray, P: numpy.ndarray, p: int) -> float:
    """
    Value at u of the B-spline of degree p with knots U and control points P.
    Raises ValueError through the status code for p > len(P) - 1 (-1), p < 0
    (-2), an invalid knot vector or one whose length is not len(P) + p + 1 (-3)
    or u outside [U[0], U[-1]] or NaN (-5).
    """

def splcev(C: numpy.ndarray, U: numpy.ndarray, P: numpy.ndarray, p: int) -> None:
    """
    Replace every C[j] by the value of the B-spline at C[j].  Non-decreasing
    parameters are evaluated fastest; any order is evaluated correctly.
    Raises as splpev (-5 for any parameter outside the domain, nothing written)
    and -6 for an empty C.
    """

def dsplpev(u: float, U: numpy.ndarray, P: numpy.ndarray, p: int, d: int, CK: numpy.ndarray) -> None:
    """
    Fill CK (d + 1 entries) with the derivatives of orders 0..d of the B-spline
    at u; orders above p are 0.
    Raises as splpev, -6 for d < 0, and ValueError for CK of another size.
    """

def dsplcev(C: numpy.ndarray, U: numpy.ndarray, P: numpy.ndarray, p: int, r1: int, r2: int, CK: numpy.ndarray) -> None:
    """
    Fill the (r2 - r1 + 1) x len(C) array CK with the derivatives of orders
    r1..r2 at the parameters C: CK[k, j] is the derivative of order r1 + k at
    C[j]; orders above p give rows of zeros.  C is not changed.
    Raises ValueError for CK without len(C) columns, and through the status
    code for p > n (-1), p < 0 (-2), an invalid knot vector (-3), r1 < 0 (-5),
    r2 < r1 (-6), an empty C (-7), a parameter outside the domain or NaN (-8),
    CK without r2 - r1 + 1 rows (-9).
    """

def dsplcpts(U: numpy.ndarray, P: numpy.ndarray, p: int, d: int, r1: int, r2: int, PK: numpy.ndarray) -> None:
    """
    Control points of the derivatives of orders 0..d of the B-spline (U, P, p)
    for the control points r1..r2.

    PK is a (d + 1) x len(P) array: row k receives the r2 - r1 - k + 1 control
    points of the k-th derivative that belong to the range; the rest of the row
    is not written.
    Raises ValueError for PK of another shape, and through the status code for
    p > len(P) - 1 (-1), p < 0 (-2), an invalid knot vector (-3), d outside
    [0, p] (-5), r1 outside [0, n] (-6), r2 outside [r1, n] (-7);
    ZeroDivisionError where p + 2 - k equal knots leave no span (the rows
    before stay written).
    """

def dsplcpts2(U: numpy.ndarray, P: numpy.ndarray, p: int, d: int, UK: numpy.ndarray, PK: numpy.ndarray) -> int:
    """
    The d-th derivative of the B-spline (U, P, p): a curve of degree p - d with
    knots UK[:len(U) - 2d] (d knots fewer at each end) and control points
    PK[:len(P) - d].  Returns nk = len(P) - 1 - d, its last control-point index.

    PK needs at least len(P) entries (the differences are formed in place; the
    last d are scratch), UK at least len(U) - 2d.
    Raises ValueError for shorter arrays, and through the status code for
    p > n (-1), p < 0 (-2), an invalid knot vector (-3), d outside [0, p] (-5);
    ZeroDivisionError where p + 2 - k equal knots leave no span.
    """

def asplcpts(U: numpy.ndarray, P: numpy.ndarray, p: int, d: int, UK: numpy.ndarray, PK: numpy.ndarray) -> None:
    """
    The d-fold antiderivative of the B-spline (U, P, p) that vanishes, with all
    its lower antiderivatives, at U[0]: degree p + d, knots UK (len(U) + 2d
    entries: d more copies of each end) and control points PK[:len(P) + d].

    Raises ValueError for UK shorter than len(U) + 2d, and through the status
    code for p > n (-1), p < 0 (-2), an invalid knot vector (-3), d < 0 (-5)
    or PK shorter than len(P) + d (-6).
    """

def splkins(UP: numpy.ndarray, P: numpy.ndarray, p: int, u: float, r: int, UQ: numpy.ndarray, Q: numpy.ndarray) -> None:
    """
    Insert the knot u r times into the B-spline (UP, P, p): UQ (len(UP) + r
    entries) and Q (len(P) + r) receive the same curve on the refined knots.

    Raises ValueError for UQ or Q of another size, and through the status code
    for p > n (-1), p < 0 (-2), an invalid knot vector (-3), u outside
    [UP[0], UP[-1]] or NaN (-5), r < 1 or a multiplicity of u that would exceed
    p, the end of the domain included (-8), and the start of the domain (-7).
    """

def splkref(U: numpy.ndarray, P: numpy.ndarray, p: int, X: numpy.ndarray, Ubar: numpy.ndarray, Q: numpy.ndarray) -> None:
    """
    Insert all knots of X (non-decreasing, strictly inside the domain) into the
    B-spline (U, P, p) in one sweep: Ubar (len(U) + len(X) entries) and Q
    (len(P) + len(X)) receive the same curve on the refined knots.

    Raises ValueError for Ubar or Q of another size, and through the status
    code for p > n (-1), p < 0 (-2), an invalid knot vector (-3), a value of X
    outside the open domain, out of order or NaN (-5), and an empty X (-6).
    """

def degelevc(U: numpy.ndarray, P: numpy.ndarray, p: int, t: int, Uh: numpy.ndarray, Q: numpy.ndarray) -> None:
    """
    Raise the degree of the B-spline (U, P, p) by t.  With s distinct interior
    knot values, Uh receives len(U) + t (s + 2) knots (every knot value gains t
    copies) and Q len(P) + t (s + 1) control points.  End knots that are only
    close to the end values count as equal to them.  Any degree from 0 works.

    Raises ValueError for Uh or Q too short, and through the status code for
    p > n (-1), p < 0 (-2), an invalid knot vector or a knot value repeated more
    than p + 1 times (-3), t < 1 or p + t > 1000 (-5).  With assertions enabled,
    AssertionError when Uh or Q is longer than the result.
    """

def knotsdegelev(U: numpy.ndarray, p: int, Uh: numpy.ndarray) -> None:
    """
    Fill Uh with the knot vector U of degree p with every knot value repeated
    once more: p + 2 copies of each end and one more copy of each interior value
    (knots equal within the closeness tolerance count as one value), the knots
    of the same curve raised to degree p + 1.

    Raises ValueError for p < 0, a U of fewer than 2p + 2 knots or whose last
    interior knot is close to its end, and Uh of another size than len(U) + s + 2
    (s interior values).
    """

def splkrem(U: numpy.ndarray, P: numpy.ndarray, p: int, u: float, num: int, tol: float = 1e-11) -> int:
    """
    Remove the interior knot u from the B-spline (U, P, p) up to num times, each
    removal only if it moves the curve by at most tol.  Works in place and
    returns t, the number of copies removed: the new curve is U[:len(U) - t],
    P[:len(P) - t] (the rest of the arrays is left over).

    Raises ValueError through the status code for p > n (-1), p < 0 (-2), an
    invalid knot vector (-3), u outside [U[0], U[-1]] or NaN (-5), u the start
    of the domain (-6), u not an interior knot, the end of the domain included
    (-7), num outside [1, s] with s the multiplicity of u (-8), tol < 0 (-9).
    """

def splksrem(U: numpy.ndarray, P: numpy.ndarray, p: int, tol: float = 1e-11) -> int:
    """
    Remove, from left to right, every interior knot copy of the B-spline
    (U, P, p) whose removal moves the curve by at most tol (each step is tested
    on its own; the deviations may add up).  Works in place and returns the
    number of knots removed, g: the new curve is U[:len(U) - g], P[:len(P) - g].

    Raises ValueError through the status code for p > n (-1), p < 0 (-2), an
    invalid knot vector (-3), tol < 0 (-5).
    """

def splkrem_notol(U: numpy.ndarray, P: numpy.ndarray, p: int, u: float, num: int) -> int:
    """
    splkrem without a tolerance: removes the knot u num times whatever the
    curve's change (a removal that yields a non-finite value is not made).
    Returns the number of copies removed; errors as splkrem.
    """

def getbndrem(U: numpy.ndarray, P: numpy.ndarray, p: int, u: float) -> float:
    """
    The distance by which removing the interior knot u once would move the
    B-spline (U, P, p); U and P are not changed.

    Raises ValueError through the status codes of splkrem for the same curve
    and u: -1, -2, -3, -5, -6 (the start of the domain) and -7 (u is not an
    interior knot, the end of the domain included).
    """

def gcsplint(xp: numpy.ndarray, fp: numpy.ndarray, p: int, U: numpy.ndarray, P: numpy.ndarray) -> None:
    """
    Global interpolation: fill P with the control points of the B-spline of
    degree p on the knot vector U that passes through (xp[k], fp[k]).

    U is placed beforehand, usually with averaging(xp, p, U), and has
    len(xp) + p + 1 knots; P has len(xp) entries.  The banded system is solved
    by elimination in the band (LAPACK's dgbsv where a pivot is not clearly
    non-zero) with the interpreter lock released.

    Raises AssertionError (in every interpreter mode) for arrays of the wrong
    sizes, p < 2, an empty xp, or more than 2 points with p > len(xp) - 1;
    ValueError when xp does not suit U (a row leaves the band of the system);
    Exception with LAPACK's info for a singular system: always for two equal
    consecutive abscissae (info = 1 + the row of the second one when rounding
    hides the zero pivot from the factorisation); MemoryError when the band
    storage cannot be allocated.  P is unspecified after a failure.
    """

def gdsplint(xp: numpy.ndarray, fp: numpy.ndarray, p: int, U: numpy.ndarray, P: numpy.ndarray, dy: tuple[float, float] = (0.0, 0.0)) -> None:
    """
    Global interpolation with the first derivatives dy = (start, end) given at
    both ends: fill P (len(xp) + 2 entries) for the knot vector U of
    len(xp) + p + 3 knots, usually placed with averaging2(xp, p, U).

    Raises as gcsplint; xp needs at least 2 points.
    """

def gadsplint(xp: numpy.ndarray, fp: numpy.ndarray, p: int, Ds: numpy.ndarray, De: numpy.ndarray, U: numpy.ndarray, P: numpy.ndarray) -> None:
    """
    Global interpolation with derivatives given at the ends: Ds[i] is the
    derivative of order i + 1 at xp[0], De[i] the one at xp[-1].  Fills P
    (len(xp) + len(Ds) + len(De) entries) for the knot vector U of len(P) + p + 1
    knots, usually placed with averaging3(xp, p, len(Ds), len(De), U).

    Raises as gcsplint, and AssertionError when max(len(Ds), len(De)) >= p or
    when derivatives are given with fewer than 2 points.
    """

def cdsplint(xp: numpy.ndarray, fp: numpy.ndarray, U: numpy.ndarray, P: numpy.ndarray, dy: tuple[float, float] = (0.0, 0.0)) -> None:
    """
    Cubic interpolation with the first derivatives dy = (start, end) given at
    both ends, by the tridiagonal algorithm.  Writes the knot vector U
    (len(xp) + 6 knots: the interior abscissae are the interior knots) and the
    control points P (len(xp) + 2 entries).

    Raises AssertionError (in every interpreter mode) for arrays of the wrong
    sizes; ValueError with status -1 for fewer than 4 points and -3 when xp
    does not increase; ZeroDivisionError when two interior abscissae coincide.
    P is unspecified after a failure.
    """

def gcsplapp(xp: numpy.ndarray, fp: numpy.ndarray, p: int, U: numpy.ndarray, P: numpy.ndarray) -> None:
    """
    Least-squares approximation: fill P with the control points of the B-spline
    of degree p on the knot vector U that passes through the first and the last
    point (xp[0], fp[0]), (xp[-1], fp[-1]) and fits the others in the
    least-squares sense.

    U has len(P) + p + 1 knots, usually placed with kevalappr(xp, p, U); its ends
    are xp[0] and xp[-1].  The points need not be sorted.  The banded normal
    equations are solved by LAPACK's dgbsv with the interpreter lock released.

    Raises AssertionError (in every interpreter mode) for len(fp) != len(xp),
    p < 1, p > len(P) - 1, len(P) >= len(xp) or len(U) != len(P) + p + 1;
    ValueError for an invalid knot vector or one of a single point, ends of U
    other than xp[0], xp[-1], or an xp that is not finite or lies outside
    [U[0], U[-1]]; Exception with LAPACK's info for a singular normal matrix (a
    control point with no data point in the support of its basis function);
    MemoryError.  P is unspecified after a failure of the solve.
    """

def gdsplapp(xp: numpy.ndarray, fp: numpy.ndarray, p: int, U: numpy.ndarray, P: numpy.ndarray, dy: tuple[float, float] = (0.0, 0.0)) -> None:
    """
    Least-squares approximation with the first derivatives dy = (start, end)
    given at both ends: as gcsplapp, and P[1], P[-2] are set from the slopes
    (the interior control points are fitted with these values).

    Raises as gcsplapp, and ValueError for fewer than 4 control points.
    """

def splcjoin(Ul: numpy.ndarray, Pl: numpy.ndarray, Ur: numpy.ndarray, Pr: numpy.ndarray, p: int, UK: numpy.ndarray, PK: numpy.ndarray) -> None:
    """
    Join the curve (Ul, Pl) and the curve (Ur, Pr), both of degree p, end to
    end: the right curve is shifted to start where the left one ends.  UK
    receives Ul followed by Ur[p+1:] shifted (len(Ul) + len(Pr) knots) and PK
    receives Pl followed by Pr.  The junction is a knot of multiplicity p + 1;
    the joined curve is continuous there when Pl[-1] == Pr[0].

    Raises ValueError for p < 0 or an empty array, and AssertionError (in every
    interpreter mode) when len(Ul) != len(Pl) + p + 1, len(Ur) != len(Pr) + p + 1,
    len(PK) != len(Pl) + len(Pr) or len(UK) != len(Pl) + len(Pr) + p + 1.
    """

def splcsli(U: numpy.ndarray, P: numpy.ndarray, p: int, u: float, UK: numpy.ndarray, PK: numpy.ndarray) -> tuple[int, int]:
    """
    Split the curve (U, P) of degree p at u into a left and a right piece.
    Returns (nl, nr): the left piece has control points PK[0:nl+1] and knots
    UK[0:nl+p+2], the right piece PK[nl+1:nl+nr+2] and UK[nl+1:nl+nr+p+3];
    PK[nl] == PK[nl+1] is the curve's value at u.  With s copies of u in U, UK
    needs len(U) + p + 1 - s entries and PK len(P) + p + 1 - s (longer arrays
    are fine: allocate len(U) + p + 1 and len(P) + p + 1 when s is unknown).
    A u close to an interior knot splits at that knot.

    Raises ValueError for p < 0, an empty array, p > len(P) - 1 (-1) or UK or PK
    too short, and AssertionError (in every interpreter mode) when
    len(U) != len(P) + p + 1, when u is not strictly inside (U[0], U[-1]) or is
    close to an end, or when u has more than p + 1 copies in U.
    """

def knotuniondim(U1: numpy.ndarray, U2: numpy.ndarray, p: int) -> tuple[int, int]:
    """
    The size of the union of the knot vectors U1 and U2 of degree p, in which
    every knot value occurs with the larger of its two multiplicities (values
    compared exactly).  Returns (mk, nk): the last index of the union and the
    last control-point index of a degree-p curve on it, nk = mk - p - 1.

    Raises AssertionError (in every interpreter mode) with "same extremes of the
    knot vector is required" when the first or the last knots differ, and
    ValueError for p < 0, an empty array, fewer than 2p + 2 knots, or interior
    knots that are NaN, decreasing or not strictly inside the end knots.
    """

def splcsum(U1: numpy.ndarray, P1: numpy.ndarray, U2: numpy.ndarray, P2: numpy.ndarray, p: int, mk: int, UK: numpy.ndarray, nk: int, PK: numpy.ndarray) -> None:
    """
    The sum of the curves (U1, P1) and (U2, P2) of degree p on the same domain,
    exactly: both curves are refined to the union of their knot vectors, which
    UK receives, and PK receives the sums of their control points.  mk and nk
    are what knotuniondim(U1, U2, p) returns; UK has mk + 1 entries, PK nk + 1.

    Raises as knotuniondim, and ValueError when len(U1) != len(P1) + p + 1 or
    len(U2) != len(P2) + p + 1, when mk, nk, UK or PK do not fit the union, and
    through the status code of the refinement.
    """

def bezpev(u: float, P: numpy.ndarray) -> float:
    """
    Value at u in [0, 1] of the Bezier curve with control points P (degree
    len(P) - 1), by the Bernstein polynomials.
    Raises ValueError through the status code for an empty P (-2) and for u
    outside [0, 1] or NaN (-3).
    """

def bezcev(C: numpy.ndarray, P: numpy.ndarray) -> None:
    """
    Replace every C[j] (in [0, 1]) by the value of the Bezier curve with
    control points P at C[j], by the Bernstein polynomials.
    Raises ValueError through the status code for an empty P (-2), a parameter
    outside [0, 1] or NaN (-3, nothing written) and an empty C (-4).
    """

def bezpev2(u: float, P: numpy.ndarray) -> float:
    """
    Value at u of the Bezier curve with control points P, by de Casteljau's
    scheme.  Errors as bezpev.
    """

def bezcev2(C: numpy.ndarray, P: numpy.ndarray) -> None:
    """
    Replace every C[j] by the value of the Bezier curve with control points P
    at C[j], by de Casteljau's scheme.  Errors as bezcev.
    """

def getbezmat(p: int, M: numpy.ndarray) -> None:
    """
    Write the lower triangle of the (p + 1) x (p + 1) matrix that maps the
    Bezier control points of degree p to power-basis coefficients into the
    flat array M, row by row: M[r * (p + 1) + c] = C(p, r) C(r, c) (-1)^(r - c)
    for c <= r.  Entries above the diagonal are not written (pass zeros).
    Nothing is done for p < 0.  Raises ValueError when M does not have
    (p + 1)**2 entries.
    """

__capi__: object

__all__: list = ['validknots', 'eqspaced', 'averaging', 'averaging2', 'averaging3', 'averagcpts', 'findspan', 'findspanmult', 'bfunpev', 'bfuncev', 'bfunspev', 'dbfunspev', 'splpev', 'splcev', 'dsplpev', 'dsplcev', 'dsplcpts', 'dsplcpts2', 'asplcpts', 'splkins', 'splkref', 'splkrem', 'splksrem', 'splkrem_notol', 'getbndrem', 'degelevc', 'gcsplint', 'gdsplint', 'gadsplint', 'cdsplint', 'splcjoin', 'splcsli', 'knotuniondim', 'splcsum', 'kevalappr', 'gcsplapp', 'gdsplapp', 'knotsdegelev', 'bezpev', 'bezcev', 'bezpev2', 'bezcev2', 'getbezmat']
