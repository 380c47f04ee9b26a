"""Points the load configuration directory of a PE image at its load configuration, the section
.loadcfg that cmake/ImageLoadConfig.c puts in (this binutils' ld fills no such directory
itself), and brings the image's checksum up to date: SetLoadConfigDirectory.py IMAGE."""
import struct
import sys

SECTION = b".loadcfg"
LOAD_CONFIG_DIRECTORY = 10


def checksum(image: bytes, field: int) -> int:
    """The PE checksum: the 16-bit one's-complement sum of the image without its checksum
    field, plus the image's length."""
    data = image[:field] + b"\0\0\0\0" + image[field + 4:]
    if len(data) % 2:
        data += b"\0"
    total = sum(struct.unpack(f"<{len(data) // 2}H", data))
    while total >> 16:
        total = (total & 0xFFFF) + (total >> 16)
    return total + len(image)


def main(path: str):
    with open(path, "rb") as f:
        image = bytearray(f.read())
    nt_headers = struct.unpack_from("<I", image, 0x3C)[0]
    sections, optional_size = struct.unpack_from("<H12xH", image, nt_headers + 6)
    optional_header = nt_headers + 24
    magic = struct.unpack_from("<H", image, optional_header)[0]
    directories = optional_header + (112 if magic == 0x20B else 96)
    count = struct.unpack_from("<I", image, directories - 4)[0]
    if count <= LOAD_CONFIG_DIRECTORY:
        sys.exit(f"{path}: no load configuration directory entry")
    table = optional_header + optional_size
    for i in range(sections):
        name, _, address, _, raw = struct.unpack_from("<8sIIII", image, table + 40 * i)
        if name.rstrip(b"\0") == SECTION:
            size = struct.unpack_from("<I", image, raw)[0]
            struct.pack_into("<II", image, directories + 8 * LOAD_CONFIG_DIRECTORY, address, size)
            break
    else:
        sys.exit(f"{path}: no {SECTION.decode()} section")
    field = optional_header + 64
    struct.pack_into("<I", image, field, checksum(image, field))
    with open(path, "wb") as f:
        f.write(image)


if __name__ == "__main__":
    main(sys.argv[1])
