"""Keep many named trajectories and points in one file.

Twenty moves of one axis and their end points are saved by name into one
videvo file, listed, and loaded back exactly.
"""

import os
import tempfile

import numpy as np
from lxml import etree

from videvo import trajdata, trajmake

rng = np.random.default_rng(1)
folder = tempfile.mkdtemp()
fname = os.path.join(folder, "cell")  # saved as cell.videvo

moves = {}
for k in range(20):
    t = np.linspace(0.0, 1.0 + k / 10, 8)
    x = np.cumsum(rng.uniform(0.0, 5.0, t.size))
    moves[f"move{k:02d}"] = trajmake.fromdata(t, x, 3, 0, True, (0.0, 0.0))
for ID, traj in moves.items():
    traj.savexml(fname, ID)
    trajdata.Point1d(traj.stop, traj(traj.stop), 0).savexml(fname, ID)  # same name, another kind

root = etree.parse(fname + trajdata.DEF_EXT).getroot()
print(f"{fname}{trajdata.DEF_EXT}: {len(root)} objects, {os.path.getsize(fname + trajdata.DEF_EXT)} bytes")

for ID, traj in moves.items():
    back = trajdata.Trajectory1d.loadxml(fname, ID)
    end = trajdata.Point1d.loadxml(fname, ID)
    assert back == traj  # bit-exact round trip
    assert end.val == traj(traj.stop)

moves["move07"].setValueTr((0.0, -1.0, 0))
moves["move07"].savexml(fname, "move07")  # replaced in place, the others untouched
assert trajdata.Trajectory1d.loadxml(fname, "move07") == moves["move07"]
assert len(etree.parse(fname + trajdata.DEF_EXT).getroot()) == 40
print("all 20 trajectories and 20 points loaded back exactly; move07 updated in place")
