"""Benchmarks of videvo against SciPy.

    python bench/run.py [substring ...]

Every ``bench_*.py`` module beside this file provides ``cases()``, a list of
Case rows; rows whose name contains one of the given substrings (all rows when
none is given) are measured in this one run and printed as a table of median
times per call and the ratio SciPy / videvo (above 1: videvo is faster).
"""

from __future__ import annotations

import importlib
import pathlib
import sys

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent))

from common import time_per_call  # noqa: E402


def fmt(seconds: float) -> str:
    if seconds < 1e-6:
        return f"{seconds * 1e9:8.1f} ns"
    if seconds < 1e-3:
        return f"{seconds * 1e6:8.2f} us"
    return f"{seconds * 1e3:8.2f} ms"


def main(argv: list[str]) -> int:
    here = pathlib.Path(__file__).resolve().parent
    rows = []
    for path in sorted(here.glob("bench_*.py")):
        module = importlib.import_module(path.stem)
        for case in module.cases():
            if argv and not any(s in case.name for s in argv):
                continue
            ours = time_per_call(case.videvo, case.prepare, case.number, case.repeat, case.names)
            theirs = (time_per_call(case.scipy, case.prepare, case.number, case.repeat, case.names)
                      if case.scipy else None)
            ratio = f"{theirs / ours:7.1f}x" if theirs else "       -"
            note = f"{case.volume / ours / 1e6:.0f} MB/s  {case.note}".rstrip() if case.volume else case.note
            if case.points:
                note = f"{ours / case.points * 1e9:.1f} ns/pt  {note}".rstrip()
            rows.append((case.name, fmt(ours), fmt(theirs) if theirs else "          -", ratio, note))
            print(f"{rows[-1][0]:<48} {rows[-1][1]} {rows[-1][2]} {rows[-1][3]}  {rows[-1][4]}", flush=True)
    if not rows:
        print("no benchmark matches", argv)
        return 1
    print()
    print(f"{'benchmark':<48} {'videvo':>11} {'SciPy':>11} {'ratio':>8}")
    print("-" * 82)
    for name, ours, theirs, ratio, note in rows:
        print(f"{name:<48} {ours} {theirs} {ratio}  {note}")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
