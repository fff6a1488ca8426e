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


def pytest_configure(config):
    config.addinivalue_line(
        "markers", "not_sanitized(reason): cannot run in the sanitizer build of the CI (give the reason)")


def pytest_collection_modifyitems(config, items):
    import os

    import pytest

    if not os.environ.get("VIDEVO_SANITIZED"):
        return
    for item in items:
        marker = item.get_closest_marker("not_sanitized")
        if marker is not None:
            item.add_marker(pytest.mark.skip(reason="not in the sanitizer build: " + marker.args[0]))
