"""The videvo command, run as a child process in a temporary directory."""

import os
import subprocess
import sys

import numpy as np
import pytest

from videvo import trajdata, trajmake

HAVE_MATPLOTLIB = True
try:
    import matplotlib  # noqa: F401
except ImportError:
    HAVE_MATPLOTLIB = False


def videvo_cmd(cwd, *args, prelude=""):
    """Runs `python -m videvo args` in cwd (prelude: code run before, e.g. to hide
    matplotlib); returns the completed process."""
    code = prelude + "import sys; from videvo.cli import main; sys.exit(main(sys.argv[1:]))"
    env = dict(os.environ, SKBUILD_EDITABLE_VERBOSE="0", COLUMNS="80")
    if not prelude:
        return subprocess.run([sys.executable, "-m", "videvo", *args], capture_output=True, text=True,
                              cwd=cwd, env=env, timeout=120)
    return subprocess.run([sys.executable, "-c", code, *args], capture_output=True, text=True, cwd=cwd,
                          env=env, timeout=120)


def ok(cwd, *args):
    r = videvo_cmd(cwd, *args)
    assert r.returncode == 0 and r.stderr == "", r.stderr
    assert "--csv" in args or all(len(line) <= 80 for line in r.stdout.splitlines()), r.stdout
    return r.stdout


def snapshot(directory):
    return {name: open(os.path.join(directory, name), "rb").read() for name in sorted(os.listdir(directory))}


@pytest.fixture(scope="module")
def demo(tmp_path_factory):
    d = tmp_path_factory.mktemp("demo")
    return d, ok(d, "demo")


def test_demo_prints_the_move_and_saves_every_object(demo):
    d, out = demo
    assert "videvo demo" in out and "kinematics of move" in out
    move = trajdata.Trajectory1d.loadxml(str(d / "demo.videvo"), "move")
    x = np.linspace(0, 1, 11)
    row = next(line for line in out.splitlines() if line.split()[:1] == ["0.5"])
    np.testing.assert_allclose([float(v) for v in row.split()], [0.5, *(move(0.5, nu) for nu in range(4))],
                               rtol=1e-5, atol=1e-9)
    np.testing.assert_allclose(move(x), 100 * (10 * x**3 - 15 * x**4 + 6 * x**5), atol=1e-10)
    peaks = [float(v) for v in [line for line in out.splitlines() if line.startswith("move ")][-1].split()[1:]]
    a_at = 0.5 - np.sqrt(3) / 6  # or its mirror image: the peak |a| is reached twice
    peaks[3] = min(peaks[3], 1 - peaks[3])
    np.testing.assert_allclose(peaks, [187.5, 0.5, 1000 / np.sqrt(3), a_at, 6000, 0], rtol=1e-5, atol=1e-4)
    measured = trajdata.Trajectory1d.loadxml(str(d / "demo.videvo"), "measured")
    home = trajdata.Point1d.loadxml(str(d / "demo.videvo"), "home")
    assert measured.peval(home.t) == pytest.approx(home.val, abs=1e-12)
    assert np.max(np.abs(measured(x) - move(x))) < 2.0  # the noise is 0.2
    profile = trajdata.Trajectory1d.loadxml(str(d / "demo.videvo"), "profile")
    assert [profile(t, nu) for t in (0.0, 1.0) for nu in (1, 2)] == pytest.approx([0, 0, 0, 0], abs=1e-9)
    if HAVE_MATPLOTLIB:
        assert (d / "demo.png").read_bytes()[:8] == b"\x89PNG\r\n\x1a\n"
    assert sorted(written(d)) == ["demo.png", "demo.videvo"][not HAVE_MATPLOTLIB:]


def test_demo_without_matplotlib_writes_no_figure_and_says_how(tmp_path):
    r = videvo_cmd(tmp_path, "demo", "--out", ".", prelude="import sys; sys.modules['matplotlib'] = None\n")
    assert r.returncode == 0, r.stderr
    assert 'pip install ".[plot]"' in r.stdout
    assert written(tmp_path) == ["demo.videvo"]


def written(d):
    """The files in d but the lock files that saves keep beside theirs."""
    return [f for f in os.listdir(d) if not f.endswith(".lock")]


def test_demo_keeps_the_other_objects_of_its_file(tmp_path):
    mine = trajmake.bspltraj(np.array([0.0, 0, 1, 1]), np.array([1.0, 2]), 1, 0)
    mine.savexml(str(tmp_path / "demo"), "mine")
    assert videvo_cmd(tmp_path, "demo", "--out", ".", "--no-plot").returncode == 0
    assert trajdata.Trajectory1d.loadxml(str(tmp_path / "demo"), "mine") == mine


def test_ls_and_show_describe_the_objects(demo):
    d, _ = demo
    lines = ok(d, "ls", "demo").splitlines()
    assert [line.split()[:2] for line in lines] == [["move", "Trajectory1d"], ["profile", "Trajectory1d"],
                                                    ["measured", "Trajectory1d"], ["home", "Point1d"]]
    assert "degree  5        6 cpts  [0, 1]" in lines[0]
    shown = ok(d, "show", "demo.videvo", "move")
    assert "position, degree 5, 6 control points, 1 span on [0, 1]" in shown
    assert "peak |velocity|" in shown and "187.5 at t = 0.5" in shown
    assert "position 0 at t = 0" in ok(d, "show", "demo.videvo", "home")


