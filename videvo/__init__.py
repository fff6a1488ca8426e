"""videvo: fast, exact one-dimensional motion trajectories as clamped B-splines.

The package holds three extension modules, imported here in dependency order:

- ``videvo.curvekit``: B-spline and Bezier routines on float64 arrays;
- ``videvo.trajdata``: the ``Trajectory1d`` and ``Point1d`` types and XML files;
- ``videvo.trajmake``: factories that build trajectories;

and, built on them, ``videvo.motion``: kinematics, exact extrema, time scaling
to limits and least-squares trajectories.  ``videvo.plot`` draws a trajectory
and its derivatives (needs matplotlib, the extra ``[plot]``); the ``videvo``
command line lives in ``videvo.cli``.
"""

__version__ = "0.1.0"

from . import curvekit  # noqa: E402,F401
from . import trajdata  # noqa: E402,F401
from . import trajmake  # noqa: E402,F401
from . import motion  # noqa: E402,F401
from .plot import plot  # noqa: E402

__all__ = ["__version__", "curvekit", "trajdata", "trajmake", "motion", "plot"]
