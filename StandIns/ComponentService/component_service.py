#!/usr/bin/env python3
"""Stand-in for the maker's component web service: answers GetComponentInfo and
GetComponentsInfo (document/literal, SOAP 1.2 or 1.1) on loopback with the answer its command
line describes, and keeps the last request it received. See README.md beside it."""

import argparse
import errno
import os
import sys
import threading
import time
import xml.etree.ElementTree as ElementTree
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer
from xml.sax.saxutils import escape

# The service namespace of the client's declaration (UpdateService/ComponentsService.h.in).
SERVICE_NAMESPACE = "urn:corvantis:brisken:components:"
SOAP12_ENVELOPE = "http://www.w3.org/2003/05/soap-envelope"
SOAP11_ENVELOPE = "http://schemas.xmlsoap.org/soap/envelope/"
FIELDS = ("Id", "Notes", "Version", "DownloadUrl")
RELEASE_DATE = "2026-11-30T12:00:00Z"


def parse_arguments(argv):
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--listen", default="127.0.0.1:47612", help="host:port (default %(default)s)")
    parser.add_argument("--state-folder",
                        help="where the peer writes ready, request.http, request.xml and stopped; "
                             "it stops when a file named stop appears there")
    parser.add_argument("--lifetime", type=float, default=0, help="stop after this many seconds (0: never)")
    parser.add_argument("--id", default="BriskenCommandLineScanner")
    parser.add_argument("--version", default="11.11.905.9128")
    parser.add_argument("--url", default="http://127.0.0.1:47612/downloads/BriskenCommandLineScanner.msi")
    parser.add_argument("--notes", default="Fixes and improvements.")
    parser.add_argument("--raw-url", metavar="TEXT",
                        help="the download URL as it stands, not escaped: references and markup in it reach "
                             "the client as written (instead of --url)")
    parser.add_argument("--after-envelope", metavar="TEXT", default="",
                        help="text sent after the envelope, as part of the answer's body")
    parser.add_argument("--cut", metavar="PATTERN", action="append", default=[],
                        help="send the answer's body in pieces, cut where the marks | in PATTERN stand at the "
                             "first place the pattern without them occurs; each piece a write of its own "
                             "(repeatable)")
    parser.add_argument("--pause", type=float, metavar="SECONDS", default=0.05,
                        help="the pause between two pieces of --cut (default %(default)s)")
    parser.add_argument("--chunked", action="store_true",
                        help="send the answer's body in chunked transfer coding, one chunk per piece")
    length = parser.add_mutually_exclusive_group()
    length.add_argument("--declare-length", metavar="LENGTH",
                        help="the Content-Length to declare: a number, or +N for N bytes more than are sent")
    length.add_argument("--no-length", action="store_true",
                        help="declare no length and no chunks: the body ends where the connection does")
    parser.add_argument("--blanks", type=float, metavar="MEGABYTES",
                        help="that many megabytes of spaces after the answer, streamed as fast as they go")
    parser.add_argument("--body-size", type=int, metavar="BYTES",
                        help="notes padded with x so that the answer's body (--after-envelope included) is "
                             "that many bytes long")
    parser.add_argument("--hold", action="store_true",
                        help="keep the connection open after the answer until the peer stops")
    parser.add_argument("--close-early", type=int, metavar="BYTES",
                        help="close the connection that many bytes before the body's end (as sent, chunk "
                             "sizes included), sending nothing more")
    parser.add_argument("--omit", action="append", default=[], choices=FIELDS,
                        help="leave this field's element out (repeatable)")
    answer = parser.add_mutually_exclusive_group()
    answer.add_argument("--no-result", action="store_true", help="answer without the result element")
    answer.add_argument("--fault", metavar="REASON", help="answer with a SOAP fault carrying this reason")
    answer.add_argument("--malformed", action="store_true", help="answer with XML that does not parse")
    answer.add_argument("--entity", choices=("internal", "external", "undeclared"),
                        help="answer with the download URL a reference to an entity that a document type "
                             "declaration declares as its text (internal) or as the peer's own /entity "
                             "path (external), or that nothing declares (undeclared)")
    answer.add_argument("--no-http-head", action="store_true",
                        help="answer with the bare XML, without an HTTP status line and headers")
    answer.add_argument("--mime", action="store_true", help="answer with the XML as the one part of a MIME message")
    answer.add_argument("--huge", type=float, metavar="MEGABYTES",
                        help="answer with notes of this size, streamed; declared in the head unless "
                             "--no-length or --chunked")
    answer.add_argument("--silent", action="store_true", help="accept connections and never answer")
    answer.add_argument("--trickle", type=float, metavar="SECONDS",
                        help="send the answer one byte at a time, pausing between bytes")
    return parser.parse_args(argv)


