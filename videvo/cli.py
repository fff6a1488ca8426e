"""The ``videvo`` command: a demo, and a look into, evaluation, plots and fits
of the trajectories in videvo files.

Every failure is one line on stderr and exit status 2; a command that fails
writes no file.
"""

from __future__ import annotations

import argparse
import contextlib
import csv
import os
import re
import shutil
import sys
import tempfile
from typing import Any, Callable, Iterator, NoReturn, Sequence

import numpy as np

from . import __version__
from .plot import INSTALL_HINT, quantity

EXAMPLES = """\
examples:
  videvo demo                       build, print and save a rest-to-rest move
  videvo ls demo.videvo             what a file holds
  videvo show demo.videvo move      one trajectory in detail
  videvo eval demo.videvo move --grid 11 --nu 0 1 2 3
  videvo eval demo.videvo move --at 0.25 0.5 --csv
  videvo plot demo.videvo move -o move.png --derivatives 3
  videvo fit samples.csv --degree 3 --ctrl 200 -o axis1.videvo --id measured
                                    least squares (interpolation without --ctrl)
"""

MAX_TABLE_COLUMNS = 5  # derivative columns that fit 80 characters beside the time


class CommandError(Exception):
    """A failure reported to the user as one line, exit status 2."""


def fail(message: str) -> NoReturn:
    raise CommandError(message)


class Parser(argparse.ArgumentParser):
    """argparse with its errors reported the way every other failure is."""

    def error(self, message: str) -> NoReturn:
        fail(f"{message} (see '{self.prog} --help')")


def number(text: str) -> str:
    return format(float(text), ".6g")


# ---- files -------------------------------------------------------------


def videvo_name(fname: str) -> str:
    """The file name the library reads for ``fname`` (default extension added)."""
    return fname if os.path.splitext(fname)[1] else fname + ".videvo"


def safe_parser() -> Any:
    from lxml import etree

    return etree.XMLParser(resolve_entities=False, no_network=True, load_dtd=False, huge_tree=True,
                           remove_blank_text=True)


def read_listing(fname: str) -> tuple[str, list[Any]]:
    """The elements of a videvo file, read without trusting it."""
    from lxml import etree

    path = existing(videvo_name(fname))
    try:
        root = etree.parse(os.fsencode(path), safe_parser()).getroot()
    except etree.XMLSyntaxError as exc:
        fail(f"{path} is not a videvo file: {exc}")
    if root.tag != "ViDEVOObjectList":
        fail(f"{path} is not a videvo file: its root element is {root.tag!r}")
    return path, [e for e in root if isinstance(e.tag, str)]


def refuse_foreign_target(target: str) -> None:
    """Refuses, before any work, an existing file to save into that saving
    would fail on (not a videvo file)."""
    if os.path.exists(target):
        read_listing(target)


def existing(path: str) -> str:
    if not os.path.isfile(path):
        fail(f"no such file: {path}")
    return path


def load(fname: str, ID: str) -> Any:
    """The trajectory or point saved under ``ID``."""
    from . import trajdata

    path, elements = read_listing(fname)
    kinds = [e.tag for e in elements if e.get("ID") == ID]
    if not kinds:
        fail(f"no object {ID!r} in {path} (see 'videvo ls {fname}')")
    if "Trajectory1d" in kinds:
        cls = trajdata.Trajectory1d
    elif "Point1d" in kinds:
        cls = trajdata.Point1d
    else:
        fail(f"{ID!r} in {path} is a {kinds[0]}, which this command does not read")
    try:
        return cls.loadxml(path, ID)
    except (ValueError, TypeError, OverflowError, trajdata.CorruptedFileError) as exc:
        fail(f"{path}: {ID!r} cannot be read: {exc}")


def load_trajectory(fname: str, ID: str) -> Any:
    obj = load(fname, ID)
    if type(obj).__name__ != "Trajectory1d":
        fail(f"{ID!r} is a {type(obj).__name__}, not a trajectory")
    return obj


@contextlib.contextmanager
def staging(directory: str) -> Iterator[str]:
    """A private directory beside the targets; files made there are moved into
    place by publish() only when everything succeeded."""
    if not os.path.isdir(directory or "."):
        fail(f"no such directory: {directory}")
    path = tempfile.mkdtemp(prefix=".videvo-", dir=directory or ".")
    try:
        yield path
    finally:
        shutil.rmtree(path, ignore_errors=True)


def publish(stage: str, names: Sequence[str], directory: str) -> None:
    for name in names:
        os.replace(os.path.join(stage, name), os.path.join(directory, name))