def test_ls_shows_an_id_with_a_line_break_on_its_line(tmp_path):
    trajdata.Point1d(0.5, 1.0, 0).savexml(str(tmp_path / "f"), "a\nb")
    assert ok(tmp_path, "ls", "f").splitlines() == ["'a\\nb'  Point1d       position      1 at t = 0.5"]


@pytest.mark.parametrize("where, nus", [
    (["--grid", "11"], ["0", "1", "2", "3"]),
    (["--at", "0.75", "0.25", "0.75", "1"], ["2"]),
    (["--at", "0.3"], []),
])
def test_eval_tables_and_csv_hold_the_values(demo, where, nus):
    d, _ = demo
    move = trajdata.Trajectory1d.loadxml(str(d / "demo.videvo"), "move")
    nu = [int(k) for k in nus] or [0]
    extra = ["--nu", *nus] if nus else []
    rows = [line.split(",") for line in ok(d, "eval", "demo.videvo", "move", *where, *extra, "--csv").splitlines()]
    table = [line.split() for line in ok(d, "eval", "demo.videvo", "move", *where, *extra).splitlines()]
    names = ["position", "velocity", "acceleration", "jerk"]
    assert rows[0] == table[0] == ["t", *(names[k] for k in nu)]
    x = np.linspace(0, 1, 11) if where[0] == "--grid" else np.array(where[1:], float)
    want = np.array([x, *(np.array([move(xi, k) for xi in x]) for k in nu)]).T
    np.testing.assert_allclose(np.array(rows[1:], float), want, rtol=1e-14, atol=1e-11)
    np.testing.assert_allclose(np.array(table[1:], float), want, rtol=1e-5, atol=1e-9)


@pytest.mark.skipif(not HAVE_MATPLOTLIB, reason="matplotlib is not installed")
def test_plot_writes_a_png(demo):
    d, _ = demo
    assert ok(d, "plot", "demo.videvo", "profile", "-o", "p.png", "--derivatives", "2").strip() == "wrote p.png"
    assert (d / "p.png").read_bytes()[:4] == b"\x89PNG"
    assert ok(d, "plot", "demo.videvo", "profile", "-o", "fig").strip() == "wrote fig"  # PNG by default
    assert (d / "fig").read_bytes()[:4] == b"\x89PNG"


def test_eval_table_shows_the_times_asked_for_and_an_infinite_column(tmp_path):
    f = str(tmp_path / "f")
    trajmake.bspltraj(np.array([0.0, 0, 0.5, 1, 1]), np.array([-1e308, 1e308, 1.7e308]), 1, 0).savexml(f, "a")
    lines = ok(tmp_path, "eval", "f", "a", "--at", "1e-25", "0.75", "--nu", "1").splitlines()
    assert [line.split() for line in lines[1:]] == [["1e-25", "inf"], ["0.75", "1.4e+308"]]


@pytest.mark.parametrize("extra, exact", [
    ([], True),
    (["--slopes", "0", "0"], True),
    (["--ctrl", "12"], False),
    (["--ctrl", "12", "--slopes", "1", "-1"], False),
])
def test_fit_saves_a_trajectory_through_or_near_the_samples(tmp_path, extra, exact):
    x = np.linspace(0.0, 2.0, 41)
    y = np.sin(x) + (0 if exact else 0.01 * np.cos(40 * x))
    (tmp_path / "s.csv").write_text("time,value\n" + "".join(f"{a!r},{b!r}\n" for a, b in zip(x.tolist(), y.tolist())))
    out = ok(tmp_path, "fit", "s.csv", "--degree", "3", *extra, "-o", "axis", "--id", "m")
    assert "saved into axis.videvo" in out
    t = trajdata.Trajectory1d.loadxml(str(tmp_path / "axis.videvo"), "m")
    assert (t.p, t.start, t.stop) == (3, 0.0, 2.0)
    assert np.max(np.abs(t(x) - y)) < (1e-12 if exact else 0.05)
    if "--ctrl" in extra:
        assert t.n + 1 == 12
    if "--slopes" in extra:
        slopes = [float(v) for v in extra[extra.index("--slopes") + 1:][:2]]
        assert [t(0.0, 1), t(2.0, 1)] == pytest.approx(slopes, abs=1e-9)


BAD_FILES = {
    "corrupt.videvo": b"<ViDEVOObjectList><Trajectory1d ID='x'",
    "other.videvo": b"<?xml version='1.0'?><root/>",
    "bad.csv": b"t,v\n0,1\n1,oops\n",
    "short.csv": b"0,1\n",
    "back.csv": b"0,1\n1,2\n0.5,3\n",
    "binary.csv": b"\xff\xfe\x00\x01",
    "same.csv": b"0,1\n0,2\n1,3\n",
    "nan.csv": b"0,1\n1,nan\n2,3\n3,4\n",
    "gap.csv": b"t,y,z\n0,,5\n1,1,6\n2,4,7\n3,9,8\n",  # (no value may come from another column)
    "wild.csv": "".join(f"{x!r},{100 * x * x + float(np.sin(40 * x))!r}\n"
                        for x in np.linspace(0, 1, 201).tolist()).encode(),
}


