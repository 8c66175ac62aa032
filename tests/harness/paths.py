"""Where the build, the sources and the Wine programs are."""

import os
from pathlib import Path

WINE = "/usr/lib/wine/wine64"
WINESERVER = "/usr/lib/wine/wineserver"


class HarnessError(RuntimeError):
    """The harness could not do what a test asked (not a product failure)."""


def source_dir() -> Path:
    value = os.environ.get("CORVANE_SOURCE_DIR")
    if value:
        return Path(value).resolve()
    return Path(__file__).resolve().parents[2]


def build_dir() -> Path:
    """The x86_64 build with the tests (CORVANE_BUILD_DIR, else build/win64)."""
    value = os.environ.get("CORVANE_BUILD_DIR")
    path = Path(value) if value else source_dir() / "build" / "win64"
    path = path.resolve()
    if not (path / "CorvaneSetup.exe").exists():
        raise HarnessError(f"no CorvaneSetup.exe in {path}; build first or set CORVANE_BUILD_DIR")
    return path


def product_exe() -> Path:
    return build_dir() / "CorvaneSetup.exe"


def tool(name: str) -> Path:
    """A test tool from tests/tools, e.g. tool("windriver")."""
    path = build_dir() / "tools" / f"{name}.exe"
    if not path.exists():
        raise HarnessError(f"test tool {path} is not built")
    return path


def testdll(name: str) -> Path:
    """A test DLL from tests/testdlls/<name>/, e.g. testdll("installerstrings")."""
    path = build_dir() / "testdlls" / name / f"{name}.dll"
    if not path.exists():
        raise HarnessError(f"test DLL {path} is not built")
    return path