def write_figure(fig: Any, target: str) -> None:
    directory, name = os.path.split(target)
    with staging(directory) as stage:
        ext = os.path.splitext(name)[1][1:].lower()
        fig.savefig(os.path.join(stage, name), dpi=110, format=ext or "png")
        publish(stage, [name], directory or ".")


def pyplot() -> Any:
    try:
        import matplotlib
    except ImportError:
        fail(INSTALL_HINT)
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    return plt


# ---- numbers and tables ------------------------------------------------


def evaluate(traj: Any, x: np.ndarray, nu: int) -> np.ndarray:
    """Values of the nu-th derivative at x (any order, repeats allowed)."""
    u, back = np.unique(x, return_inverse=True)
    return np.asarray(traj(u, nu))[back]


def check_domain(traj: Any, x: np.ndarray, ID: str) -> None:
    outside = x[(x < traj.start) | (x > traj.stop) | np.isnan(x)]
    if outside.size:
        fail(f"t = {outside[0]:g} is outside the domain [{traj.start:g}, {traj.stop:g}] of {ID!r}")


def table(header: Sequence[str], rows: Sequence[Sequence[float]], width: int = 13) -> str:
    """Right-aligned columns, six significant digits; rounding noise far below
    a column's largest value shows as 0."""
    cols = np.array(rows, dtype=np.float64).reshape(len(rows), len(header))
    finite = np.where(np.isfinite(cols), np.abs(cols), 0.0)
    noise = 1e-12 * np.max(finite, axis=0, initial=0.0)
    noise[0] = 0.0  # the times are printed as given
    cols = np.where(np.abs(cols) <= noise, 0.0, cols)
    lines = ["".join(f"{h:>{width}}" for h in header)]
    lines += ["".join(f"{v:>{width}.6g}" for v in row) for row in cols]
    return "\n".join(lines)


def peaks_of(traj: Any) -> dict[str, tuple[float, float]]:
    """Largest |derivative| and where, for derivative orders 1 to 3."""
    from . import motion

    return dict(motion.peaks(traj))


def describe(traj: Any) -> str:
    q = quantity(traj.order)
    spans = np.unique(traj.get_knotvector_asarray()).size - 1
    return (f"{q}, degree {traj.p}, {traj.n + 1} control points, {spans} span{'s' * (spans != 1)} "
            f"on [{traj.start:g}, {traj.stop:g}]")


# ---- commands ----------------------------------------------------------


def cmd_ls(args: argparse.Namespace) -> None:
    path, elements = read_listing(args.file)
    if not elements:
        print(f"{path}: empty")
        return
    def shown(e: Any) -> str:  # (an ID with a line break or other control in it: its repr, on one line)
        ID = str(e.get("ID"))
        return ID if ID.isprintable() else repr(ID)

    width = min(24, max(len(shown(e)) for e in elements))
    for e in elements:
        ID = shown(e)
        a = e.attrib
        try:
            if e.tag == "Trajectory1d":
                text = (f"{quantity(int(a['order'])):<13} degree {a['p']:>2}  {int(a['n']) + 1:>7} cpts  "
                        f"[{number(a['start'])}, {number(a['stop'])}]")
            elif e.tag == "Point1d":
                text = f"{quantity(int(a['order'])):<13} {number(a['val'])} at t = {number(a['t'])}"
            else:
                text = ""
        except (KeyError, ValueError):
            text = "(unreadable attributes)"
        print(f"{ID:<{width}}  {e.tag:<12}  {text}".rstrip())


def cmd_show(args: argparse.Namespace) -> None:
    obj = load(args.file, args.id)
    if type(obj).__name__ == "Point1d":
        print(f"{args.id}: point, {quantity(obj.order)} {obj.val:g} at t = {obj.t:g}")
        return
    t = obj
    U = t.get_knotvector_asarray()
    lines = [
        f"{args.id}: {describe(t)}",
        f"  value at start, stop   {t.peval(t.start):g}, {t.peval(t.stop):g}",
        f"  interior knots         {U.size - 2 * (t.p + 1)} ({max(0, np.unique(U).size - 2)} distinct)",
        f"  control points range   [{t.get_cpts_asarray().min():g}, {t.get_cpts_asarray().max():g}]",
    ]
    for name, (value, at) in peaks_of(t).items():
        lines.append(f"  peak |{name}|{'':<{max(1, 16 - len(name))}}{value:g} at t = {at:g}")
    print("\n".join(lines))


