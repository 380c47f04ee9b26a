"""Small file systems for tests of full or read-only disks: a tmpfs that the test mounts (as
root, as CI runs; by hand in a mount namespace of its own, unshare -m) and unmounts at its end."""

import errno
import os
import subprocess


def mount_tmpfs(test, path: str, size: str) -> str:
    """A tmpfs of that size (mount's size option) at path, made when missing, until the test
    ends; skips the test where mounting is refused."""
    os.makedirs(path, exist_ok=True)
    done = subprocess.run(["mount", "-t", "tmpfs", "-o", f"size={size}", "tmpfs", path],
                          stdin=subprocess.DEVNULL, capture_output=True)
    if done.returncode != 0:
        test.skipTest(f"this machine refuses a tmpfs mount: {done.stderr.decode(errors='replace').strip()}")
    test.addCleanup(subprocess.run, ["umount", "-l", path], stdin=subprocess.DEVNULL, capture_output=True)
    return path


def fill(folder: str):
    """Writes into the folder until its file system is full."""
    with open(os.path.join(folder, "filler"), "wb", buffering=0) as f:
        try:
            while True:
                f.write(bytes(65536))
        except OSError as error:
            if error.errno != errno.ENOSPC:
                raise