def element(name, text):
    return "<%s>%s</%s>" % (name, escape(text), name)


def component_fields(options):
    fields = []
    for name, value in zip(FIELDS, (options.id, options.notes, options.version, options.url)):
        if name in options.omit:
            continue
        if name == "DownloadUrl" and options.raw_url is not None:
            fields.append("<DownloadUrl>%s</DownloadUrl>" % options.raw_url)
        else:
            fields.append(element(name, value))
    return "".join(fields)


def envelope(soap_namespace, body):
    return ('<?xml version="1.0" encoding="utf-8"?>'
            '<soap:Envelope xmlns:soap="%s" xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance"'
            ' xmlns:xsd="http://www.w3.org/2001/XMLSchema"><soap:Body>%s</soap:Body></soap:Envelope>'
            % (soap_namespace, body))


def fault_body(soap_namespace, reason):
    if soap_namespace == SOAP12_ENVELOPE:
        return ('<soap:Fault><soap:Code><soap:Value>soap:Receiver</soap:Value></soap:Code>'
                '<soap:Reason><soap:Text xml:lang="en">%s</soap:Text></soap:Reason></soap:Fault>'
                % escape(reason))
    return '<soap:Fault><faultcode>soap:Server</faultcode><faultstring>%s</faultstring></soap:Fault>' % escape(reason)


def answer_body(operation, options):
    """The body element of the answer, in the service namespace as the default namespace."""
    if options.no_result:
        result = ""
    elif operation == "GetComponentsInfo":
        result = ("<GetComponentsInfoResult><Components><ComponentInfo>%s</ComponentInfo></Components>"
                  "<ReleaseDateUtc>%s</ReleaseDateUtc></GetComponentsInfoResult>"
                  % (component_fields(options), RELEASE_DATE))
    else:
        result = "<GetComponentInfoResult>%s</GetComponentInfoResult>" % component_fields(options)
    return '<%sResponse xmlns="%s">%s</%sResponse>' % (operation, SERVICE_NAMESPACE, result, operation)


def entity_document(soap_namespace, operation, options):
    """The answer with the download URL as a reference to an entity: one that a document type
    declaration before it declares (internal, external), or one that nothing declares."""
    document = envelope(soap_namespace, answer_body(operation, options))
    document = document.replace(element("DownloadUrl", options.url), "<DownloadUrl>&url;</DownloadUrl>")
    if options.entity == "undeclared":
        return document
    if options.entity == "internal":
        declaration = '<!ENTITY url "%s">' % escape(options.url, {'"': "&quot;"})
    else:
        declaration = '<!ENTITY url SYSTEM "http://%s/entity">' % options.listen
    prolog_end = document.index("?>") + 2
    return document[:prolog_end] + "<!DOCTYPE soap:Envelope [%s]>" % declaration + document[prolog_end:]


def unfinished_envelope(soap_namespace, operation, content):
    """The envelope of an answer up to content inside its result, with nothing closed after it."""
    document = envelope(soap_namespace, '<%sResponse xmlns="%s"><%sResult>%s'
                        % (operation, SERVICE_NAMESPACE, operation, content))
    return document[:document.index("</soap:Body>")]


def malformed_document(soap_namespace, operation, options):
    """An answer that breaks off inside the result, in the middle of an end tag."""
    return unfinished_envelope(soap_namespace, operation,
                               '%s<Version>%s</Vers' % (element("Id", options.id), escape(options.version)))