def cmd_eval(args: argparse.Namespace) -> None:
    t = load_trajectory(args.file, args.id)
    if args.grid is not None:
        if args.grid < 1:
            fail("--grid needs at least 1 point")
        x = np.linspace(t.start, t.stop, args.grid)
    else:
        x = np.asarray(args.at, dtype=np.float64)
    nus = args.nu or [0]
    if min(nus) < 0:
        fail("--nu orders must be non-negative")
    if not args.csv and len(nus) > MAX_TABLE_COLUMNS:
        fail(f"at most {MAX_TABLE_COLUMNS} orders fit a table; use --csv for more")
    check_domain(t, x, args.id)
    columns = [evaluate(t, x, nu) for nu in nus]
    names = [quantity(t.order + nu) for nu in nus]
    if args.csv:
        out = csv.writer(sys.stdout, lineterminator="\n")
        out.writerow(["t", *names])
        for i, xi in enumerate(x):
            out.writerow([repr(float(xi)), *(repr(float(c[i])) for c in columns)])
    else:
        print(table(["t", *names], list(zip(x, *columns))))


def cmd_plot(args: argparse.Namespace) -> None:
    t = load_trajectory(args.file, args.id)
    if args.derivatives < 0:
        fail("--derivatives must be non-negative")
    # one panel each: a dozen at most (beyond the degree they are all zero)
    limit = 12
    if args.derivatives > limit:
        fail(f"--derivatives must be at most {limit}")
    target = args.output or re.sub(r"[^\w.-]", "_", args.id) + ".png"
    plt = pyplot()
    from .plot import plot

    axes = plot(t, derivatives=args.derivatives)
    first = axes if args.derivatives == 0 else axes[0]
    first.set_title(f"{args.id} ({videvo_name(args.file)})")
    write_figure(first.figure, target)
    plt.close(first.figure)
    print(f"wrote {target}")


def is_number(text: str) -> bool:
    try:
        float(text)
    except ValueError:
        return False
    return True


def read_samples(path: str) -> tuple[np.ndarray, np.ndarray]:
    """Two columns of numbers (time, value); one header line is allowed."""
    existing(path)
    xs: list[float] = []
    ys: list[float] = []
    header_allowed = True
    try:
        with open(path, newline="", encoding="utf-8") as f:
            for lineno, row in enumerate(csv.reader(f), 1):
                cells = [c.strip() for c in row]
                if not any(cells) or cells[0].startswith("#"):
                    continue
                first, header_allowed = header_allowed, False
                try:
                    if len(cells) < 2:
                        raise ValueError
                    x, y = float(cells[0]), float(cells[1])
                except ValueError:
                    if first and not is_number(cells[0]):
                        continue  # a header
                    fail(f"{path}, line {lineno}: expected two numbers (time, value), got {','.join(row)!r}")
                if not (np.isfinite(x) and np.isfinite(y)):
                    fail(f"{path}, line {lineno}: numbers must be finite")
                xs.append(x)
                ys.append(y)
    except UnicodeDecodeError:
        fail(f"{path} is not a text file")
    if len(xs) < 2:
        fail(f"{path}: need at least 2 samples, found {len(xs)}")
    x = np.array(xs)
    if np.any(np.diff(x) <= 0):
        i = int(np.argmax(np.diff(x) <= 0))
        fail(f"{path}: times must be increasing (sample {i + 2} at t = {x[i + 1]:g} follows t = {x[i]:g})")
    return x, np.array(ys)


def least_squares(x: np.ndarray, y: np.ndarray, p: int, ncpts: int, slopes: Sequence[float] | None) -> Any:
    from . import curvekit, trajmake

    U = np.empty(ncpts + p + 1)
    P = np.empty(ncpts)
    curvekit.kevalappr(x, p, U)
    if slopes is None:
        curvekit.gcsplapp(x, y, p, U, P)
    else:
        curvekit.gdsplapp(x, y, p, U, P, dy=tuple(slopes))
    return trajmake.bspltraj(U, P, p, 0)


def cmd_fit(args: argparse.Namespace) -> None:
    from . import trajmake

    x, y = read_samples(args.csv)
    target = videvo_name(args.output)
    refuse_foreign_target(target)
    p, m = args.degree, len(x)
    if p < 1:
        fail("--degree must be at least 1")
    if args.ctrl is None:
        if p >= m:
            fail(f"degree {p} needs more than {p} samples, found {m}")
        if args.slopes is None:
            t = trajmake.fromdata(x, y, p, 0)
        else:
            t = trajmake.fromdata(x, y, p, 0, clamp=True, dy=tuple(args.slopes))
    else:
        least = max(p + 1, 5 if args.slopes else 3)
        if not least <= args.ctrl < m:
            fail(f"--ctrl must be at least {least} and less than the {m} samples")
        t = least_squares(x, y, p, args.ctrl, args.slopes)
    residual = np.abs(evaluate(t, x, 0) - y)
    if not np.all(np.isfinite(residual)):
        fail("the fit failed: the samples do not determine the control points")
    if args.ctrl is None and np.max(residual) > 1e-8 * max(1.0, float(np.max(np.abs(y)))):
        fail(f"the interpolation failed: largest |residual| {np.max(residual):.3g} "
             f"(degree {p} is too high for these samples)")
    t.savexml(target, args.id)
    i = int(np.argmax(residual))
    kind = "interpolated" if args.ctrl is None else "least squares"
    print(f"{args.id}: {describe(t)}")
    print(f"  {kind} fit of {m} samples, largest |residual| {residual[i]:.3g} at t = {x[i]:g}")
    print(f"  saved into {target}")


