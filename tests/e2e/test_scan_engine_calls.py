"""Quick, full, boot and custom scans through the real program on the recording engine: the
engine calls each scan kind makes, the scan paths of the result, the engine's working files,
and how failed engine calls are logged."""

import os
import tempfile
import unittest

from scanfolder import RecordingScanTest, windows_path

SYSTEM_CALL = "ScanObject|0|<System>|0|outs=zero|pid=self|<System>"


def read_file(path):
    if not os.path.exists(path):
        return None
    with open(path, "rb") as f:
        return f.read()


def failure_lines(run):
    """The console lines of failed engine calls, in order."""
    return [line for line in run.stdout.split("\n") if line.startswith("Couldn't scan ")]


def scan_calls(calls):
    return [c for c in calls if c.startswith(("Scan", "DestroyInstance"))]


class ScanKindTest(RecordingScanTest):

    def test_quick_scans_the_system_object(self):
        run = self.scan("--quick")

        self.assertEqual(scan_calls(self.calls()), [SYSTEM_CALL, "DestroyInstance|valid"])
        result = self.only_result()
        self.assertEqual(result.paths, ["<System>"])
        self.assertIn(b'<Path Value="&lt;System&gt;" />', result.data)
        self.assertEqual(result.scan_info["ScanType"], "Quick")
        self.assertTrue(self.results()[0].startswith("Quick-"))
        self.assertIn("Scan started\n", run.stdout)

    def test_scan_kind_precedence_quick_full_custom_boot(self):
        for args, scan_type in [
            (["--boot", "--custom", "C:\\nowhere", "--full", "--quick"], "Quick"),
            (["--boot", "--custom", "C:\\nowhere", "--full"], "Full"),
            (["--boot", "--custom", "C:\\nowhere"], "Custom"),
        ]:
            with self.subTest(args=args):
                self.fresh_folder()
                self.scan(*args)
                self.assertEqual(self.only_result().scan_info["ScanType"], scan_type)

    def test_full_scans_the_system_object_then_each_drive(self):
        self.scan("--full")

        calls = scan_calls(self.calls())
        self.assertEqual(calls[0], SYSTEM_CALL)
        self.assertEqual(calls[-1], "DestroyInstance|valid")
        roots = [c.split("|")[2] for c in calls if c.startswith("ScanPath|")]
        self.assertIn("C:\\", roots)
        self.assertIn("Z:\\", roots)
        for root in roots:  # Wine's C: and Z: are fixed drives: boot sector first, then the path
            boot = f"ScanObject|1|{root}|0|outs=set|pid=self|(null)"
            self.assertEqual(calls[calls.index(boot) + 1], f"ScanPath|0|{root}|pid=self")
        self.assertEqual(self.only_result().paths, roots)

    def test_boot_scans_the_boot_sector_of_each_fixed_drive(self):
        self.scan("--boot")

        calls = scan_calls(self.calls())
        roots = [c.split("|")[2] for c in calls if c.startswith("ScanObject|1|")]
        self.assertIn("C:\\", roots)
        self.assertTrue(calls[0].startswith("ScanObject|1|C:\\|0|outs=zero|"), calls)
        self.assertEqual(self.only_result().paths, roots)
        self.assertFalse([c for c in calls if c.startswith(("ScanPath", "ScanObject|0"))])

    def test_failed_scan_calls_are_logged_shown_and_the_scan_goes_on(self):
        cases = [
            # arguments, engine results, error lines of the log, failure lines of the console,
            # scan paths in the result
            (("--quick",), "ScanObject=0xC0000011",
             ["Error: Couldn't perform system scan. Error: PathError. Object: <System>"],
             ["Couldn't scan object: <System>. Error: PathError"], 1),
            (("--custom", "Z:\\a;Z:\\b"), "ScanPath=0x40000004",
             ["Error: Couldn't perform custom scan. Error: MaxFiles. Path: Z:\\a",
              "Error: Couldn't perform custom scan. Error: MaxFiles. Path: Z:\\b"],
             ["Couldn't scan path: Z:\\a. Error: MaxFiles", "Couldn't scan path: Z:\\b. Error: MaxFiles"], 2),
            # A code without a name shows as its number; a name from outside is masked.
            (("--custom", "Z:\\a\x1b[2J\x07"), "ScanPath=0x7",
             ["Error: Couldn't perform custom scan. Error: 7. Path: Z:\\a?[2J?"],
             ["Couldn't scan path: Z:\\a?[2J?. Error: 7"], 1),
            (("--custom", "Z:\\a"), "DestroyInstance=0xC0000012",
             ["Error: Couldn't destroy scanner instance. Error: InvalidHandle"], [], 1),
        ]
        for args, results, errors, shown, paths in cases:
            with self.subTest(results=results):
                self.fresh_folder()
                run = self.scan(*args, results=results)
                self.assertEqual([l for l in self.log_lines() if l.startswith("Error")], errors)
                self.assertEqual(failure_lines(run), shown)
                self.assertIn("\nScan complete.You can access scan result here: ", run.stdout)
                self.assertEqual(len(self.only_result().paths), paths)
                self.assertEqual(run.returncode, 0)

    def test_full_and_boot_scans_report_failed_calls_per_drive(self):
        run = self.scan("--full", results="ScanObject=0x40000001,ScanPath=0xC000001D")

        errors = [l for l in self.log_lines() if l.startswith("Error")]
        drives = self.only_result().paths  # all fixed under Wine: each has both calls
        self.assertEqual(errors, ["Error: Couldn't perform system scan. Error: Stopped. Object: <System>"]
                         + [line for drive in drives for line in (
                             f"Error: Couldn't perform boot scan. Error: Stopped. Drive: {drive}",
                             f"Error: Couldn't perform full scan. Error: PathAccess. Drive: {drive}")])
        self.assertEqual(failure_lines(run), ["Couldn't scan object: <System>. Error: Stopped"]
                         + [line for drive in drives for line in (
                             f"Couldn't scan boot sector of drive: {drive}. Error: Stopped",
                             f"Couldn't scan drive: {drive}. Error: PathAccess")])

        for config in ("", "read_only=1\n"):
            with self.subTest(config=config):
                self.fresh_folder()
                self.write_config(config)
                run = self.scan("--boot", results="ScanObject=0xC0000011")

                roots = [c.split("|")[2] for c in self.calls("ScanObject|1|")]
                self.assertIn("C:\\", roots)
                self.assertEqual(failure_lines(run),
                                 [f"Couldn't scan boot sector of drive: {root}. Error: PathError" for root in roots])
                self.assertIn("\nScan complete.", run.stdout)

    def test_scripted_reports_reach_the_result_with_their_follow_up(self):
        reports = ("*\tstatus=1\tpath=Z:\\d\\clean.txt\n"
                   "*\tstatus=3\tpath=Z:\\d\\bad.exe\tthreat=Bad\tthreatType=1\n"
                   "*\tstatus=5\tpath=Z:\\d\\bad.exe\n")
        run = self.scan("--custom", "Z:\\d", "--delete", reports=reports)

        self.assertIn("Object Path: Z:\\d\\bad.exe. Parent Containers: (null). Inner Object: (null)\n", run.stdout)
        self.assertEqual(self.calls("Report"), ["Report|1|Z:\\d\\clean.txt|action=-1",
                                                "Report|3|Z:\\d\\bad.exe|action=5",
                                                "Report|5|Z:\\d\\bad.exe|action=-1"])
        [record] = self.only_result().objects
        self.assertEqual((record["ThreatName"], record["ThreatType"], record["ScanStatus"], record["ScanAction"]),
                         ("Bad", "Spyware", "Deleted", "Delete"))


