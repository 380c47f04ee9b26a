"""The information commands of the real executable: --product-info and --definitions-info."""

import os
import shutil
import unittest

from programfolder import ENGINE_LINES, TEST_FOLDER, US_UTC, ProgramFolder, ProgramFolderTest


class InformationTest(ProgramFolderTest):

    def definitions_info(self, version, date, plugins):
        return (f"Definitions Info:\n\tDatabase version: {version}\n\tDatabase release date: {date}\n"
                f"\tVersion: {plugins}\n")

    def test_product_info_prints_four_lines_and_starts_no_engine(self):
        run = self.folder.run("--product-info")
        self.assert_output(run, "Product Info:\n  Name: Brisken Command Line Scanner\n"
                                "  Version: 11.11.905.9127\n  Language: English\n")
        self.assertTrue(run.stdout_bytes.startswith(b"Product Info:\r\n  Name: "), run.stdout_bytes[:40])
        self.assertEqual([], self.folder.logs())

    def test_definitions_info_shows_the_shipped_definitions_in_the_local_format(self):
        # The reference engine's shipped set: version 1, released 2024-01-01T00:00:00Z.
        run = self.folder.run("--definitions-info", env=US_UTC)
        self.assert_output(run, ENGINE_LINES + self.definitions_info(1, "1/1/2024 12:00:00 AM", "N/A"))
        self.assertEqual([], self.folder.logs())
        # One engine life: its temporary folder is gone again.
        self.assertFalse(os.path.exists(self.folder.file("Temp")))

    def test_definitions_info_shows_the_local_time_zone(self):
        # Only the time zone changes: Wine keeps the user's date formats in the prefix's registry,
        # which a parallel run in another language would rewrite.
        run = self.folder.run("--definitions-info", env=dict(US_UTC, TZ="EST5"))
        self.assert_output(run, ENGINE_LINES + self.definitions_info(1, "12/31/2023 7:00:00 PM", "N/A"))

    def test_definitions_info_without_the_engine_says_not_available(self):
        os.remove(self.folder.file("scan.dll"))
        run = self.folder.run("--definitions-info", env=US_UTC)
        self.assert_output(run, self.definitions_info(0, "N/A", "N/A"))
        self.assertEqual([], self.folder.logs())

    def test_definitions_info_without_definitions_says_not_available(self):
        # An engine that has no signature from Plugins does not start: it would know EICAR alone.
        def empty(plugins):
            for name in os.listdir(plugins):
                os.remove(os.path.join(plugins, name))

        def a_file(plugins):
            shutil.rmtree(plugins)
            open(plugins, "wb").close()

        for name, make in [("missing", shutil.rmtree), ("empty", empty), ("a file", a_file)]:
            with self.subTest(name):
                folder = ProgramFolder()
                self.addCleanup(folder.close)
                make(folder.file("Plugins"))
                run = folder.run("--definitions-info", env=US_UTC)
                self.assert_output(run, "Initializing engine, please wait...\n" + self.definitions_info(0, "N/A", "N/A"))

    def test_definitions_info_with_an_engine_lacking_the_query_says_not_available(self):
        shutil.copy2(os.path.join(TEST_FOLDER, "RecordingEngine", "NoGetDatabaseInformation.dll"),
                     self.folder.file("scan.dll"))
        run = self.folder.run("--definitions-info", env=US_UTC)
        self.assert_output(run, ENGINE_LINES + self.definitions_info(0, "N/A", "N/A"))

    def test_definitions_info_reads_the_plugins_version_from_update_txt(self):
        for content, plugins in [
            (b"Build 20240105\r\nVersion: 1.2.3\r\nVersion: 9\r\n", "1.2.3"),
            (b"Plugins Version: 2.0 beta", "2.0 beta"),
            (b"Version: \r\n", "N/A"),
            # The file comes from outside: none of its control characters reaches the console.
            (b"Version: 1.0\x1b[2J\x07\x00\x7f\x81\tbeta\r\n", "1.0?[2J????\tbeta"),
            (b"Version: 1\rRequest duration: 00:00:00.000001\r\n", "1?Request duration: 00:00:00.000001"),
        ]:
            with self.subTest(content=content):
                self.folder.write(os.path.join("Plugins", "update.txt"), content)
                run = self.folder.run("--definitions-info", env=US_UTC)
                self.assert_output(run, ENGINE_LINES + self.definitions_info(1, "1/1/2024 12:00:00 AM", plugins))


if __name__ == "__main__":
    unittest.main()
