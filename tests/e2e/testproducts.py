"""Windows Installer test products (tests/fixtures/TestProducts) installed into the Wine prefix
for the length of a test and removed by product code afterwards. Tests that install them take
the CTest resource lock installed-products."""

import os

from programfolder import TEST_FOLDER
from winehost import run_wine, windows_path

PRODUCTS_FOLDER = os.path.join(TEST_FOLDER, "products")
# ERROR_UNKNOWN_PRODUCT; a Unix exit status keeps only its low byte.
UNKNOWN_PRODUCT = 1605 & 0xFF


def product_codes() -> dict:
    """Fixture name to product code, as the fixture's build wrote them."""
    with open(os.path.join(PRODUCTS_FOLDER, "ProductCodes.txt")) as f:
        return dict(line.split() for line in f if line.strip())


def remove_all():
    """Removes every test product, also those an earlier, interrupted run left behind."""
    for fixture, code in product_codes().items():
        result, output = run_wine("msiexec", "/x", code, "/qn")
        if result not in (0, UNKNOWN_PRODUCT):
            raise AssertionError(f"msiexec /x {code} ({fixture}) answered {result}: {output}")


def install(fixture: str):
    path = windows_path(os.path.join(PRODUCTS_FOLDER, fixture + ".msi"))
    result, output = run_wine("msiexec", "/i", path, "/qn")
    if result != 0:
        raise AssertionError(f"msiexec /i {path} answered {result}: {output}")
