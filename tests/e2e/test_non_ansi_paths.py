"""A program folder whose path holds characters outside the ANSI code page (1252 under this Wine):
the program reaches each of its files there by the wide name."""

import os
import shutil
import tempfile
import unittest

from programfolder import ENGINE_LINES, PROGRAM_FOLDER, ProgramFolder
from winehost import windows_path

# The plain name shows that a case holds for an ordinary folder too.
FOLDER_NAMES = ["plain", "\u0416\u0443\u043a", "\u65e5\u672c"]


def entries(folder: str) -> list:
    """Every file and folder below folder, by relative path."""
    found = []
    for root, folders, files in os.walk(folder):
        found += [os.path.relpath(os.path.join(root, name), folder) for name in folders + files]
    return sorted(found)


class NonAnsiPathTest(unittest.TestCase):

    def setUp(self):
        if not PROGRAM_FOLDER:
            self.skipTest("BRISKEN_PROGRAM_FOLDER is not set")
        self.data = tempfile.mkdtemp(prefix="brisken-data-")
        self.addCleanup(shutil.rmtree, self.data, True)
        with open(os.path.join(self.data, "clean.txt"), "wb") as f:
            f.write(b"nothing to find here")

    def program_folder(self, parent: str) -> ProgramFolder:
        folder = ProgramFolder(parents=[parent])
        self.addCleanup(folder.close)
        return folder

    def test_read_only_writes_nothing_beside_the_program(self):
        for name in FOLDER_NAMES:
            with self.subTest(name):
                folder = self.program_folder(name)
                folder.write("config.ini", b"read_only=1\r\n")
                before = entries(folder.path)
                run = folder.run("--custom", windows_path(self.data))
                self.assertEqual(before, entries(folder.path))
                self.assertIn("\nScan complete.\n", run.stdout)

    def test_definitions_info_shows_the_plugins_version_and_the_engine_gets_its_cache_file(self):
        for name in FOLDER_NAMES:
            with self.subTest(name):
                folder = self.program_folder(name)
                folder.write(os.path.join("Plugins", "update.txt"), b"Build 7\r\nVersion: 7.1 beta\r\n")
                run = folder.run("--definitions-info")
                self.assertTrue(run.stdout.startswith(ENGINE_LINES), run.stdout + run.stderr)
                self.assertIn("\n\tVersion: 7.1 beta\n", run.stdout)
                self.assertTrue(os.path.isfile(folder.file("Plugins", "cache.000")))

    def test_a_module_that_cannot_be_loaded_is_named_as_far_as_console_and_log_can_show_it(self):
        # The diagnostic carries the path whole; a console or log in the ANSI code page (1252
        # here) shows what it holds of it, a "?" for the rest.
        for name, shown in [("Caf\u00e9", "Caf\u00e9"), ("\u03a3\u03a9", "??")]:
            with self.subTest(name):
                folder = self.program_folder(name)
                os.remove(folder.file("scan.dll"))
                run = folder.run("--custom", windows_path(self.data))
                path = folder.windows_path("scan.dll").replace(name, shown)
                self.assertIn("Couldn't perform scan. Error: ", run.stdout)
                self.assertIn("std::exception::what: " + path + "\n", run.stdout)
                self.assertIn(("std::exception::what: " + path + "\r\n").encode("cp1252"), folder.log_bytes())


if __name__ == "__main__":
    unittest.main()
