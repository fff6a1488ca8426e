"""
Trajectory data types: one-dimensional motion trajectories as clamped B-splines.

Trajectory1d holds a knot vector, control points, a degree p and the derivative
order of the quantity it describes (0 displacement, 1 velocity, ...); it
evaluates itself and its derivatives, copies and pickles itself, and can be
constrained to pass through a Point1d.  Both derive from ViDEVOObject, the base
class of the objects that are saved by name into XML files (savexml, loadxml).
"""

import numpy


DEF_EXT: str = '.videvo'

class ConvergenceError(Exception):
    """An error when a macro-instruction loop fails."""

class CorruptedFileError(Exception):
    """An error when an uploaded file is corrupted."""

class ViDEVOObject:
    """An abstract class for the persistable videvo types."""

    @staticmethod
    def loadxml(fname: object, ID: object) -> object:
        """
        Load an object saved under `ID` in the file `fname`.

        Abstract: the persistable classes provide their own loader.  Raises
        NotImplementedError("abstract method"); TypeError when `fname` or `ID`
        is neither str nor None.
        """

    def __getstate__(self) -> object:
        """
        The state for pickling: None (the class holds no data), or the instance
        dictionary of a subclass that has one.
        """

    def savexml(self, fname: object, ID: object) -> None:
        """
        Save the object under the name `ID` (str; None is saved as "None") in the
        XML file `fname`, to which the extension ".videvo" is added when it has
        none.  A new file is created; in an existing one the element of the same
        class and ID is updated, or a new one appended.

        The file is replaced as a whole, atomically (a failure leaves it as it was),
        under an advisory lock on "<file>.lock", so concurrent saves lose nothing.
        A device, a pipe, a file of several names or one that the new file cannot
        take over (another user's, or in a folder where no file can be made) is
        written in place instead.
        Raises CorruptedFileError when the root element is not ViDEVOObjectList or
        the file holds the object's class and ID more than once, ValueError for an
        empty trajectory, lxml's parse error for a file that is not XML, OSError
        when the file cannot be written, and the errors of the hooks _getAttrib,
        _addViDEVOObject and _updateViDEVOObject (a subclass may redefine them).
        """

    __capi__: object

