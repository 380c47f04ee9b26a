"""The local definitions server (StandIns/DefinitionsServer) as a subprocess of a test."""

import os
import select
import shutil
import socket
import subprocess
import sys
import time

REPOSITORY = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
SERVER_FOLDER = os.path.join(REPOSITORY, "StandIns", "DefinitionsServer")
SERVER = os.path.join(SERVER_FOLDER, "definitions_server.py")
SAMPLE_SET = os.path.join(SERVER_FOLDER, "SampleSet")
# The address the program's build setting names by default; tests that listen there take the
# CTest resource lock definitions-server.
PROGRAM_PORT = 47611


def copy_sample_set(folder: str, files: dict, version: str = None) -> str:
    """The sample set copied into the new folder with these files added (content) or left out
    (None), and under another version id when one is given; returns the folder."""
    shutil.copytree(SAMPLE_SET, folder)
    if version:
        with open(os.path.join(folder, "set.txt"), "w", encoding="utf-8") as f:
            f.write(f"version {version}\nreleased 2026-11-21T09:30:00Z\n")
    for name, content in files.items():
        if content is None:
            os.remove(os.path.join(folder, name))
        else:
            with open(os.path.join(folder, name), "wb") as f:
                f.write(content)
    return folder


def free_port() -> int:
    """A loopback port on which nothing listens (a moment ago)."""
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


class DefinitionsServer:
    """Starts the server with the given arguments and waits until it listens; stop() ends it
    and keeps what it printed, one "GET path" line per request, in self.requests.
    wait_for_request() reads those lines while it runs."""

    def __init__(self, *arguments, port=0):
        # The fixed port may be held for a while by another run on the same machine.
        deadline = time.monotonic() + 60
        while True:
            self.process = subprocess.Popen(
                [sys.executable, SERVER, "--port", str(port), *arguments],
                stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, bufsize=0)
            first = self._read_line(timeout=15)
            if " at http://" in first:
                break
            output, _ = self.process.communicate(timeout=15)
            first += output.decode("utf-8", errors="replace")
            if "Address already in use" not in first or time.monotonic() > deadline:
                raise AssertionError(f"the definitions server did not start: {first!r}")
            time.sleep(1)
        self.url = first.split(" at ", 1)[1].strip()
        self.port = int(self.url.split(":")[2].split("/")[0])
        self.requests = []
        self._lines_read = []

    def _read_line(self, timeout: float) -> str:
        # Unbuffered byte by byte, so that select sees what is not read yet.
        deadline = time.monotonic() + timeout
        line = b""
        while not line.endswith(b"\n") and time.monotonic() < deadline:
            readable, _, _ = select.select([self.process.stdout], [], [], 0.2)
            if readable:
                byte = self.process.stdout.read(1)
                if not byte:
                    break
                line += byte
        return line.decode("utf-8", errors="replace")

    def wait_for_request(self, path: str, timeout: float = 120):
        """Returns once the server has been asked for the path (a hang fails the test)."""
        deadline = time.monotonic() + timeout
        # A line may arrive in pieces.
        while f"GET {path}\n" not in "".join(self._lines_read):
            if time.monotonic() > deadline:
                raise AssertionError(f"no request for {path}: {self._lines_read}")
            line = self._read_line(timeout=1)
            if line:
                self._lines_read.append(line)

    def stop(self):
        if self.process.poll() is None:
            self.process.terminate()
        output, _ = self.process.communicate(timeout=15)
        lines = ("".join(self._lines_read) + output.decode("utf-8")).splitlines()
        self.requests = [line[4:] for line in lines if line.startswith("GET ")]

    def __enter__(self):
        return self

    def __exit__(self, *exception):
        self.stop()
