"""Motion analysis against the usual SciPy approach: kinematics in one pass
against separate derivative evaluations, exact extrema against dense sampling."""

import numpy as np
from scipy.interpolate import BSpline

from videvo import motion, trajmake
from common import Case, random_clamped


def cases():
    U, P, p = random_clamped(1000, 3)
    t = trajmake.bspltraj(U, P, p, 0)
    spline = BSpline(U, P, p)
    x = np.linspace(U[0], U[-1], 10**6)
    K = motion.kinematics(t, x, 3)
    assert all(np.array_equal(K[nu], t(x, nu)) for nu in range(4))

    U2, P2, _ = random_clamped(10**4, 3, seed=3)
    t2 = trajmake.bspltraj(U2, P2, 3, 0)
    s2 = BSpline(U2, P2, 3)
    dense = np.linspace(U2[0], U2[-1], 10**6)

    def sampled_max():
        v = s2(dense, nu=1)
        i = np.argmax(v)
        return v[i], dense[i]

    hi, _ = sampled_max()
    assert motion.extrema(t2, 1)[2] >= hi
    return [
        Case("motion.kinematics upto=3, 1e6 sorted (vs 4 t(x, nu))", lambda: motion.kinematics(t, x, 3),
             lambda: [t(x, nu) for nu in range(4)], note="ratio against videvo's own t(x, nu)"),
        Case("motion.kinematics upto=3, 1e6 sorted (vs 4 BSpline)", lambda: motion.kinematics(t, x, 3),
             lambda: [spline(x, nu=nu) for nu in range(4)]),
        Case("motion.extrema(t, 1), 1e4 cpts (vs BSpline 1e6 + argmax)", lambda: motion.extrema(t2, 1), sampled_max,
             number=10, note="exact against sampled"),
    ]
