"""Every script in examples/ runs to its end (each checks its own results)."""

import pathlib

import pytest

from splines import run_child

EXAMPLES = sorted((pathlib.Path(__file__).resolve().parents[1] / "examples").glob("*.py"))


def test_the_three_examples_are_there():
    assert [p.name for p in EXAMPLES] == ["constrain_and_scale.py", "interpolate_and_check.py",
                                          "many_trajectories.py"]


@pytest.mark.parametrize("script", EXAMPLES, ids=lambda p: p.stem)
def test_example_runs(script):
    r = run_child(script.read_text())
    assert r.returncode == 0, r.stderr
    assert r.stdout.strip()
