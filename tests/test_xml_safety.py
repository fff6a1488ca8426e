"""XML files under attack and under stress: hostile documents, corrupt
trajectories (loaded in a child interpreter), a saving process killed
mid-write, and concurrent writers."""

import os
import signal
import subprocess
import sys
import time

import pytest

from videvo.trajdata import CorruptedFileError, Point1d, Trajectory1d

GOOD = ('<ViDEVOObjectList><Trajectory1d ID="t" p="1" n="2" owner="True" order="0">'
        '<cpts>0 5 10</cpts><knots>0 0 1 2 2</knots></Trajectory1d></ViDEVOObjectList>')

# name: (text replaced, replacement, expected error, part of the message)
CORRUPT = {
    "no p": ('p="1" ', "", "TypeError", ""),
    "p not a number": ('p="1"', 'p="one"', "ValueError", ""),
    "negative p": ('p="1"', 'p="-1"', "CorruptedFileError", "Trajectory1d 't' in the uploaded file: 'p' = -1"),
    "n below p": ('n="2"', 'n="0"', "CorruptedFileError", "'n' = 0 is out of range"),
    "huge n": ('n="2"', 'n="2147483646"', "CorruptedFileError", "'n' = 2147483646 is out of range"),
    "n beyond any int": ('n="2"', 'n="99999999999999999999999"', "CorruptedFileError", "'n'"),
    "large n, few numbers": ('n="2"', 'n="2000000000"', "CorruptedFileError", "'knots' holds 5 numbers, 2000000003"),
    "negative order": ('order="0"', 'order="-1"', "CorruptedFileError", "'order' = -1"),
    "order beyond 32 bits": ('order="0"', 'order="4294967296"', "CorruptedFileError", "'order'"),
    "no owner": ('owner="True" ', "", "CorruptedFileError", "no 'owner' attribute"),
    "no knots": ("<knots>0 0 1 2 2</knots>", "", "CorruptedFileError", "it has no 'knots' element"),
    "no cpts": ("<cpts>0 5 10</cpts>", "", "CorruptedFileError", "it has no 'cpts' element"),
    "empty knots": ("0 0 1 2 2", "", "CorruptedFileError", "'knots' holds 0 numbers, 5 needed"),
    "too few cpts": ("0 5 10", "0 5", "CorruptedFileError", "'cpts' holds 2 numbers, 3 needed"),
    "knots split by a comment": ("0 0 1 2 2", "0 0<!-- 1 -->1 2 2", "CorruptedFileError", "'knots' holds 2"),
    "decreasing knots": ("0 0 1 2 2", "0 0 3 2 2", "CorruptedFileError", "no clamped knot vector of degree 1"),
    "unclamped knots": ("0 0 1 2 2", "0 1 1 2 2", "CorruptedFileError", "no clamped knot vector"),
    "nan knot": ("0 0 1 2 2", "0 0 nan 2 2", "CorruptedFileError", "no clamped knot vector"),
    "bad number": ("0 5 10", "0 five 10", "ValueError", "could not convert string to float: 'five'"),
    "nan with a payload": ("0 5 10", "0 nan(1) 10", "ValueError", "could not convert string to float: 'nan(1)'"),
    "data in a duplicate only": ("<cpts>0 5 10</cpts>", "</Trajectory1d><Trajectory1d ID='t'><cpts>0 5 10</cpts>",
                                 "CorruptedFileError", "it has no 'knots' element"),
    "extra numbers and any whitespace": ("0 5 10", "\t0\n 5\r\n10  11 x ", "loaded", "[0.0, 5.0, 10.0]"),
    "signs and underscores as float() reads them": ("0 5 10", "+0 5_0 1e1", "loaded", "[0.0, 50.0, 10.0]"),
}

LOAD_ALL = """
import sys
from videvo.trajdata import Trajectory1d
for name in sys.argv[1:]:
    try:
        t = Trajectory1d.loadxml(name, "t")
        print(name, "loaded", t.get_cpts_asarray().tolist(), sep="|")
    except Exception as e:
        print(name, type(e).__name__, e, sep="|")
"""


@pytest.fixture(scope="module")
def corrupt_results(tmp_path_factory):
    folder = tmp_path_factory.mktemp("corrupt")
    paths = []
    for i, (old, new, _, _) in enumerate(CORRUPT.values()):
        assert old in GOOD
        paths.append(str(folder / f"case{i}.videvo"))
        with open(paths[-1], "w") as f:
            f.write(GOOD.replace(old, new, 1))
    child = subprocess.run([sys.executable, "-c", LOAD_ALL, *paths], capture_output=True, text=True, timeout=300,
                           env=dict(os.environ, SKBUILD_EDITABLE_VERBOSE="0"), cwd=str(folder))
    assert child.returncode == 0, child.stderr
    lines = [line.split("|", 2) for line in child.stdout.splitlines()]
    return {name: line[1:] for name, line in zip(CORRUPT, lines)}


@pytest.mark.parametrize("case", list(CORRUPT))
def test_corrupt_trajectories_are_refused_with_the_fault(corrupt_results, case):
    _, _, error, message = CORRUPT[case]
    assert corrupt_results[case][0] == error
    assert message in corrupt_results[case][1]


