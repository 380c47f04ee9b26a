"""The update SDK stand-in BKUpdateServiceCom.dll driven directly, through the test driver
UpdateSdkDriver.exe, against the local definitions server on a port of its own."""

import hashlib
import os
import shutil
import subprocess
import tempfile
import time
import unittest
import urllib.request

from definitionsserver import SAMPLE_SET, DefinitionsServer, copy_sample_set, free_port
from programfolder import PROGRAM_FOLDER, SHIPPED_PLUGINS, TEST_FOLDER, read_folder
from smalldisk import fill, mount_tmpfs
from winehost import windows_path

MODULE = os.path.join(PROGRAM_FOLDER, "BKUpdateServiceCom.dll")
# The same stand-in built to give up a download that brings less than 1 KiB in 1 s (not 10 s), and
# a request whose status line and headers have not all come within 2 s (not 20 s).
SHORT_LIMITS_MODULE = os.path.join(TEST_FOLDER, "UpdateSdkShortLimits", "BKUpdateServiceCom.dll")
DRIVER = os.path.join(TEST_FOLDER, "UpdateSdkDriver.exe")
SAMPLE_VERSION = "2026.11.20.1"
# A definitions file the reference engine refuses to load.
UNLOADABLE = b"version 3\nreleased 2026-11-20T09:30:00Z\nthis line is no statement\n"
# A silent server costs one receive timeout (10 s) per attempt; the server would hold the
# connection for 300 s: an update that ends within this bound gave up on its own.
SILENCE_BOUND_SECONDS = 60
# Only a hang takes that long.
HANG_SECONDS = 120
# Raised by the stand-in while another update of the same folder holds the staging folder.
WAITING_EVENT = "50"


def sample(name: str) -> bytes:
    with open(os.path.join(SAMPLE_SET, name), "rb") as f:
        return f.read()


class DriverRun:
    """What one driver run printed: the callback events, the results of the calls."""

    def __init__(self, text: str):
        self.text = text
        self.lines = text.splitlines()
        self.events = [line[len("event "):] for line in self.lines if line.startswith("event ")]
        self.results = {}
        for line in self.lines:
            name, _, value = line.rpartition(" ")
            if name in ("update", "install", "configure", "update seconds"):
                self.results[name] = float(value) if name == "update seconds" else int(value)

    def retry_events(self):
        return [event for event in self.events if " answer " in event]