class EngineLifetimeTest(RecordingScanTest):

    def test_working_files_of_a_normal_run(self):
        cases = [
            # Plugins folder, cache file content before, cache file content after
            (False, None, None),
            (True, None, b""),
            (True, b"kept", b"kept"),
        ]
        for plugins, before, after in cases:
            with self.subTest(plugins=plugins, before=before):
                self.fresh_folder()
                cache = self.folder.file("Plugins", "cache.000")
                if not plugins:
                    for name in os.listdir(self.folder.file("Plugins")):
                        os.remove(self.folder.file("Plugins", name))
                    os.rmdir(self.folder.file("Plugins"))
                elif before is not None:
                    self.folder.write(os.path.join("Plugins", "cache.000"), before)
                self.scan("--custom", "Z:\\a")

                self.assertEqual(read_file(cache), after)
                self.assertFalse(os.path.exists(self.folder.file("Temp")))
                self.assertTrue(os.path.isdir(self.folder.file("Quarantine")))
                self.assertEqual(self.calls("Uninitialize"), ["Uninitialize"])

    def test_a_link_in_place_of_the_cache_file_is_not_followed(self):
        outside = tempfile.mkdtemp(prefix="outside-", dir=self.data)
        cases = [
            # where the link leads, what is there before (None: nothing)
            (os.path.join(outside, "made-here"), None),
            (os.path.join(outside, "kept"), b"the user's own"),
        ]
        for target, before in cases:
            with self.subTest(before=before):
                self.fresh_folder()
                if before is not None:
                    with open(target, "wb") as f:
                        f.write(before)
                cache = self.folder.file("Plugins", "cache.000")
                os.symlink(target, cache)

                self.scan("--custom", "Z:\\a")

                self.assertEqual(read_file(target), before)
                self.assertEqual(os.readlink(cache), target)
                self.assertEqual(self.calls("Uninitialize"), ["Uninitialize"])

    def test_read_only_initialises_with_the_engines_folder(self):
        engines = os.path.join(self.data, "engines")
        os.mkdir(engines)
        self.write_config(f"read_only=1\nengines_folder={windows_path(engines)}\n")
        self.scan("--custom", "Z:\\a")

        self.assertEqual(self.calls("Initialize"), ["Initialize|" + windows_path(engines) + "|"
                                                    + self.calls("Initialize")[0].split("|")[2]])
        for name in ("Temp", "Quarantine", "Scan Results", "Logs", os.path.join("Plugins", "cache.000")):
            self.assertFalse(os.path.exists(self.folder.file(name)), name)

    def test_failed_initialisation_is_reported_and_leaves_the_temporary_folder(self):
        run = self.scan("--custom", "Z:\\a", results="InitializeEx=0xC000100C")

        self.assertTrue(run.stdout.startswith("Initializing engine, please wait...\nCouldn't perform scan. Error: "),
                        run.stdout)
        self.assertIn("std::exception::what: Couldn't initialize scanner. Error: CouldNotInitialize\n", run.stdout)
        self.assertEqual(self.calls("Uninitialize"), [])
        self.assertTrue(os.path.isdir(self.folder.file("Temp")))
        self.assertTrue(self.log_lines()[0].startswith("Error: "))

    def test_failed_initialisation_names_its_operation_and_its_source_file_within_the_tree(self):
        for config, results, function in [
            ("", "InitializeEx=0xC000100C", "InitEx"),
            ("read_only=1\n", "Initialize=0xC0001007", "Init"),
        ]:
            with self.subTest(function):
                self.write_config(config)
                run = self.scan("--custom", "Z:\\a", results=results)

                self.assertRegex(run.stdout, r"\nCouldn't perform scan\. Error: Src/Scanner/Scanner\.cpp\(\d+\): "
                                 r"Throw in function void BriskenCommandLineScanner::Scanner::" + function + r"\(\)\n")

    def test_failed_instance_creation_is_reported_with_the_signed_code(self):
        run = self.scan("--custom", "Z:\\a", results="CreateInstance=0xC0000000")

        self.assertIn("Couldn't perform scan. Error: ", run.stdout)
        self.assertIn("std::exception::what: Couldn't create scanner. Error: -1073741824\n", run.stdout)
        self.assertEqual(self.calls("Scan"), [])
        self.assertEqual(self.results(), [])
        self.assertEqual(self.calls("Uninitialize"), ["Uninitialize"])


