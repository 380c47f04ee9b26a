"""The set-up script's own decisions, driven through its functions in a scratch cache with stand-in
apt-get, cmake and Wine commands: which downloads it trusts and which it fetches again, when it
configures, which build output it shows, how it answers a cache it cannot write or that another
run is building, and how runs share a Wine prefix. Whether a run waited is told by what happened
(its waiting message, the order of the runs' marks), never by how long it took."""
import hashlib
import os
import pathlib
import select
import shutil
import signal
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
# in the background a while with whatever descriptors it inherited, as the real one does, and
# records its process id.
FAKE_WINE = """#!/bin/sh
echo "$FAKE_RUN $(basename "$0") $*" >> "$FAKE_WINE_CALLS"
case "$(basename "$0") $1" in "wineserver -p"*)
    sleep "${FAKE_SERVER_SECONDS:-5}" &
    echo "$FAKE_RUN $!" >> "$FAKE_SERVERS" ;;
esac
exit 0
"""

# How long a run may take before the test counts it as hanging: far above what any run here
# takes, however busy the machine.
HANG_SECONDS = 60


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
        self.servers = self.root / "servers"
        self.events = self.root / "events"
        self.prefix = self.root / "prefix"
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

    def environment(self, cache=None, **env):
        """The scratch folders and stand-ins; nothing of a run that may be running these tests
        (scripts/test holds its own Wine prefix)."""
        inherited = {k: v for k, v in os.environ.items()
                     if k not in ("BRISKEN_PREFIX_HELD", "BRISKEN_DEFINITIONS_HOST", "BRISKEN_COMPONENTS_HOST")}
        return dict(inherited, BRISKEN_DEPS_CACHE=str(cache or self.cache), BRISKEN_BUILD_DIR=str(self.root / "build"),
                    BRISKEN_WINEPREFIX=str(self.prefix), FAKE_MIRROR=str(self.mirror),
                    FAKE_CMAKE_CALLS=str(self.cmake_calls), FAKE_WINE_CALLS=str(self.wine_calls),
                    FAKE_SERVERS=str(self.servers), EVENTS=str(self.events), PATH=f"{self.bin}:{os.environ['PATH']}",
                    **env)

    def bash(self, script, cache=None, **env):
        return subprocess.run(["bash", "-c", f'source "{SETUP}"\n{script}'], env=self.environment(cache, **env),
                              stdin=subprocess.DEVNULL, capture_output=True, text=True, timeout=HANG_SECONDS)

    def background(self, script, **env):
        """script started with the set-up sourced, not waited for."""
        return Background(self, script, self.environment(**env))

    def fresh_prefix(self, name):
        """A Wine prefix of its own for the next runs: no helper of an earlier case, which may
        hold the prefix a moment after its run has ended, makes them wait."""
        self.prefix = self.root / name
        self.events.unlink(missing_ok=True)
        self.wine_calls.unlink(missing_ok=True)

    def marks(self):
        """The marks that runs appended to $EVENTS, in order."""
        return self.events.read_text().splitlines() if self.events.exists() else []

    def boost_tarball(self, folder=None):
        return (folder or self.src) / "boost1.81_1.81.0.orig.tar.xz"


