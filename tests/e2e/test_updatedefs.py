"""--updatedefs of the real program through the update SDK stand-in against the local
definitions server on the program's port (CTest resource lock definitions-server)."""

import hashlib
import os
import shutil
import subprocess
import tempfile
import time
import urllib.request
import unittest

from definitionsserver import PROGRAM_PORT, SAMPLE_SET, DefinitionsServer, copy_sample_set
from programfolder import (DURATION, ENGINE_LINES, SHIPPED_PLUGINS, TEST_FOLDER, US_UTC, ProgramFolder, read_folder,
                           wait_for_output)
from scanfolder import ScanResult, ScanTest, eicar, windows_path
from serverdown import ServerDown

SAMPLE_VERSION = "2026.11.20.1"
FAILURE = "Couldn't update definitions. Error: "
EICAR_THREAT = "EICAR-Test-File (not a virus)"
# Only a hang takes that long.
HANG_SECONDS = 120
LOCK_HOLDER = os.path.join(TEST_FOLDER, "DefinitionsLockHolder.exe")
# Files whose signatures lie in the first and the last definitions file of a set of many.
FIRST_SAMPLE, LAST_SAMPLE = b"BRISKEN-FIRST-FILE-SAMPLE", b"BRISKEN-LAST-FILE-SAMPLE"
FIRST_THREAT, LAST_THREAT = "Brisken.Sample.First", "Brisken.Sample.Last"
# The shipped set's hash sample, which a newer set need not detect.
SHIPPED_SAMPLE, SHIPPED_THREAT = b"BRISKEN-REFERENCE-HASH-SAMPLE", "Brisken.Sample.Hash"


def signature_file(sample: bytes, threat: str) -> bytes:
    """A definitions file whose one signature detects a file holding just the sample."""
    return (f"version 3\nreleased 2026-11-21T09:30:00Z\n"
            f"hash Virus {hashlib.sha256(sample).hexdigest()} {len(sample)} {threat}\n").encode()


def many_files_set() -> dict:
    """A set of many definitions files, the first and the last of which (in the order the engine
    reads them) carry the signatures of FIRST_SAMPLE and LAST_SAMPLE."""
    files = {f"m-{i:03}.bkdef": signature_file(f"m-{i:03}".encode(), f"Brisken.Sample.M{i:03}") for i in range(150)}
    files["a-first.bkdef"] = signature_file(FIRST_SAMPLE, FIRST_THREAT)
    files["z-last.bkdef"] = signature_file(LAST_SAMPLE, LAST_THREAT)
    return files


def read(folder: str, name: str) -> bytes:
    with open(os.path.join(folder, name), "rb") as f:
        return f.read()


