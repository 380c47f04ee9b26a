"""The partner file UpdateServer.txt in the Wine prefix's common application-data folder, written
for one test and taken away afterwards. Tests that use it take the CTest resource lock
partner-file."""

import os

from winehost import drive_c

FOLDERS = ("ProgramData", "Corvantis", "Brisken 11", "Options")
NAME = "UpdateServer.txt"


class PartnerFile:
    """Puts back on close what was there before: an earlier file's bytes, or nothing, and removes
    only the folders it made itself."""

    def __init__(self):
        self.folder = drive_c(*FOLDERS)
        self.path = os.path.join(self.folder, NAME)
        self.earlier = None
        if os.path.isfile(self.path):
            with open(self.path, "rb") as f:
                self.earlier = f.read()
        self.made = []
        parent = drive_c()
        for name in FOLDERS:
            parent = os.path.join(parent, name)
            if not os.path.isdir(parent):
                self.made.append(parent)

    def write(self, content: bytes):
        os.makedirs(self.folder, exist_ok=True)
        with open(self.path, "wb") as f:
            f.write(content)

    def remove(self):
        if os.path.exists(self.path):
            os.remove(self.path)

    def close(self):
        self.remove()
        if self.earlier is not None:
            self.write(self.earlier)
        for folder in reversed(self.made):
            if os.path.isdir(folder) and not os.listdir(folder):
                os.rmdir(folder)

    def windows_path(self) -> str:
        return "C:\\" + "\\".join(FOLDERS + (NAME,))