class MissingExportTest(RecordingScanTest):
    """Engines without some exports: the lookup names the export when the operation needs it."""

    def use_engine(self, name):
        self.engine = name
        self.install_engine()

    def test_missing_ext_callback_fails_the_scan_before_any_instance(self):
        self.use_engine("NoSetExtCallback.dll")
        run = self.scan("--custom", "Z:\\a")

        self.assertIn("Initializing engine completed\nScan started\nCouldn't perform scan. Error: ", run.stdout)
        self.assertIn("std::exception::what: ThreatScanner_SetExtCallback\n", run.stdout)
        self.assertEqual(self.calls("CreateInstance"), [])
        self.assertEqual(self.calls("Uninitialize"), ["Uninitialize"])

    def test_missing_initialise_fails_after_the_first_console_line(self):
        self.use_engine("NoInitialize.dll")
        run = self.scan("--custom", "Z:\\a")

        self.assertTrue(run.stdout.startswith("Initializing engine, please wait...\nCouldn't perform scan. Error: "),
                        run.stdout)
        self.assertIn("std::exception::what: ThreatScanner_InitializeEx\n", run.stdout)

    def test_missing_scan_function_still_destroys_the_instance(self):
        self.use_engine("NoScanPath.dll")
        run = self.scan("--custom", "Z:\\a")

        self.assertIn("std::exception::what: ThreatScanner_ScanPath\n", run.stdout)
        self.assertEqual(self.calls("DestroyInstance"), ["DestroyInstance|valid"])

    def test_missing_uninitialise_is_logged_and_the_temporary_folder_still_removed(self):
        self.use_engine("NoUninitialize.dll")
        run = self.scan("--custom", "Z:\\a")

        self.assertIn("\nScan complete.You can access scan result here: ", run.stdout)
        self.assertFalse(os.path.exists(self.folder.file("Temp")))
        log = "\n".join(self.log_lines())
        self.assertTrue(log.startswith("Error: ") and "ThreatScanner_Uninitialize" in log, log)


if __name__ == "__main__":
    unittest.main()
