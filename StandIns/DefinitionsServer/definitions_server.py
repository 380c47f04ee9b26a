#!/usr/bin/env python3
"""A local definitions server for the update SDK stand-in (protocol in README.md).

Serves one definitions set from a folder over plain HTTP on loopback, with patches from
older sets, its manifest signed with the test key beside this script, and with the
misbehaviours that tests need. Standard library and the openssl command only."""

import argparse
import difflib
import hashlib
import os
import select
import socket
import struct
import subprocess
import sys
import tempfile
import threading
import time
import urllib.parse
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

HERE = os.path.dirname(os.path.abspath(__file__))
DEFAULT_SET = os.path.join(HERE, "SampleSet")
SHIPPED_DEFINITIONS = os.path.join(HERE, "..", "ReferenceEngine", "Plugins")
SET_FILE = "set.txt"
MAGIC = "brisken-definitions 1"
# The manifest's last line: what lacks it did not arrive whole.
CLOSING_LINE = "end"
# Begins the line before the closing one: the signature of all the text before it.
SIGNATURE_WORD = "signature"
# The key the update SDK stand-in takes as the maker's: a test key, published here.
TEST_KEY = os.path.join(HERE, "test-signing-key.pem")
# What --tamper adds to a file: every Windows program begins with these bytes.
TAMPERED_LINE = b"prefix Virus 4d5a9000 Evil.EveryProgram\n"
# The largest manifest a client takes.
MAX_MANIFEST_SIZE = 1 << 20
PATCH_MAGIC = b"BKPATCH1"
# How long a silent or stalling answer holds the connection at most.
SILENCE_LIMIT = 300


def sha256(data: bytes) -> str:
    return hashlib.sha256(data).hexdigest()


def make_patch(base: bytes, target: bytes) -> bytes:
    """A patch that turns base into target: copies of base's lines where they match, the
    rest inserted."""
    old = base.splitlines(keepends=True)
    new = target.splitlines(keepends=True)
    starts = [0]
    for line in old:
        starts.append(starts[-1] + len(line))
    out = [PATCH_MAGIC]
    matcher = difflib.SequenceMatcher(None, old, new, autojunk=False)
    for tag, i1, i2, j1, j2 in matcher.get_opcodes():
        if tag == "equal":
            out.append(b"C" + struct.pack("<QQ", starts[i1], starts[i2] - starts[i1]))
        elif j2 > j1:
            inserted = b"".join(new[j1:j2])
            out.append(b"I" + struct.pack("<Q", len(inserted)) + inserted)
    return b"".join(out)


def raw_signature(der: bytes) -> bytes:
    """r and s, 32 bytes each, of a DER-encoded ECDSA P-256 signature (at most 72 bytes, so
    every length is one byte)."""
    if der[0] != 0x30:
        raise ValueError("not a DER signature")
    raw, position = b"", 2
    for _ in range(2):
        if der[position] != 0x02:
            raise ValueError("not a DER signature")
        length = der[position + 1]
        raw += der[position + 2:position + 2 + length].lstrip(b"\0").rjust(32, b"\0")
        position += 2 + length
    return raw


def sign(key_file: str, data: bytes) -> bytes:
    """The key's ECDSA P-256 signature of the SHA-256 of data, as r and s."""
    der = subprocess.run(["openssl", "dgst", "-sha256", "-sign", key_file], input=data,
                         stdout=subprocess.PIPE, stderr=subprocess.PIPE, check=True).stdout
    return raw_signature(der)


def sign_with_another_key(data: bytes) -> bytes:
    """A signature by a P-256 key made for this run: well formed, but not the test key's."""
    with tempfile.TemporaryDirectory() as folder:
        key_file = os.path.join(folder, "other-key.pem")
        subprocess.run(["openssl", "genpkey", "-algorithm", "EC", "-pkeyopt", "ec_paramgen_curve:P-256",
                        "-out", key_file], stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, check=True)
        return sign(key_file, data)


def read_set(folder: str):
    """(version, released, {name: content}) of a set folder: set.txt and the files beside it."""
    version = released = None
    with open(os.path.join(folder, SET_FILE), encoding="utf-8") as f:
        for line in f:
            key, _, value = line.strip().partition(" ")
            if key == "version":
                version = value
            elif key == "released":
                released = value
    if not version or not released:
        raise SystemExit(f"{folder}/{SET_FILE} needs a version and a released line")
    files = {name: content for name, content in regular_files(folder) if name != SET_FILE}
    return version, released, files


def regular_files(folder: str):
    """(name, content) of every regular file of the folder, in name order."""
    for name in sorted(os.listdir(folder)):
        path = os.path.join(folder, name)
        if os.path.isfile(path):
            with open(path, "rb") as f:
                yield name, f.read()


def read_base_files(folders):
    """Every regular file of the given folders: the old contents that patches start from."""
    return [entry for folder in folders for entry in regular_files(folder)]


