"""The log file, as the logger keeps it (through LoggerProbe.exe, which starts the log as the
program does and writes its arguments as lines; "\\uXXXX" in an argument is that character)."""

import datetime
import os
import re
import unittest

from programfolder import ProgramFolderTest

PROBE = "LoggerProbe.exe"
LOG_NAME = re.compile(r"^(\d{8}T\d{6})(\.\d{6})?\.txt$")


def escaped(text):
    """Every character as \\uXXXX, so that the command line carries plain ASCII."""
    return "".join(f"\\u{ord(c):04x}" for c in text)


class LoggerTest(ProgramFolderTest):
    extra_files = (PROBE,)

    def write_lines(self, *lines):
        return self.folder.run(*lines, executable=PROBE)

    def test_start_empties_the_logs_folder_and_names_the_file_after_the_utc_time(self):
        os.makedirs(self.folder.file("Logs", "old", "deeper"))
        self.folder.write(os.path.join("Logs", "20160624T101530.txt"), b"Info: an earlier run\r\n")
        self.folder.write(os.path.join("Logs", "old", "deeper", "note.txt"), b"x")

        # Local time five hours off UTC: the name lies between the UTC times before and after the
        # run (to the second: the program's clock may be coarser than this one).
        before = datetime.datetime.now(datetime.timezone.utc).replace(microsecond=0)
        self.folder.run("Info: first", "Error: second", executable=PROBE, env={"TZ": "EST5"})
        after = datetime.datetime.now(datetime.timezone.utc)

        names = self.folder.logs()
        self.assertEqual(1, len(names), names)
        match = LOG_NAME.match(names[0])
        self.assertIsNotNone(match, names[0])
        started = datetime.datetime.strptime(match.group(1), "%Y%m%dT%H%M%S").replace(tzinfo=datetime.timezone.utc)
        self.assertTrue(before <= started <= after, (before, names[0], after))

    def test_lines_end_with_cr_lf_and_inner_line_breaks_too(self):
        self.write_lines("Info: first", "Error: " + escaped("two\nrows"), "Debug: last")
        self.assertEqual(b"Info: first\r\nError: two\r\nrows\r\nDebug: last\r\n", self.folder.log_bytes())

    def test_second_run_leaves_only_its_own_file(self):
        self.write_lines("Info: run one")
        first = self.folder.logs()
        self.write_lines("Info: run two")
        second = self.folder.logs()
        self.assertEqual(1, len(second), second)
        self.assertNotEqual(first, second)
        self.assertEqual(b"Info: run two\r\n", self.folder.log_bytes())

    def test_character_above_latin1_is_written_as_question_mark_and_logging_goes_on(self):
        self.write_lines("Info: before", "Info: " + escaped("\u0100\u4e2d \u0416 caf\u00e9"), "Info: after")
        self.assertEqual(b"Info: before\r\nInfo: ?? ? caf\xe9\r\nInfo: after\r\n", self.folder.log_bytes())

    def test_characters_up_to_u00ff_stay_one_byte_each(self):
        latin1 = "".join(chr(c) for c in range(1, 256) if c != 0x0A)
        self.write_lines("Info: " + escaped(latin1), "Info: next")
        self.assertEqual(b"Info: " + latin1.encode("latin-1") + b"\r\nInfo: next\r\n", self.folder.log_bytes())

    def test_without_start_nothing_is_written_and_logs_stay_as_they_are(self):
        before = sorted(os.listdir(self.folder.path))
        self.write_lines("--no-init", "Info: dropped")
        self.assertIsNone(self.folder.logs())
        self.assertEqual(before, sorted(os.listdir(self.folder.path)))

        os.makedirs(self.folder.file("Logs"))
        self.folder.write(os.path.join("Logs", "20160624T101530.txt"), b"Info: an earlier run\r\n")
        self.write_lines("--no-init", "Info: dropped")
        self.assertEqual(["20160624T101530.txt"], self.folder.logs())
        self.assertEqual(b"Info: an earlier run\r\n", self.folder.log_bytes())


if __name__ == "__main__":
    unittest.main()
