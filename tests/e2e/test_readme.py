"""What README.md quotes of the program is what the program prints: its option list is the
program's --help, line for line."""

import os
import unittest

from programfolder import DURATION, ProgramFolderTest

README = os.path.join(os.path.dirname(__file__), "..", "..", "README.md")


def first_code_block(text: str, heading: str) -> str:
    """The first code block (lines indented by four blanks) below the heading line, its
    indentation taken off, each line ending with a line break."""
    lines = text.split("\n")
    start = lines.index(heading)
    while not lines[start].startswith("    "):
        start += 1
    block = []
    for line in lines[start:]:
        if not line.startswith("    "):
            break
        block.append(line[4:] + "\n")
    return "".join(block)


def without_trailing_blanks(text: str) -> str:
    # The library ends a broken description line with the blank it broke at; an editor drops it.
    return "\n".join(line.rstrip(" ") for line in text.split("\n"))


class ReadmeTest(ProgramFolderTest):
    maxDiff = None

    def test_the_option_list_is_the_programs_help(self):
        with open(README, encoding="utf-8") as f:
            quoted = first_code_block(f.read(), "## Options")
        run = self.folder.run("--help")
        self.assertEqual(run.returncode, 0)
        self.assertRegex(run.stdout, DURATION)
        self.assertEqual(without_trailing_blanks(quoted), without_trailing_blanks(DURATION.sub("", run.stdout)))


if __name__ == "__main__":
    unittest.main()
