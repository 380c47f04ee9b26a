"""No server at a fixed loopback address, for a test of a server that is down."""

import socket
import struct
import threading
import time


class ServerDown:
    """The port is held listening, so that no server of another build on this machine can bind it
    meanwhile (a bound-only port would not stop one that reuses addresses, and a port merely found
    free may be taken a moment later), and every connection is reset as soon as it arrives."""

    def __init__(self, address, seconds: float = 120):
        self.socket = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        # Past the connections of earlier exchanges that linger on the port; not past a listener.
        self.socket.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        deadline = time.monotonic() + seconds
        while True:
            try:
                self.socket.bind(address)
                break
            except OSError:
                if time.monotonic() > deadline:
                    self.socket.close()
                    raise
                time.sleep(0.1)
        self.socket.listen()
        self.socket.settimeout(0.05)
        self.stopping = threading.Event()
        self.resetting = threading.Thread(target=self.reset_connections, daemon=True)
        self.resetting.start()

    def reset_connections(self):
        while not self.stopping.is_set():
            try:
                connection, _ = self.socket.accept()
            except (socket.timeout, OSError):
                continue
            connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
            connection.close()

    def close(self):
        self.stopping.set()
        self.resetting.join()
        self.socket.close()

    def __enter__(self):
        return self

    def __exit__(self, *exception):
        self.close()