@pytest.mark.parametrize("attributes, error", [
    ('val="2" order="0"', TypeError), ('t="x" val="2" order="0"', ValueError),
    ('t="1" val="2" order="-1"', OverflowError), ('t="1" val="2" order="1.5"', ValueError),
])
def test_corrupt_points(tmp_path, attributes, error):
    (tmp_path / "f.videvo").write_text(f'<ViDEVOObjectList><Point1d ID="x" {attributes}/></ViDEVOObjectList>')
    with pytest.raises(error):
        Point1d.loadxml(str(tmp_path / "f"), "x")


def hostile(tmp_path, declarations, body):
    path = tmp_path / "f.videvo"
    path.write_text(f'<?xml version="1.0"?>\n<!DOCTYPE ViDEVOObjectList [{declarations}]>\n'
                    f'<ViDEVOObjectList>{body}</ViDEVOObjectList>')
    return str(path)


def test_external_entities_are_never_read(tmp_path):
    secret = tmp_path / "secret.txt"
    secret.write_text("1 2 3 TOPSECRET")
    f = hostile(tmp_path, f'<!ENTITY xxe SYSTEM "file://{secret}">',
                '<Trajectory1d ID="t" p="1" n="2" owner="True" order="0"><cpts>&xxe;</cpts>'
                '<knots>0 0 1 2 2</knots></Trajectory1d><Point1d ID="p" t="1" val="2" order="0"/>')
    with pytest.raises(CorruptedFileError) as error:
        Trajectory1d.loadxml(f, "t")
    assert "TOPSECRET" not in str(error.value)
    assert Point1d.loadxml(f, "p") == Point1d(1.0, 2.0, 0)
    Point1d(3.0, 4.0, 0).savexml(f, "q")
    assert "TOPSECRET" not in open(f).read() and Point1d.loadxml(f, "q") == Point1d(3.0, 4.0, 0)


@pytest.mark.parametrize("body", ['<Point1d ID="&lol9;" t="1" val="2" order="0"/>',
                                  '<Point1d ID="p" t="&lol9;" val="2" order="0"/>',
                                  '<Trajectory1d ID="p"><cpts>&lol9;</cpts></Trajectory1d>'])
def test_entity_expansion_bombs_are_refused(tmp_path, body):
    lol = '<!ENTITY lol0 "lollollollollollollollollollol">' + "".join(
        f'<!ENTITY lol{i} "{("&lol%d;" % (i - 1)) * 10}">' for i in range(1, 10))
    f = hostile(tmp_path, lol, body)
    before = open(f).read()
    started = time.perf_counter()
    for action in (lambda: Point1d.loadxml(f, "p"), lambda: Point1d(0.0, 0.0, 0).savexml(f, "q")):
        with pytest.raises(Exception):
            action()
    assert time.perf_counter() - started < 5 and open(f).read() == before


SAVE_FOREVER = """
import sys
import numpy as np
from videvo import trajmake
n = 200000
knots = np.concatenate([[0.0, 0.0], np.linspace(0, 1, n)[1:-1], [1.0, 1.0]])
versions = [trajmake.bspltraj(knots, np.full(n, float(v)), 1, 0) for v in (1, 2)]
print("saving", flush=True)
i = 0
while True:
    versions[i % 2].savexml(sys.argv[1], "t")
    i += 1
"""


@pytest.mark.parametrize("delay", [0.05, 0.4])
def test_a_save_killed_mid_write_leaves_the_old_or_the_new_file(tmp_path, delay):
    f = str(tmp_path / "f")
    Point1d(1.0, 2.0, 0).savexml(f, "kept")
    child = subprocess.Popen([sys.executable, "-c", SAVE_FOREVER, f], stdout=subprocess.PIPE, text=True,
                             env=dict(os.environ, SKBUILD_EDITABLE_VERBOSE="0"), cwd=str(tmp_path))
    try:
        assert child.stdout.readline() == "saving\n"
        time.sleep(delay)
    finally:
        child.send_signal(signal.SIGKILL)
        child.wait()
    assert Point1d.loadxml(f, "kept") == Point1d(1.0, 2.0, 0)
    try:
        values = set(Trajectory1d.loadxml(f, "t").get_cpts_asarray().tolist())
    except ValueError as e:  # killed before the first save completed
        assert str(e) == "no match for ID: t"
    else:
        assert values in ({1.0}, {2.0})


WRITER = """
import sys
from videvo.trajdata import Point1d
for i in range(100):
    Point1d(float(i), 0.0, 0).savexml(sys.argv[1], f"{sys.argv[2]}-{i}")
"""


def test_concurrent_writers_lose_nothing(tmp_path):
    f = str(tmp_path / "f")
    env = dict(os.environ, SKBUILD_EDITABLE_VERBOSE="0")
    writers = [subprocess.Popen([sys.executable, "-c", WRITER, f, name], env=env, cwd=str(tmp_path))
               for name in ("a", "b")]
    assert [w.wait(timeout=300) for w in writers] == [0, 0]
    for name in ("a", "b"):
        for i in (0, 57, 99):
            assert Point1d.loadxml(f, f"{name}-{i}") == Point1d(float(i), 0.0, 0)
    assert open(f + ".videvo").read().count("<Point1d ") == 200