class Trajectory1d(ViDEVOObject):
    """
    A one-dimensional trajectory: a clamped B-spline of degree p with knots
    U[0..n+p+1] and control points P[0..n] over the domain [start, stop],
    describing the quantity of derivative order `order`.

    Trajectory1d() makes an empty trajectory (for unpickling); the factories
    of videvo.trajmake build usable ones.

    Calling a trajectory, t(x, nu=0), evaluates it or its derivative of order nu
    at x: a scalar x (numpy.isscalar) gives a float; anything else is taken as an
    array-like of points in any order (never written) and gives a new
    one-dimensional float64 array of the values in the caller's order.  It goes
    through peval, dpeval, ceval and dceval, so a subclass's versions of these
    are used.  Raises ValueError for points outside the domain, a negative nu,
    an empty array, repeated points ("'xp' must be increasing") or more than
    one dimension ("'x' must be one-dimensional").
    """

    def __call__(self, /, *args, **kwargs):
        """Call self as a function."""

    @property
    def p(self) -> int:
        """The degree of the B-spline (int)."""

    @property
    def n(self) -> int:
        """The highest control-point index: there are n + 1 control points (int)."""

    @property
    def order(self) -> int:
        """
        The derivative order of the quantity described: 0 displacement, 1 velocity,
        2 acceleration, 3 jerk, ... (non-negative int).
        """

    @property
    def start(self, /) -> float | None:
        """The start of the domain, the first knot (float); None without knots."""

    @property
    def stop(self, /) -> float | None:
        """The end of the domain, the last knot (float); None without knots."""

    def get_knotvector_asarray(self) -> numpy.ndarray | None:
        """
        The knot vector U[0..n+p+1] as a writable float64 array that shares the
        trajectory's memory (writes change the trajectory; the array keeps the
        trajectory alive).  None when the trajectory is empty.
        """

    def get_cpts_asarray(self) -> numpy.ndarray | None:
        """
        The control points P[0..n] as a writable float64 array that shares the
        trajectory's memory (writes change the trajectory; the array keeps the
        trajectory alive).  None when the trajectory is empty.
        """

    def get_xcpts(self) -> numpy.ndarray:
        """
        A new float64 array of the n + 1 abscissae of the control points:
        x[i] = (U[i+1] + ... + U[i+p]) / p.  Raises ValueError on an empty
        trajectory or for p = 0.
        """

    def copy(self) -> Trajectory1d:
        """
        An independent copy (a plain Trajectory1d that owns new buffers holding
        the same knots and control points).  A copy of an empty trajectory is empty.
        """

    def __copy__(self) -> Trajectory1d:
        """self.copy(), for copy.copy()."""

    def __deepcopy__(self, memo: object) -> Trajectory1d:
        """
        self.copy(), for copy.deepcopy() (the memo is not needed: the trajectory
        holds no Python objects).
        """

    def __str__(self) -> str:
        """
        "Trajectory1d(start = ..., stop = ..., p = ..., n = ..., order = ...)".
        """

    def __repr__(self) -> str:
        """"{'start': ..., 'stop': ..., 'p': ..., 'n': ..., 'order': ...}"."""

    def __getstate__(self) -> tuple:
        """
        The pickled state: (self._sget_knotvector(), self._sget_cpts(), p, n,
        order, owner).
        """

    def __setstate__(self, state: object) -> None:
        """
        Restore a pickled state: self._dset_data(*state) (a sequence other than a
        tuple is converted first).  The state of an empty trajectory leaves an
        empty one as it is.
        """

    def peval(self, x: float) -> float:
        """
        The value of the trajectory at the point x of its domain [start, stop].

        Raises ValueError("'x' out of domain: <x>") outside the domain, and the
        curve module's ValueError for NaN.
        """

    def ceval(self, xp: numpy.ndarray | None) -> None:
        """
        Evaluate the trajectory at the points of the contiguous float64 array xp,
        in place: xp[i] is replaced by the value at xp[i].  Returns None.

        The points must be strictly increasing and inside the domain.  Raises
        ValueError ("zero size arrays are not allowed", "'xp' must be increasing",
        "domain error"), xp unchanged.
        """

    def dpeval(self, x: float, nu: int = 1) -> float:
        """
        The derivative of order nu (default 1) of the trajectory at the point x
        (nu = 0: the value; nu > p: 0.0).

        Raises ValueError outside the domain (as peval) and
        ValueError("'nu' must be non-negative number") for a negative nu.
        """

    def dceval(self, xp: numpy.ndarray | None, nu: int = 1) -> None:
        """
        Replace each xp[i] by the derivative of order nu (default 1) of the
        trajectory at xp[i].  Returns None.  Checks and errors as ceval, then
        ValueError("'nu' must be non-negative number") for a negative nu.
        """

    def rshift(self, x: float) -> None:
        """
        Translate the trajectory by x along the time axis, in place: every knot
        moves by x (the domain becomes [start + x, stop + x]).  Not checked: a
        non-finite x gives non-finite knots, which other operations refuse.
        Raises ValueError on an empty trajectory.
        """

    def ashift(self, x: float) -> None:
        """
        Translate the trajectory in place so that its domain starts at x.
        Not checked, as rshift.  Raises ValueError on an empty trajectory.
        """

    def hscale(self, k: float) -> None:
        """
        Stretch the time axis by the factor k about start, in place: each knot u
        becomes start + k (u - start); the first knots stay start exactly.  The
        values are kept (t(start + k (x - start)) afterwards is t(x) before) and
        the derivative of order nu is divided by k**nu.

        Raises ValueError for k not finite or not positive, and when the new
        knots would not be finite or the domain empty; the trajectory is then
        unchanged.
        """

    def adapt(self, start: float, stop: float) -> None:
        """
        Map the trajectory onto the domain [start, stop] in place, every interior
        knot keeping its relative position; the domain is then [start, stop]
        exactly.

        Raises, in this order and leaving the trajectory unchanged:
        ValueError("'stop' must be strictly greater than 'start'"),
        ZeroDivisionError("float division by zero") when the current domain has
        no length, ValueError for non-finite arguments or when the new knots would
        not be finite or the domain empty.
        """

    def derivative(self, nu: int = 1) -> Trajectory1d:
        """
        The derivative of order nu (default 1) as a new trajectory: degree p - nu,
        nu knots fewer at each end, order raised by nu (a displacement gives a
        velocity).  derivative(0) is a copy.

        Raises ValueError("'nu' must be greater than or equal to zero: <nu>"),
        the curve module's ValueError for nu > p, OverflowError when the order
        would exceed 4294967295, ValueError on an empty trajectory.
        """

    def antiderivative(self, nu: int = 1) -> Trajectory1d:
        """
        The antiderivative of order nu (default 1) as a new trajectory: degree
        p + nu, nu more copies of each end knot, order lowered by nu.  It and
        each lower antiderivative vanish at start.

        Raises ValueError for nu < 0 ("'nu' must be greater than or equal to
        zero: <nu>"), nu > order ("negative 'order' not allowed") or an empty
        trajectory; OverflowError for a result too large for 32-bit sizes.
        """

    def knotins(self, u: float, r: int) -> Trajectory1d:
        """
        A new trajectory with the knot u inserted r times; the curve is unchanged.

        Raises ValueError("'u' out of domain: <u>"), ValueError("'r' must be
        non-negative number"), ValueError("'r' must be less than or equal to 'p'")
        in this order, and the curve module's ValueError for r = 0 or a resulting
        multiplicity above p.
        """

    def knotref(self, X: numpy.ndarray) -> Trajectory1d:
        """
        A new trajectory with every value of the strictly increasing float64 array
        X inserted once as a knot; the curve is unchanged.  An empty X gives a copy.

        Raises ValueError("'X' must be increasing"), ValueError when a knot would
        occur more than p times, and the curve module's ValueError for a value
        outside the open domain or NaN.
        """

    def knotrem(self, u: float, r: int, tol: float = 1e-13) -> Trajectory1d:
        """
        A new trajectory with the interior knot u removed up to r times, each
        removal only if it moves the curve by at most tol (default 1e-13); as many
        as possible are removed.

        Raises ValueError("'u' out of domain: <u>"), ValueError("'r' must be
        non-negative number"), and the curve module's ValueError when u is not an
        interior knot or r is not in [1, multiplicity of u].
        """

    def knotsrem(self, tol: float = 1e-13) -> Trajectory1d:
        """
        A new trajectory with every knot removed whose removal moves the curve by
        at most tol (default 1e-13), each removal tested on its own.
        """

    def knotrem_notol(self, u: float, r: int) -> Trajectory1d:
        """
        A new trajectory with the interior knot u removed r times whatever the
        change of the curve.  Errors as knotrem.
        """

    def degelev(self, nu: int = 1) -> Trajectory1d:
        """
        The same curve with its degree raised by nu (default 1), as a new
        trajectory: every distinct knot value gains nu copies.

        Raises ValueError("'nu' must be non-negative number"), ValueError for a
        degree above 1000, the curve module's ValueError for nu = 0,
        OverflowError for a result too large for 32-bit sizes.
        """

    @staticmethod
    def loadxml(fname: object, ID: object) -> Trajectory1d:
        """
        The trajectory saved under the name `ID` in the XML file `fname` (the
        extension ".videvo" is added when it has none).

        Raises ValueError("no match for ID: <ID>") when the file holds no such
        trajectory, TypeError for a missing p, n or order, ValueError for a number
        that does not parse, CorruptedFileError (naming the ID and the fault) for
        sizes out of range, missing data, too few numbers or an invalid knot vector,
        and lxml's or the interpreter's error for a file that cannot be read.
        """

    def setValueTr(self, p: object) -> None:
        """
        Shift the trajectory vertically so that it takes the value p.val at the
        time p.t: a constant is added to every control point.

        `p` is a Point1d or a tuple (t, val, order); its order must equal the
        trajectory's.  Raises ValueError for a constraint on an antiderivative or on
        a derivative (a shift changes no derivative), TypeError("No matching
        signature found") for another argument type, and the errors of the
        evaluation at p.t; the trajectory is then unchanged.
        """

    def setValueAm(self, p: object) -> None:
        """
        Scale the trajectory so that its derivative (or antiderivative, zero at
        start) of the relative order p.order - order takes the value p.val at the
        time p.t: every control point is multiplied by one factor.

        `p` is a Point1d or a tuple (t, val, order).  Raises ZeroDivisionError when
        the reference value at p.t is zero (always for a derivative above the
        degree), ValueError when the factor is not finite, TypeError("No matching
        signature found") for another argument type, and the errors of the
        evaluation; the trajectory is then unchanged.
        """

    def c_splcsum(self, other: Trajectory1d, /) -> Trajectory1d:
        """
        The exact sum of this trajectory and `other` as a new Trajectory1d, on the
        union of the two knot vectors (each knot value with the larger of its two
        multiplicities); self + other calls it.

        Raises TypeError when `other` is no Trajectory1d, and ValueError, in this
        order, for another degree ("the input traiectories must have the same
        order"), other end knots ("the input traiectories must have the same
        extremes of domain") or another `order` ("the trajectories must have the
        same 'order'"), and for an empty trajectory.
        """

    def c_splcmul(self, other: Trajectory1d, /) -> Trajectory1d:
        """
        The product of two trajectories, which is not provided: raises
        NotImplementedError (TypeError when `other` is no Trajectory1d).
        self * other calls it.
        """

    def __add__(self, other: Trajectory1d | float, /) -> Trajectory1d:
        """
        self + other: the exact sum for a trajectory (c_splcsum), a copy with the
        number added to every control point otherwise.
        """

    def __radd__(self, other: Trajectory1d | float, /) -> Trajectory1d:
        """number + self: a copy with the number added."""

    def __sub__(self, other: Trajectory1d | float, /) -> Trajectory1d:
        """
        self - other: self.c_splcsum(-other) for a trajectory, a copy with the
        number subtracted otherwise.
        """

    def __rsub__(self, other: Trajectory1d | float, /) -> Trajectory1d:
        """number - self: -self with the number added."""

    def __mul__(self, other: Trajectory1d | float, /) -> Trajectory1d:
        """
        self * number: a copy with every control point multiplied.  Two trajectories
        raise NotImplementedError (c_splcmul).
        """

    def __rmul__(self, other: Trajectory1d | float, /) -> Trajectory1d:
        """number * self: a copy with every control point multiplied."""

    def __truediv__(self, other: Trajectory1d | float, /) -> Trajectory1d:
        """
        self / number: a copy with every control point multiplied by 1 / number.
        Raises ZeroDivisionError("float division by zero") for a zero and TypeError
        for a trajectory.  A number divided by a trajectory is a TypeError.
        """

    def __rtruediv__(self, arg: object, /) -> object: ...

    def __neg__(self) -> Trajectory1d:
        """-self: a copy with every control point negated."""

    def __iadd__(self, other: Trajectory1d | float, /) -> Trajectory1d:
        """self += number: add the number to every control point."""

    def __isub__(self, other: Trajectory1d | float, /) -> Trajectory1d:
        """self -= number: subtract the number from every control point."""

    def __imul__(self, other: Trajectory1d | float, /) -> Trajectory1d:
        """self *= number: multiply every control point by the number."""

    def __itruediv__(self, other: Trajectory1d | float, /) -> Trajectory1d:
        """
        self /= number: multiply every control point by 1 / number; ZeroDivisionError
        ("float division by zero") for a zero.
        """

    def __eq__(self, other: object, /) -> bool:
        """
        self == other: False unless `other` is an instance of self's class; then
        True when the degrees, sizes, `order` and ownership of the buffers agree and
        every knot and control point is within max(1e-9 * max(|a|, |b|), 1e-13) of
        the other's.  ValueError for empty trajectories.
        """

    def __ne__(self, other: object, /) -> bool:
        """not self.__eq__(other)."""

    def __lt__(self, arg: object, /) -> object:
        """Trajectories are not ordered: NotImplemented."""

    def __le__(self, arg: object, /) -> object:
        """Trajectories are not ordered: NotImplemented."""

    def __gt__(self, arg: object, /) -> object:
        """Trajectories are not ordered: NotImplemented."""

    def __ge__(self, arg: object, /) -> object:
        """Trajectories are not ordered: NotImplemented."""

    __hash__: None = None

    __capi__: object