class Definitions:
    """What the server answers: the manifest, the files and the patches by URL path."""

    def __init__(self, options):
        self.version, self.released, self.files = read_set(options.set)
        self.bases = [] if options.no_patches else read_base_files(options.patch_base or [SHIPPED_DEFINITIONS])
        self.bad_patch = options.bad_patch
        self.extra_names = options.extra_name
        self.large_manifest = options.large_manifest
        self.patches = self.make_patches()
        signed = self.manifest_body()
        signature = sign_with_another_key(signed) if options.other_key else sign(TEST_KEY, signed)
        if options.bad_signature:
            signature = signature[:-1] + bytes([signature[-1] ^ 1])
        for name in options.tamper:
            if name not in self.files:
                raise SystemExit(f"--tamper {name}: no such file in the set")
            # As a server on the way would: the file, its size and hash, and the patches to it.
            self.files[name] += TAMPERED_LINE
            self.patches = self.make_patches()
        lines = [self.manifest_body()]
        if not options.unsigned:
            lines.append(f"{SIGNATURE_WORD} {signature.hex()}\n".encode())
        lines.append(f"{CLOSING_LINE}\n".encode())
        self.manifest_text = b"".join(lines)

    def make_patches(self):
        """{(base sha256, name): patch} from every base file that the set holds otherwise."""
        patches = {}
        for name, base in self.bases:
            target = self.files.get(name)
            if target is not None and target != base:
                patch = make_patch(base, target)
                if name in self.bad_patch:
                    patch += b"I" + struct.pack("<Q", 1) + b"!"
                patches[(sha256(base), name)] = patch
        return patches

    def manifest_body(self) -> bytes:
        """The manifest up to its signature line: what the signature covers."""
        lines = [MAGIC, f"version {self.version}", f"released {self.released}"]
        for name, content in self.files.items():
            lines.append(f"file {len(content)} {sha256(content)} {name}")
        for name in self.extra_names:
            lines.append(f"file 5 {sha256(b'extra')} {name}")
        for (base, name), patch in self.patches.items():
            lines.append(f"patch {len(patch)} {sha256(patch)} {base} {name}")
        if self.large_manifest:
            lines.append("\n" * MAX_MANIFEST_SIZE)
        return ("\n".join(lines) + "\n").encode("utf-8")

    def manifest(self) -> bytes:
        return self.manifest_text

    def body(self, relative: str):
        """(file name, body) for a path below the base path, or (None, None)."""
        if relative == "manifest":
            return "", self.manifest()
        parts = relative.split("/")
        if len(parts) == 2 and parts[0] == "files":
            name = urllib.parse.unquote(parts[1])
            if name in self.extra_names:
                return name, b"extra"
            return name, self.files.get(name)
        if len(parts) == 3 and parts[0] == "patches":
            name = urllib.parse.unquote(parts[2])
            return name, self.patches.get((parts[1], name))
        return None, None


class Misbehaviour:
    """Which answers go wrong, and how: counted per file name, thread-safe."""

    def __init__(self, options):
        self.options = options
        self.lock = threading.Lock()
        self.counts = {}
        self.unavailable_left = options.unavailable

    def take_unavailable(self) -> bool:
        with self.lock:
            if self.unavailable_left > 0:
                self.unavailable_left -= 1
                return True
            return False

    def kind_for(self, name: str):
        for kind in ("truncate", "corrupt", "oversize", "stall"):
            if name in getattr(self.options, kind) and self.counts_against_times(name):
                return kind
        return None

    def manifest_cut(self):
        """How this answer of the manifest is cut (length, chunked, close), or None."""
        if self.options.cut_manifest and self.counts_against_times(""):
            return self.options.cut_manifest
        return None

    def counts_against_times(self, name: str) -> bool:
        with self.lock:
            count = self.counts.get(name, 0)
            self.counts[name] = count + 1
        return self.options.times is None or count < self.options.times


def cut_after_first_file_line(manifest: bytes) -> bytes:
    """The manifest up to the end of its first file line: whole lines, but not the set."""
    lines = manifest.splitlines(keepends=True)
    first = next(i for i, line in enumerate(lines) if line.startswith(b"file "))
    return b"".join(lines[:first + 1])


def wait_for_close(connection: socket.socket):
    """Holds the connection without a word until the client gives up (or the limit)."""
    deadline = time.monotonic() + SILENCE_LIMIT
    while time.monotonic() < deadline:
        readable, _, _ = select.select([connection], [], [], 1.0)
        if readable:
            try:
                if not connection.recv(65536):
                    return
            except OSError:
                return


