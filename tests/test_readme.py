"""README.md: every code block runs, in order, in one fresh directory; its
install and test commands are the ones CI runs; its API table names every
public name."""

import importlib.util
import os
import pathlib
import re
import shlex
import subprocess
import sys

import pytest

import videvo
from splines import run_child

ROOT = pathlib.Path(__file__).resolve().parents[1]
README = (ROOT / "README.md").read_text()
BLOCKS = re.findall(r"^```(\w*)\n(.*?)^```", README, flags=re.S | re.M)


def commands(block):
    for line in block.splitlines():
        line = line.split(" #")[0].strip()
        if line:
            yield line


# The cluster example reads the user's data through a `load(i)` of theirs.
LOAD = """
def load(i):
    x = np.linspace(0.0, 1.0, 200)
    return x, np.sin(3.0 * x + i / 1000.0)
"""


def python_session():
    """The Python blocks as one script, in order (a block may use what an
    earlier one made); the cluster block only where Dask is installed."""
    parts = []
    for lang, block in BLOCKS:
        if lang != "python":
            continue
        if "dask" in block:
            if importlib.util.find_spec("dask") is None or importlib.util.find_spec("distributed") is None:
                continue
            parts.append(LOAD)
        parts.append(block)
    return "\n".join(parts)


def test_code_blocks_run_in_order(tmp_path):
    r = run_child(f"import os; os.chdir({str(tmp_path)!r})\n" + python_session(), timeout=600)
    assert r.returncode == 0, r.stderr
    env = dict(os.environ, SKBUILD_EDITABLE_VERBOSE="0")
    ran = 0
    for lang, block in BLOCKS:
        if lang == "python":
            continue
        for line in commands(block):
            words = shlex.split(line)
            if words[0] != "videvo":
                continue  # installs and test runs: see the next test
            target = None
            if ">" in words:
                words, target = words[:words.index(">")], words[words.index(">") + 1]
            r = subprocess.run([sys.executable, "-m", "videvo", *words[1:]], capture_output=True, text=True,
                               cwd=tmp_path, env=env, timeout=120)
            assert r.returncode == 0, (line, r.stderr)
            if target:
                (tmp_path / target).write_text(r.stdout)
            ran += 1
    assert ran == 8


def test_install_and_test_commands_are_what_ci_runs():
    ci = [line.strip() for line in (ROOT / ".ci" / "run").read_text().splitlines()]
    shell = [line for lang, block in BLOCKS if lang == "" for line in commands(block)
             if not line.startswith("videvo")]
    assert shell == ["pip install .", 'pip install ".[test,plot,dask]" && python -m pytest -q']
    for line in shell:
        assert line in ci


@pytest.mark.parametrize("module", ["curvekit", "trajdata", "trajmake", "motion"])
def test_api_table_names_every_public_name(module):
    table = "\n".join(line for line in README.split("## Public API")[1].split("\n## ")[0].splitlines()
                      if line.startswith("|"))
    rows = re.findall(r"^\|\s*(`videvo\.\w+`)?\s*\|\s*(.*?)\s*\|", table, flags=re.M)
    listed, current = set(), None
    for mod, names in rows:
        current = mod or current
        if current == f"`videvo.{module}`":
            listed |= set(re.findall(r"`(\w+)`", names))
    public = set(getattr(videvo, module).__all__)
    assert public - listed == set()
    assert listed - public == set()
