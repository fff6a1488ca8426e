"""Hostile arguments for every public function of the three modules: each
parameter, read from the signature, gets a value from a pool of awkward ones
(wrong dtypes and dimensions, 0-d and empty arrays, read-only arrays, NaN and
infinity, integers at the limits of int, objects whose __float__ or
__index__ raises).  Nothing is compared: the call must refuse or succeed,
never crash."""

import re

import numpy as np

import videvo.curvekit as ck
import videvo.trajmake as tm


class OwnError(Exception):
    """Raised by the conversions of Raises: it must come through as it is."""


class Raises:
    def __float__(self):
        raise OwnError("__float__")

    def __index__(self):
        raise OwnError("__index__")


def _arrays(rng):
    base = np.sort(rng.normal(size=int(rng.integers(0, 12))))
    ro = base.copy()
    ro.flags.writeable = False
    return [
        base, np.array(0.5), np.empty(0), np.zeros((2, 3)), base.astype(np.float32), base.astype(np.int64),
        ro, np.r_[[0.0] * 4, [1.0] * 4], np.full(6, np.nan), np.r_[0.0, np.inf, np.inf], base[::-1].copy(),
        np.zeros(int(rng.integers(0, 40))), np.repeat(np.linspace(0, 1, 5), 2)[::2], None, [0.0, 1.0],
        memoryview(np.linspace(0, 1, 6)), np.linspace(0, 1, 6).astype(">f8"),
    ]


INTS = [0, 1, 2, 3, -1, 7, 30, 2**31 - 1, -2**31, 2**31, 2**62, 1e3, None, Raises(), True]
FLOATS = [0.0, 0.5, 1.0, -1.0, np.nan, np.inf, -np.inf, 1e300, 5e-324, 2, None, "1", Raises()]
OTHERS = [None, 0, (0.0, 0.0), (np.nan, 1.0), (1.0,), "x", Raises(), True]

_PARAM = re.compile(r"(\w+): ([\w.\[\], |]+?)(?: = [^,)]+)?(?:, |\)$)")


def signature(fn):
    head = fn.__doc__.splitlines()[0]
    inner = head[head.index("(") + 1:head.rindex(")") + 1] if "->" in head else ""
    return [(m.group(1), m.group(2)) for m in _PARAM.finditer(inner)]


def _value(rng, annotation):
    if "ndarray" in annotation:
        pool = _arrays(rng)
    elif annotation == "int":
        pool = INTS
    elif annotation == "float":
        pool = FLOATS
    else:
        pool = OTHERS
    return pool[int(rng.integers(0, len(pool)))]


def _functions():
    for module in (ck, tm):
        for name in module.__all__:
            yield getattr(module, name)


def any_function(rng):
    functions = list(_functions())
    fn = functions[int(rng.integers(0, len(functions)))]
    args = [_value(rng, annotation) for _, annotation in signature(fn)]
    try:
        fn(*args)
    except OwnError:
        pass


TARGETS = {"any_function": any_function}
