"""The console lines as a user sees them while the program runs: in a terminal each line is drawn
whole and in order, and in a terminal, a pipe or a file each line shows as soon as it is printed
(an object's line or a failed call's), while the engine is still at work on the next object."""

import fcntl
import os
import re
import select
import struct
import subprocess
import tempfile
import termios
import time
import unittest

from programfolder import DURATION, ENGINE_LINES
from scanfolder import RecordingScanTest, ScanTest, eicar, windows_path

# Wine's console hides the cursor at the start of each update it draws on a terminal.
HIDE_CURSOR = b"\x1b[?25l"
CONTROL_SEQUENCE = re.compile(r"\x1b\[([0-9;?]*)([A-Za-z])")
TERMINAL_ROWS, TERMINAL_COLUMNS = 50, 1000  # no line of these tests wraps or scrolls
# How long a printed line may take to show, Wine's start included.
SHOW_SECONDS = 30


def screen(raw: bytes) -> str:
    """The text a terminal shows for raw, its lines without trailing spaces and joined by "\\n".
    Knows what Wine's console sends: text, CR, LF, cursor forward, erase to the end of the line,
    cursor hidden and shown."""
    text = raw.decode("utf-8", errors="replace")
    lines, row, column, position = [[]], 0, 0, 0
    while position < len(text):
        match = CONTROL_SEQUENCE.match(text, position)
        if match:
            parameter, command = match.groups()
            if command == "C":
                column += int(parameter or "1")
            elif command == "K":
                del lines[row][column:]
            elif parameter != "?25":
                raise AssertionError(f"unknown terminal sequence {match.group(0)!r}")
            position = match.end()
            continue
        character = text[position]
        if character == "\r":
            column = 0
        elif character == "\n":
            row += 1
            lines.append([])
        elif character == "\x1b":
            raise AssertionError(f"unknown terminal sequence at {text[position:position + 20]!r}")
        else:
            line = lines[row]
            line.extend(" " * (column + 1 - len(line)))
            line[column] = character
            column += 1
        position += 1
    return "\n".join("".join(line).rstrip() for line in lines)


class Output:
    """Where a started program's standard output and error go, "file", "pipe" or "terminal" (a
    pseudo-terminal), and what has arrived there so far."""

    def __init__(self, kind: str):
        self.kind = kind
        self.raw = b""
        self.stdin = subprocess.DEVNULL
        if kind == "file":
            self.file = tempfile.TemporaryFile()
            self.reader, self.writer = None, self.file
        elif kind == "pipe":
            self.reader, self.writer = os.pipe()
        else:
            self.reader, self.writer = os.openpty()
            fcntl.ioctl(self.writer, termios.TIOCSWINSZ, struct.pack("HHHH", TERMINAL_ROWS, TERMINAL_COLUMNS, 0, 0))
            self.stdin = self.writer

    def started(self):
        """Keeps no end of the program's own in this process."""
        if self.kind != "file":
            os.close(self.writer)

    def close(self):
        if self.kind == "file":
            self.file.close()
        else:
            os.close(self.reader)

    def read(self, wait: float = 0):
        """Takes what has arrived, waiting up to wait seconds for more."""
        if self.kind == "file":
            self.file.seek(0)
            self.raw = self.file.read()
            return
        while select.select([self.reader], [], [], wait)[0]:
            try:
                chunk = os.read(self.reader, 65536)
            except OSError:  # a pseudo-terminal whose other end is closed
                return
            if not chunk:
                return
            self.raw += chunk
            wait = 0

    def text(self) -> str:
        if self.kind == "terminal":
            return screen(self.raw)
        return self.raw.decode("cp1252", errors="replace").replace("\r\n", "\n")

    def wait_for(self, expected: str) -> bool:
        """Whether what has arrived becomes expected within SHOW_SECONDS."""
        deadline = time.monotonic() + SHOW_SECONDS
        while time.monotonic() < deadline:
            self.read(0.05)
            if self.text() == expected:
                return True
            time.sleep(0.05)
        return False


def object_line(path: str, parent: str, inner: str) -> str:
    return f"Object Path: {path}. Parent Containers: {parent}. Inner Object: {inner}\n"


def failed_path_line(path: str) -> str:
    return f"Couldn't scan path: {path}. Error: PathError\n"


def without_trailing_spaces(text: str) -> str:
    return "\n".join(line.rstrip() for line in text.split("\n"))


