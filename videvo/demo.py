"""``videvo demo``: one axis moves from rest to rest, built three ways, then
printed, saved and plotted."""

from __future__ import annotations

import os
from typing import Any, Callable

import numpy as np

DISTANCE = 100.0
DURATION = 1.0
FILE = "demo.videvo"
FIGURE = "demo.png"


def build() -> dict[str, Any]:
    """The demo's objects by name, in saving order."""
    from . import trajdata, trajmake
    from .cli import least_squares

    T, D = DURATION, DISTANCE
    # 10 s^3 - 15 s^4 + 6 s^5 with s = t / T: zero velocity and acceleration at both ends
    move = trajmake.polytraj(0.0, T, 5, 0, D * np.array([6 / T**5, -15 / T**4, 10 / T**3, 0.0, 0.0, 0.0]))
    via_t = T * np.array([0.0, 0.2, 0.5, 0.8, 1.0])
    via_x = D * np.array([0.0, 0.1, 0.5, 0.9, 1.0])
    profile = trajmake.fromdatawaed(via_t, via_x, 5, 0, np.zeros(2), np.zeros(2))
    rng = np.random.default_rng(2024)
    log_t = np.linspace(0.0, T, 400)
    log_x = move(log_t) + rng.normal(0.0, 0.002 * D, log_t.size)
    measured = least_squares(log_t, log_x, 3, 24, (0.0, 0.0))
    home = trajdata.Point1d(0.0, 0.0, 0)
    measured.setValueTr(home)  # the log starts at a noisy sample; the axis started at home
    return {"move": move, "profile": profile, "measured": measured, "home": home}


ABOUT = {
    "move": "quintic smooth step (polytraj)",
    "profile": "through 5 via points, v = a = 0 at both ends (fromdatawaed)",
    "measured": "least-squares fit of 400 noisy samples, pinned to home (setValueTr)",
}


def report(objects: dict[str, Any]) -> str:
    from .cli import describe, peaks_of, table

    move = objects["move"]
    lines = [f"videvo demo: one axis moves {DISTANCE:g} in {DURATION:g} s, from rest to rest", ""]
    for name, text in ABOUT.items():
        lines.append(f"{name:<9} {text}")
        lines.append(f"{'':<9} {describe(objects[name])}")
    t = np.linspace(move.start, move.stop, 11)
    lines += ["", "kinematics of move",
              table(["t", "position", "velocity", "acceleration", "jerk"],
                    list(zip(t, *(move(t, nu) for nu in range(4))))), ""]
    header = f"{'peaks':<10}" + "".join(f"{'max |' + q[0] + '|':>13}{'at t':>9}" for q in ("velocity", "acceleration", "jerk"))
    lines.append(header)
    for name in ABOUT:
        pk = peaks_of(objects[name])
        lines.append(f"{name:<10}" + "".join(f"{pk[q][0]:>13.6g}{pk[q][1]:>9.4g}"
                                              for q in ("velocity", "acceleration", "jerk")))
    return "\n".join(lines)


def draw(move: Any, pyplot: Callable[[], Any], target: str) -> None:
    from .plot import plot

    plt = pyplot()
    axes = plot(move, derivatives=3)
    axes[0].set_title("move: quintic smooth step, control points and knots marked")
    axes[0].figure.tight_layout()
    axes[0].figure.savefig(target, dpi=100)
    plt.close(axes[0].figure)


def run(out: str, plot: bool, pyplot: Callable[[], Any]) -> None:
    from .cli import fail, publish, refuse_foreign_target, staging

    objects = build()
    text = report(objects)
    try:
        import matplotlib  # noqa: F401
        can_plot = plot
    except ImportError:
        can_plot = False
    # The objects join those the file holds already (each save updates the
    # file atomically, under its lock).  Whatever may fail comes first: the
    # file must be a videvo file, the figure's place free and the figure drawn.
    target = os.path.join(out, FILE)
    refuse_foreign_target(target)
    if can_plot and os.path.isdir(os.path.join(out, FIGURE)):
        fail(f"{os.path.join(out, FIGURE)} is a directory")
    with staging(out) as stage:
        if can_plot:
            draw(objects["move"], pyplot, os.path.join(stage, FIGURE))
        for name, obj in objects.items():
            obj.savexml(target, name)
        if can_plot:
            publish(stage, [FIGURE], out)
    print(text)
    print()
    print(f"saved {', '.join(objects)} into {os.path.join(out, FILE)}")
    if can_plot:
        print(f"plotted move into {os.path.join(out, FIGURE)}")
    elif plot:
        print('for demo.png, install matplotlib: pip install ".[plot]"')
    print(f"next: videvo ls {os.path.join(out, FILE)}; videvo show {os.path.join(out, FILE)} move")