class UpdateDefinitionsTest(ScanTest):

    def serve(self, *arguments) -> DefinitionsServer:
        server = DefinitionsServer(*arguments, port=PROGRAM_PORT)
        self.addCleanup(server.stop)
        return server

    def plugins(self, with_cache=True) -> dict:
        """What Plugins holds; without the engine's cache.000 if so asked."""
        files = read_folder(self.folder.file("Plugins"))
        if not with_cache:
            files.pop("cache.000", None)
        return files

    def assert_sample_set_installed(self):
        plugins = self.plugins(with_cache=False)
        self.assertEqual(f"Version: {SAMPLE_VERSION}\r\n".encode(), plugins.pop("update.txt"))
        self.assertEqual({name: content for name, content in read_folder(SAMPLE_SET).items() if name != "set.txt"},
                         plugins)

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

    # Wine gives no final path of a file beyond MAX_PATH: the stand-in still tells its own files
    # from what a link leads to there, and updates such a folder as any other.
    def test_a_program_folder_deeper_than_max_path_is_updated(self):
        self.folder.close()
        self.folder = ProgramFolder(parents=["a-folder-name-forty-characters-long-xyz"] * 7)
        self.addCleanup(self.folder.close)
        self.assertGreater(len(self.folder.windows_path("Plugins", "reference.bkdef")), 300)
        server = self.serve()

        self.assert_applied(self.folder.run("--updatedefs"), server)
        self.assert_sample_set_installed()
        self.assert_output(self.folder.run("--updatedefs"), "Checking for update...\nDefinitions up to date\n")
        self.assert_scan_detects_eicar()

    def test_an_update_into_an_empty_or_missing_plugins_folder_installs_the_set(self):
        # The engine does not start without definitions, but the update needs none to fetch them.
        def empty(plugins):
            for name in os.listdir(plugins):
                os.remove(os.path.join(plugins, name))

        for name, make in [("empty", empty), ("missing", shutil.rmtree)]:
            with self.subTest(name):
                self.fresh_folder()
                make(self.folder.file("Plugins"))
                server = self.serve()

                run = self.folder.run("--updatedefs")

                # Whole files come down: there is nothing to patch.
                self.assertIn("Downloading definitions done\nApplying definitions started\n" + ENGINE_LINES
                              + "Applying definitions done\n", run.stdout)
                self.assertRegex(run.stdout, DURATION)
                self.assert_sample_set_installed()
                self.assert_scan_detects_eicar()
                server.stop()
                self.assertIn("/av64bit/manifest", server.requests)

    def test_an_installed_set_is_up_to_date_by_its_files_not_by_its_version_line(self):
        # The version line names the set, but Plugins holds the shipped files.
        self.folder.write(os.path.join("Plugins", "update.txt"), f"Version: {SAMPLE_VERSION}\r\n".encode())
        server = self.serve()
        self.assert_applied(self.folder.run("--updatedefs"), server)
        server.stop()

        server = self.serve()
        before = self.plugins()
        run = self.folder.run("--updatedefs")
        self.assert_output(run, "Checking for update...\nDefinitions up to date\n")
        self.assertEqual(before, self.plugins())
        server.stop()
        self.assertEqual(["/av64bit/manifest"], server.requests)

    def test_damage_to_the_installed_set_is_repaired_by_the_next_update(self):
        server = self.serve()
        self.assert_applied(self.folder.run("--updatedefs"), server)
        installed = self.plugins()
        reference, updates = read(SAMPLE_SET, "reference.bkdef"), read(SAMPLE_SET, "updates.bkdef")
        plugins = self.folder.file("Plugins")
        for damage, make, downloads in [
            ("a line appended", lambda: self.folder.write(os.path.join("Plugins", "reference.bkdef"),
                                                         reference + b"# appended\n"), [("reference.bkdef", reference)]),
            ("a file deleted", lambda: os.remove(os.path.join(plugins, "updates.bkdef")), [("updates.bkdef", updates)]),
            ("a file the set does not list", lambda: self.folder.write(os.path.join("Plugins", "stray.bkdef"), updates),
             []),
        ]:
            with self.subTest(damage=damage):
                make()
                run = self.folder.run("--updatedefs")
                self.assert_output(run, "Checking for update...\n"
                                        + "".join(f"Downloading: {len(content)} of {len(content)} bytes. File: {name}\n"
                                                  for name, content in downloads)
                                        + "Downloading definitions done\nApplying definitions started\n" + ENGINE_LINES
                                        + "Applying definitions done\n")
                self.assertEqual(installed, self.plugins())

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

    def test_a_set_that_gives_the_engine_no_definitions_is_not_installed(self):
        broken = b"version 3\nthis line is no statement\n"
        for what, files in [
            ("a file the engine cannot load", {"broken.bkdef": broken}),
            ("the same with its extension in capitals", {"Broken.BKDEF": broken}),
            ("no file at all", {"reference.bkdef": None, "updates.bkdef": None}),
            ("files without a signature", {"reference.bkdef": None,
                                           "updates.bkdef": b"version 3\nreleased 2026-11-21T09:30:00Z\n# none yet\n"}),
        ]:
            with self.subTest(set=what):
                refused = copy_sample_set(os.path.join(self.data, what), files)
                with self.serve("--set", refused):
                    before = self.plugins()
                    run = self.folder.run("--updatedefs")
                self.assert_failed_once(run, "Couldn't perform install. Error: 12")
                self.assertIn("\nApplying definitions started\n" + FAILURE, run.stdout)
                self.assertEqual(before, self.plugins())
                self.assertFalse(os.path.exists(self.folder.file("UpdateStaging")))
                self.assert_scan_detects_eicar()

    def test_definitions_files_count_whatever_the_case_of_their_extension(self):
        sample = self.data_file("upper-sample.bin", b"BRISKEN-UPPER-SAMPLE")
        upper = copy_sample_set(os.path.join(self.data, "upper"),
                                {"Upper.BKDEF": signature_file(b"BRISKEN-UPPER-SAMPLE", "Brisken.Sample.Upper")})
        server = self.serve("--set", upper)
        self.assert_applied(self.folder.run("--updatedefs"), server)
        self.folder.run("--custom", windows_path(sample))
        self.assertEqual("Brisken.Sample.Upper", self.only_result().objects[0]["ThreatName"])

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

    def test_an_engine_that_will_not_start_on_the_applied_set_is_reported_and_the_set_kept(self):
        os.remove(self.folder.file("scan.dll"))
        self.serve()
        run = self.folder.run("--updatedefs")
        intro = "\nApplying definitions started\nDefinitions applied, but couldn't start the engine. Error: "
        self.assertIn(intro, run.stdout)
        diagnostic, closing = run.stdout.split(intro, 1)[1].split("Applying definitions done\n")
        what = f"std::exception::what: {self.folder.windows_path('scan.dll')}"
        self.assertIn(what + "\n", diagnostic)
        self.assertRegex(closing, r"\A" + DURATION.pattern)
        self.assertNotIn(FAILURE, run.stdout)
        log = self.log_lines()
        self.assertTrue(log[0].startswith("Error: "), log)
        self.assertEqual(1, sum(line.startswith("Error: ") for line in log), log)
        self.assertIn(what, log)
        self.assert_sample_set_installed()
        self.assert_output(self.folder.run("--updatedefs"), "Checking for update...\nDefinitions up to date\n")

    # --- only the maker's sets, never an older one ---

    # Anyone on the way could have written the manifest's sizes and hashes; only the maker's
    # signature tells. Here the last case adds a line to reference.bkdef that detects every
    # Windows program, and rewrites its size and hash in the manifest.
    def test_a_manifest_not_signed_by_the_maker_is_refused_before_any_download(self):
        program = self.data_file("tool.exe", b"MZ\x90\x00" + bytes(60))
        for server_arguments in (["--unsigned"], ["--bad-signature"], ["--other-key"],
                                 ["--tamper", "reference.bkdef"]):
            with self.subTest(server=server_arguments):
                before = self.plugins()
                with self.serve(*server_arguments) as server:
                    run = self.folder.run("--updatedefs")
                self.assert_failed_once(run, "Couldn't perform update. Error: 14")
                self.assertNotIn("Downloading", run.stdout)
                # Not retried, and nothing else asked for.
                self.assertEqual(["/av64bit/manifest"], server.requests)
                self.assertEqual(before, self.plugins())
                self.assertFalse(os.path.exists(self.folder.file("UpdateStaging")))
        self.folder.run("--custom", windows_path(program), "--quarantine")
        self.assertEqual([], self.only_result().objects)
        self.assertTrue(os.path.exists(program))

    # A replayed old manifest carries the maker's signature too: it must not take back the
    # signatures added since. The same version still repairs a damaged set.
    def test_an_older_set_never_replaces_the_installed_one(self):
        newer_sample = self.data_file("newer-sample.bin", b"BRISKEN-NEWER-SAMPLE")
        newer = copy_sample_set(os.path.join(self.data, "newer"),
                                {"newer.bkdef": signature_file(b"BRISKEN-NEWER-SAMPLE", "Brisken.Sample.Newer")},
                                version="2099.01.01.1")
        with self.serve("--set", newer) as server:
            self.assert_applied(self.folder.run("--updatedefs"), server)
        installed = self.plugins()
        self.assertEqual(b"Version: 2099.01.01.1\r\n", installed["update.txt"])

        with self.serve() as server:
            run = self.folder.run("--updatedefs")
        self.assert_failed_once(run, "Couldn't perform update. Error: 15")
        self.assertEqual(["/av64bit/manifest"], server.requests)
        self.assertEqual(installed, self.plugins())
        self.folder.run("--custom", windows_path(newer_sample))
        self.assertEqual("Brisken.Sample.Newer", self.only_result().objects[0]["ThreatName"])

        self.folder.write(os.path.join("Plugins", "newer.bkdef"), b"# damaged\n")
        with self.serve("--set", newer):
            run = self.folder.run("--updatedefs")
        self.assertRegex(run.stdout, "Applying definitions done\n" + DURATION.pattern)
        self.assertEqual(installed, self.plugins())

    # --- runs that overlap or are cut short ---

    def start(self, *arguments):
        """The program started with its output in a file; returns the process and a reader of
        that output."""
        out = tempfile.TemporaryFile()
        self.addCleanup(out.close)
        process = self.folder.start(*arguments, output=out)
        self.addCleanup(lambda: process.poll() is None and (process.kill(), process.wait()))

        def printed() -> str:
            out.seek(0)
            return out.read().decode("cp1252", errors="replace").replace("\r\n", "\n")
        return process, printed

    # The first holds the staging folder while a download of it stalls (until its receive
    # limit, then it tries again): the second waits for it and then finds the set up to date,
    # instead of clearing the staging folder under it.
    def test_a_second_update_waits_for_the_first_and_finds_the_set_up_to_date(self):
        server = self.serve("--stall", "updates.bkdef", "--times", "1")
        first, first_printed = self.start("--updatedefs")
        server.wait_for_request("/av64bit/files/updates.bkdef")
        second, second_printed = self.start("--updatedefs")
        first.wait(timeout=HANG_SECONDS)
        second.wait(timeout=HANG_SECONDS)
        self.assertNotIn(FAILURE, first_printed())
        self.assertRegex(first_printed(), "Applying definitions done\n" + DURATION.pattern)
        self.assertRegex(second_printed(), r"\AChecking for update...\nDefinitions up to date\n" + DURATION.pattern)
        self.assert_sample_set_installed()

    # Killed while the swap runs (once the first new file is in Plugins): a run without the
    # server leaves Plugins the old set or the new one whole, a run with it the new set.
    def test_an_install_killed_half_way_is_put_right_by_the_next_run(self):
        names = [f"many-{i:03}.bkdef" for i in range(600)]
        files = {name: signature_file(name.encode(), f"Brisken.Sample.{name}") for name in names}
        many = copy_sample_set(os.path.join(self.data, "many"), files, version="2026.12.01.1")
        new_set = {name: content for name, content in read_folder(many).items() if name != "set.txt"}
        new_set["update.txt"] = b"Version: 2026.12.01.1\r\n"
        old_set = self.plugins()
        plugins = self.folder.file("Plugins")

        server = self.serve("--set", many)
        process, printed = self.start("--updatedefs")
        deadline = time.monotonic() + HANG_SECONDS
        while not any(name.startswith("many-") for name in os.listdir(plugins)):
            self.assertLess(time.monotonic(), deadline, printed())
        process.kill()
        process.wait()
        server.stop()
        killed = self.plugins(with_cache=False)
        if killed != new_set:
            self.assertTrue(os.path.exists(self.folder.file("UpdateStaging", "swap.journal")))

        with ServerDown(("127.0.0.1", PROGRAM_PORT)):
            run = self.folder.run("--updatedefs")
        self.assertIn("Couldn't perform update. Error: 4\n", run.stdout)
        self.assertEqual(new_set if killed == new_set else old_set, self.plugins(with_cache=False))

        self.serve("--set", many)
        run = self.folder.run("--updatedefs")
        self.assertRegex(run.stdout, "Applying definitions done\n" + DURATION.pattern)
        self.assertEqual(new_set, self.plugins(with_cache=False))
        self.assertFalse(os.path.exists(self.folder.file("UpdateStaging")))

    # --- scans beside an install ---

    def hold_definitions(self, mode: str) -> subprocess.Popen:
        """DefinitionsLockHolder.exe holding the program folder's definitions lock as an engine
        start (share) or an install (own) does, until its standard input is closed."""
        output = tempfile.TemporaryFile()
        self.addCleanup(output.close)
        holder = subprocess.Popen(["wine", LOCK_HOLDER, self.folder.windows_path(), mode], stdin=subprocess.PIPE,
                                  stdout=output, stderr=subprocess.DEVNULL)
        self.addCleanup(lambda: holder.poll() is None and (holder.kill(), holder.wait()))
        if not wait_for_output(holder, output, b"holding", HANG_SECONDS):
            output.seek(0)
            self.fail(f"the holder did not take the lock: {output.read()!r}")
        return holder

    def wait_until_printed(self, process, printed, text: str):
        """Returns once the running process has printed text."""
        deadline = time.monotonic() + HANG_SECONDS
        while text not in printed():
            self.assertLess(time.monotonic(), deadline, printed())
            self.assertIsNone(process.poll(), printed())
            time.sleep(0.05)

    def let_go(self, holder: subprocess.Popen):
        holder.stdin.close()
        holder.wait(timeout=HANG_SECONDS)

    def start_scan(self, name: str, *paths):
        """A custom scan of paths started with its report at a path of the test; returns the
        process, the reader of its output and the report's path."""
        report = os.path.join(self.data, name + ".xml")
        process, printed = self.start("--custom", ";".join(windows_path(p) for p in paths), "--scan-result",
                                      windows_path(report))
        return process, printed, report

    def detected(self, report: str) -> set:
        with open(report, "rb") as f:
            return {o["ThreatName"] for o in ScanResult(f.read()).objects}

    def samples(self) -> list:
        return [self.data_file(name, content) for name, content in
                (("first.bin", FIRST_SAMPLE), ("last.bin", LAST_SAMPLE), ("shipped.bin", SHIPPED_SAMPLE))]

    # The test plays the install here: it holds the lock as Install does for its swap, puts half
    # of a new set of many files into Plugins, starts scans and --definitions-info, and only
    # then puts the rest in and lets go. Each engine start waits for the swap and loads the new
    # set whole.
    def test_scans_and_information_started_while_an_install_swaps_see_the_new_set_whole(self):
        new_set = many_files_set()
        names = sorted(new_set)
        plugins = self.folder.file("Plugins")
        samples = self.samples()
        holder = self.hold_definitions("own")
        for name in names[:len(names) // 2]:
            self.folder.write(os.path.join("Plugins", name), new_set[name])

        scans = [self.start_scan(f"scan-{i}", *samples) for i in range(2)]
        information, information_printed = self.start("--definitions-info")
        for process, printed in [scan[:2] for scan in scans] + [(information, information_printed)]:
            self.wait_until_printed(process, printed, "Initializing engine, please wait...")
        # Time for an engine start that would not wait to read the mix; it decides nothing for
        # one that waits.
        time.sleep(2)
        for name in names[len(names) // 2:]:
            self.folder.write(os.path.join("Plugins", name), new_set[name])
        os.remove(os.path.join(plugins, "reference.bkdef"))
        self.folder.write(os.path.join("Plugins", "update.txt"), b"Version: 2026.12.01.1\r\n")
        self.let_go(holder)

        for process, printed, report in scans:
            process.wait(timeout=HANG_SECONDS)
            self.assertIn("Scan complete.", printed())
            self.assertEqual({FIRST_THREAT, LAST_THREAT}, self.detected(report))
        information.wait(timeout=HANG_SECONDS)
        self.assertIn("\tDatabase version: 3\n", information_printed())
        self.assertIn("\tVersion: 2026.12.01.1\n", information_printed())

    # An install cut short in its swap (here made by hand as README.md of the update SDK
    # stand-in describes it: the first of two moves done) leaves Plugins part old, part new, and
    # its journal. No engine start takes that for a set until the next update has undone it.
    def test_an_engine_start_refuses_a_swap_cut_short_until_an_update_undoes_it(self):
        old_set = self.plugins()
        samples = self.samples()
        staging = self.folder.file("UpdateStaging")
        os.makedirs(os.path.join(staging, "backup"))
        os.makedirs(os.path.join(staging, "files"))
        shutil.move(self.folder.file("Plugins", "reference.bkdef"), os.path.join(staging, "backup"))
        self.folder.write(os.path.join("Plugins", "reference.bkdef"), signature_file(FIRST_SAMPLE, FIRST_THREAT))
        self.folder.write(os.path.join("UpdateStaging", "files", "z-last.bkdef"),
                          signature_file(LAST_SAMPLE, LAST_THREAT))
        steps = [f"replace\tUpdateStaging\\files\\{name}\tPlugins\\{name}\tUpdateStaging\\backup\\{name}\n"
                 for name in ("reference.bkdef", "z-last.bkdef")]
        self.folder.write(os.path.join("UpdateStaging", "swap.journal"),
                          ("brisken-swap 1\n" + "".join(steps) + "end\n").encode())

        process, printed, report = self.start_scan("refused", *samples)
        process.wait(timeout=HANG_SECONDS)
        self.assertIn("Couldn't perform scan. Error: ", printed())
        self.assertIn("Couldn't initialize scanner. Error: Plugin\n", printed())
        self.assertFalse(os.path.exists(report))
        run = self.folder.run("--definitions-info")
        self.assertIn("\tDatabase release date: N/A\n", run.stdout)

        with ServerDown(("127.0.0.1", PROGRAM_PORT)):
            run = self.folder.run("--updatedefs")
        self.assertIn("Couldn't perform update. Error: 4\n", run.stdout)
        self.assertEqual(old_set, self.plugins(with_cache=False))
        process, printed, report = self.start_scan("undone", *samples)
        process.wait(timeout=HANG_SECONDS)
        self.assertEqual({SHIPPED_THREAT}, self.detected(report))

    # Install takes the lock for its swap: while an engine start holds it (the test holds it
    # as one does), the update waits before its first move and installs once it is let go.
    def test_an_install_waits_for_an_engine_start_that_reads_the_definitions(self):
        # As the first install leaves it.
        self.folder.write("Plugins.lock", b"")
        before = self.plugins()
        self.serve()
        holder = self.hold_definitions("share")
        process, printed = self.start("--updatedefs")
        self.wait_until_printed(process, printed, "Applying definitions started")
        # Time for an install that would not wait to swap; it decides nothing for one that waits.
        time.sleep(1)
        self.assertEqual(before, self.plugins())
        self.assertIsNone(process.poll(), printed())
        self.let_go(holder)
        process.wait(timeout=HANG_SECONDS)
        self.assertRegex(printed(), "Applying definitions started\n" + ENGINE_LINES + "Applying definitions done\n"
                         + DURATION.pattern)
        self.assert_sample_set_installed()

    # The lock file is the stand-ins' own, taken through its own handle: a link at its name is
    # refused by either kind of hold, never opened through, and one that leads nowhere is not made
    # to lead somewhere. The engine does not start on such a lock; the install refuses it (the
    # update SDK's own tests).
    def test_the_definitions_lock_is_never_taken_through_a_link(self):
        outside = os.path.join(self.data, "outside")
        target, nowhere = os.path.join(outside, "target.txt"), os.path.join(outside, "nothing yet")
        lock = self.folder.file("Plugins.lock")
        for mode, leads_to in [("own", target), ("own", nowhere), ("share", target)]:
            with self.subTest(mode=mode, to=os.path.basename(leads_to)):
                shutil.rmtree(outside, ignore_errors=True)
                os.makedirs(outside)
                with open(target, "wb") as f:
                    f.write(b"not the stand-ins'")
                if os.path.lexists(lock):
                    os.remove(lock)
                os.symlink(leads_to, lock)
                with tempfile.TemporaryFile() as out:
                    holder = subprocess.run(["wine", LOCK_HOLDER, self.folder.windows_path(), mode],
                                            stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.DEVNULL,
                                            timeout=HANG_SECONDS)
                    out.seek(0)
                    self.assertEqual((1, b"cannot lock: link"), (holder.returncode, out.read().strip()))
                self.assertEqual({"target.txt": b"not the stand-ins'"}, read_folder(outside))

        os.remove(lock)
        os.symlink(target, lock)
        process, printed, report = self.start_scan("through-a-link", *self.samples())
        process.wait(timeout=HANG_SECONDS)
        self.assertIn("Couldn't initialize scanner. Error: FileOpen\n", printed())
        self.assertFalse(os.path.exists(report))
        self.assertEqual({"target.txt": b"not the stand-ins'"}, read_folder(outside))


if __name__ == "__main__":
    unittest.main()
