"""The Wine prefix the tests run in, and quiet runs of its own tools."""

import os
import subprocess
import tempfile

WINEPREFIX = os.environ.get("WINEPREFIX", os.path.expanduser("~/.wine"))


def run_wine(*args):
    """Runs a Wine program with its output in a file, never a pipe Wine's helpers could keep;
    returns its exit code and what it printed."""
    with tempfile.TemporaryFile() as out:
        code = subprocess.run(["wine", *args], stdin=subprocess.DEVNULL, stdout=out, stderr=out,
                              timeout=120).returncode
        out.seek(0)
        return code, out.read().decode("utf-8", errors="replace")


def windows_path(path: str) -> str:
    """The path as a program sees it under Wine: drive Z: is the Linux root."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def drive_c(*parts) -> str:
    return os.path.join(WINEPREFIX, "drive_c", *parts)
