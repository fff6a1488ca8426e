"""Constrain a move and scale it in time.

A smooth rest-to-rest step of 50 mm in 2 s is moved to start where the axis
really is (a vertical shift: every derivative stays as it was), a copy is
scaled in amplitude to end at another target, and the move is stretched to
3 s, which divides its velocity by 1.5 and its acceleration by 1.5**2.
"""

import numpy as np

from videvo import motion, trajdata, trajmake

T, D = 2.0, 50.0
# D * (10 s^3 - 15 s^4 + 6 s^5), s = t / T, in powers of t from the highest
move = trajmake.polytraj(0.0, T, 5, 0, D * np.array([6 / T**5, -15 / T**4, 10 / T**3, 0.0, 0.0, 0.0]))
v_before = move(1.0, 1)

move.setValueTr(trajdata.Point1d(0.0, 12.5, 0))  # the axis starts at 12.5 mm
assert move(0.0) == 12.5 and abs(move(T) - 62.5) < 1e-12
assert move(1.0, 1) == v_before

stroke = move.copy()
stroke.setValueAm((T, 80.0, 0))  # scaled so that it ends at 80 mm
assert abs(stroke(T) - 80.0) < 1e-12
print(f"shifted move: {move(0.0):g} -> {move(T):g} mm; scaled copy: {stroke(0.0):g} -> {stroke(T):g} mm")

peaks = motion.peaks(move)
move.hscale(1.5)  # in place, about the start
stretched = motion.peaks(move)
for name, power in (("velocity", 1), ("acceleration", 2), ("jerk", 3)):
    assert abs(stretched[name][0] * 1.5**power / peaks[name][0] - 1) < 1e-12
    print(f"peak {name:<12} {peaks[name][0]:9.3f} -> {stretched[name][0]:9.3f}  (divided by 1.5**{power})")
print(f"the move now lasts {move.stop - move.start:g} s")
