"""Runs the package's tests with pytest, from ctest: exit status 77 (a skip)
with a message when no Python with numpy and pytest is at hand."""

import os
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
CHECK = "import numpy, pytest"


def usable(python):
    try:
        return subprocess.run([python, "-c", CHECK], capture_output=True).returncode == 0
    except OSError:
        return False


def main():
    # The interpreter the build found, else the system's (where Debian's
    # python3-numpy and python3-pytest go).
    for python in (sys.executable, "/usr/bin/python3"):
        if usable(python):
            env = dict(os.environ)
            env["PYTHONPATH"] = os.pathsep.join(filter(None, [os.path.dirname(HERE), env.get("PYTHONPATH")]))
            return subprocess.run([python, "-m", "pytest", "-q", "-p", "no:cacheprovider", HERE], env=env).returncode
    print("skipped: no Python 3 with numpy and pytest (apt-get install python3-numpy python3-pytest)")
    return 77


if __name__ == "__main__":
    sys.exit(main())