@pytest.mark.parametrize("args, message", [
    (["ls", "missing"], "no such file: missing.videvo"),
    (["ls", "corrupt.videvo"], "corrupt.videvo is not a videvo file"),
    (["show", "other", "x"], "its root element is 'root'"),
    (["show", "demo.videvo", "nope"], "no object 'nope' in demo.videvo"),
    (["show", "demo.videvo", "it's"], "no object \"it's\" in demo.videvo"),
    (["eval", "demo.videvo", "move", "--at", "0.5", "1.5"], "t = 1.5 is outside the domain [0, 1] of 'move'"),
    (["eval", "demo.videvo", "move", "--at", "nan"], "t = nan is outside"),
    (["eval", "demo.videvo", "home", "--grid", "3"], "'home' is a Point1d, not a trajectory"),
    (["eval", "demo.videvo", "move", "--grid", "3", "--nu", "-1"], "--nu orders must be non-negative"),
    (["eval", "demo.videvo", "move", "--grid", "3", "--nu", "0", "1", "2", "3", "4", "5"], "use --csv"),
    (["eval", "demo.videvo", "move"], "one of the arguments --at --grid is required"),
    (["eval", "demo.videvo", "move", "--at", "x"], "invalid float value: 'x'"),
    (["eval", "demo.videvo", "move", "--grid", "0"], "--grid needs at least 1 point"),
    (["plot", "demo.videvo", "move", "-o", "/proc/m.png"], "No such file or directory"),
    (["plot", "demo.videvo", "move", "-o", "nodir/m.png"], "no such directory: nodir"),
    (["plot", "demo.videvo", "move", "--derivatives", "2147483647"], "--derivatives must be at most 12"),
    (["fit", "bad.csv", "-o", "f", "--id", "a"], "bad.csv, line 3: expected two numbers"),
    (["fit", "short.csv", "-o", "f", "--id", "a"], "need at least 2 samples, found 1"),
    (["fit", "back.csv", "-o", "f", "--id", "a"], "times must be increasing (sample 3 at t = 0.5"),
    (["fit", "binary.csv", "-o", "f", "--id", "a"], "binary.csv is not a text file"),
    (["fit", "same.csv", "-o", "f", "--id", "a"], "times must be increasing (sample 2 at t = 0"),
    (["fit", "nan.csv", "-o", "f", "--id", "a"], "nan.csv, line 2: numbers must be finite"),
    (["fit", "nan.csv", "--degree", "5", "-o", "f", "--id", "a"], "nan.csv, line 2"),
    (["fit", "gap.csv", "-o", "f", "--id", "a"], "gap.csv, line 2: expected two numbers"),
    (["fit", "wild.csv", "--degree", "100", "-o", "f", "--id", "a"], "the interpolation failed"),
    (["fit", "demo.csv", "--degree", "5", "--ctrl", "5", "-o", "f", "--id", "a"], "--ctrl must be at least"),
    (["fit", "back.csv", "-o", "f"], "the following arguments are required: --id"),
    (["fit", "missing.csv", "-o", "f", "--id", "a"], "no such file: missing.csv"),
    (["fit", "demo.csv", "--ctrl", "50", "-o", "f", "--id", "a"], "--ctrl must be at least 4 and less than"),
    (["fit", "demo.csv", "--degree", "0", "-o", "f", "--id", "a"], "--degree must be at least 1"),
    (["fit", "demo.csv", "-o", "corrupt", "--id", "a"], "corrupt.videvo is not a videvo file"),
    (["fit", "demo.csv", "-o", "other", "--id", "a"], "its root element is 'root'"),
    (["frobnicate"], "invalid choice: 'frobnicate'"),
])
def test_errors_are_one_line_exit_2_and_write_nothing(demo, tmp_path, args, message):
    d, _ = demo
    (tmp_path / "demo.videvo").write_bytes((d / "demo.videvo").read_bytes())
    (tmp_path / "demo.csv").write_text("".join(f"{i},{i * i}\n" for i in range(10)))
    for name, data in BAD_FILES.items():
        (tmp_path / name).write_bytes(data)
    before = snapshot(tmp_path)
    r = videvo_cmd(tmp_path, *args)
    assert (r.returncode, r.stdout) == (2, "")
    assert r.stderr.count("\n") == 1 and r.stderr.startswith("videvo: error: "), r.stderr
    assert message in r.stderr
    assert snapshot(tmp_path) == before


def test_version_and_help(tmp_path):
    # Run away from the source tree, whose videvo folder holds no built modules.
    assert ok(tmp_path, "--version").strip().startswith("videvo 0.")
    out = ok(tmp_path, "--help")
    assert "examples:" in out and "videvo demo" in out
    for command in ("demo", "ls", "show", "eval", "plot", "fit"):
        assert command in out
