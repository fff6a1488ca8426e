"""Plotting of trajectories with matplotlib (the optional extra ``[plot]``)."""

from __future__ import annotations

from typing import Any, Sequence

import numpy as np

QUANTITIES = ("position", "velocity", "acceleration", "jerk", "snap", "crackle", "pop")
INSTALL_HINT = 'matplotlib is not installed: pip install "videvo[plot]" (or pip install ".[plot]")'


def quantity(order: int) -> str:
    """The name of the physical quantity of derivative order ``order``
    (ValueError for a negative one)."""
    if order < 0:
        raise ValueError(f"no quantity has the derivative order {order}")
    return QUANTITIES[order] if order < len(QUANTITIES) else f"derivative {order}"


def sample_points(traj: Any, points: int | Sequence[float] | np.ndarray | None = None) -> np.ndarray:
    """Increasing times over the trajectory's domain: ``points`` evaluation
    times given as an array, or that many evenly spaced ones (default: enough
    for every knot span to look smooth, at most 4000)."""
    if points is not None and not np.isscalar(points):
        return np.unique(np.asarray(points, dtype=np.float64))
    if points is None:
        points = min(4000, max(200, 20 * (traj.n - traj.p + 1)))
    if int(points) < 2:
        raise ValueError("'points' must be at least 2")
    return np.unique(np.linspace(traj.start, traj.stop, int(points)))


def plot(traj: Any, derivatives: int = 0, ax: Any = None, points: Any = None,
         show_cpts: bool = True, show_knots: bool = True) -> Any:
    """Plot a trajectory and its derivatives with matplotlib.

    Parameters
    ----------
    traj : Trajectory1d
        The trajectory to draw.
    derivatives : int
        The highest derivative to draw; derivative k goes on its own axes
        below the trajectory, labelled with the name of its quantity
        (position, velocity, acceleration, jerk, ... after the trajectory's
        own ``order``).
    ax : matplotlib Axes or sequence of ``derivatives + 1`` Axes, optional
        Where to draw; by default a new figure with stacked axes sharing x.
    points : int or array of times, optional
        The evaluation times, or how many evenly spaced ones to use.
    show_cpts : bool
        Mark the control points (at their averaged abscissae, joined by the
        control polygon) on the trajectory's own axes.
    show_knots : bool
        Mark the distinct knots on every curve.

    Returns
    -------
    The Axes for ``derivatives = 0``, otherwise a list of ``derivatives + 1``
    Axes, top to bottom.

    Raises
    ------
    ImportError
        When matplotlib is not installed.
    ValueError
        For a negative ``derivatives``, a wrong number of axes or fewer than
        two evaluation points.
    """
    try:
        import matplotlib.pyplot as plt
    except ImportError as exc:
        raise ImportError(INSTALL_HINT) from exc
    derivatives = int(derivatives)
    if derivatives < 0:
        raise ValueError("'derivatives' must be non-negative")
    x = sample_points(traj, points)
    if ax is None:
        _, made = plt.subplots(derivatives + 1, 1, sharex=True, squeeze=False,
                               figsize=(7.0, 1.6 + 1.6 * (derivatives + 1)))
        axes = list(made[:, 0])
    else:
        axes = [ax] if derivatives == 0 and not isinstance(ax, (list, tuple, np.ndarray)) else list(np.ravel(ax))
        if len(axes) != derivatives + 1:
            raise ValueError(f"'ax' must hold {derivatives + 1} axes for derivatives = {derivatives}")
    knots = np.unique(traj.get_knotvector_asarray())
    for nu, a in enumerate(axes):
        a.plot(x, traj(x, nu), color="C0", linewidth=1.5)
        if show_knots:
            a.plot(knots, traj(knots, nu), linestyle="none", marker="|", markersize=9, color="C2",
                   label="knots")
        a.set_ylabel(quantity(traj.order + nu))
        a.grid(True, alpha=0.3)
    if show_cpts:
        U = traj.get_knotvector_asarray()
        xc = traj.get_xcpts() if traj.p > 0 else (U[:-1] + U[1:]) / 2
        axes[0].plot(xc, traj.get_cpts_asarray(), linestyle="--", linewidth=0.8,
                     marker="o", markersize=3, color="C1", label="control points")
    axes[-1].set_xlabel("time")
    return axes[0] if derivatives == 0 else axes
