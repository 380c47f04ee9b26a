"""--updatedefs of the real program through the update SDK stand-in against the local
definitions server on the program's port (CTest resource lock definitions-server)."""

import os
import urllib.request
import unittest

from definitionsserver import PROGRAM_PORT, SAMPLE_SET, DefinitionsServer, copy_sample_set
from programfolder import DURATION, ENGINE_LINES, SHIPPED_PLUGINS, US_UTC, read_folder
from scanfolder import ScanResult, ScanTest, eicar, windows_path
from serverdown import ServerDown

SAMPLE_VERSION = "2026.11.20.1"
FAILURE = "Couldn't update definitions. Error: "
EICAR_THREAT = "EICAR-Test-File (not a virus)"


def read(folder: str, name: str) -> bytes:
    with open(os.path.join(folder, name), "rb") as f:
        return f.read()


class UpdateDefinitionsTest(ScanTest):

    def serve(self, *arguments) -> DefinitionsServer:
        server = DefinitionsServer(*arguments, port=PROGRAM_PORT)
        self.addCleanup(server.stop)
        return server

    def plugins(self) -> dict:
        return read_folder(self.folder.file("Plugins"))

    def assert_scan_detects_eicar(self):
        """The engine starts on what Plugins holds and still finds the EICAR test file."""
        target = self.data_file("eicar.com", eicar())
        report = os.path.join(self.data, "eicar-scan.xml")
        run = self.folder.run("--custom", windows_path(target), "--scan-result", windows_path(report))
        self.assertIn("Scan complete.", run.stdout)
        with open(report, "rb") as f:
            self.assertEqual([EICAR_THREAT], [o["ThreatName"] for o in ScanResult(f.read()).objects])
        os.remove(report)

    def assert_failed_once(self, run, message: str):
        """The update ended with the failure line and the message, logged once, nothing applied."""
        self.assertTrue(run.stdout.startswith("Checking for update...\n"), run.stdout)
        self.assertIn("\n" + FAILURE, run.stdout)
        self.assertIn(f"std::exception::what: {message}\n", run.stdout)
        self.assertRegex(run.stdout, DURATION)
        self.assertNotIn("Applying definitions done", run.stdout)
        log = self.log_lines()
        self.assertTrue(log[0].startswith("Error: "), log)
        self.assertEqual(1, sum(line.startswith("Error: ") for line in log), log)
        self.assertIn(f"std::exception::what: {message}", log)

    def assert_applied(self, run, server):
        """The whole output of an update that downloads and applies the server's set (the
        patch where the server offers one, else the whole file, as from the shipped Plugins)."""
        with urllib.request.urlopen(server.url + "/manifest") as answer:
            manifest = answer.read().decode().splitlines()
        sizes = {line.split(" ", 3)[3]: line.split()[1] for line in manifest if line.startswith("file ")}
        sizes.update({line.split(" ", 4)[4]: line.split()[1] for line in manifest if line.startswith("patch ")})
        self.assert_output(run, "Checking for update...\n"
                                + "".join(f"Downloading: {size} of {size} bytes. File: {name}\n"
                                          for name, size in sizes.items()) +
                                "Downloading definitions done\n"
                                "Applying definitions started\n"
                                + ENGINE_LINES +
                                "Applying definitions done\n")

    def test_a_new_set_is_downloaded_applied_and_then_up_to_date(self):
        server = self.serve()
        run = self.folder.run("--updatedefs")
        self.assert_applied(run, server)
        plugins = self.plugins()
        self.assertEqual(f"Version: {SAMPLE_VERSION}\r\n".encode(), plugins.pop("update.txt"))
        plugins.pop("cache.000", None)  # the engine's own file
        self.assertEqual({name: content for name, content in read_folder(SAMPLE_SET).items() if name != "set.txt"},
                         plugins)

        run = self.folder.run("--updatedefs")
        self.assert_output(run, "Checking for update...\nDefinitions up to date\n")

        run = self.folder.run("--definitions-info", env=US_UTC)
        self.assert_output(run, ENGINE_LINES + "Definitions Info:\n\tDatabase version: 2\n"
                                "\tDatabase release date: 11/20/2026 9:30:00 AM\n"
                                f"\tVersion: {SAMPLE_VERSION}\n")

        # The engine detects the set's own sample.
        sample = self.data_file("update-sample.bin", b"BRISKEN-UPDATE-SAMPLE")
        self.folder.run("--custom", windows_path(sample))
        self.assertEqual("Brisken.Sample.Update", self.only_result().objects[0]["ThreatName"])

    def test_installed_version_is_up_to_date(self):
        self.folder.write(os.path.join("Plugins", "update.txt"), f"Version: {SAMPLE_VERSION}\r\n".encode())
        server = self.serve()
        before = self.plugins()
        run = self.folder.run("--updatedefs")
        self.assert_output(run, "Checking for update...\nDefinitions up to date\n")
        self.assertEqual(before, self.plugins())
        server.stop()
        self.assertEqual(["/av64bit/manifest"], server.requests)

    def test_failures_keep_the_installed_definitions(self):
        # No server: each of the five retries the program grants is taken, then the update fails.
        for server_arguments, code in [(None, 4), (["--corrupt", "updates.bkdef"], 7), (["--garbage-manifest"], 5),
                                       (["--cut-manifest", "length"], 6), (["--cut-manifest", "close"], 6)]:
            with self.subTest(server=server_arguments):
                if server_arguments is None:
                    server = ServerDown(("127.0.0.1", PROGRAM_PORT))
                else:
                    server = self.serve(*server_arguments)
                with server:
                    before = self.plugins()
                    run = self.folder.run("--updatedefs")
                self.assertTrue(run.stdout.startswith("Checking for update...\n"), run.stdout)
                self.assertIn("\n" + FAILURE, run.stdout)
                self.assertIn(f"Couldn't perform update. Error: {code}\n", run.stdout)
                self.assertRegex(run.stdout, DURATION)
                self.assertNotIn("Applying definitions", run.stdout)
                self.assertEqual(before, self.plugins())
                self.assertFalse(os.path.exists(self.folder.file("UpdateStaging")))
                log = "\n".join(self.log_lines())
                self.assertTrue(log.startswith("Error: "), log)
                self.assertIn(f"Couldn't perform update. Error: {code}", log)
                if code == 7:
                    self.assertEqual(6, server.requests.count("/av64bit/files/updates.bkdef"))
                if code == 6:
                    self.assertEqual(["/av64bit/manifest"] * 6, server.requests)
                self.assert_scan_detects_eicar()

    def test_a_set_the_engine_cannot_load_is_not_installed(self):
        unloadable = copy_sample_set(os.path.join(self.data, "unloadable"), {"broken.bkdef": b"version 3\nthis line is no statement\n"})
        self.serve("--set", unloadable)
        before = self.plugins()
        run = self.folder.run("--updatedefs")
        self.assert_failed_once(run, "Couldn't perform install. Error: 12")
        self.assertIn("\nApplying definitions started\n" + FAILURE, run.stdout)
        self.assertEqual(before, self.plugins())
        self.assertFalse(os.path.exists(self.folder.file("UpdateStaging")))
        self.assert_scan_detects_eicar()

    def test_a_newer_set_takes_away_a_file_it_no_longer_lists(self):
        # Installed by an older set: detects the sample that the set's updates.bkdef detects.
        self.folder.write(os.path.join("Plugins", "withdrawn.bkdef"), read(SAMPLE_SET, "updates.bkdef"))
        self.folder.write(os.path.join("Plugins", "update.txt"), b"Version: 2026.11.01.1\r\n")
        newer = copy_sample_set(os.path.join(self.data, "newer"), {"updates.bkdef": None})
        server = self.serve("--set", newer)
        run = self.folder.run("--updatedefs")
        self.assert_applied(run, server)
        plugins = self.plugins()
        self.assertEqual(f"Version: {SAMPLE_VERSION}\r\n".encode(), plugins.pop("update.txt"))
        self.assertEqual(b"", plugins.pop("cache.000"))
        self.assertEqual({"reference.bkdef": read(newer, "reference.bkdef")}, plugins)
        self.assert_scan_detects_eicar()
        sample = self.data_file("update-sample.bin", b"BRISKEN-UPDATE-SAMPLE")
        report = os.path.join(self.data, "sample-scan.xml")
        self.folder.run("--custom", windows_path(sample), "--scan-result", windows_path(report))
        with open(report, "rb") as f:
            self.assertEqual([], ScanResult(f.read()).objects)

    def test_a_locally_changed_file_is_downloaded_whole(self):
        # The patch starts from the shipped reference.bkdef; an edited one gets the whole file.
        shipped, wanted = read(SHIPPED_PLUGINS, "reference.bkdef"), read(SAMPLE_SET, "reference.bkdef")
        self.folder.write(os.path.join("Plugins", "reference.bkdef"), shipped + b"# edited locally\n")
        self.serve()
        run = self.folder.run("--updatedefs")
        self.assertIn(f"Downloading: {len(wanted)} of {len(wanted)} bytes. File: reference.bkdef\n", run.stdout)
        self.assertIn("Applying definitions done\n", run.stdout)
        self.assertEqual(wanted, self.plugins()["reference.bkdef"])

if __name__ == "__main__":
    unittest.main()
