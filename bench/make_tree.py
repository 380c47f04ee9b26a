"""Writes a tree of small files for the scan benchmark: `count` files in folders of 100,
every 100th one the EICAR test file (put together from pieces so that no source holds it)."""

import os
import sys

EICAR = ("X5O!P%@AP[4\\PZX54(P^)7CC)7}$" + "EICAR-STANDARD-" + "ANTIVIRUS-TEST-FILE!$H+H*").encode()


def make_tree(root: str, count: int) -> int:
    infected = 0
    for index in range(count):
        folder = os.path.join(root, f"d{index // 100:04d}")
        if index % 100 == 0:
            os.makedirs(folder, exist_ok=True)
        if index % 100 == 50:
            content = EICAR
            infected += 1
        else:
            content = (f"clean file {index}\n" * (1 + index % 16)).encode()
        with open(os.path.join(folder, f"f{index:06d}.txt"), "wb") as f:
            f.write(content)
    return infected


if __name__ == "__main__":
    print(make_tree(sys.argv[1], int(sys.argv[2])))
