"""Runs tests/tools/configprobe.exe in a box and reads its report back.

configprobe runs the setup program's configuration lookups and language and
edition choices in a console program; see the head of configprobe.cpp.
"""

from dataclasses import dataclass, field
from pathlib import Path
from typing import Dict, List, Optional

from harness import tool, winpath


@dataclass
class ProbeReport:
    state: Dict[str, str] = field(default_factory=dict)
    results: Dict[str, int] = field(default_factory=dict)
    raw: Dict[str, bytes] = field(default_factory=dict)   # values in the ANSI code page

    def text(self, name: str) -> str:
        """The value of an entry, decoded with the code page the program ran in."""
        return self.raw[name].decode(f"cp{self.state['acp']}", errors="strict")


def parse_report(data: bytes) -> ProbeReport:
    report = ProbeReport()
    for line in data.decode("ascii").splitlines():
        if line.startswith("entry "):
            _, name, result, *value = line.split(" ")
            report.results[name] = int(result)
            report.raw[name] = bytes.fromhex(value[0] if value else "")
        elif "=" in line:
            key, value = line.split("=", 1)
            report.state[key] = value
    return report


def probe_arguments(out: Path, names: List[str], module: Optional[Path] = None,
                    options: Optional[List[str]] = None) -> List[str]:
    arguments = ["--out", winpath(out)]
    if module is not None:
        arguments += ["--module", winpath(module)]
    return arguments + list(options or []) + list(names)


def run_probe(box, names: List[str], module: Optional[Path] = None,
              options: Optional[List[str]] = None, lang: Optional[str] = None,
              env: Optional[Dict[str, str]] = None) -> ProbeReport:
    """Runs configprobe with the given options and entry names; its report."""
    out = box.work / f"probe-{len(list(box.work.iterdir()))}.txt"
    result = box.run(tool("configprobe"), *probe_arguments(out, names, module, options),
                     lang=lang, env=env, timeout=60)
    if result.returncode != 0 or not out.exists():
        raise AssertionError(f"configprobe failed ({result.returncode}): {result.stderr}")
    return parse_report(out.read_bytes())


def make_variant(box, source: Path, name: str, changes) -> Path:
    """A copy of source with entries changed by cvconfig; changes is a list of
    (entry, language, value) where a value of None removes the entry."""
    current = source
    for number, (entry, language, value) in enumerate(changes):
        target = box.work / f"{name}-{number}.exe"
        if value is None:
            arguments = ["remove", winpath(current), winpath(target), entry, str(language)]
        else:
            arguments = ["set", winpath(current), winpath(target), entry, str(language), value]
        box.run(tool("cvconfig"), *arguments, check=True, timeout=60)
        current = target
    return current
