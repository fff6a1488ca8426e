"""Test configuration: the tests run against the installed package.

`python -m pytest` puts the working directory on sys.path; from the
repository root that would shadow the installed package with the source
folder, which holds no built modules.  An editable install needs no path
entry either (its import hook maps the package).
"""

import pathlib
import sys

_root = pathlib.Path(__file__).resolve().parents[1]
sys.path[:] = [p for p in sys.path if pathlib.Path(p or ".").resolve() != _root]
