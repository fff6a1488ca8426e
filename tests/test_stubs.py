"""The typed stubs: videvo/*.pyi are what nanobind's stub generator makes of
the built modules today, and mypy checks code against them.

After a change of a signature or docstring, regenerate them from the
repository root:
    python -m nanobind.stubgen -q -p tests/stubgen.pat -O videvo -m videvo.curvekit -m videvo.trajdata -m videvo.trajmake -m videvo.motion
"""

import difflib
import os
import pathlib
import shutil
import subprocess
import sys
import tempfile

import pytest

import videvo

ROOT = pathlib.Path(__file__).resolve().parents[1]
MODULES = ["curvekit", "trajdata", "trajmake", "motion"]
ENV = dict(os.environ, SKBUILD_EDITABLE_VERBOSE="0")


@pytest.fixture(scope="module")
def generated(tmp_path_factory):
    pytest.importorskip("nanobind.stubgen")
    out = tmp_path_factory.mktemp("stubs")
    args = [a for m in MODULES for a in ("-m", f"videvo.{m}")]
    subprocess.run([sys.executable, "-m", "nanobind.stubgen", "-q", "-p", str(ROOT / "tests" / "stubgen.pat"),
                    "-O", str(out), *args], check=True,
                   cwd=tempfile.gettempdir(), env=ENV, timeout=300)
    return out


@pytest.mark.parametrize("module", MODULES)
def test_committed_stub_is_what_the_generator_makes(generated, module):
    committed = (ROOT / "videvo" / f"{module}.pyi").read_text().splitlines()
    fresh = (generated / f"{module}.pyi").read_text().splitlines()
    diff = "\n".join(list(difflib.unified_diff(committed, fresh, "committed", "generated", lineterm=""))[:40])
    assert committed == fresh, f"videvo/{module}.pyi is stale; regenerate it (see this file's docstring):\n{diff}"


GOOD = """
import numpy as np
from videvo import curvekit, motion, plot, trajdata, trajmake

x = np.linspace(0.0, 1.0, 20)
t: trajdata.Trajectory1d = trajmake.fromdata(x, x**2, 3, 0)
d: trajdata.Trajectory1d = t.derivative(2).copy()
width: float = (t.stop or 0.0) - (t.start or 0.0)
value: float = t.peval(0.5) + t.dpeval(0.5, 1)
U, P = t.get_knotvector_asarray(), t.get_cpts_asarray()
assert U is not None and P is not None
curvekit.splcev(x.copy(), U, P, t.p)
text: str = repr(t) + str(t)
span: int = curvekit.findspan(t.p, 0.5, U)
home = trajdata.Point1d(0.0, 1.0, 0)
t.setValueTr(home)
when: float = home.t
same: bool = t == t.copy()
total: trajdata.Trajectory1d = 2.0 * (t + d) - 1.0
label: str = str(home.copy())
peaks = motion.peaks(t)
"""

BAD = """
from videvo import trajdata, trajmake
t = trajdata.Trajectory1d()
t.peval("half")
s: str = t.copy()
t.derivative("1")
"""


def mypy(tmp_path, source, cache):
    """mypy on `source` against a copy of the package's Python files and stubs
    (the package as a wheel ships it)."""
    package = pathlib.Path(videvo.__file__).parent
    shutil.copytree(package, tmp_path / "videvo", ignore=lambda d, names: [
        n for n in names if not n.endswith((".py", ".pyi", "py.typed"))])
    (tmp_path / "sample.py").write_text(source)
    return subprocess.run([sys.executable, "-m", "mypy", "--no-error-summary", "--cache-dir", str(cache),
                           "--follow-imports=silent", "sample.py"], capture_output=True, text=True,
                          cwd=tmp_path, env=ENV, timeout=600)


@pytest.fixture(scope="module")
def mypy_cache(tmp_path_factory):
    # One cache for both runs; pytest's own cache may be switched off.
    return tmp_path_factory.mktemp("mypy-cache")


@pytest.mark.parametrize("source, errors", [
    (GOOD, []),
    (BAD, ['Argument 1 to "peval" of "Trajectory1d" has incompatible type "str"',
           'Incompatible types in assignment (expression has type "Trajectory1d", variable has type "str")',
           'Argument 1 to "derivative" of "Trajectory1d" has incompatible type "str"']),
])
def test_mypy_checks_code_against_the_stubs(tmp_path, mypy_cache, source, errors):
    pytest.importorskip("mypy")
    r = mypy(tmp_path, source, mypy_cache)
    # what a user sees: mypy reports nothing inside an installed package
    found = [line.split(": error: ")[1] for line in r.stdout.splitlines() if line.startswith("sample.py:")]
    assert len(found) == len(errors), r.stdout + r.stderr
    for want, got in zip(errors, found):
        assert got.startswith(want), r.stdout
