"""The maker's own signed files through the real program and the reference engine: a file the
engine flags is left alone when it carries the maker's trusted signature, but only for the bytes
the engine judged, and only with nothing hidden beside its signature; an EICAR file beside it is
still found."""

import hashlib
import os
import re
import subprocess
import tempfile
import unittest

from programfolder import TEST_FOLDER, wait_for_output
from scanfolder import ScanTest, eicar, windows_path

EICAR_THREAT = "EICAR-Test-File (not a virus)"
SIGNED = os.path.join(TEST_FOLDER, "signed", "TinyModule-signed.dll")
PADDED = os.path.join(TEST_FOLDER, "signed", "TinyModule-signed-padded.dll")
SWAPPER = os.path.join(TEST_FOLDER, "FileSwapper.exe")
# The log line of a flagged file left alone as the maker's.
EXEMPTED = "Debug: corvantis digital signature is valid. path="
# How long the swapper may take to start, Wine's start included: only a hang takes longer.
SWAPPER_START_SECONDS = 60
# How often the scan lists the swapped file.
LISTINGS = 300


def read(path: str) -> bytes:
    with open(path, "rb") as f:
        return f.read()


class MakerSignedFileTest(ScanTest):

    def flag(self, threats: dict):
        """Definitions that flag each content by a hash signature of the whole file, by threat name."""
        lines = ["version 7", "released 2024-02-01T00:00:00Z"]
        for name, content in threats.items():
            lines.append(f"hash Virus {hashlib.sha256(content).hexdigest()} {len(content)} {name}")
        self.folder.write(os.path.join("Plugins", "flagged.bkdef"), ("\n".join(lines) + "\n").encode("ascii"))

    def exempted(self):
        return [line[len(EXEMPTED):] for line in self.log_lines() if line.startswith(EXEMPTED)]

    def test_only_the_makers_file_with_nothing_hidden_in_its_certificate_table_is_left_alone(self):
        signed, padded = read(SIGNED), read(PADDED)
        self.flag({"Test.Signed": signed, "Test.Padded": padded})
        files = {name: self.data_file(name, content)
                 for name, content in (("signed.dll", signed), ("padded.dll", padded), ("eicar.com", eicar()))}

        run = self.scan("--custom", windows_path(self.data))

        for path in files.values():
            self.assertIn(f"Object Path: {windows_path(path)}. ", run.stdout)
        recorded = {o["ObjectPath"]: o["ThreatName"] for o in self.only_result().objects}
        self.assertEqual(recorded, {windows_path(files["padded.dll"]): "Test.Padded",
                                    windows_path(files["eicar.com"]): EICAR_THREAT})
        self.assertEqual(self.exempted(), [windows_path(files["signed.dll"])])

    def test_a_file_swapped_while_it_is_judged_keeps_its_detection(self):
        # The swapper puts the maker-signed module and EICAR in turn under one name while the
        # scan lists that name again and again. The module is flagged by nothing: a file left
        # alone as the maker's can only be EICAR judged and then swapped for the module.
        target = self.data_file("swapped.com", eicar())
        source = self.data_file("eicar.source", eicar())
        swapper, output = self.start_swapper(target, source, SIGNED)
        try:
            self.scan("--custom", ";".join([windows_path(target)] * LISTINGS))
        finally:
            swapper.stdin.close()
            swapper.wait(timeout=120)
        output.seek(0)
        counts = re.search(rb"swaps: (\d+) refused: (\d+)", output.read())
        self.assertIsNotNone(counts)

        self.assertEqual(self.exempted(), [])
        threats = [o["ThreatName"] for o in self.only_result().objects]
        self.assertGreater(len(threats), 0)
        self.assertEqual(set(threats), {EICAR_THREAT})
        self.assertGreater(int(counts.group(1)), 0, "the file was never swapped")

    def start_swapper(self, target: str, first: str, second: str):
        output = tempfile.TemporaryFile()
        self.addCleanup(output.close)
        swapper = subprocess.Popen(["wine", SWAPPER, windows_path(target), windows_path(first), windows_path(second)],
                                   stdin=subprocess.PIPE, stdout=output, stderr=subprocess.DEVNULL)
        if wait_for_output(swapper, output, b"swapping", SWAPPER_START_SECONDS):
            return swapper, output
        swapper.kill()
        output.seek(0)
        self.fail(f"the swapper did not start: {output.read()!r}")


if __name__ == "__main__":
    unittest.main()
