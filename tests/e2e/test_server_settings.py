"""The server addresses given to the set-up the way the README says, as environment variables,
reach the build: the set-up configures a build folder of its own with them and builds a probe
that asks both servers as the program does (the program's definitions server URL, its
component service proxy at its built-in endpoint), and each server sees the request. An address
that is no host:port stops the configuration with a message that names the setting."""

import os
import shutil
import subprocess
import tempfile
import unittest

from componentservice import ComponentService
from definitionsserver import DefinitionsServer
from winehost import run_wine

REPOSITORY = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
SETUP = os.path.join(REPOSITORY, "scripts", "lib", "setup.sh")
# Kept between runs, so that a run with unchanged sources builds nothing.
BUILD_FOLDER = os.environ.get("BRISKEN_SETTINGS_BUILD_FOLDER", "")
# Not the defaults, so that only the settings can have sent the requests there.
DEFINITIONS_PORT, COMPONENTS_PORT = 47621, 47622
SETTINGS = {"BRISKEN_DEFINITIONS_HOST": f"127.0.0.1:{DEFINITIONS_PORT}",
            "BRISKEN_COMPONENTS_HOST": f"127.0.0.1:{COMPONENTS_PORT}"}
# Far above what a build of the probe takes on a busy machine.
BUILD_SECONDS = 900


def build_probe(folder: str, settings: dict) -> subprocess.CompletedProcess:
    """The set-up's configuration and build of the probe in folder, with settings in its
    environment in place of any the test run has."""
    environment = {k: v for k, v in os.environ.items() if k not in SETTINGS}
    environment.update(settings, BRISKEN_BUILD_DIR=folder)
    return subprocess.run(["bash", "-c", f'source "{SETUP}" && build_project ServerSettingsProbe'], env=environment,
                          stdin=subprocess.DEVNULL, capture_output=True, text=True, timeout=BUILD_SECONDS)


class ServerSettingsTest(unittest.TestCase):

    def setUp(self):
        if not BUILD_FOLDER:
            self.skipTest("BRISKEN_SETTINGS_BUILD_FOLDER is not set")

    def test_a_build_with_other_addresses_asks_the_servers_there(self):
        built = build_probe(BUILD_FOLDER, SETTINGS)
        self.assertEqual(built.returncode, 0, built.stderr)
        probe = os.path.join(BUILD_FOLDER, "test-bin", "ServerSettingsProbe.exe")

        peer = ComponentService("--listen", SETTINGS["BRISKEN_COMPONENTS_HOST"])
        self.addCleanup(peer.close)
        with DefinitionsServer(port=DEFINITIONS_PORT) as server:
            code, output = run_wine(probe)
            server.wait_for_request("/av64bit")

        self.assertEqual(code, 0, output)
        self.assertEqual(output.replace("\r\n", "\n"),
                         f"definitions http://127.0.0.1:{DEFINITIONS_PORT}/av64bit 404\n"
                         f"components http://127.0.0.1:{COMPONENTS_PORT}/components.asmx 0\n")
        with open(peer.file("request.http"), encoding="latin-1") as f:
            self.assertEqual(f.readline().strip(), "POST /components.asmx HTTP/1.1")

    def test_an_address_that_is_no_host_and_port_stops_the_configuration(self):
        cases = [("BRISKEN_DEFINITIONS_HOST", '127.0.0.1:1" "x'), ("BRISKEN_COMPONENTS_HOST", "http://127.0.0.1:8080"),
                 ("BRISKEN_COMPONENTS_HOST", "127.0.0.1:8080/path"),
                 # The component service client speaks IPv4 only.
                 ("BRISKEN_COMPONENTS_HOST", "[::1]:8080")]
        for name, value in cases:
            with self.subTest(name, value=value):
                # The set-up keeps its logs beside the build folder.
                scratch = tempfile.mkdtemp(prefix="brisken-settings-")
                self.addCleanup(shutil.rmtree, scratch, True)
                folder = os.path.join(scratch, "build")
                built = build_probe(folder, {**SETTINGS, name: value})
                self.assertNotEqual(built.returncode, 0)
                # CMake breaks its message into lines.
                self.assertIn(f'{name} must be host or host:port (such as 127.0.0.1:8080), not "{value}"',
                              " ".join(built.stderr.split()))
                self.assertFalse(os.path.exists(os.path.join(folder, "build.ninja")))


if __name__ == "__main__":
    unittest.main()