def make_handler(definitions: Definitions, misbehaviour: Misbehaviour, options):
    class Handler(BaseHTTPRequestHandler):
        protocol_version = "HTTP/1.0"
        server_version = "BriskenDefinitionsServer/1.0"

        def handle(self):
            if options.silent:
                print("accepted a connection and stays silent", flush=True)
                wait_for_close(self.connection)
                return
            super().handle()

        def log_message(self, format, *args):
            pass

        def do_GET(self):
            print(f"GET {self.path}", flush=True)
            prefix = options.path.rstrip("/") + "/"
            if not self.path.startswith(prefix):
                return self.send_error(404)
            if misbehaviour.take_unavailable():
                return self.send_error(503)
            name, body = definitions.body(self.path[len(prefix):])
            if body is None:
                return self.send_error(404)
            if name == "" and options.garbage_manifest:
                body = b"<html><body>Not a manifest \x00\xff\xfe</body></html>\n"
            if name == "":
                cut = misbehaviour.manifest_cut()
                if cut:
                    return self.answer_cut(body, cut)
            self.answer(body, misbehaviour.kind_for(name) if name else None)

        def answer_cut(self, body: bytes, how: str):
            """Ends the answer after a whole line, before the manifest's end: with the whole
            length announced, inside a chunked body (no last chunk), or at a plain close."""
            sent = cut_after_first_file_line(body)
            if how == "chunked":
                self.protocol_version = "HTTP/1.1"
            self.send_response(200)
            self.send_header("Content-Type", "text/plain; charset=utf-8")
            if how == "length":
                self.send_header("Content-Length", str(len(body)))
            elif how == "chunked":
                self.send_header("Transfer-Encoding", "chunked")
                sent = b"%x\r\n" % len(sent) + sent + b"\r\n"
            self.send_header("Connection", "close")
            self.end_headers()
            self.wfile.write(sent)
            self.wfile.flush()
            self.close_connection = True

        def answer(self, body: bytes, kind):
            sent = body
            if kind == "corrupt":
                middle = len(body) // 2
                sent = body[:middle] + bytes([body[middle] ^ 0xFF]) + body[middle + 1:]
            elif kind == "oversize":
                sent = body + b"#" * 65536
            self.send_response(200)
            self.send_header("Content-Type", "application/octet-stream")
            self.send_header("Content-Length", str(len(sent)))
            self.end_headers()
            if kind in ("truncate", "stall"):
                self.wfile.write(sent[:len(sent) // 2])
                self.wfile.flush()
                if kind == "stall":
                    wait_for_close(self.connection)
                self.close_connection = True
                return
            self.wfile.write(sent)

    return Handler


def parse_arguments(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--host", default="127.0.0.1", help="address to listen on (default 127.0.0.1)")
    parser.add_argument("--port", type=int, default=47611, help="port (default 47611; 0 picks a free one)")
    parser.add_argument("--path", default="/av64bit", help="base path of the URLs (default /av64bit)")
    parser.add_argument("--set", default=DEFAULT_SET, help="the set folder: set.txt and the files (default: SampleSet)")
    parser.add_argument("--patch-base", action="append", metavar="FOLDER",
                        help="a folder of older files to offer patches from (repeatable; default: "
                             "the reference engine's shipped Plugins)")
    parser.add_argument("--no-patches", action="store_true", help="offer no patches")
    misbehave = parser.add_argument_group("misbehaviours for tests")
    for kind, what in (("truncate", "send half of the file and close"),
                       ("corrupt", "flip one byte of the file"),
                       ("oversize", "send 64 KiB more than the file"),
                       ("stall", "send half of the file and then nothing")):
        misbehave.add_argument("--" + kind, action="append", default=[], metavar="NAME", help=what)
    misbehave.add_argument("--cut-manifest", choices=("length", "chunked", "close"),
                           help="end the manifest after its first file line: with the whole length "
                                "announced, without the last chunk, or at a plain close")
    misbehave.add_argument("--times", type=int, metavar="N",
                           help="misbehave only on the first N answers for each name, or of the "
                                "manifest (default: always)")
    misbehave.add_argument("--bad-patch", action="append", default=[], metavar="NAME",
                           help="offer a patch for NAME that arrives whole but makes the wrong file")
    misbehave.add_argument("--extra-name", action="append", default=[], metavar="NAME",
                           help="list a file of this name too (for names that must be refused)")
    misbehave.add_argument("--unavailable", type=int, default=0, metavar="N",
                           help="answer the first N requests with 503")
    misbehave.add_argument("--silent", action="store_true", help="accept connections and say nothing")
    misbehave.add_argument("--garbage-manifest", action="store_true", help="answer garbage for the manifest")
    misbehave.add_argument("--large-manifest", action="store_true",
                           help="pad the manifest with blank lines past the 1 MiB a client takes")
    misbehave.add_argument("--unsigned", action="store_true", help="serve the manifest without its signature line")
    misbehave.add_argument("--bad-signature", action="store_true", help="flip one bit of the manifest's signature")
    misbehave.add_argument("--other-key", action="store_true",
                           help="sign the manifest with a key made at start, not with the test key")
    misbehave.add_argument("--tamper", action="append", default=[], metavar="NAME",
                           help="add a line to NAME after the manifest is signed, its size and SHA-256 "
                                "rewritten in the manifest (as a server on the way would)")
    return parser.parse_args(argv)


def main(argv=None):
    options = parse_arguments(argv)
    definitions = Definitions(options)
    server = ThreadingHTTPServer((options.host, options.port),
                                 make_handler(definitions, Misbehaviour(options), options))
    server.daemon_threads = True
    host, port = server.server_address[:2]
    print(f"Serving definitions {definitions.version} at http://{host}:{port}{options.path}", flush=True)
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass
    finally:
        server.server_close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