def requested_operation(body):
    """(SOAP envelope namespace, operation name) of a request body, or None when it is not one."""
    try:
        root = ElementTree.fromstring(body)
    except ElementTree.ParseError:
        return None
    soap_namespace = root.tag[1:].partition("}")[0] if root.tag.startswith("{") else ""
    if soap_namespace not in (SOAP12_ENVELOPE, SOAP11_ENVELOPE):
        return None
    soap_body = root.find("{%s}Body" % soap_namespace)
    if soap_body is None or len(soap_body) == 0:
        return None
    operation = soap_body[0].tag.rpartition("}")[2]
    if operation not in ("GetComponentInfo", "GetComponentsInfo"):
        return None
    return soap_namespace, operation


def pieces(data, patterns):
    """data cut where the marks | of each pattern stand, at the first place where the pattern without
    them occurs; a pattern that does not occur cuts nothing."""
    cuts = set()
    for pattern in patterns:
        text = pattern.replace(b"|", b"")
        at = data.find(text)
        if at < 0:
            continue
        offset = 0
        for part in pattern.split(b"|")[:-1]:
            offset += len(part)
            cuts.add(at + offset)
    bounds = [0] + sorted(cuts) + [len(data)]
    return [data[begin:end] for begin, end in zip(bounds, bounds[1:]) if end > begin]


def padded(data, size):
    """data with x before the end of its notes, so that it is size bytes long."""
    end = data.find(b"</Notes>")
    if end < 0 or size < len(data):
        raise ValueError("--body-size %d: the answer has no notes, or is longer" % size)
    return data[:end] + b"x" * (size - len(data)) + data[end:]


def http_head(request_line, headers):
    return (request_line + "\r\n" + "".join("%s: %s\r\n" % item for item in headers.items())).encode(
        "latin-1", "replace")


class ClosedEarly(Exception):
    """The body has gone out up to where --close-early ends it."""


def write_atomically(path, data):
    with open(path + ".part", "wb") as file:
        file.write(data)
    os.replace(path + ".part", path)


