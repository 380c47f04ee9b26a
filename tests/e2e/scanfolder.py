"""Helpers for the black-box scan tests: Windows paths of test files, the EICAR test file,
the recording engine and the XML scan result."""

import os
import shutil
import tempfile
import xml.etree.ElementTree as ElementTree

from programfolder import TEST_FOLDER, ProgramFolder, ProgramFolderTest
from winehost import windows_path

RECORDING_FOLDER = os.path.join(TEST_FOLDER, "RecordingEngine")


def eicar() -> bytes:
    """The EICAR test file, put together here so that no file of the repository holds it."""
    pieces = ["X5O!P%@AP[4\\PZX54(P^)7CC)7}$", "EICAR-STANDARD-", "ANTIVIRUS-TEST-", "FILE!$H+H*"]
    return "".join(pieces).encode("ascii")


class ScanResult:
    """A saved scan result: its bytes and its parsed elements."""

    def __init__(self, data: bytes):
        self.data = data
        self.root = ElementTree.fromstring(data)

    @property
    def scan_info(self):
        return self.root.find("ScanInfo").attrib

    @property
    def paths(self):
        return [p.get("Value") for p in self.root.find("ScanPaths")]

    @property
    def objects(self):
        return [o.attrib for o in self.root.find("InfectedObjects")]


class ScanTest(ProgramFolderTest):
    """A program folder of its own, a data folder outside it, and the scan's output."""

    def setUp(self):
        super().setUp()
        self.data = tempfile.mkdtemp(prefix="brisken-scan-data-")
        self.addCleanup(shutil.rmtree, self.data, True)

    def fresh_folder(self):
        """Replaces the program folder by a new copy, for one more run from a clean start."""
        self.folder.close()
        self.folder = ProgramFolder(extra_files=self.extra_files)
        self.addCleanup(self.folder.close)

    def data_file(self, name: str, content: bytes) -> str:
        path = os.path.join(self.data, name)
        with open(path, "wb") as f:
            f.write(content)
        return path

    def scan(self, *args, env=None):
        return self.folder.run(*args, env=env)

    def results(self):
        folder = self.folder.file("Scan Results")
        return sorted(os.listdir(folder)) if os.path.isdir(folder) else []

    def only_result(self) -> ScanResult:
        names = self.results()
        self.assertEqual(len(names), 1, names)
        with open(self.folder.file("Scan Results", names[0]), "rb") as f:
            return ScanResult(f.read())

    def log_lines(self):
        if not self.folder.logs():
            return []
        return self.folder.log_bytes().decode("latin-1").split("\r\n")

    def write_config(self, text: str):
        self.folder.write("config.ini", text.encode("ascii"))


class RecordingScanTest(ScanTest):
    """Runs the program on the recording engine (or one of its variants) instead of the
    reference engine; self.calls() reads what the engine was asked to do."""

    engine = "scan.dll"

    def setUp(self):
        super().setUp()
        if not os.path.isdir(RECORDING_FOLDER):
            self.skipTest("the recording engine is not built")
        self.call_log = os.path.join(self.data, "calls.log")
        self.engine_env = {"BRISKEN_RECORDING_LOG": windows_path(self.call_log)}
        self.install_engine()

    def install_engine(self):
        """Puts self.engine into the program folder as scan.dll and starts a new call log."""
        shutil.copy2(os.path.join(RECORDING_FOLDER, self.engine), self.folder.file("scan.dll"))
        if os.path.exists(self.call_log):
            os.remove(self.call_log)

    def fresh_folder(self):
        super().fresh_folder()
        self.install_engine()

    def scan(self, *args, results="", reports=None):
        return super().scan(*args, env=self.engine_environment(results, reports))

    def engine_environment(self, results="", reports=None) -> dict:
        """The variables that steer the engine: the results of its exports and its reports."""
        env = dict(self.engine_env, BRISKEN_RECORDING_RESULTS=results)
        if reports is not None:
            script = self.data_file("reports.txt", reports.encode("utf-8"))
            env["BRISKEN_RECORDING_REPORTS"] = windows_path(script)
        return env

    def calls(self, prefix=""):
        if not os.path.exists(self.call_log):
            return []
        with open(self.call_log, encoding="utf-8") as f:
            return [line.rstrip("\n") for line in f if line.startswith(prefix)]
