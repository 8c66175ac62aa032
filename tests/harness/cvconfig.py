"""Variants of the setup program with changed configuration entries, made with
the cvconfig tool (tests/tools/cvconfig.cpp) inside a WineBox.

    from harness.cvconfig import make_variant, list_entries

    variant = make_variant(product_exe(), box.work / "sku0.exe",
                           set={"CV_SKU": "0",                      # English (1033)
                                ("UI_PAGE_2_NEXT", 1041): "次へ"},  # one language
                           remove=["CV_LANGUAGE",                   # every language
                                   ("UI_PAGE_2_BROWSE", 1036)],     # one language
                           box=box)

Without box= a WineBox is made for the call. The result is checked by listing
it again; any difference raises HarnessError. Entries are changed before a
program is signed: cvconfig refuses a signed input.
"""

import os
import shutil
from pathlib import Path

from .paths import HarnessError, tool
from .winebox import WineBox, winpath

ENGLISH = 1033

# cvconfig's exit codes.
EXIT_OK, EXIT_USAGE, EXIT_BAD_ARGUMENT, EXIT_BAD_INPUT = 0, 1, 2, 3
EXIT_NO_SUCH_ENTRY, EXIT_WRITE_FAILED, EXIT_SIGNED_INPUT = 4, 5, 6

# The values travel on the command line; an installed UTF-8 locale makes Wine
# hand non-ASCII characters to the tool unchanged.
_TOOL_ENV = {"LC_ALL": "C.UTF-8"}

_ESCAPES = {"\\": "\\", "t": "\t", "n": "\n", "r": "\r"}


def unescape(text):
    """A value as cvconfig list prints it, back to the value."""
    out, i = [], 0
    while i < len(text):
        c = text[i]
        if c == "\\" and i + 1 < len(text):
            nxt = text[i + 1]
            if nxt in _ESCAPES:
                out.append(_ESCAPES[nxt])
                i += 2
                continue
            if nxt == "x" and i + 3 < len(text):
                out.append(chr(int(text[i + 2:i + 4], 16)))
                i += 4
                continue
        out.append(c)
        i += 1
    return "".join(out)


def run_cvconfig(box, *arguments, timeout=60):
    """Runs cvconfig with these arguments (paths already in Windows form);
    returns the RunResult (its returncode is the tool's exit code)."""
    return box.run(tool("cvconfig"), *[str(a) for a in arguments], env=_TOOL_ENV, timeout=timeout)


def parse_listing(text):
    """{(name, language): value} from the output of cvconfig list."""
    entries = {}
    for line in text.splitlines():
        if not line:
            continue
        name, language, value = line.split("\t", 2)
        entries[(name, int(language))] = unescape(value)
    return entries


def list_entries(exe, box=None):
    """{(name, language): value} of the executable's configuration entries."""
    with _box_for(box) as active:
        result = run_cvconfig(active, "list", winpath(exe))
        if result.returncode != EXIT_OK:
            raise HarnessError(f"cvconfig list {exe} ended with {result.returncode}: {result.stderr}")
        return parse_listing(result.stdout)


def make_variant(base_exe, out_exe, set=None, remove=None, box=None):
    """Writes out_exe: base_exe with entries set and removed; returns its path.

    set: {name or (name, language): value}; a bare name means English (1033).
    remove: [name or (name, language)]; a bare name removes the entry in every
    language it has. Removals run first, then the settings."""
    base_exe, out_exe = Path(base_exe), Path(out_exe)
    # The argument is named like the builtin; nothing below needs the builtin.
    settings = {((key.upper(), ENGLISH) if isinstance(key, str) else (key[0].upper(), int(key[1]))): value
                for key, value in (set or {}).items()}
    with _box_for(box) as active:
        before = list_entries(base_exe, active)
        removals = []
        for item in remove or []:
            if isinstance(item, str):
                found = sorted(key for key in before if key[0] == item.upper())
                if not found:
                    raise HarnessError(f"{base_exe} has no entry {item} to remove")
                removals += found
            else:
                removals.append((item[0].upper(), int(item[1])))
        steps = [("remove", name, language, None) for name, language in removals]
        steps += [("set", name, language, value) for (name, language), value in settings.items()]

        out_exe.parent.mkdir(parents=True, exist_ok=True)
        current = base_exe
        intermediates = []
        for number, (command, name, language, value) in enumerate(steps):
            last = number == len(steps) - 1
            target = out_exe if last else out_exe.with_name(f".{out_exe.stem}.step{number}.exe")
            arguments = [command, winpath(current), winpath(target), name, str(language)]
            if value is not None:
                arguments.append(value)
            result = run_cvconfig(active, *arguments)
            if result.returncode != EXIT_OK:
                raise HarnessError(f"cvconfig {command} {name} {language} ended with "
                                   f"{result.returncode}: {result.stderr.strip()}")
            if not last:
                intermediates.append(target)
            current = target
        if not steps:
            shutil.copyfile(base_exe, out_exe)
        for path in intermediates:
            os.remove(path)

        after = list_entries(out_exe, active)
        expected = {key: value for key, value in before.items() if key not in removals}
        expected.update(settings)
        if after != expected:
            wrong = [(key, after.get(key), expected.get(key)) for key in sorted({*after, *expected})
                     if after.get(key) != expected.get(key)]
            raise HarnessError(f"{out_exe} does not hold the asked entries (key, found, asked): {wrong[:6]}")
    return out_exe


class _box_for:
    """The given box, or a box of its own for one call."""

    def __init__(self, box):
        self.box = box
        self.own = None

    def __enter__(self):
        if self.box is not None:
            return self.box
        self.own = WineBox("cvconfig")
        return self.own.__enter__()

    def __exit__(self, *exc):
        if self.own is not None:
            self.own.__exit__(*exc)
        return False