class Point1d(ViDEVOObject):
    """
    Point1d(t, val, order): a point in joint space, the value `val` at time `t`
    of the derivative of order `order` (0 displacement, 1 velocity, ...), as
    used to constrain trajectories (Trajectory1d.setValueTr, setValueAm).

    Raises TypeError for arguments that do not convert (t and val to float,
    order to int) and OverflowError for an order outside 0..4294967295.
    """

    @property
    def t(self) -> float: ...
    @t.setter
    def t(self, value: float) -> None: ...

    @property
    def val(self) -> float: ...
    @val.setter
    def val(self, value: float) -> None: ...

    @property
    def order(self) -> int: ...
    @order.setter
    def order(self, value: int) -> None: ...

    def __init__(self, t: float, val: float, order: int) -> None: ...

    @staticmethod
    def from_tuple(pnt: tuple) -> Point1d:
        """
        A new Point1d from the tuple (t, val, order); items after the third are
        ignored.  Raises TypeError for another type than a tuple, IndexError for
        fewer than three items, and the errors of the properties t, val, order.
        """

    def copy(self) -> Point1d:
        """
        A new Point1d (always of class Point1d) with the fields t, val and order of
        this one.
        """

    def __copy__(self, *memo: object) -> Point1d:
        """self.copy(), for copy.copy()."""

    def __deepcopy__(self, *memo: object) -> Point1d:
        """self.copy(), for copy.deepcopy()."""

    def __reduce__(self) -> object:
        """Points cannot be pickled: raises TypeError."""

    def __reduce_ex__(self, protocol: object) -> object:
        """Points cannot be pickled: raises TypeError."""

    def __str__(self) -> str:
        """"Point1d(t = ..., val = ..., order = ...)"."""

    def __repr__(self) -> str:
        """"{'t': ..., 'val': ..., 'order': ...}"."""

    def __eq__(self, other: object, /) -> bool:
        """
        True when `other` is an instance of this point's class with exactly the same
        t, val and order; False otherwise.
        """

    def __ne__(self, other: object, /) -> bool:
        """not self.__eq__(other)."""

    __hash__: None = None

    @staticmethod
    def loadxml(fname: object, ID: object) -> Point1d:
        """
        The point saved under the name `ID` in the XML file `fname` (the extension
        ".videvo" is added when it has none).

        Raises ValueError("no match for ID: <ID>") when the file holds no such
        point, TypeError for a missing attribute, ValueError for a number that does
        not parse, OverflowError for a negative order, and lxml's or the
        interpreter's error for a file that cannot be read.
        """

    __capi__: object

__capi__: object

__all__: list = ['ConvergenceError', 'CorruptedFileError', 'ViDEVOObject', 'Trajectory1d', 'Point1d']