class TerminalTest(ScanTest):

    def run_in_terminal(self, *args) -> Output:
        output = Output("terminal")
        self.addCleanup(output.close)
        process = self.folder.start(*args, output=output.writer, stdin=output.stdin)
        output.started()
        try:
            process.wait(timeout=120)
        finally:
            process.kill()
        output.read(1)
        return output

    def test_lines_are_drawn_whole_and_in_order(self):
        paths = [windows_path(self.data_file(name, content))
                 for name, content in (("a.txt", b"clean a"), ("eicar.com", eicar()), ("b.txt", b"clean b"))]
        output = self.run_in_terminal("--custom", ";".join(paths), "--scan-result-stdout")

        [name] = self.results()
        with open(self.folder.file("Scan Results", name), encoding="utf-8") as f:
            document = f.read()
        expected = (ENGINE_LINES + "Scan started\n" + "".join(object_line(p, "", "") for p in paths) + "\n"
                    + document.expandtabs(8) + "\n\nScan complete.You can access scan result here: "
                    + self.folder.windows_path("Scan Results", name) + "\n")
        expected = without_trailing_spaces(expected)
        shown = output.text()
        self.assertEqual(shown[:len(expected)], expected, output.raw)
        self.assertRegex(shown[len(expected):], DURATION)

        # Each update of the terminal ends with a line end: no line is drawn in pieces (a
        # character at a time, each with its own update, is what a console showed), and the
        # report, many lines, goes out in one update.
        updates = output.raw.split(HIDE_CURSOR)[1:]
        self.assertTrue(updates)
        for update in updates:
            drawn = CONTROL_SEQUENCE.sub("", update.decode("utf-8", errors="replace"))
            self.assertTrue(drawn.endswith("\n"), update)
        [report] = [update for update in updates if b"<?xml" in update]
        self.assertIn(b"</Summary>", report)

    def test_a_line_shows_in_the_consoles_code_page(self):
        # A console shows wide text in its output code page (Wine's: 437, which has the é but no
        # Cyrillic); the bytes converted to it must reach the console as they are.
        path = windows_path(self.data_file("caf\u00e9 \u0416\u0443\u043a.txt", b"clean"))
        shown = self.run_in_terminal("--custom", path).text()
        self.assertIn(without_trailing_spaces(object_line(path.replace("\u0416\u0443\u043a", "???"), "", "")), shown)


class LiveLinesTest(RecordingScanTest):

    def test_each_line_shows_while_the_engine_works_on_the_next_object(self):
        first, second = (windows_path(self.data_file(name, b"")) for name in ("first.txt", "second.txt"))
        for kind in ("file", "pipe", "terminal"):
            with self.subTest(kind):
                gates = [os.path.join(self.data, f"{kind}-{n}.gate") for n in (1, 2)]
                # The engine holds each report back until its gate is there.
                reports = "".join(f"{path}\twait={windows_path(gate)}\tstatus=1\tpath={path}\n"
                                  for path, gate in zip((first, second), gates))
                output = Output(kind)
                self.addCleanup(output.close)
                process = self.folder.start("--custom", f"{first};{second}", output=output.writer,
                                            stdin=output.stdin, env=self.engine_environment(reports=reports))
                output.started()
                try:
                    shown = ENGINE_LINES + "Scan started\n"
                    self.assertTrue(output.wait_for(shown), f"before the first object: {output.text()!r}")
                    open(gates[0], "w").close()
                    shown += object_line(first, "(null)", "(null)")
                    self.assertTrue(output.wait_for(shown), f"before the second object: {output.text()!r}")
                finally:
                    for gate in gates:
                        open(gate, "w").close()
                    process.wait(timeout=120)
                output.read(1)
                self.assertTrue(output.text().startswith(shown + object_line(second, "(null)", "(null)")),
                                output.text())
                self.assertRegex(output.text(), DURATION)

    def test_a_failed_call_shows_while_the_engine_works_on_the_next_path(self):
        first, second = "Z:\\first", "Z:\\second"
        for kind in ("file", "pipe", "terminal"):
            with self.subTest(kind):
                gate = os.path.join(self.data, f"{kind}.gate")
                # Every path call fails; the engine holds the second path's report back until
                # the gate is there.
                reports = f"{second}\twait={windows_path(gate)}\tstatus=1\tpath={second}\n"
                output = Output(kind)
                self.addCleanup(output.close)
                process = self.folder.start("--custom", f"{first};{second}", output=output.writer, stdin=output.stdin,
                                            env=self.engine_environment("ScanPath=0xC0000011", reports))
                output.started()
                try:
                    shown = ENGINE_LINES + "Scan started\n" + failed_path_line(first)
                    self.assertTrue(output.wait_for(shown), f"while on the second path: {output.text()!r}")
                finally:
                    open(gate, "w").close()
                    process.wait(timeout=120)
                output.read(1)
                self.assertTrue(output.text().startswith(
                    shown + object_line(second, "(null)", "(null)") + failed_path_line(second)), output.text())


if __name__ == "__main__":
    unittest.main()
