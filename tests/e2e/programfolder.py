"""A program folder of its own for each black-box test: a temporary copy of build/bin in which
the real executable runs under Wine."""

import os
import re
import shutil
import subprocess
import tempfile
import time
import unittest

from winehost import windows_path

PROGRAM_FOLDER = os.environ.get("BRISKEN_PROGRAM_FOLDER", "")
TEST_FOLDER = os.environ.get("BRISKEN_TEST_FOLDER", "")
EXECUTABLE = "BriskenCommandLineScanner.exe"
# The last line of every command's output.
DURATION = re.compile(r"Request duration: \d{2,}:\d{2}:\d{2}(\.\d{6})?\n\Z")
ENGINE_LINES = "Initializing engine, please wait...\nInitializing engine completed\n"
# A fixed language and UTC as the local time zone, so that a date text is known (env of run()).
US_UTC = {"LANG": "en_US.UTF-8", "LC_ALL": "en_US.UTF-8", "LC_CTYPE": "en_US.UTF-8", "TZ": "UTC0"}
SHIPPED_PLUGINS = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", "..", "StandIns", "ReferenceEngine",
                                               "Plugins"))


def read_folder(folder: str) -> dict:
    """Every file below the folder, by relative path, with its content."""
    files = {}
    for root, _, names in os.walk(folder):
        for name in names:
            path = os.path.join(root, name)
            with open(path, "rb") as f:
                files[os.path.relpath(path, folder)] = f.read()
    return files


def wait_for_output(process: subprocess.Popen, output, marker: bytes, seconds: float) -> bool:
    """Whether marker shows in output, the file that the started process writes to, before the
    process ends or seconds pass (a limit that only a hang should reach)."""
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline and process.poll() is None:
        output.seek(0)
        if marker in output.read():
            return True
        time.sleep(0.05)
    return False


class Run:
    """What one run left: console bytes, decoded text and exit code."""

    def __init__(self, stdout: bytes, stderr: bytes, returncode: int):
        self.stdout_bytes = stdout
        self.stdout = stdout.decode("cp1252", errors="replace").replace("\r\n", "\n")
        self.stderr = stderr.decode("cp1252", errors="replace")
        self.returncode = returncode


class ProgramFolder:
    """A temporary copy of the program folder; removed on close."""

    def __init__(self, source: str = PROGRAM_FOLDER, extra_files=(), parents=()):
        """parents: folder names to put between the temporary root and the program folder."""
        self.root = tempfile.mkdtemp(prefix="brisken-e2e-")
        self.path = os.path.join(self.root, *parents, "program")
        # What earlier runs of build/bin left there is no part of the program; nor are the
        # definitions that a run of --updatedefs installed: Plugins is the shipped one.
        shutil.copytree(source, self.path, ignore=shutil.ignore_patterns(
            "Logs", "Scan Results", "Temp", "Quarantine", "cache.000", "config.ini", "Plugins", "UpdateStaging",
            "Plugins.lock", "Removals"))
        if os.path.isdir(os.path.join(source, "Plugins")):
            shutil.copytree(SHIPPED_PLUGINS, os.path.join(self.path, "Plugins"))
        for name in extra_files:
            shutil.copy2(os.path.join(TEST_FOLDER, name), self.path)

    def close(self):
        shutil.rmtree(self.root, ignore_errors=True)

    def file(self, *parts) -> str:
        return os.path.join(self.path, *parts)

    def windows_path(self, *parts) -> str:
        """The path of a file of the folder as the program sees it."""
        return windows_path(self.file(*parts))

    def write(self, name: str, content, mode="wb"):
        with open(self.file(name), mode) as f:
            f.write(content)

    def run(self, *args, executable=EXECUTABLE, timeout=120, env=None) -> Run:
        """Runs an executable of the folder with the folder as working directory. Output goes
        to files, never to a pipe that Wine's helpers could inherit. env: variables to add."""
        with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
            completed = subprocess.run(
                self._command(executable, args),
                cwd=self.path, stdin=subprocess.DEVNULL, stdout=out, stderr=err, timeout=timeout,
                env=self._environment(env))
            out.seek(0)
            err.seek(0)
            return Run(out.read(), err.read(), completed.returncode)

    def start(self, *args, output, stdin=subprocess.DEVNULL, executable=EXECUTABLE, env=None) -> subprocess.Popen:
        """Starts an executable of the folder like run() without waiting for it; its standard
        output and error go to output (a file object or descriptor). A reader of a pipe or
        pseudo-terminal must not wait for its end: a Wine helper may hold it open."""
        return subprocess.Popen(self._command(executable, args), cwd=self.path, stdin=stdin, stdout=output,
                                stderr=output, env=self._environment(env))

    def _command(self, executable, args):
        return ["wine", os.path.join(self.path, executable), *args]

    @staticmethod
    def _environment(env):
        return dict(os.environ, **env) if env else None

    def logs(self):
        """Names of the files in the Logs folder, or None when there is no such folder."""
        folder = self.file("Logs")
        return sorted(os.listdir(folder)) if os.path.isdir(folder) else None

    def log_bytes(self) -> bytes:
        names = self.logs() or []
        if len(names) != 1:
            raise AssertionError(f"expected one log file, found {names}")
        with open(self.file("Logs", names[0]), "rb") as f:
            return f.read()


class ProgramFolderTest(unittest.TestCase):
    """Gives each test a fresh program folder as self.folder."""

    extra_files = ()

    def setUp(self):
        if not PROGRAM_FOLDER:
            self.skipTest("BRISKEN_PROGRAM_FOLDER is not set")
        self.folder = ProgramFolder(extra_files=self.extra_files)
        self.addCleanup(self.folder.close)

    def assert_output(self, run, before_duration):
        """The output is before_duration followed by the duration line, and nothing else."""
        self.assertEqual(0, run.returncode)
        self.assertTrue(run.stdout.startswith(before_duration), run.stdout)
        self.assertRegex(run.stdout[len(before_duration):], r"\A" + DURATION.pattern)
        self.assertTrue(run.stdout_bytes.endswith(b"\r\n"), run.stdout_bytes[-40:])
