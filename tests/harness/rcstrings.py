"""The program's string tables, read from the resource scripts in res/.

Tests derive the texts they expect from the same files the program is built
from, so a translation can change without the tests being copied along.
"""

import re
from functools import lru_cache
from pathlib import Path
from typing import Dict

from .paths import source_dir

# The six languages of the program: language id -> (code in file names, name).
LANGUAGES = {
    1031: ("de", "German"),
    1033: ("en", "English"),
    1034: ("es", "Spanish"),
    1036: ("fr", "French"),
    1040: ("it", "Italian"),
    1041: ("ja", "Japanese"),
}

_PRIMARY = {"LANG_GERMAN": 0x07, "LANG_ENGLISH": 0x09, "LANG_SPANISH": 0x0A,
            "LANG_FRENCH": 0x0C, "LANG_ITALIAN": 0x10, "LANG_JAPANESE": 0x11,
            "LANG_NEUTRAL": 0x00}
_SUB = {"SUBLANG_NEUTRAL": 0, "SUBLANG_DEFAULT": 1, "SUBLANG_GERMAN": 1,
        "SUBLANG_ENGLISH_US": 1, "SUBLANG_SPANISH": 1, "SUBLANG_SPANISH_MODERN": 3,
        "SUBLANG_FRENCH": 1, "SUBLANG_ITALIAN": 1, "SUBLANG_JAPANESE_JAPAN": 1}


@lru_cache(maxsize=None)
def resource_ids() -> Dict[str, int]:
    """The #define names of res/resource.h."""
    ids = {}
    for line in (source_dir() / "res" / "resource.h").read_text(encoding="utf-8").splitlines():
        match = re.match(r"\s*#define\s+(\w+)\s+(0x[0-9A-Fa-f]+|\d+)\b", line)
        if match:
            ids[match.group(1)] = int(match.group(2), 0)
    return ids


def _number(token: str, defines: Dict[str, int]) -> int:
    token = token.strip()
    if re.fullmatch(r"0x[0-9A-Fa-f]+|\d+", token):
        return int(token, 0)
    if token in defines:
        return defines[token]
    raise ValueError(f"unknown string id {token!r}")


def _unescape(body: str) -> str:
    """A resource-script string body: C escapes and "" for a quote."""
    out = []
    i = 0
    while i < len(body):
        c = body[i]
        if c == '"' and body[i + 1:i + 2] == '"':
            out.append('"')
            i += 2
            continue
        if c != "\\" or i + 1 == len(body):
            out.append(c)
            i += 1
            continue
        nxt = body[i + 1]
        simple = {"n": "\n", "t": "\t", "r": "\r", "a": "\a", "\\": "\\", '"': '"', "0": "\0"}
        if nxt == "x":
            digits = re.match(r"[0-9A-Fa-f]{1,4}", body[i + 2:])
            out.append(chr(int(digits.group(0), 16)))
            i += 2 + len(digits.group(0))
            continue
        out.append(simple.get(nxt, "\\" + nxt))
        i += 2
    return "".join(out)


_STRING = r'"((?:[^"\\]|\\.|"")*)"'


def parse_string_file(path: Path, defines: Dict[str, int]) -> Dict[int, Dict[int, str]]:
    """{language id: {string id: text}} of the STRINGTABLEs in one script."""
    text = path.read_text(encoding="utf-8")
    text = re.sub(r"/\*.*?\*/", "", text, flags=re.S)
    tables: Dict[int, Dict[int, str]] = {}
    language = None
    inside = False
    for raw_line in text.splitlines():
        line = re.sub(r'^((?:[^"/]|"(?:[^"\\]|\\.|"")*")*)//.*$', r"\1", raw_line).strip()
        if not line:
            continue
        match = re.match(r"LANGUAGE\s+(\w+)\s*,\s*(\w+)", line)
        if match:
            language = (_SUB.get(match.group(2), 1) << 10) | _PRIMARY[match.group(1)]
            continue
        if line.upper().startswith("STRINGTABLE"):
            continue
        if line.upper() in ("BEGIN", "{"):
            inside = True
            continue
        if line.upper() in ("END", "}"):
            inside = False
            continue
        if inside:
            match = re.match(r"(\w+)\s*,?\s*" + _STRING + r"\s*$", line)
            if not match:
                raise ValueError(f"{path}: cannot read string-table line {raw_line!r}")
            if language is None:
                raise ValueError(f"{path}: string table before any LANGUAGE statement")
            tables.setdefault(language, {})[_number(match.group(1), defines)] = \
                _unescape(match.group(2))
    return tables


@lru_cache(maxsize=None)
def string_tables() -> Dict[int, Dict[int, str]]:
    """{language id: {string id: text}} for every language in res/strings_*.rc."""
    defines = resource_ids()
    tables: Dict[int, Dict[int, str]] = {}
    for path in sorted((source_dir() / "res").glob("strings_*.rc")):
        for language, entries in parse_string_file(path, defines).items():
            tables.setdefault(language, {}).update(entries)
    return tables