class Background:
    """A script run in the background, in a process group of its own that ends with the test; its
    output and errors are read as they arrive. A line on its standard input opens its gate (a
    "read" in the script). Every wait ends with a failure after HANG_SECONDS."""

    def __init__(self, test, script, env):
        self.process = subprocess.Popen(["bash", "-c", f'source "{SETUP}"\n{script}'], env=env,
                                        stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                        start_new_session=True)
        self.received = {self.process.stdout: b"", self.process.stderr: b""}
        self.open = [self.process.stdout, self.process.stderr]
        test.addCleanup(self.end)

    @property
    def output(self):
        return self.received[self.process.stdout].decode()

    @property
    def errors(self):
        return self.received[self.process.stderr].decode()

    def read(self, wait=0.0):
        """Takes what has arrived, waiting up to wait seconds for the first of it. Background
        programs of the run may keep its pipes open: their end is never waited for."""
        while self.open:
            ready, _, _ = select.select(self.open, [], [], wait)
            if not ready:
                return
            for stream in ready:
                chunk = os.read(stream.fileno(), 65536)
                if chunk:
                    self.received[stream] += chunk
                else:
                    self.open.remove(stream)
            wait = 0

    def wait_for_output(self, text):
        self._wait_until(lambda: text in self.output, text)

    def wait_for_error(self, text):
        self._wait_until(lambda: text in self.errors, text)

    def _wait_until(self, arrived, text):
        deadline = time.monotonic() + HANG_SECONDS
        while not arrived():
            left = deadline - time.monotonic()
            if left <= 0 or not self.open:
                raise AssertionError(f"no {text!r} from the run: {self.output!r} {self.errors!r}")
            self.read(left)

    def open_gate(self):
        self.process.stdin.write(b"\n")
        self.process.stdin.flush()

    def finish(self):
        """Waits for the run to end and answers its exit code."""
        try:
            self.process.wait(timeout=HANG_SECONDS)
        except subprocess.TimeoutExpired:
            self.read()
            raise AssertionError(f"the run hangs: {self.output!r} {self.errors!r}") from None
        self.read()
        return self.process.returncode

    def end(self):
        try:
            os.killpg(self.process.pid, signal.SIGKILL)
        except ProcessLookupError:
            pass
        self.process.wait()
        for stream in (self.process.stdin, self.process.stdout, self.process.stderr):
            stream.close()


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
    def configure_calls(self, cache=None, **env):
        self.cmake_calls.unlink(missing_ok=True)
        result = self.bash("configure_project", cache=cache, **env)
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


    def test_the_server_addresses_in_the_environment_are_settings_of_their_own(self):
        definitions, components = "BRISKEN_DEFINITIONS_HOST", "BRISKEN_COMPONENTS_HOST"
        # (the environment of a run, the server settings of its configuration or None for none)
        runs = [
            ({}, []),
            ({definitions: "10.0.0.5:8080"}, [f"-D{definitions}=10.0.0.5:8080"]),
            ({definitions: "10.0.0.5:8080"}, None),
            ({definitions: "10.0.0.5:8080", components: "10.0.0.7:80"},
             [f"-D{definitions}=10.0.0.5:8080", f"-D{components}=10.0.0.7:80"]),
            ({definitions: "10.0.0.5:8081", components: "10.0.0.7:80"},
             [f"-D{definitions}=10.0.0.5:8081", f"-D{components}=10.0.0.7:80"]),
            ({components: "10.0.0.7:80"}, [f"-D{components}=10.0.0.7:80"]),  # the other back to its default
            ({}, []),
            ({definitions: ""}, None),  # empty is not given
        ]
        for number, (env, settings) in enumerate(runs):
            with self.subTest(number, env=env):
                calls = self.configure_calls(**env)
                if settings is None:
                    self.assertEqual(calls, [])
                    continue
                self.assertEqual(len(calls), 1)
                self.assertIn("--fresh", calls[0])
                given = [a for a in calls[0].split() if a.startswith(("-DBRISKEN_DEFINITIONS", "-DBRISKEN_COMPONENTS"))]
                self.assertEqual(given, settings)


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
        holder = self.background('take_lock l "$DEPS_ROOT/.lock" x\necho held\nread -r _\necho "holder ends" >> "$EVENTS"')
        holder.wait_for_output("held\n")
        second = self.background('take_lock l "$DEPS_ROOT/.lock" "building the dependency cache"\n'
                                 'echo "second got it" >> "$EVENTS"')

        second.wait_for_error("waiting for another run that is building the dependency cache")
        holder.open_gate()

        self.assertEqual(second.finish(), 0, second.errors)
        self.assertEqual(self.marks(), ["holder ends", "second got it"])