class ComponentServiceHandler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    # Each piece of a cut answer is sent at once, in a segment of its own.
    disable_nagle_algorithm = True

    def log_message(self, format, *args):
        sys.stderr.write("%s\n" % (format % args))

    def do_POST(self):
        body = self.read_body()
        self.server.record(self.requestline, self.headers, body)
        options = self.server.options
        if options.silent:
            self.server.stopping.wait()
            self.close_connection = True
            return
        request = requested_operation(body)
        soap_namespace = request[0] if request else SOAP12_ENVELOPE
        if request is None:
            self.reply(500, soap_namespace, envelope(soap_namespace, fault_body(soap_namespace, "not a component request")))
        elif options.fault is not None:
            self.reply(500, soap_namespace, envelope(soap_namespace, fault_body(soap_namespace, options.fault)))
        elif options.malformed:
            self.reply(200, soap_namespace, malformed_document(soap_namespace, request[1], options))
        elif options.entity is not None:
            self.reply(200, soap_namespace, entity_document(soap_namespace, request[1], options))
        elif options.no_http_head:
            self.wfile.write(envelope(soap_namespace, answer_body(request[1], options)).encode("utf-8"))
            self.close_connection = True
        elif options.mime:
            self.reply_mime(soap_namespace, envelope(soap_namespace, answer_body(request[1], options)))
        elif options.huge is not None:
            self.reply_huge(soap_namespace, request[1], int(options.huge * 1024 * 1024))
        else:
            self.reply(200, soap_namespace, envelope(soap_namespace, answer_body(request[1], options)))

    def do_GET(self):
        """Only an entity's URL is ever asked this way: kept apart from the last request."""
        self.server.record_fetch(self.requestline, self.headers)
        data = b"http://127.0.0.1/fetched-for-an-entity.msi"
        self.send_response(200)
        self.send_header("Content-Type", "text/plain")
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        self.wfile.write(data)

    def read_body(self):
        if self.headers.get("Transfer-Encoding", "").lower() == "chunked":
            chunks = []
            while True:
                size = int(self.rfile.readline().split(b";")[0].strip() or b"0", 16)
                if size == 0:
                    while self.rfile.readline().strip():
                        pass
                    return b"".join(chunks)
                chunks.append(self.rfile.read(size))
                self.rfile.readline()
        return self.rfile.read(int(self.headers.get("Content-Length", "0")))

    def send_head(self, status, soap_namespace, length):
        """length: the body's, None for chunks, or "none" for neither (the body ends with the
        connection)."""
        self.send_response(status)
        content_type = "application/soap+xml" if soap_namespace == SOAP12_ENVELOPE else "text/xml"
        self.send_header("Content-Type", content_type + "; charset=utf-8")
        if length is None:
            self.send_header("Transfer-Encoding", "chunked")
        elif length != "none":
            self.send_header("Content-Length", str(length))
        self.end_headers()

    def declared_length(self, sent):
        """What the head declares for a body of sent bytes (see send_head)."""
        options = self.server.options
        if options.no_length:
            return "none"
        if options.chunked:
            return None
        if options.declare_length is None:
            return sent
        if options.declare_length.startswith("+"):
            return sent + int(options.declare_length[1:])
        return int(options.declare_length)

    def reply(self, status, soap_namespace, document):
        options = self.server.options
        data = (document + options.after_envelope).encode("utf-8")
        if options.body_size is not None:
            data = padded(data, options.body_size)
        blanks = int((options.blanks or 0) * 1024 * 1024)
        self.send_head(status, soap_namespace, self.declared_length(len(data) + blanks))
        writes = pieces(data, [pattern.encode("utf-8") for pattern in options.cut])
        self.budget = None
        if options.close_early is not None:
            self.budget = sum(len(part) for _, part in self.body_parts(writes, blanks)) - options.close_early
        try:
            for pause, part in self.body_parts(writes, blanks):
                if pause:
                    time.sleep(pause)
                self.write_body(part)
        except (BrokenPipeError, ConnectionResetError, ClosedEarly):
            self.close_connection = True
            return
        if options.hold:
            self.server.stopping.wait()
        if options.no_length or options.hold:
            self.close_connection = True

    def write_body(self, part):
        """Writes part of the body, or as much of it as --close-early leaves (then ClosedEarly)."""
        if self.budget is not None and len(part) >= self.budget:
            self.wfile.write(part[:self.budget])
            self.wfile.flush()
            raise ClosedEarly()
        if self.budget is not None:
            self.budget -= len(part)
        self.wfile.write(part)

    def body_parts(self, writes, blanks):
        """(pause before it, bytes) of each write of the body: the pieces, one byte each when
        trickled, then the blanks, in chunks when chunked, and the last chunk."""
        options = self.server.options
        if options.chunked:
            writes = [b"%x\r\n%s\r\n" % (len(part), part) for part in writes]
        if options.trickle is not None:
            data = b"".join(writes)
            writes = [data[index:index + 1] for index in range(len(data))]
        for index, part in enumerate(writes):
            if self.server.stopping.is_set():
                return
            # Long enough for the client to read the write before as a receive of its own.
            yield (options.trickle if options.trickle is not None else options.pause) if index else 0, part
        block = b" " * 65536
        while blanks > 0 and not self.server.stopping.is_set():
            part = block[:min(blanks, len(block))]
            yield 0, b"%x\r\n%s\r\n" % (len(part), part) if options.chunked else part
            blanks -= len(part)
        if options.chunked:
            yield 0, b"0\r\n\r\n"

    def reply_mime(self, soap_namespace, document):
        boundary = "brisken-part-boundary"
        content_type = "application/soap+xml" if soap_namespace == SOAP12_ENVELOPE else "text/xml"
        data = ("--%s\r\nContent-Type: %s; charset=utf-8\r\nContent-ID: <answer>\r\n\r\n%s\r\n--%s--\r\n"
                % (boundary, content_type, document, boundary)).encode("utf-8")
        self.send_response(200)
        self.send_header("Content-Type", 'multipart/related; type="%s"; start="<answer>"; boundary="%s"'
                         % (content_type, boundary))
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        self.wfile.write(data)

    def reply_huge(self, soap_namespace, operation, notes_size):
        """Streams the notes so that the peer itself never holds the whole answer."""
        options = self.server.options
        head = unfinished_envelope(soap_namespace, operation, element("Id", options.id) + "<Notes>").encode("utf-8")
        tail = ('</Notes>%s%s</%sResult></%sResponse></soap:Body></soap:Envelope>'
                % (element("Version", options.version), element("DownloadUrl", options.url),
                   operation, operation)).encode("utf-8")
        length = self.declared_length(len(head) + notes_size + len(tail))
        self.send_head(200, soap_namespace, length)
        frame = (lambda part: b"%x\r\n%s\r\n" % (len(part), part)) if length is None else (lambda part: part)
        block = b"x" * 65536
        try:
            self.wfile.write(frame(head))
            remaining = notes_size
            while remaining > 0 and not self.server.stopping.is_set():
                self.wfile.write(frame(block[:min(remaining, len(block))]))
                remaining -= min(remaining, len(block))
            self.wfile.write(frame(tail))
            if length is None:
                self.wfile.write(b"0\r\n\r\n")
        except (BrokenPipeError, ConnectionResetError):
            self.close_connection = True
            return
        if length == "none":
            self.close_connection = True


