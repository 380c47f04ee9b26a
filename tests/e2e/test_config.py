"""config.ini beside the executable, as the configuration reads it (through ConfigProbe.exe)."""

import os
import unittest

from programfolder import PROGRAM_FOLDER, ProgramFolder, ProgramFolderTest

PROBE = "ConfigProbe.exe"
ENGINES = "C:\\Brisken Engines"

# (what the case shows, config.ini bytes or None for no file, read_only, engines folder or None
# for the program folder)
CASES = [
    ("no file", None, 0, None),
    ("read_only=1 alone", b"read_only=1\r\n", 1, None),
    ("both keys", b"read_only=1\r\nengines_folder=C:\\Brisken Engines\r\n", 1, ENGINES),
    ("both keys, other order, LF lines", b"engines_folder=C:\\Brisken Engines\nread_only=1\n", 1, ENGINES),
    ("words, blanks, comments", b"; settings\r\n# more\r\n\r\n  read_only = true  \r\n"
        b"engines_folder\t=\tC:\\Brisken Engines\r\n", 1, ENGINES),
    ("engines folder without read-only mode", b"read_only=false\r\nengines_folder=C:\\Brisken Engines\r\n",
        0, ENGINES),
    ("empty engines folder", b"read_only=1\r\nengines_folder=\r\n", 1, None),
    ("engines_folder without read_only", b"engines_folder=C:\\Brisken Engines\r\n", 0, None),
    ("read_only=yes", b"read_only=yes\r\nengines_folder=C:\\Brisken Engines\r\n", 0, None),
    ("read_only=2", b"read_only=2\r\nengines_folder=C:\\Brisken Engines\r\n", 0, None),
    ("read_only=True", b"read_only=True\r\nengines_folder=C:\\Brisken Engines\r\n", 0, None),
    ("trailing comment", b"read_only=1 ; on\r\nengines_folder=C:\\Brisken Engines\r\n", 0, None),
    ("duplicated key", b"read_only=1\r\nread_only=1\r\nengines_folder=C:\\Brisken Engines\r\n", 0, None),
    ("line without '='", b"read_only=1\r\nengines_folder=C:\\Brisken Engines\r\nverbose\r\n", 0, None),
    ("section header", b"[settings]\r\nread_only=1\r\nengines_folder=C:\\Brisken Engines\r\n", 0, None),
    ("UTF-8 byte-order mark", b"\xef\xbb\xbfread_only=1\r\nengines_folder=C:\\Brisken Engines\r\n", 0, None),
    ("UTF-16 with byte-order mark", "\ufeffread_only=1\r\nengines_folder=C:\\Brisken Engines\r\n".encode("utf-16-le"),
        0, None),
    ("read_only=TRUE", b"read_only=TRUE\r\nengines_folder=C:\\Brisken Engines\r\n", 0, None),
    ("trailing # comment", b"read_only=1 # on\r\nengines_folder=C:\\Brisken Engines\r\n", 0, None),
    ("comment after the engines folder", b"read_only=1\r\nengines_folder=C:\\Brisken Engines ; ours\r\n", 1,
        ENGINES + " ; ours"),
    ("blanks around the engines folder", b"read_only=1\r\nengines_folder= \tC:\\Brisken Engines \t \r\n", 1,
        ENGINES),
    ("quoted engines folder", b"read_only=1\r\nengines_folder=\"C:\\Brisken Engines\"\r\n", 1,
        '"' + ENGINES + '"'),
]


def settings(run):
    return run.stdout_bytes.decode("utf-8").replace("\r\n", "\n")


class ConfigTest(ProgramFolderTest):
    extra_files = (PROBE,)

    def test_settings_read_from_config_ini(self):
        program_folder = self.folder.windows_path()
        for name, content, read_only, engines in CASES:
            with self.subTest(name):
                config = self.folder.file("config.ini")
                if content is None:
                    if os.path.exists(config):
                        os.remove(config)
                else:
                    self.folder.write("config.ini", content)
                run = self.folder.run(executable=PROBE)
                self.assertEqual(
                    f"read_only={read_only}\nengines_folder={engines or program_folder}\n", settings(run))


class DeepProgramFolderTest(unittest.TestCase):
    """A program folder whose path is longer than MAX_PATH still finds its config.ini and is the
    default engines folder in full."""

    def test_config_found_in_a_deep_program_folder(self):
        if not PROGRAM_FOLDER:
            self.skipTest("BRISKEN_PROGRAM_FOLDER is not set")
        folder = ProgramFolder(extra_files=(PROBE,), parents=["a-folder-name-forty-characters-long-xyz"] * 7)
        self.addCleanup(folder.close)
        self.assertGreater(len(folder.windows_path(PROBE)), 300)
        folder.write("config.ini", b"read_only=1\r\n")
        run = folder.run(executable=PROBE)
        self.assertEqual(f"read_only=1\nengines_folder={folder.windows_path()}\n", settings(run))


if __name__ == "__main__":
    unittest.main()
