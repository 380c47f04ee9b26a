"""Custom scans through the real program and the reference engine: console lines, actions on
the EICAR test file (also while another program holds it open), the XML result, read-only mode
and a missing engine; and a boot scan, whose sectors Wine never lets the engine read."""

import os
import shutil
import subprocess
import tempfile
import unittest

from programfolder import TEST_FOLDER, read_folder, wait_for_output
from scanfolder import ScanTest, ScanResult, eicar, windows_path

EICAR_THREAT = "EICAR-Test-File (not a virus)"
PREPENDER = b"BRISKEN-PREPENDER-SAMPLE:"
HOLDER = os.path.join(TEST_FOLDER, "FileHolder.exe")
# How long the holder may take to open its file, Wine's start included: only a hang takes longer.
HOLDER_START_SECONDS = 60


def object_line(path: str) -> str:
    return f"Object Path: {path}. Parent Containers: . Inner Object: \n"


class CustomScanTest(ScanTest):

    def setUp(self):
        super().setUp()
        self.eicar = self.data_file("eicar.com", eicar())
        self.clean = self.data_file("clean.txt", b"nothing to see")

    def test_scan_without_action_lists_both_files_and_records_the_virus(self):
        run = self.scan("--custom", windows_path(self.data))

        self.assertIn(object_line(windows_path(self.eicar)), run.stdout)
        self.assertIn(object_line(windows_path(self.clean)), run.stdout)
        result_path = self.folder.file("Scan Results", self.results()[0])
        self.assertIn("\nScan complete.You can access scan result here: " + windows_path(result_path) + "\n",
                      run.stdout)
        result = self.only_result()
        self.assertEqual(result.scan_info["ScanType"], "Custom")
        self.assertEqual(result.paths, [windows_path(self.data)])
        self.assertEqual(len(result.objects), 1)
        infected = result.objects[0]
        self.assertEqual(infected["ObjectPath"], windows_path(self.eicar))
        self.assertEqual(infected["ThreatName"], EICAR_THREAT)
        self.assertEqual((infected["ScanStatus"], infected["ScanAction"]), ("Infected", "None"))
        self.assertTrue(os.path.exists(self.eicar))
        self.assertTrue(self.results()[0].startswith("Custom-") and self.results()[0].endswith(".xml"))

    def test_next_objects_status_does_not_land_on_an_infected_record(self):
        # Without an action the engine sends no follow-up: the clean file scanned next must not
        # turn the recorded virus into a clean object.
        self.scan("--custom", windows_path(self.eicar) + ";" + windows_path(self.clean))

        [infected] = self.only_result().objects
        self.assertEqual((infected["ObjectPath"], infected["ScanStatus"]), (windows_path(self.eicar), "Infected"))

    def test_actions_reach_the_engine_and_its_outcome_the_result(self):
        cases = [
            # option, ScanStatus, ScanAction, EICAR file left in place, in the quarantine
            ("--quarantine", "Moved", "QuarMove", False, True),
            ("--delete", "Deleted", "Delete", False, False),
            ("--disinfect", "ScanFailed", "Disinfect", True, False),  # EICAR cannot be disinfected
        ]
        for option, status, action, stays, quarantined in cases:
            with self.subTest(option=option):
                self.data_file("eicar.com", eicar())
                self.fresh_folder()
                self.scan("--custom", windows_path(self.eicar), option)

                objects = self.only_result().objects
                self.assertEqual([(o["ScanStatus"], o["ScanAction"]) for o in objects], [(status, action)])
                self.assertEqual(os.path.exists(self.eicar), stays)
                self.assertEqual(os.path.exists(self.folder.file("Quarantine", "eicar.com")), quarantined)

    def test_action_on_a_file_another_program_holds_open_is_whole_or_not_done(self):
        cases = [
            # how the other program holds the file (sharing it for reading, writing and
            # deletion), option, ScanStatus: the action completes or leaves the file as it was
            ("read", "--quarantine", "Moved"),
            ("read", "--delete", "Deleted"),
            ("attributes", "--quarantine", "Moved"),
            ("write", "--quarantine", "ScanFailed"),  # the engine shares it for reading only
            ("write", "--delete", "ScanFailed"),
        ]
        for mode, option, status in cases:
            with self.subTest(mode=mode, option=option):
                self.fresh_folder()
                folder = tempfile.mkdtemp(prefix=f"{mode}{option}-", dir=self.data)
                infected = os.path.join(folder, "eicar.com")
                with open(infected, "wb") as f:
                    f.write(eicar())
                holder = self.hold(infected, mode)
                try:
                    self.scan("--custom", windows_path(infected), option)
                    [record] = self.only_result().objects
                    self.assertEqual(record["ScanStatus"], status)
                    self.assert_where(infected, status, "while it is held")
                finally:
                    holder.stdin.close()
                    holder.wait(timeout=120)
                self.assert_where(infected, status, "once it is let go")
                self.assertEqual(os.listdir(folder), ["eicar.com"] if status == "ScanFailed" else [])

    # Runs on one folder whose infected files another program holds open: the first to act
    # renames each on its way out and marks it for deletion, and so it stays until the holder
    # lets go. No run takes such a file for one of the user's (Windows refuses to open it, Wine
    # does not), whether it starts after that run or beside it: each file is acted on once.
    def test_runs_on_held_files_act_once_on_each_and_never_on_a_name_they_made(self):
        cases = [
            # the runs' options, started one after the other (else at once)
            (("--quarantine", "--quarantine"), True),
            (("--quarantine", "--delete"), True),
            (("--delete", "--delete"), True),
            (("--delete", "--quarantine"), True),
            (("--quarantine", "--quarantine", "--quarantine"), False),
            (("--quarantine", "--delete"), False),
        ]
        for options, one_after_the_other in cases:
            with self.subTest(options=options, one_after_the_other=one_after_the_other):
                self.fresh_folder()
                folder = tempfile.mkdtemp(prefix="held-", dir=self.data)
                files = {os.path.join(folder, name): eicar() + name.encode() for name in ("e1.com", "e2.com")}
                holders = []
                for path, content in files.items():
                    with open(path, "wb") as f:
                        f.write(content)
                    holders.append(self.hold(path, "read"))
                try:
                    runs = self.scan_side_by_side(folder, options, one_after_the_other)
                finally:
                    for holder in holders:
                        holder.stdin.close()
                        holder.wait(timeout=120)

                acted = {path: 0 for path in files}
                for printed, result in runs:
                    self.assertNotIn("~deleting", printed)
                    for record in result.objects:
                        self.assertIn(record["ObjectPath"], [windows_path(path) for path in files])
                        if record["ScanStatus"] in ("Moved", "Deleted"):
                            acted[os.path.join(folder, record["ObjectPath"].rsplit("\\", 1)[1])] += 1
                self.assertEqual({path: 1 for path in files}, acted)
                quarantine = self.folder.file("Quarantine")
                stored = sorted(os.listdir(quarantine)) if os.path.isdir(quarantine) else []
                self.assertTrue(set(stored) <= {"e1.com", "e1.com.origin", "e2.com", "e2.com.origin"}, stored)
                if one_after_the_other:
                    self.assertEqual(4 if options[0] == "--quarantine" else 0, len(stored))
                    self.assertEqual([[]] * (len(runs) - 1), [result.objects for _, result in runs[1:]])
                for name in stored:
                    path = os.path.join(folder, name.removesuffix(".origin"))
                    with open(os.path.join(quarantine, name), "rb") as f:
                        expected = windows_path(path).encode() + b"\r\n" if name.endswith(".origin") else files[path]
                        self.assertEqual(expected, f.read())
                self.assertEqual([], os.listdir(folder))

    # The notes of removals are the engine's own files in Removals of the program folder: a link
    # in the folder's place, or at a note's name (anyone can foresee it: the file's volume and
    # file index), is never written, read or deleted through, at the removal, while the file is
    # held, or when a later removal takes the notes of gone files back. What it leads to stays.
    def test_removal_notes_are_never_written_or_deleted_through_a_link(self):
        volume = self.removal_notes_volume()
        for place, leads_to in [("folder", "a folder"), ("note", "a file"), ("note", "nothing yet")]:
            with self.subTest(link=place, to=leads_to):
                self.fresh_folder()
                outside = tempfile.mkdtemp(prefix="outside-", dir=self.data)
                with open(os.path.join(outside, "a file"), "wb") as f:
                    f.write(b"not the engine's")
                held = os.path.join(tempfile.mkdtemp(prefix="held-", dir=self.data), "eicar.com")
                with open(held, "wb") as f:
                    f.write(eicar())
                removals = self.folder.file("Removals")
                if place == "folder":
                    os.symlink(outside, removals)
                else:
                    os.makedirs(removals)
                    link = os.path.join(removals, f"{volume}-{os.stat(held).st_ino:016x}")
                    os.symlink(os.path.join(outside, leads_to), link)
                holder = self.hold(held, "read")
                try:
                    self.scan("--custom", windows_path(held), "--delete")
                    self.assertEqual(["Deleted"], [o["ScanStatus"] for o in self.results_and_clear()])
                    self.assertEqual({"a file": b"not the engine's"}, read_folder(outside), "while it is held")
                finally:
                    holder.stdin.close()
                    holder.wait(timeout=120)
                self.assertFalse(os.path.exists(held))
                self.scan("--custom", windows_path(self.data_file("later.com", eicar())), "--delete")
                self.assertEqual(["Deleted"], [o["ScanStatus"] for o in self.results_and_clear()])
                self.assertEqual({"a file": b"not the engine's"}, read_folder(outside), "at a later removal")
                self.assertTrue(os.path.islink(removals if place == "folder" else link))

    def removal_notes_volume(self) -> str:
        """The volume part of the names of notes in the data folder (as Wine gives the volume's
        serial number), from the note of a removal while its file is held; its file index is the
        file's Unix one."""
        held = os.path.join(tempfile.mkdtemp(prefix="held-", dir=self.data), "eicar.com")
        with open(held, "wb") as f:
            f.write(eicar())
        index = os.stat(held).st_ino
        holder = self.hold(held, "read")
        try:
            self.scan("--custom", windows_path(held), "--delete")
            [note] = os.listdir(self.folder.file("Removals"))
        finally:
            holder.stdin.close()
            holder.wait(timeout=120)
        volume, _, noted_index = note.partition("-")
        self.assertEqual(f"{index:016x}", noted_index)
        return volume

    def results_and_clear(self) -> list:
        """The infected objects of the only saved result, which goes."""
        objects = self.only_result().objects
        os.remove(self.folder.file("Scan Results", self.results()[0]))
        return objects

    def scan_side_by_side(self, folder: str, options, one_after_the_other: bool) -> list:
        """Scans of the folder with these options, each with its own report, one after the other
        or all at once; returns each run's console text and report."""
        reports = [os.path.join(self.data, f"run-{i}.xml") for i in range(len(options))]
        runs = []
        for option, report in zip(options, reports):
            output = tempfile.TemporaryFile()
            self.addCleanup(output.close)
            process = self.folder.start("--custom", windows_path(folder), option, "--scan-result",
                                        windows_path(report), output=output)
            runs.append((process, output))
            if one_after_the_other:
                process.wait(timeout=120)
        results = []
        for (process, output), report in zip(runs, reports):
            process.wait(timeout=120)
            output.seek(0)
            with open(report, "rb") as f:
                results.append((output.read().decode("cp1252", errors="replace"), ScanResult(f.read())))
            os.remove(report)
        return results

    def hold(self, path: str, mode: str) -> subprocess.Popen:
        """FileHolder.exe holding path open until its standard input is closed."""
        output = tempfile.TemporaryFile()
        self.addCleanup(output.close)
        holder = subprocess.Popen(["wine", HOLDER, windows_path(path), mode], stdin=subprocess.PIPE, stdout=output,
                                  stderr=subprocess.DEVNULL)
        if wait_for_output(holder, output, b"holding", HOLDER_START_SECONDS):
            return holder
        holder.kill()
        output.seek(0)
        self.fail(f"the holder did not take {path}: {output.read()!r}")

    def assert_where(self, infected: str, status: str, when: str):
        """The file is where status says: in its place, or in the quarantine (with the record of
        its origin) and gone from its place, or deleted."""
        quarantined = self.folder.file("Quarantine", "eicar.com")
        self.assertEqual(os.path.exists(infected), status == "ScanFailed", when)
        self.assertEqual(os.path.exists(quarantined), status == "Moved", when)
        if status == "Moved":
            with open(quarantined, "rb") as f:
                self.assertEqual(f.read(), eicar())
            with open(quarantined + ".origin", "rb") as f:
                self.assertEqual(f.read(), windows_path(infected).encode("utf-8") + b"\r\n")
        if status == "ScanFailed":
            with open(infected, "rb") as f:
                self.assertEqual(f.read(), eicar())

    def test_disinfect_repairs_a_disinfectable_file(self):
        infected = self.data_file("prepended.txt", PREPENDER + b"original content")
        self.scan("--custom", windows_path(infected), "--disinfect")

        [record] = self.only_result().objects
        self.assertEqual((record["ScanStatus"], record["ScanAction"]), ("Disinfected", "Disinfect"))
        with open(infected, "rb") as f:
            self.assertEqual(f.read(), b"original content")

    def test_stdout_copy_is_the_saved_document_between_line_ends(self):
        run = self.scan("--custom", windows_path(self.data), "--scan-result-stdout")

        document = self.only_result().data.decode("utf-8")
        self.assertIn("Scan started\n", run.stdout)
        self.assertIn("\n" + document + "\n\nScan complete.You can access scan result here: ", run.stdout)

    def test_given_result_path_and_an_unwritable_one(self):
        given = os.path.join(self.data, "out", "result.xml")
        run = self.scan("--custom", windows_path(self.clean), "--scan-result", windows_path(given))
        self.assertEqual(ScanResult(open(given, "rb").read()).paths, [windows_path(self.clean)])
        self.assertIn("You can access scan result here: " + windows_path(given) + "\n", run.stdout)

        run = self.scan("--custom", windows_path(self.clean), "--scan-result", windows_path(self.data) + "\\")
        self.assertIn("\nError: Couldn't save scan result. Please check scan result path\n", run.stdout)

    def test_a_result_name_is_taken_as_windows_stores_it(self):
        refused = "The scan result path does not end in a name that a file can have: "
        cases = [
            # given name, file saved (None: refused), what must not be there afterwards
            ("r.xml.", "r.xml", None),
            ("r.xml . ", "r.xml", None),
            ("r.xml:ads", None, "r.xml"),
            ("CON", None, None),
            ("aux.xml", None, None),
        ]
        for given, saved, absent in cases:
            with self.subTest(given=given):
                self.fresh_folder()
                out = tempfile.mkdtemp(prefix="out-", dir=self.data)
                path = windows_path(out) + "\\" + given
                run = self.scan("--custom", windows_path(self.clean), "--scan-result", path)

                if saved:
                    self.assertIn("You can access scan result here: " + windows_path(out) + "\\" + saved + "\n",
                                  run.stdout)
                    self.assertEqual(os.listdir(out), [saved])
                    self.assertTrue(os.path.isfile(os.path.join(out, saved)))
                else:
                    self.assertIn("\nError: Couldn't save scan result. Please check scan result path\n", run.stdout)
                    self.assertEqual(os.listdir(out), [])
                    self.assertIn("Error: " + refused + path, self.log_lines())

    def test_a_failed_action_is_named_on_the_console_and_logged(self):
        deep = self.data
        while len(windows_path(deep)) < 300:  # beyond MAX_PATH
            deep = os.path.join(deep, "d" * 60)
        os.makedirs(deep)
        cases = [
            # option, folder of the EICAR file, the engine's reason of a failure, ScanStatus
            ("--quarantine", self.data, "PathError", "ScanFailed"),
            ("--disinfect", self.data, "Disinfect", "ScanFailed"),  # EICAR cannot be disinfected
            ("--delete", deep, None, "Deleted"),
        ]
        for option, folder, reason, status in cases:
            with self.subTest(option=option):
                self.fresh_folder()
                if option == "--quarantine":  # a file in its place: the folder cannot be made
                    self.folder.write("Quarantine", b"not a folder")
                infected = os.path.join(folder, "eicar.com")
                with open(infected, "wb") as f:
                    f.write(eicar())

                run = self.scan("--custom", windows_path(infected), option)

                self.assertEqual(run.returncode, 0)
                action, path = option[2:], windows_path(infected)
                failed = f"Couldn't {action} object: {path}. Error: {reason}\n" if reason else ""
                self.assertIn("Scan started\n" + object_line(path) * 2 + failed + "\nScan complete.", run.stdout)
                [record] = self.only_result().objects
                self.assertEqual(record["ScanStatus"], status)
                self.assertEqual(os.path.exists(infected), status == "ScanFailed")
                logged = [line for line in self.log_lines() if line.startswith("Error: ")]
                self.assertEqual(logged, [f"Error: Couldn't {action} object. Path: {path}. Parent Containers: . "
                                          f"Inner Object: . Reason: {reason}"] if reason else [])

    def test_a_scan_without_definitions_does_not_start(self):
        # The engine would know only its built-in EICAR signature: every other threat would pass.
        shutil.rmtree(self.folder.file("Plugins"))
        run = self.scan("--custom", windows_path(self.eicar))

        self.assertTrue(run.stdout.startswith("Initializing engine, please wait...\nCouldn't perform scan. Error: "),
                        run.stdout)
        self.assertIn("std::exception::what: Couldn't initialize scanner. Error: NoPlugins\n", run.stdout)
        self.assertNotIn("Scan started", run.stdout)
        self.assertEqual(self.results(), [])

    def test_a_path_that_cannot_be_scanned_is_named_on_the_console_and_the_scan_goes_on(self):
        # The report lists a refused path like a clean one: the console line, in read-only mode
        # the only trace, tells them apart. The exit code stays 0.
        missing = windows_path(os.path.join(self.data, "missing"))
        refused = f"Couldn't scan path: {missing}. Error: PathError\n"
        cases = [
            # paths, console lines after "Scan started", infected objects
            ([missing], refused, 0),
            ([missing, windows_path(self.eicar)], refused + object_line(windows_path(self.eicar)), 1),
        ]
        for read_only in (False, True):
            for paths, lines, infected in cases:
                with self.subTest(read_only=read_only, paths=len(paths)):
                    self.fresh_folder()
                    if read_only:
                        self.write_config("read_only=1\n")
                    run = self.scan("--custom", ";".join(paths), "--scan-result-stdout")

                    self.assertEqual(run.returncode, 0)
                    self.assertIn("Scan started\n" + lines + "\n<?xml", run.stdout)
                    start = run.stdout.index("<?xml")
                    result = ScanResult(run.stdout[start:run.stdout.index("</Summary>\n") + 10].encode("utf-8"))
                    self.assertEqual(result.paths, paths)
                    self.assertEqual(len(result.objects), infected)
                    log = [line for line in self.log_lines() if line.startswith("Error")]
                    self.assertEqual(log, [] if read_only else
                                     [f"Error: Couldn't perform custom scan. Error: PathError. Path: {missing}"])

    def test_name_outside_the_code_page_loses_nothing_after_it(self):
        cyrillic = self.data_file("\u0416\u0443\u043a.com", eicar())
        os.remove(self.eicar)
        run = self.scan("--custom", windows_path(self.data))

        prefix = "Object Path: " + windows_path(self.data) + "\\"
        lines = [l for l in run.stdout.split("\n") if l.startswith(prefix)]
        self.assertEqual(len(lines), 2, run.stdout)
        self.assertTrue(any(l.endswith(".com. Parent Containers: . Inner Object: ") for l in lines), lines)
        self.assertIn(object_line(windows_path(self.clean)), run.stdout)
        self.assertIn("\nScan complete.You can access scan result here: ", run.stdout)
        self.assertIn("Request duration: ", run.stdout)
        [record] = self.only_result().objects
        self.assertEqual(record["ObjectPath"], windows_path(cyrillic))

    def test_read_only_writes_nothing_and_ends_with_scan_complete(self):
        self.write_config("read_only=1\n")
        run = self.scan("--custom", windows_path(self.eicar), "--quarantine")

        self.assertIn(object_line(windows_path(self.eicar)), run.stdout)
        self.assertIn("\nScan complete.\nRequest duration: ", run.stdout)
        for name in ("Scan Results", "Logs", "Temp", "Quarantine"):
            self.assertFalse(os.path.exists(self.folder.file(name)), name)

    def test_read_only_stdout_copy(self):
        self.write_config("read_only=1\n")
        run = self.scan("--custom", windows_path(self.eicar), "--scan-result-stdout")

        start = run.stdout.index("<?xml")
        end = run.stdout.index("</Summary>\n") + len("</Summary>\n")
        result = ScanResult(run.stdout[start:end].encode("utf-8"))
        self.assertEqual(result.objects[0]["ThreatName"], EICAR_THREAT)
        self.assertTrue(run.stdout[end:].startswith("\n\nScan complete.\nRequest duration: "), run.stdout[end:])
        self.assertFalse(os.path.exists(self.folder.file("Scan Results")))

    def test_missing_engine_module_is_reported_with_its_path(self):
        os.remove(self.folder.file("scan.dll"))
        run = self.scan("--custom", windows_path(self.data))

        module = windows_path(self.folder.file("scan.dll"))
        self.assertTrue(run.stdout.startswith("Couldn't perform scan. Error: "), run.stdout)
        self.assertIn("std::exception::what: " + module + "\n", run.stdout)
        self.assertNotIn("Initializing engine", run.stdout)
        self.assertEqual(self.results(), [])
        log = "\n".join(self.log_lines())
        self.assertTrue(log.startswith("Error: ") and module in log, log)


class BootScanTest(ScanTest):

    def test_each_boot_sector_the_engine_could_not_read_is_named_on_the_console(self):
        # The engine's call succeeds and reports the sector as not scanned: the console must say
        # so, in read-only mode too, where nothing else would.
        failed = "".join(f"{object_line(root)}Couldn't scan boot sector of drive: {root}. Error: FileRead\n"
                         for root in ("C:\\", "Z:\\"))
        for read_only in (False, True):
            with self.subTest(read_only=read_only):
                self.fresh_folder()
                if read_only:
                    self.write_config("read_only=1\n")
                run = self.scan("--boot")

                self.assertEqual(run.returncode, 0)
                self.assertIn("Scan started\n" + failed + "\nScan complete.", run.stdout)


if __name__ == "__main__":
    unittest.main()
