"""The set-up script's own decisions, driven through its functions in a scratch cache with stand-in
apt-get, cmake and Wine commands: which downloads it trusts and which it fetches again, when it
configures, which build output it shows, how it answers a cache it cannot write or that another
run is building, and how runs share a Wine prefix."""
import hashlib
import os
import pathlib
import shutil
import subprocess
import tempfile
import time
import unittest

REPO = pathlib.Path(__file__).resolve().parents[2]
SETUP = REPO / "scripts" / "lib" / "setup.sh"

# Debian source package, upstream version, cache folder and stamp, as the script knows them.
PACKAGES = [
    ("boost1.81", "1.81.0", "boost-1.81.0", ".built"),
    ("gsoap", "2.8.124", "gsoap-2.8.124", ".unpacked"),
    ("pugixml", "1.13", "pugixml-1.13", ".unpacked"),
]

# A stand-in apt-get: "source" copies the packages named from $FAKE_MIRROR into the working folder.
FAKE_APT_GET = """#!/bin/sh
case " $* " in
*" source "*)
    for name in "$@"; do
        for f in "$FAKE_MIRROR/${name}"_*; do [ -f "$f" ] && cp "$f" .; done
    done ;;
esac
exit 0
"""

# A stand-in cmake: records each call; a configure with -G Ninja leaves a build.ninja.
FAKE_CMAKE = """#!/bin/sh
echo "$*" >> "$FAKE_CMAKE_CALLS"
build=
while [ $# -gt 0 ]; do [ "$1" = -B ] && build=$2; shift; done
case "$(cat "$FAKE_CMAKE_CALLS" | tail -n 1)" in *"-G Ninja"*) touch "$build/build.ninja" ;; esac
exit 0
"""

# Stand-ins for wine and wineserver: each records its run and arguments; a persisting server stays
# in the background a while with whatever descriptors it inherited, as the real one does.
FAKE_WINE = """#!/bin/sh
echo "$FAKE_RUN $(basename "$0") $*" >> "$FAKE_WINE_CALLS"
case "$(basename "$0") $1" in "wineserver -p"*) sleep 5 & ;; esac
exit 0
"""


def write_source_package(folder, package, version):
    """A source package as Debian ships one: an upstream and a packaging tarball and a signed .dsc
    listing both (SHA-1 before SHA-256, as in the real files)."""
    files = {
        f"{package}_{version}.orig.tar.xz": bytes(range(256)) * 64,
        f"{package}_{version}-1.debian.tar.xz": b"debian packaging " * 40,
    }
    for name, data in files.items():
        (folder / name).write_bytes(data)

    def section(title, digest):
        lines = [f" {digest(data).hexdigest()} {len(data)} {name}" for name, data in files.items()]
        return [f"{title}:"] + lines

    dsc = ["-----BEGIN PGP SIGNED MESSAGE-----", "Hash: SHA512", "", "Format: 3.0 (quilt)",
           f"Source: {package}", f"Version: {version}-1"]
    dsc += section("Checksums-Sha1", hashlib.sha1) + section("Checksums-Sha256", hashlib.sha256)
    dsc += section("Files", hashlib.md5) + ["", "-----BEGIN PGP SIGNATURE-----", "", "c2lnbmF0dXJl",
                                            "-----END PGP SIGNATURE-----", ""]
    (folder / f"{package}_{version}-1.dsc").write_text("\n".join(dsc))


