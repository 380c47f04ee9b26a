"""Actions of the reference engine through the real program on trees a hostile user could
make: read-only and full file systems (small mounts made here), links out of the scanned tree,
sparse files, and objects the engine cannot read. Runs as root, as CI does; a machine that
refuses mounts skips the tests that need one."""

import os
import subprocess
import tempfile
import unittest

from programfolder import TEST_FOLDER
from scanfolder import ScanTest, eicar, windows_path
from smalldisk import fill, mount_tmpfs

PREPENDER = b"BRISKEN-PREPENDER-SAMPLE:"


class HostileTreeTest(ScanTest):

    def mount_tmpfs(self, path: str, size: str) -> str:
        return mount_tmpfs(self, path, size)

    def make_read_only(self, path: str, kind: str):
        """kind "remount": the tmpfs at path becomes read-only; "bind": path is covered by a
        read-only view of itself."""
        commands = {"remount": [["mount", "-o", "remount,ro", path]],
                    "bind": [["mount", "--bind", path, path], ["mount", "-o", "remount,bind,ro", path]]}[kind]
        for command in commands:
            done = subprocess.run(command, stdin=subprocess.DEVNULL, capture_output=True)
            if done.returncode != 0:
                self.skipTest(f"this machine refuses {' '.join(command)}: {done.stderr.decode(errors='replace')}")
            if command[1] == "--bind":
                self.addCleanup(subprocess.run, ["umount", "-l", path], stdin=subprocess.DEVNULL,
                                capture_output=True)

    def statuses(self):
        return [o["ScanStatus"] for o in self.only_result().objects]

    def quarantined(self):
        folder = self.folder.file("Quarantine")
        return sorted(os.listdir(folder)) if os.path.isdir(folder) else []

    def test_nothing_is_reported_gone_from_a_read_only_file_system(self):
        for option in ("--delete", "--quarantine"):
            for kind in ("remount", "bind"):
                with self.subTest(option=option, kind=kind):
                    self.fresh_folder()
                    mount = self.mount_tmpfs(os.path.join(self.data, f"ro{option}{kind}"), "1m")
                    infected = os.path.join(mount, "eicar.com")
                    with open(infected, "wb") as f:
                        f.write(eicar())
                    self.make_read_only(mount, kind)

                    run = self.scan("--custom", windows_path(infected), option)

                    self.assertEqual(len(self.results()), 1,
                                     f"exit code {run.returncode}, printed {run.stdout!r} {run.stderr!r}")
                    self.assertEqual(self.statuses(), ["ScanFailed"])
                    with open(infected, "rb") as f:
                        self.assertEqual(f.read(), eicar())
                    self.assertEqual(self.quarantined(), [])

    def test_repair_on_a_full_disk_leaves_the_original_byte_for_byte(self):
        mount = self.mount_tmpfs(os.path.join(self.data, "full"), "256k")
        infected = os.path.join(mount, "prepended.bin")
        original = PREPENDER + os.urandom(160 * 1024)  # the repair needs as much room again
        with open(infected, "wb") as f:
            f.write(original)

        self.scan("--custom", windows_path(infected), "--disinfect")

        self.assertEqual(self.statuses(), ["ScanFailed"])
        with open(infected, "rb") as f:
            self.assertEqual(f.read(), original)
        self.assertEqual(os.listdir(mount), ["prepended.bin"])

    def test_repair_keeps_a_sparse_file_sparse(self):
        # 64 MB that are mostly a hole, on a file system of 8 MB: written out in full, the
        # repair could not fit.
        mount = self.mount_tmpfs(os.path.join(self.data, "sparse"), "8m")
        infected = os.path.join(mount, "sparse.bin")
        size = 64 * 1024 * 1024
        with open(infected, "wb") as f:
            f.write(PREPENDER + b"head")
            f.seek(size - 4)
            f.write(b"tail")

        self.scan("--custom", windows_path(infected), "--disinfect")

        self.assertEqual(self.statuses(), ["Disinfected"])
        self.assertEqual(os.path.getsize(infected), size - len(PREPENDER))
        with open(infected, "rb") as f:
            self.assertEqual(f.read(4), b"head")
            f.seek(-4, os.SEEK_END)
            self.assertEqual(f.read(), b"tail")
        self.assertLess(os.stat(infected).st_blocks * 512, 1024 * 1024)

    def test_links_out_of_the_scanned_tree_are_not_followed_by_actions(self):
        for option in ("--delete", "--quarantine"):
            with self.subTest(option=option):
                self.fresh_folder()
                outside = tempfile.mkdtemp(prefix="outside-", dir=self.data)
                tree = tempfile.mkdtemp(prefix="tree-", dir=self.data)
                target = os.path.join(outside, "eicar.com")
                with open(target, "wb") as f:
                    f.write(eicar())
                link = os.path.join(tree, "link.com")
                os.symlink(target, link)

                self.scan("--custom", windows_path(tree), option)

                [record] = self.only_result().objects
                self.assertEqual((record["ObjectPath"], record["ScanStatus"]), (windows_path(link), "ScanFailed"))
                with open(target, "rb") as f:
                    self.assertEqual(f.read(), eicar())
                self.assertEqual(os.readlink(link), target)
                self.assertEqual(self.quarantined(), [])

    def test_quarantine_on_a_full_disk_leaves_no_partial_copy(self):
        self.mount_tmpfs(self.folder.file("Quarantine"), "64k")
        infected = self.data_file("big.com", eicar() + os.urandom(256 * 1024))
        with open(infected, "rb") as f:
            original = f.read()

        self.scan("--custom", windows_path(infected), "--quarantine")

        self.assertEqual(self.statuses(), ["ScanFailed"])
        self.assertEqual(self.quarantined(), [])
        with open(infected, "rb") as f:
            self.assertEqual(f.read(), original)

    def test_quarantined_file_names_its_origin(self):
        infected = self.data_file("eicar.com", eicar())

        self.scan("--custom", windows_path(infected), "--quarantine")

        self.assertEqual(self.statuses(), ["Moved"])
        self.assertEqual(self.quarantined(), ["eicar.com", "eicar.com.origin"])
        with open(self.folder.file("Quarantine", "eicar.com.origin"), "rb") as f:
            self.assertEqual(f.read(), windows_path(infected).encode("utf-8") + b"\r\n")

    def test_a_report_that_cannot_be_saved_whole_leaves_the_earlier_one(self):
        earlier = b'<?xml version="1.0"?>\n<Summary>the earlier report</Summary>\n'
        clean = windows_path(self.data_file("clean.txt", b"nothing to see"))
        cases = [
            # where the report goes, the reason the log gives (the system's code)
            ("full", "(error 112)"),  # a disk too full for the report
            ("read-only", "(error 5)"),
        ]
        for kind, code in cases:
            for name in ("r.xml", "fresh.xml"):  # over an earlier report, and at a new path
                with self.subTest(kind=kind, name=name):
                    self.fresh_folder()
                    mount = self.mount_tmpfs(os.path.join(self.data, f"{kind}-{name}"), "64k")
                    with open(os.path.join(mount, "r.xml"), "wb") as f:
                        f.write(earlier)
                    if kind == "full":
                        fill(mount)
                    else:
                        self.make_read_only(mount, "remount")
                    before = sorted(os.listdir(mount))
                    path = windows_path(os.path.join(mount, name))

                    run = self.scan("--custom", clean, "--scan-result", path)

                    self.assertIn("\nError: Couldn't save scan result. Please check scan result path\n", run.stdout)
                    with open(os.path.join(mount, "r.xml"), "rb") as f:
                        self.assertEqual(f.read(), earlier)
                    self.assertEqual(sorted(os.listdir(mount)), before)
                    [line] = [line for line in self.log_lines() if line.startswith("Error: ")]
                    self.assertTrue(line.startswith("Error: Couldn't save scan result. Error: "), line)
                    self.assertTrue(line.endswith(f" {code}. Path: {path}"), line)

    def test_names_that_windows_reads_as_devices_are_scanned_as_files(self):
        # Opened by such a name, AUX and COM1 would hold the scan for good, NUL would read as empty.
        names = ["aux.txt", "com1", "nul", "con.com"]
        for name in names:
            self.data_file(name, eicar())

        run = self.scan("--custom", windows_path(self.data), "--quarantine")

        self.assertIn("\nScan complete.", run.stdout)
        objects = self.only_result().objects
        self.assertEqual(sorted(o["ObjectPath"] for o in objects),
                         sorted(windows_path(os.path.join(self.data, name)) for name in names))
        self.assertEqual({o["ScanStatus"] for o in objects}, {"Moved"})
        self.assertEqual(os.listdir(self.data), [])

    def test_objects_the_engine_cannot_read_are_reported_as_not_scanned(self):
        # The program records only infected objects, so the engine's reports are read by the
        # engine test, which scans the tree made here.
        tree = os.path.join(self.data, "unreadable")
        os.makedirs(tree)
        for name in ("q?", "star*"):  # names Wine lists but cannot open
            with open(os.path.join(tree, name), "wb") as f:
                f.write(b"a few bytes")
        with open(os.path.join(tree, "readable-trail."), "wb") as f:  # the long form reaches it
            f.write(b"a clean file")
        os.makedirs(os.path.join(tree, "pi|pe"))  # a folder Wine cannot list
        with open(os.path.join(tree, "pi|pe", "inside.txt"), "wb") as f:
            f.write(b"never reached")
        with open(os.path.join(tree, "readable.txt"), "wb") as f:
            f.write(b"a clean file")
        deep = tree  # folders Wine still lists, holding a file whose path is beyond its reach
        while len(deep) + 201 < 4000:
            deep = os.path.join(deep, "l" * 200)
        os.makedirs(deep)
        folder = os.open(deep, os.O_RDONLY)  # the file's full path is too long even here
        try:
            file = os.open("f" * 240, os.O_WRONLY | os.O_CREAT, dir_fd=folder)
            os.write(file, b"too deep")
            os.close(file)
        finally:
            os.close(folder)
        env = dict(os.environ, BRISKEN_UNREADABLE_TREE=windows_path(tree), BRISKEN_UNREADABLE_REPORTS="6")

        with tempfile.TemporaryFile() as out:
            done = subprocess.run(
                ["wine", os.path.join(TEST_FOLDER, "ReferenceEngineSafetyTest.exe"),
                 "--gtest_filter=*PreparedTreeOfUnreadableObjects*"],
                cwd=TEST_FOLDER, env=env, stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.STDOUT,
                timeout=300)
            out.seek(0)
            output = out.read().decode("utf-8", errors="replace")
        self.assertEqual(done.returncode, 0, output)
        self.assertIn("[  PASSED  ] 1 test", output)

        # Through the program, every such object prints like a scanned one, followed by a line
        # that says it was skipped; the log says why; only those.
        run = self.scan("--custom", windows_path(tree))
        skipped = [line for line in self.log_lines() if line.startswith("Error: Object not scanned. Path: ")]
        shown = [line for line in run.stdout.split("\n") if line.startswith("Couldn't scan object: ")]
        for lines in (skipped, shown):
            self.assertEqual(len(lines), 4, lines)  # two names, the folder and the deep file
            for name in ("q?", "star*", "pi|pe"):
                self.assertTrue(any(name in line for line in lines), (name, lines))
            for name in ("readable.txt", "readable-trail."):
                self.assertFalse(any(name in line for line in lines), (name, lines))


if __name__ == "__main__":
    unittest.main()
