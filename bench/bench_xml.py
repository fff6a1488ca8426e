"""XML files: a trajectory of 10^6 control points saved and loaded again,
against json.dumps + json.loads of the same two lists; and one more small
object saved into a file of 999 (each save reads and rewrites the file)."""

import json
import os
import tempfile

from videvo.trajdata import Point1d, Trajectory1d
from videvo import trajmake
from common import Case, random_clamped


def cases():
    folder = tempfile.mkdtemp(prefix="videvo-bench-")
    big_file = os.path.join(folder, "big")
    U, P, p = random_clamped(10**6, 3, seed=3)
    big = trajmake.bspltraj(U, P, p, 0)
    lists = [U.tolist(), P.tolist()]

    def xml_round_trip():
        big.savexml(big_file, "big")
        return Trajectory1d.loadxml(big_file, "big")

    def json_round_trip():
        return json.loads(json.dumps(lists))

    back = xml_round_trip()
    assert back.get_knotvector_asarray().tobytes() == U.tobytes()
    assert back.get_cpts_asarray().tobytes() == P.tobytes()
    size = os.path.getsize(big_file + ".videvo")

    many_file = os.path.join(folder, "many")
    small = trajmake.bspltraj(*random_clamped(10, 3)[:2], 3, 0)
    for i in range(999):
        (small if i % 2 else Point1d(float(i), 1.0, 0)).savexml(many_file, f"object {i}")
    clean = open(many_file + ".videvo", "rb").read()

    def restore():
        with open(many_file + ".videvo", "wb") as f:
            f.write(clean)

    return [
        Case("XML save + load, 1e6 control points (vs json)", xml_round_trip, json_round_trip, repeat=5,
             note=f"bit-exact; file {size / 1e6:.0f} MB; json of the two lists"),
        Case("XML save of the 1000th object into 999", lambda: small.savexml(many_file, "object 999"),
             prepare=restore, repeat=15, note=f"file {len(clean) / 1e3:.0f} kB, fsync included"),
    ]
