"""The component service peer (StandIns/ComponentService) started for one test with the answer
it needs, on the program's default endpoint. Tests that start it take the CTest resource lock
component-service."""

import os
import shutil
import subprocess
import sys
import tempfile
import time
import xml.etree.ElementTree as ElementTree

from serverdown import ServerDown

REPO = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
PEER = os.path.join(REPO, "StandIns", "ComponentService", "component_service.py")
# The program's default endpoint, where the peer listens by default.
DEFAULT_ADDRESS = ("127.0.0.1", 47612)


class ComponentService:
    # The resource lock orders only this build's tests; a peer of another build on the same
    # machine may hold the port for a while, so a peer that cannot listen yet is started again.
    START_SECONDS = 120

    def __init__(self, *answer):
        self.state = tempfile.mkdtemp(prefix="brisken-peer-")
        self.command = [sys.executable, PEER, "--state-folder", self.state, "--lifetime", "300", *answer]
        deadline = time.monotonic() + self.START_SECONDS
        self.process = self.start()
        while not os.path.exists(self.file("ready")):
            if time.monotonic() > deadline:
                self.close()
                raise AssertionError("the component service peer did not start: " + self.peer_log())
            if self.process.poll() is not None:
                time.sleep(0.5)
                self.process = self.start()
            time.sleep(0.05)

    def start(self):
        return subprocess.Popen(self.command, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL)

    def file(self, name: str) -> str:
        return os.path.join(self.state, name)

    def peer_log(self) -> str:
        try:
            with open(self.file("peer.log"), errors="replace") as f:
                return f.read()
        except OSError:
            return ""

    def request_fields(self):
        """The received request's fields as (name, text) pairs in the order they came, or None
        when no request arrived."""
        if not os.path.exists(self.file("request.xml")):
            return None
        request = next(e for e in ElementTree.parse(self.file("request.xml")).iter()
                       if e.tag.endswith("}request"))
        return [(child.tag.split("}")[-1], child.text or "") for child in request]

    def close(self):
        if self.process.poll() is None:
            open(self.file("stop"), "w").close()
            try:
                self.process.wait(20)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        shutil.rmtree(self.state, ignore_errors=True)


class ServiceDown(ServerDown):
    """No service at the default endpoint."""

    def __init__(self):
        super().__init__(DEFAULT_ADDRESS, ComponentService.START_SECONDS)

    def request_fields(self):
        return None