class RunningDriver:
    """A driver run that goes on while the test looks at what it has printed so far."""

    def __init__(self, command):
        self.out = tempfile.TemporaryFile()
        self.process = subprocess.Popen(command, stdin=subprocess.DEVNULL, stdout=self.out, stderr=subprocess.STDOUT)

    def printed(self) -> DriverRun:
        self.out.seek(0)
        return DriverRun(self.out.read().decode("utf-8", errors="replace").replace("\r\n", "\n"))

    def wait_until(self, condition) -> DriverRun:
        """What it printed once condition(printed) holds or it has ended; a hang ends the test."""
        deadline = time.monotonic() + HANG_SECONDS
        while True:
            ended = self.process.poll() is not None
            run = self.printed()
            if ended or condition(run):
                return run
            if time.monotonic() > deadline:
                raise AssertionError(f"the driver hangs: {run.text!r}")
            time.sleep(0.05)

    def finish(self) -> DriverRun:
        self.process.wait(timeout=HANG_SECONDS)
        return self.printed()

    def stop(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait()
        self.out.close()


class UpdateSdkTest(unittest.TestCase):

    def setUp(self):
        if not PROGRAM_FOLDER or not os.path.exists(DRIVER):
            self.skipTest("the program and test folders are not set")
        self.root = tempfile.mkdtemp(prefix="brisken-updatesdk-")
        self.addCleanup(shutil.rmtree, self.root, True)
        self.local = os.path.join(self.root, "program")
        self.plugins = os.path.join(self.local, "Plugins")
        self.fresh_plugins()

    def fresh_plugins(self):
        """The shipped definitions in the local folder again, as at the start."""
        shutil.rmtree(self.plugins, ignore_errors=True)
        shutil.copytree(SHIPPED_PLUGINS, self.plugins)

    def serve(self, *arguments) -> DefinitionsServer:
        server = DefinitionsServer(*arguments)
        self.addCleanup(server.stop)
        return server

    def command(self, url: str, *flags, module=MODULE):
        return ["wine", DRIVER, windows_path(module), url, windows_path(self.local), *flags]

    def drive(self, url: str, *flags, timeout=120, module=MODULE, debug=False) -> DriverRun:
        """What a driver run printed; with debug, the module's debug lines too (Wine's +debugstr)."""
        environment = dict(os.environ, WINEDEBUG="+debugstr") if debug else None
        with tempfile.TemporaryFile() as out:
            subprocess.run(self.command(url, *flags, module=module), stdin=subprocess.DEVNULL, stdout=out,
                           stderr=subprocess.STDOUT, timeout=timeout, env=environment)
            out.seek(0)
            return DriverRun(out.read().decode("utf-8", errors="replace").replace("\r\n", "\n"))

    def start(self, url: str, *flags) -> "RunningDriver":
        driver = RunningDriver(self.command(url, *flags))
        self.addCleanup(driver.stop)
        return driver

    def write_plugin(self, name: str, content: bytes):
        with open(os.path.join(self.plugins, name), "wb") as f:
            f.write(content)

    def assert_sample_installed(self):
        files = read_folder(self.plugins)
        self.assertEqual(sample("reference.bkdef"), files.pop("reference.bkdef"))
        self.assertEqual(sample("updates.bkdef"), files.pop("updates.bkdef"))
        self.assertEqual(f"Version: {SAMPLE_VERSION}\r\n".encode(), files.pop("update.txt"))
        self.assertEqual({}, files)
        self.assertFalse(os.path.exists(os.path.join(self.local, "UpdateStaging")))

    # --- a new set, patches, up to date ---

    def test_new_set_is_patched_downloaded_and_installed(self):
        server = self.serve()
        with urllib.request.urlopen(server.url + "/manifest") as answer:
            patch_line = next(line for line in answer.read().decode().splitlines() if line.startswith("patch "))
        patch_size = int(patch_line.split()[1])
        run = self.drive(server.url, "--install")
        server.stop()
        reference, updates = sample("reference.bkdef"), sample("updates.bkdef")
        self.assertEqual(["0",
                          "40 reference.bkdef", f"60 {patch_size}", f"70 {patch_size}",
                          "40 updates.bkdef", f"60 {len(updates)}", f"70 {len(updates)}",
                          "10", "90 1"], run.events, run.text)
        self.assertLess(patch_size, len(reference))
        self.assertEqual({"update": 0, "install": 0}, {k: run.results[k] for k in ("update", "install")})
        self.assert_sample_installed()
        with open(os.path.join(SHIPPED_PLUGINS, "reference.bkdef"), "rb") as f:
            base = hashlib.sha256(f.read()).hexdigest()
        self.assertEqual(["/av64bit/manifest", "/av64bit/manifest", f"/av64bit/patches/{base}/reference.bkdef",
                          "/av64bit/files/updates.bkdef"], server.requests)
        self.assertIn("destroy 0\ndestroy again 1", run.text)

    def test_whole_files_when_patches_are_not_wanted_or_not_offered_or_do_not_fit(self):
        reference = sample("reference.bkdef")
        for server_arguments, flags in [
            ([], ["--no-patches"]),
            (["--no-patches"], []),
            (["--bad-patch", "reference.bkdef"], []),
        ]:
            with self.subTest(server=server_arguments, driver=flags):
                self.fresh_plugins()
                server = self.serve(*server_arguments)
                run = self.drive(server.url, "--install", *flags)
                server.stop()
                self.assertIn(f"40 reference.bkdef\n60 {len(reference)}\n70 {len(reference)}",
                              "\n".join(run.events), run.text)
                self.assertEqual(0, run.results["install"], run.text)
                self.assertIn("/av64bit/files/reference.bkdef", server.requests)
                self.assert_sample_installed()

    def test_an_installed_set_is_up_to_date(self):
        server = self.serve()
        self.assertEqual(0, self.drive(server.url, "--install").results["install"])
        for flags in ([], ["--no-version-id"]):
            with self.subTest(flags=flags):
                run = self.drive(server.url, "--install", *flags)
                self.assertEqual(["0", "30"], run.events, run.text)
                self.assertEqual(0, run.results["update"])
                # Nothing was staged, so there is nothing to install.
                self.assertEqual(9, run.results["install"])
                self.assert_sample_installed()
        server.stop()
        self.assertNotIn("/av64bit/files/reference.bkdef", server.requests)

    def test_version_id_must_match_too_unless_switched_off(self):
        server = self.serve()
        self.assertEqual(0, self.drive(server.url, "--install").results["install"])
        # Same files under another version line: a new set by version id, none by content.
        self.write_plugin("update.txt", b"Build: 7\r\nVersion: 2026.01.01.1\r\n")
        run = self.drive(server.url, "--no-version-id")
        self.assertEqual(["0", "30"], run.events, run.text)
        run = self.drive(server.url, "--install")
        self.assertEqual(["0", "10", "90 1"], run.events, run.text)
        self.assertEqual(0, run.results["install"])
        with open(os.path.join(self.plugins, "update.txt"), "rb") as f:
            self.assertEqual(f"Build: 7\r\nVersion: {SAMPLE_VERSION}\r\n".encode(), f.read())
        # Same version, other files: the file that differs is downloaded either way.
        updates = sample("updates.bkdef")
        for flags in ([], ["--no-version-id"]):
            with self.subTest(flags=flags):
                self.write_plugin("updates.bkdef", b"# damaged\n")
                run = self.drive(server.url, "--install", *flags)
                self.assertEqual(["0", "40 updates.bkdef", f"60 {len(updates)}", f"70 {len(updates)}", "10", "90 1"],
                                 run.events, run.text)
                self.assertEqual(0, run.results["install"])
                self.assertEqual(updates, read_folder(self.plugins)["updates.bkdef"])

    # --- failures of the server and of the downloads ---

    def assert_nothing_changed(self, run, before):
        self.assertEqual(before, read_folder(self.local), run.text)

    def test_bad_downloads_are_retried_and_never_installed(self):
        for server_arguments, retry_event, result in [
            (["--truncate", "updates.bkdef"], 81, 6),
            (["--corrupt", "updates.bkdef"], 82, 7),
            (["--oversize", "updates.bkdef"], 82, 7),
            (["--corrupt", "reference.bkdef"], 82, 7),  # the patch
            (["--no-patches", "--truncate", "reference.bkdef"], 81, 6),
        ]:
            with self.subTest(server=server_arguments):
                before = read_folder(self.local)
                server = self.serve(*server_arguments)
                run = self.drive(server.url, "--retries", "2", "--install")
                server.stop()
                self.assertEqual([f"{retry_event} answer 1", f"{retry_event} answer 1", f"{retry_event} answer 0"],
                                 run.retry_events(), run.text)
                self.assertEqual(result, run.results["update"], run.text)
                self.assertNotIn("90 1", run.events)
                self.assertEqual(9, run.results["install"])
                self.assert_nothing_changed(run, before)

    def test_a_bad_download_that_mends_on_retry_is_installed(self):
        for misbehaviour in ("--truncate", "--corrupt", "--oversize"):
            with self.subTest(misbehaviour=misbehaviour):
                self.fresh_plugins()
                server = self.serve(misbehaviour, "updates.bkdef", "--times", "1")
                run = self.drive(server.url, "--retries", "1", "--install")
                server.stop()
                self.assertEqual(1, len(run.retry_events()), run.text)
                self.assertEqual(0, run.results["update"], run.text)
                self.assertEqual(0, run.results["install"])
                self.assert_sample_installed()

    def test_a_manifest_cut_at_a_line_end_is_retried_and_never_installed(self):
        for how in ("length", "chunked", "close"):
            with self.subTest(cut=how):
                before = read_folder(self.local)
                server = self.serve("--cut-manifest", how)
                run = self.drive(server.url, "--retries", "2", "--install")
                server.stop()
                self.assertEqual(["0", "81 answer 1", "81 answer 1", "81 answer 0"], run.events, run.text)
                self.assertEqual(6, run.results["update"], run.text)
                self.assertEqual(9, run.results["install"], run.text)
                self.assertEqual(["/av64bit/manifest"] * 3, server.requests)
                self.assert_nothing_changed(run, before)

    def test_a_manifest_cut_once_is_installed_whole_on_retry(self):
        server = self.serve("--cut-manifest", "chunked", "--times", "1")
        run = self.drive(server.url, "--retries", "1", "--install")
        self.assertEqual(["81 answer 1"], run.retry_events(), run.text)
        self.assertEqual(0, run.results["install"], run.text)
        self.assert_sample_installed()

    def test_an_unavailable_server_is_retried_while_the_callback_agrees(self):
        server = self.serve("--unavailable", "2")
        run = self.drive(server.url, "--retries", "2", "--install")
        self.assertEqual(["80 answer 1", "80 answer 1"], run.retry_events(), run.text)
        self.assertEqual(0, run.results["install"])
        self.assert_sample_installed()

    def test_server_down_or_garbage_fails_the_update(self):
        before = read_folder(self.local)
        down = f"http://127.0.0.1:{free_port()}/av64bit"
        run = self.drive(down, "--retries", "1")
        self.assertEqual(["0", "80 answer 1", "80 answer 0"], run.events, run.text)
        self.assertEqual(4, run.results["update"])
        for misbehaviour in ("--garbage-manifest", "--large-manifest"):
            server = self.serve(misbehaviour)
            run = self.drive(server.url, "--retries", "1")
            self.assertEqual(["0"], run.events, run.text)
            self.assertEqual(5, run.results["update"], misbehaviour)
        run = self.drive(server.url.replace("/av64bit", "/elsewhere"), "--retries", "1")
        self.assertEqual(4, run.results["update"], run.text)  # 404: no retry mends it
        self.assertEqual([], run.retry_events())
        self.assert_nothing_changed(run, before)

    def test_a_silent_server_ends_the_update_within_the_timeout(self):
        for server_arguments, retry_event, result in [
            (["--silent"], 80, 4),
            (["--stall", "updates.bkdef"], 81, 6),
        ]:
            with self.subTest(server=server_arguments):
                before = read_folder(self.local)
                server = self.serve(*server_arguments)
                run = self.drive(server.url)
                self.assertEqual([f"{retry_event} answer 0"], run.retry_events(), run.text)
                self.assertEqual(result, run.results["update"])
                self.assertLess(run.results["update seconds"], SILENCE_BOUND_SECONDS)
                self.assert_nothing_changed(run, before)

    # A server that sends a correct answer, but so slowly that it would take minutes, is given up
    # like a silent one, each retry too: the stand-in built with short bounds ends within them. A
    # body that trickles stalls (81); a status line and headers that trickle are no answer (80).
    def test_a_trickling_server_is_given_up(self):
        for server_arguments, retry_event, result in [
            (["--trickle", "0.2"], 81, 6),
            (["--trickle-headers", "0.5"], 80, 4),
        ]:
            with self.subTest(server=server_arguments):
                before = read_folder(self.local)
                server = self.serve(*server_arguments)
                run = self.drive(server.url, "--retries", "2", module=SHORT_LIMITS_MODULE)
                server.stop()
                self.assertEqual(["0"] + [f"{retry_event} answer 1"] * 2 + [f"{retry_event} answer 0"], run.events,
                                 run.text)
                self.assertEqual(result, run.results["update"], run.text)
                self.assertLess(run.results["update seconds"], SILENCE_BOUND_SECONDS)
                self.assertEqual(["/av64bit/manifest"] * 3, server.requests)
                self.assert_nothing_changed(run, before)

    def test_file_names_that_would_leave_the_staging_folder_are_refused(self):
        before = read_folder(self.root)
        for name in ["../evil.bkdef", "..\\evil.bkdef", "sub/evil.bkdef", "sub\\..\\..\\evil.bkdef", "..", ".",
                     "C:evil.bkdef", "C:\\evil.bkdef", "Z:\\tmp\\evil.bkdef", "\\\\server\\share\\evil.bkdef",
                     "\\evil.bkdef", "/tmp/evil.bkdef", "evil.bkdef.", "evil.bkdef ", "NUL", "com1.bkdef",
                     "evil\x01.bkdef", "update.txt", "UPDATE.TXT", "COM\u00b9", "lpt\u00b3.bkdef"]:
            with self.subTest(name=name):
                server = self.serve("--extra-name", name)
                run = self.drive(server.url, "--retries", "1", "--install")
                server.stop()
                self.assertEqual(["0"], run.events, run.text)
                self.assertEqual(5, run.results["update"])
                self.assertEqual(["/av64bit/manifest"], server.requests)
                self.assertEqual(before, read_folder(self.root))

    def test_unusual_but_plain_names_are_taken(self):
        set_folder = os.path.join(self.root, "set")
        shutil.copytree(SAMPLE_SET, set_folder)
        for name in ("with blank.bkdef", "ünïcode.bkdef", "..dots.bkdef"):
            shutil.copy(os.path.join(SAMPLE_SET, "updates.bkdef"), os.path.join(set_folder, name))
        server = self.serve("--set", set_folder)
        run = self.drive(server.url, "--install")
        self.assertEqual(0, run.results["install"], run.text)
        self.assertEqual(read_folder(set_folder).keys() - {"set.txt"}, read_folder(self.plugins).keys() - {"update.txt"})

    # --- Install: what the engine loads, and nothing else ---

    def make_set(self, name: str, version: str, files: dict) -> str:
        return copy_sample_set(os.path.join(self.root, name), files, version)

    def assert_plugins_hold_the_set(self, set_folder: str, version: str, others: dict):
        """Plugins holds exactly the set's files, update.txt with its version and the others."""
        expected = {name: content for name, content in read_folder(set_folder).items() if name != "set.txt"}
        expected["update.txt"] = f"Version: {version}\r\n".encode()
        expected.update(others)
        self.assertEqual(expected, read_folder(self.plugins))

    def test_a_set_the_engine_cannot_load_is_refused_and_plugins_kept(self):
        # Only *.bkdef files are the engine's: another file of the set may hold anything.
        loadable = self.make_set("loadable", "2026.11.21.1", {"notes.txt": b"\x00 not definitions"})
        unloadable = self.make_set("unloadable", "2026.11.21.2", {"broken.bkdef": UNLOADABLE})
        for set_folder in (loadable, unloadable):
            server = self.serve("--set", set_folder)
            before = read_folder(self.local)
            run = self.drive(server.url, "--install")
            server.stop()
            self.assertEqual(0, run.results["update"], run.text)
            if set_folder == loadable:
                self.assertEqual(0, run.results["install"], run.text)
                self.assert_plugins_hold_the_set(loadable, "2026.11.21.1", {})
            else:
                self.assertEqual(12, run.results["install"], run.text)
                self.assert_nothing_changed(run, before)

    # Only definitions files are the stand-in's to take away: any other file stays, whether an
    # older set brought it (the stand-in keeps no list of what it installed) or someone else.
    def test_a_newer_set_takes_away_the_definitions_files_it_no_longer_lists(self):
        older = self.make_set("older", "2026.11.21.1", {"withdrawn.bkdef": sample("updates.bkdef"),
                                                         "Old Notes.txt": b"notes"})
        newer = self.make_set("newer", "2026.11.21.2", {})
        server = self.serve("--set", older)
        self.assertEqual(0, self.drive(server.url, "--install").results["install"])
        server.stop()
        self.write_plugin("cache.000", b"")
        self.write_plugin("someone's.dat", b"theirs")
        os.makedirs(os.path.join(self.plugins, "someone's folder"))
        self.write_plugin(os.path.join("someone's folder", "keep.bkdef"), b"kept")
        others = {"cache.000": b"", "Old Notes.txt": b"notes", "someone's.dat": b"theirs",
                  os.path.join("someone's folder", "keep.bkdef"): b"kept"}
        server = self.serve("--set", newer)
        # By content too, the files to take away make the set a new one.
        run = self.drive(server.url, "--no-version-id")
        self.assertEqual(["0", "10", "90 1"], run.events, run.text)
        # A file that cannot be taken away fails the install whole.
        before = read_folder(self.plugins)
        run = self.drive(server.url, "--install", "--lock", "withdrawn.bkdef")
        self.assertIn("lock withdrawn.bkdef: held", run.lines, run.text)
        self.assertEqual(10, run.results["install"], run.text)
        self.assertEqual(before, read_folder(self.plugins))
        run = self.drive(server.url, "--no-update", "--install")
        self.assertEqual(0, run.results["install"], run.text)
        self.assert_plugins_hold_the_set(newer, "2026.11.21.2", others)
        self.assertFalse(os.path.exists(os.path.join(self.local, "UpdateStaging")))

    # Newer by the version ids, whatever the content: the older set is refused even where its
    # files are those installed, and with version ids switched off for being up to date.
    def test_an_older_set_is_refused_with_or_without_version_ids(self):
        newer = self.make_set("newer", "2099.01.01.1", {})
        server = self.serve("--set", newer)
        self.assertEqual(0, self.drive(server.url, "--install").results["install"])
        server.stop()
        before = read_folder(self.local)
        server = self.serve()
        for flags in ([], ["--no-version-id"]):
            with self.subTest(flags=flags):
                run = self.drive(server.url, "--install", *flags)
                self.assertEqual(["0"], run.events, run.text)
                self.assertEqual({"update": 15, "install": 9}, {k: run.results[k] for k in ("update", "install")})
                self.assert_nothing_changed(run, before)
        server.stop()
        self.assertEqual(["/av64bit/manifest"] * 2, server.requests)

    # --- Install on a full disk ---

    # The set is downloaded, then the disk fills before the install: the install fails (code 8)
    # and frees what the update downloaded instead of keeping it until the next update, which
    # would download it again.
    def test_an_install_on_a_full_disk_frees_the_downloaded_set(self):
        small = mount_tmpfs(self, os.path.join(self.root, "small"), "2m")
        self.local = os.path.join(small, "program")
        self.plugins = os.path.join(self.local, "Plugins")
        self.fresh_plugins()
        big = b"version 3\nreleased 2026-11-21T09:30:00Z\n" + b"# a comment line of some length\n" * 20000
        server = self.serve("--set", self.make_set("big", "2026.11.21.1", {"big.bkdef": big}))
        self.assertEqual(0, self.drive(server.url).results["update"])
        staging = os.path.join(self.local, "UpdateStaging")
        self.assertEqual(big, read_folder(staging)[os.path.join("files", "big.bkdef")])
        before = read_folder(self.plugins)
        fill(small)
        run = self.drive(server.url, "--no-update", "--install")
        self.assertEqual(8, run.results["install"], run.text)
        self.assertEqual(before, read_folder(self.plugins))
        self.assertFalse(os.path.exists(staging), read_folder(staging).keys() if os.path.exists(staging) else None)
        server.stop()
        self.assertIn("/av64bit/files/big.bkdef", server.requests)

    # --- Install: all or nothing ---

    def test_install_that_cannot_replace_a_file_leaves_the_old_set_whole(self):
        server = self.serve()
        for lock in ("reference.bkdef", "updates.bkdef", "update.txt"):
            with self.subTest(locked=lock):
                self.fresh_plugins()
                self.write_plugin("updates.bkdef", b"# older\nversion 1\nreleased 2024-01-01T00:00:00Z\n")
                self.write_plugin("update.txt", b"Version: 1.0\r\n")
                before = read_folder(self.plugins)
                run = self.drive(server.url, "--install", "--lock", lock)
                self.assertIn(f"lock {lock}: held", run.lines, run.text)
                self.assertEqual(0, run.results["update"], run.text)
                self.assertEqual(10, run.results["install"], run.text)
                self.assertEqual(before, read_folder(self.plugins))
                # The staged set stays for a later Install.
                run = self.drive(server.url, "--no-update", "--install")
                self.assertEqual(0, run.results["install"], run.text)
                self.assert_sample_installed()

    def test_install_with_a_folder_in_the_way_leaves_it_and_the_old_set(self):
        server = self.serve()
        self.assertEqual(0, self.drive(server.url).results["update"])
        self.write_plugin("update.txt", b"Version: 1.0\r\n")
        os.makedirs(os.path.join(self.plugins, "updates.bkdef", "inside"))
        self.write_plugin(os.path.join("updates.bkdef", "inside", "keep.txt"), b"someone's file")
        before = read_folder(self.plugins)
        run = self.drive(server.url, "--no-update", "--install")
        self.assertEqual(10, run.results["install"], run.text)
        self.assertEqual(before, read_folder(self.plugins))

    # A link of a new file's name that leads to a folder is no folder of someone's in the way but
    # a link, which Wine would move as what it leads to: refused as a link, and kept.
    def test_install_with_a_link_to_a_folder_in_the_way_refuses_it_and_keeps_the_old_set(self):
        server = self.serve()
        self.assertEqual(0, self.drive(server.url).results["update"])
        outside = os.path.join(self.root, "outside")
        os.makedirs(outside)
        with open(os.path.join(outside, "keep.txt"), "wb") as f:
            f.write(b"someone's file")
        link = self.link(os.path.join("Plugins", "updates.bkdef"), outside)
        before = read_folder(self.plugins)
        run = self.drive(server.url, "--no-update", "--install")
        self.assertEqual(8, run.results["install"], run.text)
        self.assertEqual(before, read_folder(self.plugins))
        self.assertEqual(outside, os.readlink(link))
        self.assertEqual({"keep.txt": b"someone's file"}, read_folder(outside))
        server.stop()
        self.assertIn("/av64bit/files/updates.bkdef", server.requests)

    def test_install_checks_the_staged_and_the_kept_files_again(self):
        # Installed, then a newer set that changes updates.bkdef only: reference.bkdef is kept.
        server = self.serve()
        self.assertEqual(0, self.drive(server.url, "--install").results["install"])
        server.stop()
        newer = self.make_set("newer", "2026.11.21.1", {"updates.bkdef": sample("updates.bkdef") + b"# newer\n"})
        server = self.serve("--set", newer)
        for changed in (os.path.join(self.local, "UpdateStaging", "files", "updates.bkdef"),
                        os.path.join(self.plugins, "reference.bkdef")):
            with self.subTest(changed=os.path.relpath(changed, self.local)):
                run = self.drive(server.url)
                self.assertEqual(["0", "40 updates.bkdef"], run.events[:2], run.text)
                with open(changed, "ab") as f:
                    f.write(b"hash Virus " + b"0" * 64 + b" 1 Planted\n")
                before = read_folder(self.plugins)
                run = self.drive(server.url, "--no-update", "--install")
                self.assertEqual(7, run.results["install"], run.text)
                self.assertEqual(before, read_folder(self.plugins))

    # An old file that the undo cannot put back (here Windows takes another file for its name,
    # which only Wine's case-sensitive file system can hold) is not given up: Install says so
    # with its own code and keeps the backup; every later call tries again first, before the
    # server is asked, and puts it back once it can. The install fails at its last step, on
    # update.txt held open, after reference.bkdef was replaced.
    def test_an_undo_that_cannot_put_a_file_back_keeps_it_until_it_can(self):
        self.write_plugin("update.txt", b"Version: 1.0\r\n")
        shipped = read_folder(self.plugins)
        self.write_plugin("Reference.BKDEF", b"# another file of the same name for Windows\n")
        server = self.serve()
        run = self.drive(server.url, "--install", "--lock", "update.txt")
        self.assertIn("lock update.txt: held", run.lines, run.text)
        self.assertEqual(0, run.results["update"], run.text)
        self.assertEqual(13, run.results["install"], run.text)
        backup = os.path.join(self.local, "UpdateStaging", "backup")
        self.assertEqual({"reference.bkdef": shipped["reference.bkdef"]}, read_folder(backup))
        server.stop()
        server = self.serve()
        run = self.drive(server.url, "--install")
        self.assertEqual(["0"], run.events, run.text)
        self.assertEqual({"update": 13, "install": 13}, {k: run.results[k] for k in ("update", "install")})
        self.assertEqual({"reference.bkdef": shipped["reference.bkdef"]}, read_folder(backup))
        server.stop()
        self.assertEqual([], server.requests)

        os.remove(os.path.join(self.plugins, "Reference.BKDEF"))
        run = self.drive(self.serve().url, "--install")
        self.assertEqual(0, run.results["install"], run.text)
        self.assert_sample_installed()

    # --- links: what they lead to is not the stand-in's ---

    def link(self, place: str, target: str) -> str:
        """A symbolic link at place below the local folder (Wine's stand-in for a Windows link or
        junction); returns its path."""
        path = os.path.join(self.local, place)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        if os.path.lexists(path):
            os.remove(path)
        os.symlink(target, path)
        return path

    # Wine opens, moves and deletes what every link leads to, so each is refused (code 8) before
    # anything is done through it; the server is not even asked where the link is found first.
    def test_links_in_the_folders_of_the_update_are_refused_and_what_they_lead_to_kept(self):
        outside = os.path.join(self.root, "outside")
        target_file = os.path.join(outside, "target.bkdef")
        staging = "UpdateStaging"
        for place, target, results, asked in [
            (staging, outside, {"update": 8}, False),
            (os.path.join(staging, "backup"), outside, {"update": 8}, False),
            (os.path.join(staging, "files"), outside, {"update": 8}, False),
            (os.path.join(staging, "update.lock"), target_file, {"update": 8}, False),
            (os.path.join(staging, "update.lock"), os.path.join(outside, "nothing yet"), {"update": 8}, False),
            (os.path.join(staging, "swap.journal"), target_file, {"update": 8}, False),
            (os.path.join(staging, "manifest.txt"), target_file, {"update": 8}, True),
            (os.path.join("Plugins", "reference.bkdef"), target_file, {"update": 8}, True),
            (os.path.join("Plugins", "update.txt"), target_file, {"update": 8}, True),
            (os.path.join("Plugins", "old.bkdef"), target_file, {"update": 0, "install": 8}, True),
            ("Plugins.lock", target_file, {"update": 0, "install": 8}, True),
            ("Plugins.lock", os.path.join(outside, "nothing yet"), {"update": 0, "install": 8}, True),
        ]:
            with self.subTest(link=place, to=os.path.basename(target)):
                self.fresh_plugins()
                shutil.rmtree(os.path.join(self.local, staging), ignore_errors=True)
                shutil.rmtree(outside, ignore_errors=True)
                os.makedirs(outside)
                with open(target_file, "wb") as f:
                    f.write(b"not the stand-in's\n")
                with open(os.path.join(outside, "keep.txt"), "wb") as f:
                    f.write(b"kept")
                before = read_folder(outside)
                link = self.link(place, target)
                server = self.serve()
                run = self.drive(server.url, "--install")
                server.stop()
                self.assertEqual(results, {k: run.results[k] for k in results}, run.text)
                self.assertEqual(before, read_folder(outside), run.text)
                self.assertFalse(os.path.exists(os.path.join(outside, "nothing yet")))
                self.assertEqual(["/av64bit/manifest"] if asked else [], server.requests[:1])
                # The patch is asked for from the shipped file's content, never from the target's.
                with open(target_file, "rb") as f:
                    self.assertFalse(any(hashlib.sha256(f.read()).hexdigest() in r for r in server.requests))
                os.remove(link)

    # A Plugins folder that leads elsewhere may be an administrator's choice: the set is
    # installed there, and what the stand-in does not know stays.
    def test_a_plugins_folder_that_is_a_link_is_updated_where_it_leads(self):
        elsewhere = os.path.join(self.root, "definitions elsewhere")
        shutil.move(self.plugins, elsewhere)
        foreign = {"notes.txt": b"notes", "data.bin": b"\x00\x01", os.path.join("sub", "keep.bkdef"): b"kept"}
        for name, content in foreign.items():
            os.makedirs(os.path.dirname(os.path.join(elsewhere, name)), exist_ok=True)
            with open(os.path.join(elsewhere, name), "wb") as f:
                f.write(content)
        self.link("Plugins", elsewhere)
        server = self.serve()
        run = self.drive(server.url, "--install")
        self.assertEqual(0, run.results["install"], run.text)
        self.assertTrue(os.path.islink(self.plugins))
        files = read_folder(elsewhere)
        self.assertEqual(foreign, {name: files.pop(name) for name in foreign})
        self.assertEqual({"reference.bkdef": sample("reference.bkdef"), "updates.bkdef": sample("updates.bkdef"),
                          "update.txt": f"Version: {SAMPLE_VERSION}\r\n".encode()}, files)
        self.assertEqual(["0", "30"], self.drive(server.url).events)
        server.stop()
        self.assertEqual("/av64bit/manifest", server.requests[0])

    # The swap renames between UpdateStaging and Plugins, which no rename does across volumes: a
    # Plugins that leads to another volume is refused before anything moves (code 8), and the
    # downloads are freed rather than fetched again by every later run only to fail the same way.
    def test_a_plugins_folder_that_leads_to_another_volume_is_refused_before_anything_moves(self):
        elsewhere = os.path.join(mount_tmpfs(self, os.path.join(self.root, "other volume"), "4m"), "Plugins")
        shutil.move(self.plugins, elsewhere)
        self.link("Plugins", elsewhere)
        before = read_folder(elsewhere)
        server = self.serve()
        run = self.drive(server.url, "--install", debug=True)
        server.stop()
        self.assertEqual({"update": 0, "install": 8}, {k: run.results[k] for k in ("update", "install")}, run.text)
        self.assertIn("another volume", run.text)
        self.assertTrue(os.path.islink(self.plugins))
        self.assertEqual(before, read_folder(elsewhere))
        self.assertFalse(os.path.exists(os.path.join(self.local, "UpdateStaging")))
        self.assertIn("/av64bit/files/updates.bkdef", server.requests)

    # --- two updates of one folder ---

    # A failed call lets the staging folder go when it returns, not when the interface goes: a
    # second update of the folder does not wait for it.
    def test_a_failed_call_lets_the_folder_go_at_once(self):
        down = f"http://127.0.0.1:{free_port()}/av64bit"
        for call, flags, result in [("update", [], 4), ("install", ["--no-update", "--install"], 9)]:
            with self.subTest(failed=call):
                go = os.path.join(self.root, "go-" + call)
                first = self.start(down, *flags, "--hold-until", windows_path(go))
                self.assertEqual(result, first.wait_until(lambda run: call in run.results).results.get(call))
                second = self.start(down)
                run = second.wait_until(lambda run: "update" in run.results or WAITING_EVENT in run.events)
                self.assertEqual(["0", "80 answer 0"], run.events, run.text)
                self.assertEqual(4, run.results["update"], run.text)
                with open(go, "w"):
                    pass
                self.assertIn("destroy 0", first.finish().text)

    # The first has staged a set and not installed it yet: the second waits (and says so to the
    # callback), then finds the set up to date; a first that is killed meanwhile lets it go on.
    def test_a_second_update_of_the_folder_waits_for_the_first(self):
        server = self.serve()
        for release in ("install", "kill"):
            with self.subTest(release=release):
                self.fresh_plugins()
                go = os.path.join(self.root, "go-" + release)
                first = self.start(server.url, "--install", "--pause-until", windows_path(go))
                self.assertEqual(0, first.wait_until(lambda run: "update" in run.results).results.get("update"))
                second = self.start(server.url, "--install")
                run = second.wait_until(lambda run: WAITING_EVENT in run.events)
                self.assertEqual(["0", WAITING_EVENT], run.events, run.text)
                if release == "install":
                    with open(go, "w"):
                        pass
                    self.assertEqual(0, first.finish().results["install"])
                    run = second.finish()
                    self.assertEqual(["0", WAITING_EVENT, "30"], run.events, run.text)
                    self.assertEqual({"update": 0, "install": 9}, {k: run.results[k] for k in ("update", "install")})
                else:
                    first.stop()
                    run = second.finish()
                    self.assertEqual(["0", WAITING_EVENT], run.events[:2], run.text)
                    self.assertEqual({"update": 0, "install": 0}, {k: run.results[k] for k in ("update", "install")})
                self.assert_sample_installed()

    # --- the interface ---

    def test_bad_option_values_and_calls_out_of_order_are_refused(self):
        run = self.drive("http://127.0.0.1:1/av64bit", "--probe-options")
        self.assertEqual([
            "option unknown option 601: 2",
            "option null server url: 1",
            "option https url: 1",
            "option url without host: 1",
            "option not a url: 1",
            "option null local path: 1",
            "option empty local path: 1",
            "option null use version id: 1",
            "option null use patches: 1",
            "option null callback: 0",
            "option null context: 0",
            "update without server: 3",
            "install without local path: 3",
            "destroy 0",
            "destroy again 1",
        ], run.lines)


if __name__ == "__main__":
    unittest.main()
