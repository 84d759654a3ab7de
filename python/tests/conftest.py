"""Shared fixtures; also makes sure the run tests the installed package and every test file."""

import os
import subprocess
import sys
from pathlib import Path

import numpy as np
import pytest

import nembra

TESTS = Path(__file__).resolve().parent


def pytest_configure(config):
    location = Path(nembra.__file__).resolve()
    if Path(sys.prefix).resolve() not in location.parents:
        raise pytest.UsageError(
            f"nembra was imported from {location}, not from the environment at {sys.prefix}: "
            "install the package (pip install --no-build-isolation ./python) and run pytest "
            "from outside the source tree")


def pytest_collection_finish(session):
    """A test file that contributes no test (a syntax slip in a name, a bad import guard) fails
    the run instead of passing unnoticed."""
    collected = {Path(str(item.fspath)).name for item in session.items}
    expected = {path.name for path in TESTS.glob("test_*.py")}
    if session.config.args and all(Path(a).resolve() == TESTS for a in session.config.args):
        missing = sorted(expected - collected)
        if missing:
            raise pytest.UsageError(f"no tests collected from {', '.join(missing)}")


@pytest.fixture(scope="session")
def reference_dump():
    """The C++ program that writes the library's own results (tests/python/ReferenceDump.cpp)."""
    program = os.environ.get("NEMBRA_REFERENCE_DUMP")
    if not program or not Path(program).is_file():
        pytest.fail("set NEMBRA_REFERENCE_DUMP to the nembra_reference_dump program of a build "
                    "with -DNEMBRA_PYTHON_TESTS=ON (CTest does)")
    return program


@pytest.fixture
def library_mesh(reference_dump, tmp_path):
    """library_mesh(kind, calls, *extra) -> the library's mesh as a (imax, jmax) record array."""

    def run(kind, calls, *extra, shape=(70, 70)):
        out = tmp_path / f"{kind}-{calls}.bin"
        subprocess.run([reference_dump, kind, str(calls), *extra, str(out)], check=True)
        return np.frombuffer(out.read_bytes(), dtype=nembra.MESH_NODE).reshape(shape)

    return run


def assert_same_bits(actual, expected):
    """Slot by slot, every bit: names the slots and the first node that differ."""
    assert actual.shape == expected.shape
    differing = []
    for name in nembra.MESH_NODE.names:
        a = np.ascontiguousarray(actual[name]).view(np.uint64)
        e = np.ascontiguousarray(expected[name]).view(np.uint64)
        if not np.array_equal(a, e):
            first = tuple(int(k) for k in np.argwhere(a != e)[0])
            differing.append(f"{name} first at {first}: {actual[name][first]!r} != "
                             f"{expected[name][first]!r}")
    assert not differing, "slots differ from the library's: " + "; ".join(differing)