def truncate(path):
    path.write_bytes(path.read_bytes()[: path.stat().st_size // 2])


def flip_byte(path):
    data = bytearray(path.read_bytes())
    data[100] ^= 0xFF
    path.write_bytes(bytes(data))


class SetupScript(unittest.TestCase):
    def setUp(self):
        scratch = tempfile.TemporaryDirectory(prefix="brisken-setup-test-")
        self.addCleanup(scratch.cleanup)
        self.root = pathlib.Path(scratch.name)
        self.cache = self.root / "cache"
        self.src = self.cache / "src"
        self.mirror = self.root / "mirror"
        self.mirror.mkdir()
        self.bin = self.root / "bin"
        self.bin.mkdir()
        for name, text in (("apt-get", FAKE_APT_GET), ("cmake", FAKE_CMAKE), ("wine", FAKE_WINE),
                           ("wineserver", FAKE_WINE)):
            (self.bin / name).write_text(text)
            (self.bin / name).chmod(0o755)
        self.cmake_calls = self.root / "cmake-calls"
        self.wine_calls = self.root / "wine-calls"
        self.write_sources()
        for package, version, _, _ in PACKAGES:
            write_source_package(self.mirror, package, version)

    def write_sources(self, packages=PACKAGES):
        """The cache's source folder afresh, holding the packages whole."""
        shutil.rmtree(self.src, ignore_errors=True)
        self.src.mkdir(parents=True)
        for package, version, _, _ in packages:
            write_source_package(self.src, package, version)

    def finish_cache(self):
        for _, _, folder, stamp in PACKAGES:
            (self.cache / folder).mkdir(exist_ok=True)
            (self.cache / folder / stamp).touch()

    def bash(self, script, cache=None, **env):
        environment = dict(os.environ, BRISKEN_DEPS_CACHE=str(cache or self.cache),
                           BRISKEN_BUILD_DIR=str(self.root / "build"), FAKE_MIRROR=str(self.mirror),
                           FAKE_CMAKE_CALLS=str(self.cmake_calls), FAKE_WINE_CALLS=str(self.wine_calls),
                           PATH=f"{self.bin}:{os.environ['PATH']}", **env)
        return subprocess.run(["bash", "-c", f'source "{SETUP}"\n{script}'], env=environment,
                              stdin=subprocess.DEVNULL, capture_output=True, text=True, timeout=60)

    def boost_tarball(self, folder=None):
        return (folder or self.src) / "boost1.81_1.81.0.orig.tar.xz"


class SourceCheck(SetupScript):
    def test_a_download_is_trusted_only_as_its_dsc_lists_it(self):
        dsc = self.src / "boost1.81_1.81.0-1.dsc"
        cases = [
            ("intact", None, "size", True),
            ("intact", None, "sha256", True),
            ("upstream tarball cut short", lambda: truncate(self.boost_tarball()), "size", False),
            ("one byte changed", lambda: flip_byte(self.boost_tarball()), "size", True),
            ("one byte changed", lambda: flip_byte(self.boost_tarball()), "sha256", False),
            ("packaging tarball missing", lambda: (self.src / "boost1.81_1.81.0-1.debian.tar.xz").unlink(),
             "size", False),
            ("no .dsc", lambda: dsc.unlink(), "size", False),
            (".dsc cut before its checksums", lambda: dsc.write_text(dsc.read_text()[:120]), "size", False),
        ]
        for name, damage, check, trusted in cases:
            with self.subTest(name, check=check):
                self.write_sources(PACKAGES[:1])
                if damage:
                    damage()
                result = self.bash(f'source_intact "$DEPS_ROOT/src" boost1.81 1.81.0 {check} && echo trusted || echo not')
                self.assertEqual(result.stdout.strip(), "trusted" if trusted else "not", result.stderr)

    def test_the_upstream_tarball_is_found_through_the_dsc(self):
        result = self.bash("orig_tarball gsoap 2.8.124")
        self.assertEqual(result.stdout, f"{self.src}/gsoap_2.8.124.orig.tar.xz")


class Fetch(SetupScript):
    def fetched(self, **env):
        """The packages fetch_sources asks to download, with the download itself stubbed."""
        result = self.bash('download_sources() { echo "$*"; }\nfetch_sources', **env)
        self.assertEqual(result.returncode, 0, result.stderr)
        return result.stdout.strip()

    def test_only_what_is_damaged_or_still_needed_is_downloaded_again(self):
        boost_stamp = self.cache / "boost-1.81.0" / ".built"
        cases = [
            ("all intact", None, True, ""),
            ("boost cut short, Boost built", lambda: truncate(self.boost_tarball()), True, "boost1.81 1.81.0"),
            ("boost byte changed, Boost built", lambda: flip_byte(self.boost_tarball()), True, ""),
            ("boost byte changed, Boost to build", lambda: flip_byte(self.boost_tarball()), False,
             "boost1.81 1.81.0"),
            ("gsoap .dsc missing", lambda: (self.src / "gsoap_2.8.124-1.dsc").unlink(), True, "gsoap 2.8.124"),
        ]
        for name, damage, built, expected in cases:
            with self.subTest(name):
                self.write_sources()
                self.finish_cache()
                if not built:
                    boost_stamp.unlink()
                if damage:
                    damage()
                self.assertEqual(self.fetched(), expected)
                ready = self.bash("cache_ready && echo ready || echo not").stdout.strip()
                self.assertEqual(ready, "ready" if built and expected == "" else "not")

    def test_a_cut_tarball_in_the_cache_is_replaced_by_a_whole_download(self):
        self.finish_cache()
        truncate(self.boost_tarball())
        result = self.bash("fetch_sources")
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(self.boost_tarball().read_bytes(), self.boost_tarball(self.mirror).read_bytes())
        self.assertFalse((self.cache / "src.download").exists())

    def test_a_bad_download_fails_and_stays_out_of_the_cache(self):
        self.finish_cache()
        truncate(self.boost_tarball())
        flip_byte(self.boost_tarball(self.mirror))
        result = self.bash("fetch_sources")
        self.assertNotEqual(result.returncode, 0)
        self.assertIn("does not match its .dsc", result.stderr)
        self.assertNotEqual(self.boost_tarball().read_bytes(), self.boost_tarball(self.mirror).read_bytes())


class Configure(SetupScript):
    def configure_calls(self, cache=None):
        self.cmake_calls.unlink(missing_ok=True)
        result = self.bash("configure_project", cache=cache)
        self.assertEqual(result.returncode, 0, result.stderr)
        return self.cmake_calls.read_text().splitlines() if self.cmake_calls.exists() else []

    def test_configures_only_a_new_folder_or_changed_settings(self):
        build = self.root / "build"
        calls = self.configure_calls()
        self.assertEqual(len(calls), 1)
        self.assertIn("--fresh -G Ninja", calls[0])
        self.assertEqual(self.configure_calls(), [], "unchanged settings")
        other = self.root / "other-cache"
        calls = self.configure_calls(cache=other)
        self.assertEqual(len(calls), 1, "other dependency folders")
        self.assertIn(f"-DBRISKEN_BOOST_ROOT={other}/boost-1.81.0", calls[0])

        # A folder that an older set-up configured for Makefiles.
        shutil.rmtree(build)
        build.mkdir()
        (build / "CMakeCache.txt").write_text("CMAKE_GENERATOR:INTERNAL=Unix Makefiles\n")
        (build / "Makefile").touch()
        calls = self.configure_calls()
        self.assertEqual(len(calls), 1, "Makefile folder")
        self.assertIn("--fresh -G Ninja", calls[0])


class BuildMessages(SetupScript):
    def test_progress_is_dropped_and_compiler_messages_kept(self):
        cases = [
            ("[1/3] Building CXX object a.obj\n[2/3] Linking CXX executable a.exe\n", ""),
            ("ninja: no work to do.\n", ""),
            ("[1/2] Re-running CMake...\n-- Configuring done\n-- Generating done\n", ""),
            ("[1/2] Building CXX object a.obj\na.cpp:3:9: warning: unused variable 'x'\n    3 | int x;\n",
             "a.cpp:3:9: warning: unused variable 'x'\n    3 | int x;"),
            ("FAILED: a.obj\ng++ -c a.cpp\na.cpp:1:1: error: 'y' does not name a type\n"
             "ninja: build stopped: subcommand failed.\n",
             "FAILED: a.obj\ng++ -c a.cpp\na.cpp:1:1: error: 'y' does not name a type"),
        ]
        log = self.root / "build.log"
        for text, shown in cases:
            with self.subTest(text):
                log.write_text(text)
                self.assertEqual(self.bash(f'build_messages "{log}"').stdout.strip(), shown)


class LockAndHints(SetupScript):
    def test_an_unwritable_cache_names_the_setting_that_moves_it(self):
        for cache in ("/proc/brisken-deps", "/proc/self/brisken-deps"):
            with self.subTest(cache):
                result = self.bash("build_cache", cache=pathlib.Path(cache))
                self.assertNotEqual(result.returncode, 0)
                self.assertIn(f"cannot write to {cache}: set BRISKEN_DEPS_CACHE", result.stderr)

    def test_a_second_run_waits_for_the_one_building_the_cache(self):
        holder = subprocess.Popen(
            ["bash", "-c", f'source "{SETUP}"\ntake_lock l "$DEPS_ROOT/.lock" x\necho held\nsleep 1.5'],
            env=dict(os.environ, BRISKEN_DEPS_CACHE=str(self.cache)), stdin=subprocess.DEVNULL,
            stdout=subprocess.PIPE, text=True)
        self.addCleanup(holder.wait)
        self.assertEqual(holder.stdout.readline().strip(), "held")
        started = time.monotonic()
        result = self.bash('take_lock l "$DEPS_ROOT/.lock" "building the dependency cache" && echo got')
        waited = time.monotonic() - started
        holder.stdout.close()
        self.assertEqual(result.stdout.strip(), "got")
        self.assertIn("waiting for another run that is building the dependency cache", result.stderr)
        self.assertGreater(waited, 0.8)


class SharedPrefix(SetupScript):
    """A run stops the prefix's Wine server, and every Wine program with it, when it starts and
    when it ends: a second run in the same prefix must wait for the first, never kill its tests."""

    def start_first_run(self, then, seconds=""):
        """A run that has started its Wine server (start_wineserver SECONDS) and then does then;
        answers once it has started."""
        environment = dict(os.environ, BRISKEN_DEPS_CACHE=str(self.cache), FAKE_WINE_CALLS=str(self.wine_calls),
                           FAKE_RUN="first", BRISKEN_WINEPREFIX=str(self.root / "prefix"),
                           PATH=f"{self.bin}:{os.environ['PATH']}")
        run = subprocess.Popen(["bash", "-c", f'source "{SETUP}"\nstart_wineserver {seconds}\necho started\n{then}'],
                               env=environment, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                               stderr=subprocess.DEVNULL, text=True)
        self.addCleanup(run.wait)
        self.addCleanup(run.stdout.close)
        self.assertEqual(run.stdout.readline().strip(), "started")
        return run

    def second_run(self, seconds=""):
        started = time.monotonic()
        result = self.bash(f"start_wineserver {seconds} && echo got", FAKE_RUN="second",
                           BRISKEN_WINEPREFIX=str(self.root / "prefix"))
        self.assertEqual(result.stdout.strip(), "got", result.stderr)
        return result, time.monotonic() - started

    def test_a_second_run_waits_until_the_first_has_stopped_its_server(self):
        self.start_first_run("sleep 1.5")

        result, waited = self.second_run()

        self.assertIn("waiting for another run that is using the Wine prefix", result.stderr)
        self.assertGreater(waited, 1.0)
        runs = [line.split()[0] for line in self.wine_calls.read_text().splitlines()]
        self.assertEqual(runs, sorted(runs), "the first run's server stopped before the second touched it")
        self.assertIn("first wineserver -k", self.wine_calls.read_text())

    def test_only_runs_that_leave_the_server_be_share_the_prefix(self):
        # A scanner run (start_wineserver SECONDS) stops no server: two of them run side by side;
        # a test run, which stops the server, and a scanner run never do.
        cases = (("60", "60", False), ("60", "", True), ("", "60", True))
        for first, second, waits in cases:
            with self.subTest(first=first or "stops", second=second or "stops"):
                run = self.start_first_run("sleep 1.5", first)

                result, waited = self.second_run(second)

                run.wait()
                self.assertEqual("waiting for another run" in result.stderr, waits, result.stderr)
                self.assertEqual(waited > 1.0, waits, waited)

    def test_a_run_that_was_killed_leaves_the_prefix_free(self):
        # Its server and helpers live on (the stand-in server for seconds): they must not hold it.
        first = self.start_first_run("exec sleep 30")
        first.kill()

        _, waited = self.second_run()

        self.assertLess(waited, 4.0)


if __name__ == "__main__":
    unittest.main()
