"""Interpolate a logged move and check it against the axis limits.

Seven positions of one axis were logged during a move.  A quintic through
them, at rest at both ends, reconstructs the move; its peak velocity,
acceleration and jerk are computed exactly, and where a limit is broken the
move is slowed down by the one time factor that meets every limit.
"""

import numpy as np

from videvo import motion, trajmake

t = np.array([0.0, 0.1, 0.3, 0.5, 0.7, 0.9, 1.0])  # s
x = np.array([0.0, 1.2, 14.0, 40.0, 66.0, 78.8, 80.0])  # mm
rest = np.zeros(2)  # velocity and acceleration at each end
move = trajmake.fromdatawaed(t, x, 5, 0, rest, rest)
assert np.allclose(move(t), x, atol=1e-9)

limits = {"velocity": 120.0, "acceleration": 600.0, "jerk": 8000.0}


def report(traj, title):
    peaks = motion.peaks(traj)
    print(f"{title}: {traj.stop - traj.start:.3f} s")
    for name, limit in limits.items():
        value, at = peaks[name]
        verdict = "ok" if value <= limit * (1 + 1e-12) else "over the limit"
        print(f"  {name:<13} {value:9.2f} at t = {at:.3f} s   limit {limit:7.1f}   {verdict}")
    return peaks


before = report(move, "logged move")
slow = motion.fit_limits(move, vmax=limits["velocity"], amax=limits["acceleration"], jmax=limits["jerk"])
after = report(slow, "slowed down")
ratios = [after[name][0] / limit for name, limit in limits.items()]
assert max(ratios) <= 1 + 1e-9 and max(ratios) >= 1 - 1e-9  # every limit holds, one exactly
assert slow(slow.stop) == move(move.stop)  # same path, new timing