def cmd_demo(args: argparse.Namespace) -> None:
    from .demo import run

    run(args.out, plot=not args.no_plot, pyplot=pyplot)


# ---- parser and entry point ----------------------------------------------


def build_parser() -> Parser:
    parser = Parser(prog="videvo", formatter_class=argparse.RawDescriptionHelpFormatter,
                    description="Fast, exact one-dimensional motion trajectories as clamped B-splines.",
                    epilog=EXAMPLES)
    parser.add_argument("--version", action="version", version=f"videvo {__version__}")
    sub = parser.add_subparsers(dest="command", metavar="COMMAND", required=True)

    def command(name: str, run: Callable[[argparse.Namespace], None], text: str) -> Parser:
        p = sub.add_parser(name, help=text, description=text)
        p.set_defaults(run=run)
        return p

    p = command("demo", cmd_demo, "build a rest-to-rest move, print its kinematics, save demo.videvo and demo.png")
    p.add_argument("--out", default=".", metavar="DIR", help="directory for the files (default: here)")
    p.add_argument("--no-plot", action="store_true", help="do not write demo.png")

    p = command("ls", cmd_ls, "list the objects saved in a videvo file")
    p.add_argument("file")

    p = command("show", cmd_show, "describe one trajectory or point of a file")
    p.add_argument("file")
    p.add_argument("id", metavar="ID")

    p = command("eval", cmd_eval, "evaluate a trajectory and its derivatives")
    p.add_argument("file")
    p.add_argument("id", metavar="ID")
    where = p.add_mutually_exclusive_group(required=True)
    where.add_argument("--at", type=float, nargs="+", metavar="X", help="times to evaluate at")
    where.add_argument("--grid", type=int, metavar="N", help="N evenly spaced times from start to stop")
    p.add_argument("--nu", type=int, nargs="+", metavar="K", help="derivative orders (default: 0)")
    p.add_argument("--csv", action="store_true", help="comma-separated output with full precision")

    p = command("plot", cmd_plot, "plot a trajectory and its derivatives into a PNG file")
    p.add_argument("file")
    p.add_argument("id", metavar="ID")
    p.add_argument("-o", "--output", metavar="PNG", help="image file (default: ID.png)")
    p.add_argument("--derivatives", type=int, default=3, metavar="K", help="highest derivative (default: 3)")

    p = command("fit", cmd_fit, "fit a trajectory to samples (time, value) of a CSV file and save it")
    p.add_argument("csv", metavar="CSV")
    p.add_argument("--degree", type=int, default=3, metavar="P", help="degree (default: 3)")
    p.add_argument("--ctrl", type=int, metavar="N", help="least squares with N control points")
    p.add_argument("--slopes", type=float, nargs=2, metavar=("S", "E"), help="slopes at both ends")
    p.add_argument("-o", "--output", required=True, metavar="FILE", help="videvo file to save into")
    p.add_argument("--id", required=True, metavar="ID", help="name to save the trajectory under")
    return parser


def main(argv: Sequence[str] | None = None) -> int:
    """Runs the command line ``argv`` (default: sys.argv[1:]); returns the exit status."""
    try:
        args = build_parser().parse_args(argv)
        args.run(args)
        sys.stdout.flush()
        return 0
    except CommandError as exc:
        message = str(exc)
    except KeyboardInterrupt:
        return 130
    except BrokenPipeError:
        # the reader went away (videvo eval ... | head): not an error of ours;
        # stdout goes to the null device so that the exit flush stays quiet
        os.dup2(os.open(os.devnull, os.O_WRONLY), sys.stdout.fileno())
        return 0
    except Exception as exc:  # a library error: its message, never a traceback
        message = str(exc) if type(exc).__module__ == "builtins" and str(exc) else f"{type(exc).__name__}: {exc}"
    print("videvo: error: " + " ".join(message.split()), file=sys.stderr)
    return 2
