"""Where the tests find the built tool: $TQLA_CLI, else the build trees of
this checkout. The package finds the library itself ($TQLA_LIBRARY or the
build tree)."""

import os
import pathlib
import subprocess

import pytest

ROOT = pathlib.Path(__file__).resolve().parents[2]


def _tool():
    named = os.environ.get("TQLA_CLI")
    if named:
        return named
    for candidate in sorted(ROOT.glob("build*/tools/tqla/tqla")):
        return str(candidate)
    return None


@pytest.fixture(scope="session")
def tool():
    """Runs the tool and returns its completed process (text output)."""
    path = _tool()
    if path is None:
        pytest.skip("the tqla tool is not built (make build), or set TQLA_CLI")

    def run(*args, check=True, cwd=None):
        done = subprocess.run([path, *map(str, args)], capture_output=True, text=True, cwd=cwd)
        if check and done.returncode != 0:
            raise AssertionError(f"tqla {' '.join(map(str, args))}: {done.stderr}")
        return done

    return run


@pytest.fixture(scope="session")
def protocols():
    return ROOT / "protocols"