class SharedPrefix(SetupScript):
    """A run stops the prefix's Wine server, and every Wine program with it, when it starts and
    when it ends: a second run in the same prefix must wait for the first, never kill its tests."""

    def start_first_run(self, seconds="", **env):
        """A run that has started its Wine server (start_wineserver SECONDS) and holds the prefix
        until its gate opens; answers once it has started."""
        run = self.background(f'start_wineserver {seconds}\necho started\nread -r _\necho "first ends" >> "$EVENTS"',
                              FAKE_RUN="first", **env)
        run.wait_for_output("started\n")
        return run

    def start_second_run(self, seconds="", **env):
        return self.background(f'start_wineserver {seconds}\necho "second got it" >> "$EVENTS"', FAKE_RUN="second",
                               **env)

    def assert_waited_for(self, first, second):
        """second says it waits, and gets the prefix only once first has ended."""
        second.wait_for_error("waiting for another run that is using the Wine prefix")
        first.open_gate()
        self.assertEqual(second.finish(), 0, second.errors)
        self.assertEqual(self.marks(), ["first ends", "second got it"])

    def test_a_second_run_waits_until_the_first_has_stopped_its_server(self):
        # Also a run started elsewhere that carries the first run's variable: it is no child of it.
        for carries_variable in (False, True):
            with self.subTest(carries_variable=carries_variable):
                self.fresh_prefix(f"prefix-{carries_variable}")
                first = self.start_first_run()
                env = {"BRISKEN_PREFIX_HELD": f"-x {first.process.pid} {self.prefix}"} if carries_variable else {}
                second = self.start_second_run(**env)

                self.assert_waited_for(first, second)
                runs = [line.split()[0] for line in self.wine_calls.read_text().splitlines()]
                self.assertEqual(runs, sorted(runs), "the first run's server stopped before the second touched it")
                self.assertIn("first wineserver -k", self.wine_calls.read_text())

    def test_only_runs_that_leave_the_server_be_share_the_prefix(self):
        # A scanner run (start_wineserver SECONDS) stops no server: two of them run side by side;
        # a test run, which stops the server, and a scanner run never do.
        cases = (("60", "60", False), ("60", "", True), ("", "60", True))
        for first_seconds, second_seconds, waits in cases:
            with self.subTest(first=first_seconds or "stops", second=second_seconds or "stops"):
                self.fresh_prefix(f"prefix-{first_seconds}-{second_seconds}")
                first = self.start_first_run(first_seconds)
                second = self.start_second_run(second_seconds)

                if waits:
                    self.assert_waited_for(first, second)
                else:
                    self.assertEqual(second.finish(), 0, second.errors)  # while the first holds the prefix
                    self.assertNotIn("waiting for another run", second.errors)
                    first.open_gate()
                    self.assertEqual(first.finish(), 0, first.errors)
                    self.assertEqual(self.marks(), ["second got it", "first ends"])

    def test_a_run_that_was_killed_leaves_the_prefix_free(self):
        # Its server and helpers live on (the stand-in server until the test ends): they must not
        # hold it.
        first = self.start_first_run(FAKE_SERVER_SECONDS=str(10 * HANG_SECONDS))
        first.process.kill()

        second = self.start_second_run()

        self.assertEqual(second.finish(), 0, second.errors)
        [server] = [int(line.split()[1]) for line in self.servers.read_text().splitlines() if line.startswith("first ")]
        self.assertTrue(running(server), "the first run's server still runs")

    def test_a_run_started_inside_one_that_holds_the_prefix_goes_on_at_once(self):
        # As bench/startup, which has the prefix alone, runs scripts/scanner.
        self.finish_cache()
        (self.root / "build" / "bin").mkdir(parents=True)
        exclusive = f'bash -c \'source "{SETUP}"; start_wineserver\''
        cases = [
            # how the outer run holds the prefix, the inner run, its exit code
            ("", f'"{REPO}/scripts/scanner" --help', 0),
            ("60", f'"{REPO}/scripts/scanner" --help', 0),
            ("", exclusive, 0),
            ("60", exclusive, 1),  # it could never have the prefix alone: it says so and ends
        ]
        for number, (seconds, inner, code) in enumerate(cases):
            with self.subTest(outer=seconds or "alone", inner=inner.split()[0]):
                self.fresh_prefix(f"prefix-{number}")
                self.prefix.mkdir()
                (self.prefix / ".ready").touch()
                outer = self.background(f'start_wineserver {seconds}\nif {inner} </dev/null; then echo "inner ended 0"; '
                                        f'else echo "inner ended $?"; fi', FAKE_RUN="outer")

                self.assertEqual(outer.finish(), 0, outer.errors)
                self.assertEqual(outer.output, f"inner ended {code}\n", outer.errors)
                self.assertNotIn("waiting for another run", outer.errors)
                if "scanner" in inner:
                    self.assertIn("outer wine ./BriskenCommandLineScanner.exe --help", self.wine_calls.read_text())
                if code:
                    self.assertIn(f"cannot have the Wine prefix {self.prefix} alone inside a run that shares it",
                                  outer.errors)


def running(pid):
    """Whether the process runs: it exists and has not ended (a zombie has)."""
    try:
        stat = pathlib.Path(f"/proc/{pid}/stat").read_text()
    except FileNotFoundError:
        return False
    return stat.rsplit(")", 1)[1].split()[0] != "Z"


if __name__ == "__main__":
    unittest.main()
