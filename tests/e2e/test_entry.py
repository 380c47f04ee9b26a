"""The real executable: what a run prints and what it does to the Logs folder."""

import os
import re
import unittest

from componentservice import ComponentService
from programfolder import DURATION, ENGINE_LINES, ProgramFolderTest

USAGE = (
    "Allowed options:\n"
    "  --help                    Print help\n"
    "  --updatedefs              Update definitions\n"
    "  --quick                   Run quick scan\n"
    "  --full                    Run full scan\n"
    "  --custom <file or folder> e.g. --custom \"c:\\folder name\" or \"c:\\folder \n"
    "                            name\\file name.ext\"\n"
    "  --boot                    Run boot scan\n"
    "  --quarantine              Quarantine infected files\n"
    "  --delete                  Delete infected files\n"
    "  --disinfect               Disinfect infected files\n"
    "  --product-info            Print product information\n"
    "  --definitions-info        Print definitions information\n"
    "  --scan-result <path>      e.g. --scan-result \"c:\\folder\\filename\"\n"
    "  --updateapp               Check application update\n"
    "  --scan-result-stdout      Print scan result to standard output\n"
)
EARLIER_LOG = "20160624T101530.txt"


class EntryTest(ProgramFolderTest):

    def make_earlier_log(self):
        os.makedirs(self.folder.file("Logs"))
        self.folder.write(os.path.join("Logs", EARLIER_LOG), b"Info: an earlier run\r\n")

    def test_help_prints_the_usage_and_empties_the_logs_folder(self):
        self.make_earlier_log()
        self.assert_output(self.folder.run("--help"), USAGE)
        self.assertEqual([], self.folder.logs())

    def test_help_with_other_options_runs_nothing(self):
        run = self.folder.run("--quick", "--product-info", "--help", "--updatedefs", "--custom", "C:\\")
        self.assert_output(run, USAGE)
        self.assertEqual([], self.folder.logs())

    def test_first_command_in_dispatch_order_wins(self):
        # Without the update SDK the definitions update fails at once, whatever server there is.
        sdk = self.folder.file("BKUpdateServiceCom.dll")
        if os.path.exists(sdk):
            os.remove(sdk)
        # The update check asks the component service: a peer gives it a known answer.
        service = ComponentService("--version", "11.11.905.9127")
        self.addCleanup(service.close)
        # The whole output before the duration line, as a pattern.
        for args, printed in [
            (["--quick", "--product-info"], re.escape(
                "Product Info:\n  Name: Brisken Command Line Scanner\n  Version: 11.11.905.9127\n"
                "  Language: English\n")),
            (["--updatedefs", "--definitions-info", "--full"], re.escape(ENGINE_LINES + "Definitions Info:\n")
             + r"\tDatabase version: 1\n\tDatabase release date: [^\n]+\n\tVersion: N/A\n"),
            (["--updateapp", "--updatedefs"], re.escape("Couldn't update definitions. Error: ")
             + r"[^\n]*\n(.*\n)*?std::exception::what: .*" + re.escape("BKUpdateServiceCom.dll\n") + r"(.*\n)*"),
            (["--custom", "C:\\", "--updateapp"],
             re.escape("Checking for application update...\nYou have the latest version\n")),
        ]:
            with self.subTest(args=args):
                run = self.folder.run(*args)
                self.assertEqual(0, run.returncode)
                self.assertRegex(run.stdout, r"\A" + printed + DURATION.pattern)
                self.assertTrue(run.stdout_bytes.endswith(b"\r\n"), run.stdout_bytes[-40:])

    def test_invalid_command_line_prints_message_and_usage_and_leaves_logs_alone(self):
        for args, message in [
            (["--bogus"], "unrecognised option '--bogus'"),
            (["--quick", "--qu"], "option '--qu' is ambiguous and matches '--quarantine', and '--quick'"),
            # Arguments come from elsewhere: no control character reaches the terminal, and the
            # rest shows in the console's code page.
            (["--bad\x1b[31mX\x07"], "unrecognised option '--bad?[31mX?'"),
            (["--caf\u00e9"], "unrecognised option '--caf\u00e9'"),
        ]:
            with self.subTest(args=args):
                if self.folder.logs() is None:
                    self.make_earlier_log()
                self.assert_output(self.folder.run(*args), message + "\n" + USAGE)
                self.assertEqual([EARLIER_LOG], self.folder.logs())
                self.assertEqual(b"Info: an earlier run\r\n", self.folder.log_bytes())

    def test_no_option_prints_only_the_duration_and_leaves_an_empty_logs_folder(self):
        self.make_earlier_log()
        self.assert_output(self.folder.run(), "")
        self.assertEqual([], self.folder.logs())

    def test_action_or_result_options_without_a_scan_do_nothing(self):
        for args in (["--quarantine"], ["--delete"], ["--disinfect"], ["--scan-result", "C:\\result.xml"],
                     ["--scan-result-stdout"], ["quick"]):
            with self.subTest(args=args):
                self.assert_output(self.folder.run(*args), "")
                self.assertEqual([], self.folder.logs())

    def test_read_only_configuration_never_creates_the_logs_folder(self):
        self.folder.write("config.ini", b"read_only=1\r\n")
        for args, before_duration in (([], ""), (["--help"], USAGE)):
            with self.subTest(args=args):
                self.assert_output(self.folder.run(*args), before_duration)
                self.assertIsNone(self.folder.logs())


if __name__ == "__main__":
    unittest.main()