class ComponentServer(ThreadingHTTPServer):
    daemon_threads = True
    allow_reuse_address = True

    def __init__(self, address, options):
        super().__init__(address, ComponentServiceHandler)
        self.options = options
        self.stopping = threading.Event()
        self.record_lock = threading.Lock()

    def handle_error(self, request, client_address):
        # A client that gives up mid-answer (size or time limit) is expected here.
        if not isinstance(sys.exc_info()[1], (BrokenPipeError, ConnectionResetError)):
            super().handle_error(request, client_address)

    def record(self, request_line, headers, body):
        folder = self.options.state_folder
        if not folder:
            return
        with self.record_lock:
            write_atomically(os.path.join(folder, "request.http"), http_head(request_line, headers))
            write_atomically(os.path.join(folder, "request.xml"), body)

    def record_fetch(self, request_line, headers):
        folder = self.options.state_folder
        if not folder:
            return
        with self.record_lock:
            write_atomically(os.path.join(folder, "fetched.http"), http_head(request_line, headers))


def detach_from_console(folder):
    """Started from a test, the peer must not hold the test's output open should it outlive it."""
    log = os.open(os.path.join(folder, "peer.log"), os.O_WRONLY | os.O_CREAT | os.O_APPEND, 0o644)
    null = os.open(os.devnull, os.O_RDONLY)
    os.dup2(null, 0)
    os.dup2(log, 1)
    os.dup2(log, 2)
    os.close(null)
    os.close(log)


def listen(options, patience=10.0):
    """The server on its address; a peer that is just letting the port go gets a few seconds."""
    host, _, port = options.listen.rpartition(":")
    deadline = time.monotonic() + patience
    while True:
        try:
            return ComponentServer((host, int(port)), options)
        except OSError as error:
            if error.errno != errno.EADDRINUSE or time.monotonic() > deadline:
                raise
            time.sleep(0.1)


def main(argv):
    options = parse_arguments(argv)
    folder = options.state_folder
    if folder:
        os.makedirs(folder, exist_ok=True)
        detach_from_console(folder)
    server = listen(options)
    serving = threading.Thread(target=server.serve_forever, kwargs={"poll_interval": 0.05}, daemon=True)
    serving.start()
    if folder:
        write_atomically(os.path.join(folder, "ready"), str(os.getpid()).encode())
    print("component service listening on http://%s/components.asmx" % options.listen, flush=True)
    started = time.monotonic()
    try:
        while not (folder and os.path.exists(os.path.join(folder, "stop"))):
            if options.lifetime and time.monotonic() - started > options.lifetime:
                break
            time.sleep(0.05)
    except KeyboardInterrupt:
        pass
    server.stopping.set()
    server.shutdown()
    server.server_close()
    if folder:
        write_atomically(os.path.join(folder, "stopped"), b"")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
