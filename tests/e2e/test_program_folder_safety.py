"""What the program keeps in its own folder must not cost the user anything: linked Logs and
Temp folders, a Temp that runs side by side share, a result path inside Temp, and report values
that XML cannot carry."""

import os
import shutil
import tempfile

from programfolder import read_folder, wait_for_output
from scanfolder import RecordingScanTest, windows_path

ENGINE_WORKING_FILE = "engine-work.tmp"
EARLIER_LOG = "20160624T101530.txt"
USER_FILES = {"user.txt": b"the user's own", os.path.join("sub", "deeper.txt"): b"kept too",
              "20160624T101530.log": b"not a log of ours"}
SAVE_REFUSED = "\nError: Couldn't save scan result. Please check scan result path\n"
# How long a started scan may take to reach its scan call, Wine's start included: only a hang
# takes longer.
START_SECONDS = 60


class ProgramFolderSafetyTest(RecordingScanTest):

    def setUp(self):
        super().setUp()
        self.engine_env["BRISKEN_RECORDING_TEMP_FILE"] = ENGINE_WORKING_FILE

    def elsewhere(self, files=USER_FILES, own=()):
        """A folder outside the program folder with the user's files (and the program's own)."""
        folder = tempfile.mkdtemp(prefix="brisken-elsewhere-")
        self.addCleanup(shutil.rmtree, folder, True)
        for name, content in list(files.items()) + [(name, b"") for name in own]:
            os.makedirs(os.path.dirname(os.path.join(folder, name)), exist_ok=True)
            with open(os.path.join(folder, name), "wb") as f:
                f.write(content)
        return folder

    def test_a_link_in_place_of_or_inside_logs_and_temp_keeps_what_it_leads_to(self):
        cases = [
            # program folder entry, link at the entry itself or inside it, the user's files there,
            # run, the program's own file put there beforehand
            ("Logs", "itself", USER_FILES, ["--help"], EARLIER_LOG),
            ("Logs", "itself", {}, ["--help"], None),
            ("Logs", "inside", USER_FILES, ["--help"], None),
            ("Temp", "itself", USER_FILES, ["--custom", "Z:\\d"], None),  # the engine adds its own
            ("Temp", "itself", {}, ["--custom", "Z:\\d"], None),
            ("Temp", "inside", USER_FILES, ["--custom", "Z:\\d"], None),
        ]
        for entry, where, files, args, own in cases:
            with self.subTest(entry=entry, where=where, files=bool(files)):
                self.fresh_folder()
                target = self.elsewhere(files, own=[own] if own else [])
                link = self.folder.file(entry)
                if where == "inside":
                    os.makedirs(link)
                    link = os.path.join(link, "inner")
                os.symlink(target, link)

                self.scan(*args)

                self.assertTrue(os.path.isdir(target))
                self.assertEqual(read_folder(target), files)

    def test_an_engine_stop_leaves_temp_to_the_runs_still_using_it(self):
        # A scan's engine is held in its scan call, its working file in Temp, while an entry
        # appears there (as a vendor engine's unpacked archive would) and --definitions-info
        # starts and stops its own engine beside it.
        temp = self.folder.file("Temp")
        gate = os.path.join(self.data, "gate")
        scan = self.start_held_scan(gate)
        try:
            with open(os.path.join(temp, "probe"), "wb") as f:
                f.write(b"unpacked meanwhile")

            run = self.folder.run("--definitions-info", env=dict(self.engine_environment(),
                                                                  BRISKEN_RECORDING_TEMP_FILE="info-work.tmp"))

            self.assertIn("Definitions Info:", run.stdout)
            self.assertEqual(sorted(os.listdir(temp)), [ENGINE_WORKING_FILE, "info-work.tmp", "probe"])
        finally:
            open(gate, "w").close()
            scan.wait(timeout=120)
        self.assertEqual(len(self.results()), 1)
        self.assertFalse(os.path.exists(temp), "the last engine to stop removes Temp")

    def test_a_run_that_dies_leaves_temp_to_the_next_one(self):
        temp = self.folder.file("Temp")
        scan = self.start_held_scan(os.path.join(self.data, "never"))
        scan.kill()
        scan.wait(timeout=120)
        self.assertTrue(os.path.exists(os.path.join(temp, ENGINE_WORKING_FILE)))

        self.folder.run("--definitions-info", env=self.engine_environment())

        self.assertFalse(os.path.exists(temp))

    def start_held_scan(self, gate):
        """Starts a custom scan whose engine, once initialised, waits in its scan call until the
        file gate exists; returns when the scan has started."""
        output = tempfile.TemporaryFile()
        self.addCleanup(output.close)
        reports = f"Z:\\d\twait={windows_path(gate)}\tstatus=1\tpath=Z:\\d\n"
        scan = self.folder.start("--custom", "Z:\\d", output=output, env=self.engine_environment(reports=reports))
        if wait_for_output(scan, output, b"Scan started", START_SECONDS):
            return scan
        scan.kill()
        output.seek(0)
        self.fail(f"the scan did not start: {output.read()!r}")

    def test_result_path_inside_temp_is_refused_however_it_is_spelt(self):
        program = self.folder.windows_path()
        outside = tempfile.mkdtemp(prefix="brisken-result-")
        self.addCleanup(shutil.rmtree, outside, True)
        cases = [
            # name, result path (from the program folder's Windows path), saved
            ("absolute", lambda: program + "\\Temp\\r.xml", False),
            ("relative", lambda: "Temp\\r.xml", False),
            ("case", lambda: program + "\\tEMP\\R.XML", False),
            ("dots", lambda: program + "\\Scan Results\\..\\.\\Temp\\r.xml", False),
            ("separator at the end", lambda: program + "\\Temp\\", False),
            ("forward slashes", lambda: (program + "\\Temp\\r.xml").replace("\\", "/"), False),
            ("long path prefix", lambda: "\\\\?\\" + program + "\\Temp\\r.xml", False),
            ("folders to make", lambda: program + "\\Temp\\new\\deeper\\r.xml", False),
            ("through a link", lambda: self.link(os.path.join(outside, "toTemp"), self.folder.file("Temp"))
             + "\\r.xml", False),
            ("into a linked Temp", lambda: self.linked_temp() + "\\r.xml", False),
            ("a sibling named alike", lambda: program + "\\Temp2\\r.xml", True),
            ("a file named alike", lambda: program + "\\Temp.xml", True),
        ]
        for name, path, saved in cases:
            with self.subTest(name):
                self.fresh_folder()
                program = self.folder.windows_path()
                given = path()
                run = self.scan("--custom", "Z:\\d", "--scan-result", given)

                if saved:
                    self.assertIn("\nScan complete.You can access scan result here: ", run.stdout)
                    self.assertTrue(os.path.isfile(self.folder.file(*given[len(program) + 1:].split("\\"))), given)
                else:
                    self.assertNotIn("You can access scan result here", run.stdout)
                    self.assertIn(SAVE_REFUSED, run.stdout)

    def test_result_path_in_a_folder_the_program_empties_is_refused(self):
        # Logs is emptied at every start, UpdateStaging by every definitions update.
        cases = [
            # result path below the program folder, the log line's refusal, saved
            ("Logs\\r.xml", "lies in the log folder", False),
            ("logs\\new\\r.xml", "lies in the log folder", False),
            ("UpdateStaging\\r.xml", "lies in the definitions update's folder", False),
            ("Logs2\\r.xml", None, True),
        ]
        for below, refusal, saved in cases:
            with self.subTest(below):
                self.fresh_folder()
                given = self.folder.windows_path() + "\\" + below
                run = self.scan("--custom", "Z:\\d", "--scan-result", given)

                if saved:
                    self.assertIn("\nScan complete.You can access scan result here: " + given + "\n", run.stdout)
                    continue
                self.assertIn(SAVE_REFUSED, run.stdout)
                self.assertIn(f"Error: The scan result path {refusal}: {given}", self.log_lines())
                self.assertFalse(os.path.exists(self.folder.file("Logs", "new")))
                self.assertFalse(os.path.exists(self.folder.file("UpdateStaging")))

    def test_a_link_at_the_result_path_is_replaced_not_written_through(self):
        outside = tempfile.mkdtemp(prefix="brisken-outside-")
        self.addCleanup(shutil.rmtree, outside, True)
        target = os.path.join(outside, "target.xml")
        cases = [
            # the link at the result path, where it leads
            ("a link to a read-only file", target),
            ("a link leading nowhere", os.path.join(outside, "nowhere.xml")),
        ]
        for name, leads_to in cases:
            with self.subTest(name):
                self.fresh_folder()
                with open(target, "wb") as f:
                    f.write(b"the user's own")
                os.chmod(target, 0o444)
                results = os.path.join(self.data, "results")
                os.makedirs(results, exist_ok=True)
                link = os.path.join(results, "r.xml")
                if os.path.lexists(link):
                    os.remove(link)
                os.symlink(leads_to, link)

                run = self.scan("--custom", "Z:\\d", "--scan-result", windows_path(link))

                self.assertIn("You can access scan result here: " + windows_path(link) + "\n", run.stdout)
                self.assertFalse(os.path.islink(link))
                with open(link, "rb") as f:
                    self.assertTrue(f.read().startswith(b'<?xml version="1.0"?>\n<Summary>'))
                with open(target, "rb") as f:
                    self.assertEqual(f.read(), b"the user's own")
                self.assertEqual(sorted(os.listdir(outside)), ["target.xml"])
                self.assertEqual(os.listdir(results), ["r.xml"])

        # Scan Results a link to that file: the default report cannot go into it, and nothing does.
        self.fresh_folder()
        os.symlink(target, self.folder.file("Scan Results"))
        run = self.scan("--custom", "Z:\\d")
        self.assertIn(SAVE_REFUSED, run.stdout)
        with open(target, "rb") as f:
            self.assertEqual(f.read(), b"the user's own")
        self.assertTrue(os.path.islink(self.folder.file("Scan Results")))

    def test_a_refused_result_path_is_logged_without_its_control_characters(self):
        self.fresh_folder()
        given = self.folder.windows_path() + "\\Temp\\r\x1b[2J\x7f.xml"
        run = self.scan("--custom", "Z:\\d", "--scan-result", given)

        self.assertIn(SAVE_REFUSED, run.stdout)
        log = self.folder.log_bytes()
        self.assertIn(b"Error: The scan result path lies in the engine's temporary folder: "
                      + self.folder.windows_path().encode("cp1252") + b"\\Temp\\r?[2J?.xml\r\n", log)
        self.assertNotIn(b"\x1b", log)

    def link(self, link, target):
        os.symlink(target, link)
        return windows_path(link)

    def linked_temp(self):
        target = self.elsewhere()
        os.symlink(target, self.folder.file("Temp"))
        return windows_path(target)

    def test_control_characters_in_any_value_leave_a_readable_report(self):
        controls = "".join(chr(c) for c in range(1, 32) if c not in (9, 10, 13))
        forbidden = controls + "\ufffe\uffff"  # not characters at all
        cases = [
            # report field, result attribute
            ("path", "ObjectPath"),
            ("parent", "ParentContainers"),
            ("inner", "InnerObject"),
            ("threat", "ThreatName"),
            ("sysParent", "SysObjParentContainers"),
            ("sysInner", "SysObjInnerObject"),
            ("temp", "TempPath"),
        ]
        for field, attribute in cases:
            with self.subTest(field):
                self.fresh_folder()
                values = {"path": "Z:\\d\\bad.exe", field: "a" + forbidden + "\u00e9z"}
                reports = "*\tstatus=3\t" + "\t".join(f"{k}={v}" for k, v in values.items()) + "\n"
                self.scan("--custom", "Z:\\d\x01\x1b\x1f", reports=reports)

                result = self.only_result()  # parses, or fails here
                self.assertEqual(result.paths, ["Z:\\d???"])
                [record] = result.objects
                self.assertEqual(record[attribute], "a" + "?" * len(forbidden) + "\u00e9z")


if __name__ == "__main__":
    import unittest
    unittest.main()
