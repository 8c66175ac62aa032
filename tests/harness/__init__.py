"""Test harness: runs the Windows programs of the build under Wine.

See README.md in this folder for the API and an example.
"""

from .paths import build_dir, source_dir, tool, product_exe, testdll, HarnessError
from .xserver import ensure_display
from .wineprefix import template_prefix
from .winebox import WineBox, RunResult, TraceResult, WineProcess, TracedProcess, winpath
from .windriver import WindowDriver, Window, Control, WindowDriverError
from .images import bmp_to_png
from .rcstrings import string_tables, resource_ids, LANGUAGES

__all__ = [
    "build_dir", "source_dir", "tool", "product_exe", "testdll", "HarnessError",
    "ensure_display", "template_prefix",
    "WineBox", "RunResult", "TraceResult", "WineProcess", "TracedProcess", "winpath",
    "WindowDriver", "Window", "Control", "WindowDriverError",
    "bmp_to_png", "string_tables", "resource_ids", "LANGUAGES",
]
