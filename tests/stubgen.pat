# Patterns for nanobind's stub generator (python -m nanobind.stubgen -p), for
# what it cannot read from the built modules.

# Method tables for compiled callers: opaque capsules.
\.__capi__$:
    __capi__: object

# Comparisons answer True or False (NotImplemented for other types).
\.(Trajectory1d|Point1d)\.__(eq|ne)__$:
    def __\2__(self, other: object, /) -> bool:
        \doc

# Point1d's constructor is the type's init slot, and its fields are plain
# properties.
\.Point1d\.from_tuple$:
    def __init__(self, t: float, val: float, order: int) -> None: ...

    @staticmethod
    def from_tuple(pnt: tuple) -> Point1d:
        \doc

\.Point1d\.(t|val)$:
    @property
    def \1(self) -> float: ...
    @\1.setter
    def \1(self, value: float) -> None: ...

\.Point1d\.order$:
    @property
    def order(self) -> int: ...
    @order.setter
    def order(self, value: int) -> None: ...

# Arithmetic builds new trajectories (in place for the augmented forms).
\.Trajectory1d\.__(add|radd|sub|rsub|mul|rmul|truediv|iadd|isub|imul|itruediv)__$:
    def __\1__(self, other: Trajectory1d | float, /) -> Trajectory1d:
        \doc

\.Trajectory1d\.__neg__$:
    def __neg__(self) -> Trajectory1d:
        \doc

\.Point1d\.__(copy|deepcopy)__$:
    def __\1__(self, *memo: object) -> Point1d:
        \doc

\.Point1d\.__(str|repr)__$:
    def __\1__(self) -> str:
        \doc


# Pairs of indices.
\.curvekit\.splcsli$:
    def splcsli(U: numpy.ndarray, P: numpy.ndarray, p: int, u: float, UK: numpy.ndarray, PK: numpy.ndarray) -> tuple[int, int]:
        \doc

\.curvekit\.knotuniondim$:
    def knotuniondim(U1: numpy.ndarray, U2: numpy.ndarray, p: int) -> tuple[int, int]:
        \doc
