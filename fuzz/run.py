"""Runs the fuzz drivers: `python fuzz/run.py [--cases N | --seconds S]
[--seed S] [-v] [target ...]`.  Each case of a target is seeded with
seed + case number, so a finding is replayed with --seed and --cases 1.
Refusals are fine; a mismatch with the reference, an unexpected exception or
a crash (reported by the sanitizer build) is a finding."""

import argparse
import os
import sys
import time
import traceback

import numpy as np

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from common import Mismatch, refused  # noqa: E402
import argument_targets  # noqa: E402
import curvekit_targets  # noqa: E402
import trajectory_targets  # noqa: E402

TARGETS = {**curvekit_targets.TARGETS, **trajectory_targets.TARGETS, **argument_targets.TARGETS}


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("targets", nargs="*", help="names of targets (all by default)")
    parser.add_argument("--cases", type=int, default=200, help="cases per target")
    parser.add_argument("--seconds", type=float, default=None, help="run each target this long instead")
    parser.add_argument("--seed", type=int, default=0)
    parser.add_argument("-v", "--verbose", action="store_true", help="print each case before running it")
    args = parser.parse_args(argv)
    unknown = set(args.targets) - set(TARGETS)
    if unknown:
        parser.error(f"unknown targets {sorted(unknown)}; known: {sorted(TARGETS)}")
    findings = 0
    for name in args.targets or sorted(TARGETS):
        target = TARGETS[name]
        began = time.monotonic()
        case = 0
        while (case < args.cases) if args.seconds is None else (time.monotonic() - began < args.seconds):
            seed = args.seed + case
            if args.verbose:
                print(f"{name} --seed {seed}", file=sys.stderr, flush=True)
            try:
                target(np.random.default_rng(seed))
            except Mismatch as e:
                findings += 1
                print(f"MISMATCH {name} --seed {seed}: {e}", flush=True)
            except Exception as e:  # noqa: BLE001
                if not refused(e):
                    findings += 1
                    print(f"UNEXPECTED {name} --seed {seed}: {type(e).__name__}: {e}", flush=True)
                    traceback.print_exc()
            case += 1
        print(f"{name}: {case} cases from seed {args.seed}, {time.monotonic() - began:.1f} s", flush=True)
    return 1 if findings else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
