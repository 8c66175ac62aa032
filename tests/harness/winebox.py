"""WineBox: one clean Wine prefix per test, and the ways to run programs in it.

    with WineBox("usage") as box:
        result = box.trace(product_exe(), "/v", env={"_MSI_WEB_BOOTSTRAP_DEBUG": "1"})
        assert result.exit_code == 160

Every program's output goes to files under the box's logs folder (never
pipes: a pipe on wine's output can stay open until the wineserver ends).
On exit the box stops every process it started, by pid, kills its own
wineserver and removes the prefix; set CORVANE_KEEP_PREFIX=1 to keep it
(the path is printed).
"""

import itertools
import re
import json
import os
import shutil
import signal
import subprocess
import tempfile
import time
from dataclasses import dataclass, field
from pathlib import Path
from typing import Dict, List, Optional

from .paths import WINE, WINESERVER, HarnessError, build_dir, tool
from .wineprefix import (BASE_DLL_OVERRIDES, copy_prefix, server_socket_exists,
                         template_prefix, wine_environment)
from .xserver import box_display, stop_xvfb

_box_numbers = itertools.count(1)
SERVER_IDLE_SECONDS = 120


def _process_alive(pid: int) -> bool:
    try:
        os.kill(pid, 0)
    except ProcessLookupError:
        return False
    except PermissionError:
        return True
    return True


def _stop_abandoned_xvfb(pid_file: Path):
    try:
        pid = int(pid_file.read_text().strip())
        command = Path(f"/proc/{pid}/cmdline").read_bytes()
    except (OSError, ValueError):
        return
    if command.split(b"\0")[0].endswith(b"Xvfb"):   # not a process that took its pid since
        try:
            os.kill(pid, signal.SIGTERM)
        except ProcessLookupError:
            pass


def _sweep_abandoned_boxes(boxes: Path):
    """Removes boxes whose test process died without tearing them down
    (killed by a timeout, say), after stopping their wineserver."""
    for root in boxes.iterdir():
        owner = root / "owner"
        if not root.is_dir() or (root / "kept").exists() or not owner.exists():
            continue
        try:
            pid = int(owner.read_text().strip())
        except (OSError, ValueError):
            continue
        if _process_alive(pid):
            continue
        _stop_abandoned_xvfb(root / "xvfb.pid")
        prefix = root / "prefix"
        if prefix.exists():
            env = dict(os.environ, WINEPREFIX=str(prefix))
            try:
                subprocess.run([WINESERVER, "-k"], env=env, timeout=30, stdin=subprocess.DEVNULL,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            except subprocess.TimeoutExpired:
                pass
        shutil.rmtree(root, ignore_errors=True)


def winpath(path) -> str:
    """The Windows path (Z:\\...) of a Linux path; a Windows path (C:\\...)
    stays as it is."""
    text = str(path)
    if re.match(r"^[A-Za-z]:[\\/]", text) or text.startswith("\\\\"):
        return text
    return "Z:" + str(Path(path).resolve()).replace("/", "\\")


def program_name(program) -> str:
    """The file name of a program given by a Linux or a Windows path."""
    return re.split(r"[\\/]", str(program))[-1]


def _safe_stem(name: str) -> str:
    stem = name.rsplit(".", 1)[0] if "." in name else name
    return "".join(c if c.isascii() and (c.isalnum() or c in "-_") else "_" for c in stem)[:40]


def quote_windows_argument(argument: str) -> str:
    """Quotes one argument the way CommandLineToArgvW reads it back."""
    if argument and not any(c in argument for c in ' \t"'):
        return argument
    out = '"'
    backslashes = 0
    for c in argument:
        if c == "\\":
            backslashes += 1
        elif c == '"':
            out += "\\" * (backslashes * 2 + 1) + '"'
            backslashes = 0
        else:
            out += "\\" * backslashes + c
            backslashes = 0
    return out + "\\" * (backslashes * 2) + '"'


@dataclass
class RunResult:
    returncode: int          # as Linux sees it: only the low 8 bits of the exit code
    stdout: str
    stderr: str
    stdout_path: Path
    stderr_path: Path


@dataclass
class TraceResult:
    exit_code: int                 # the full 32-bit exit code, unsigned
    lines: List[str]               # debug-output texts of the program, in order
    pid: int                       # Windows process id
    timed_out: bool
    events: List[dict] = field(default_factory=list)      # every text, with pid and raw bytes
    exceptions: List[dict] = field(default_factory=list)  # exceptions seen (not breakpoints)
    raw: dict = field(default_factory=dict)

    @property
    def text(self) -> str:
        """All debug-output texts joined: pieces of one line become one line."""
        return "".join(self.lines)

    @property
    def signed_exit_code(self) -> int:
        return self.exit_code - (1 << 32) if self.exit_code >= 1 << 31 else self.exit_code

    def raw_bytes(self) -> List[bytes]:
        """The texts exactly as the program sent them (its ANSI code page)."""
        return [bytes.fromhex(event["hex"]) for event in self.events
                if event["pid"] == self.pid]


class WineProcess:
    """A program started in the background in a box (see WineBox.start)."""

    def __init__(self, box, popen, stdout_path, stderr_path, name):
        self.box = box
        self.popen = popen
        self.stdout_path = stdout_path
        self.stderr_path = stderr_path
        self.name = name

    @property
    def linux_pid(self) -> int:
        return self.popen.pid

    def poll(self):
        return self.popen.poll()

    def wait(self, timeout: float = 60) -> RunResult:
        try:
            self.popen.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            self.kill()
            raise TimeoutError(f"{self.name} did not end within {timeout} s; "
                               f"output in {self.stdout_path}")
        return RunResult(self.popen.returncode, _read(self.stdout_path), _read(self.stderr_path),
                         self.stdout_path, self.stderr_path)

    def kill(self):
        if self.popen.poll() is None:
            try:
                os.kill(self.popen.pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
            try:
                self.popen.wait(timeout=10)
            except subprocess.TimeoutExpired:
                pass


class TracedProcess(WineProcess):
    """A program started under tracerun in the background (see WineBox.start_trace)."""

    def __init__(self, box, popen, stdout_path, stderr_path, name, result_path, timeout):
        super().__init__(box, popen, stdout_path, stderr_path, name)
        self.result_path = result_path
        self.timeout = timeout

    def windows_pid(self, timeout: float = 30) -> int:
        """The program's Windows process id, once it has been started."""
        pid_file = Path(str(self.result_path) + ".pid")
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            if pid_file.exists():
                text = pid_file.read_text().strip()
                if text:
                    return int(text)
            if self.popen.poll() is not None and not pid_file.exists():
                break
            time.sleep(0.05)
        raise HarnessError(f"{self.name} did not start; see {self.stdout_path} and "
                           f"{self.result_path}")

    def wait(self, timeout: Optional[float] = None, allow_timeout: bool = False) -> TraceResult:
        """Waits for the program (and tracerun) to end and returns what was recorded.

        When tracerun had to terminate the program at its own timeout this
        raises TimeoutError, unless allow_timeout is set."""
        limit = timeout if timeout is not None else self.timeout + 30
        try:
            self.popen.wait(timeout=limit)
        except subprocess.TimeoutExpired:
            self.kill()
            raise TimeoutError(f"{self.name} under tracerun did not end within {limit} s")
        if not self.result_path.exists():
            raise HarnessError(f"tracerun wrote no result for {self.name} (exit "
                               f"{self.popen.returncode}); see {self.stdout_path}, "
                               f"{self.stderr_path}")
        raw = json.loads(self.result_path.read_text(encoding="utf-8"))
        if not raw.get("started"):
            raise HarnessError(f"tracerun could not start {self.name}: {raw.get('error')}")
        pid = raw["pid"]
        events = raw.get("events", [])
        result = TraceResult(
            exit_code=raw["exit_code"], pid=pid, timed_out=raw["timed_out"],
            lines=[event["text"] for event in events if event["pid"] == pid],
            events=events, exceptions=raw.get("exceptions", []), raw=raw)
        if result.timed_out and not allow_timeout:
            raise TimeoutError(f"{self.name} did not end within {self.timeout} s and was "
                               f"terminated; trace so far: {result.lines!r}")
        return result


def _read(path: Path) -> str:
    try:
        return path.read_text(encoding="utf-8", errors="replace")
    except FileNotFoundError:
        return ""


class WineBox:
    """A fresh Wine prefix with its own wineserver, for one test (or one class).

    name             used in folder names and logs
    windows_version  e.g. "winxp64", "win2003", "win7", "win10" (Wine's names)
    dll_overrides    e.g. {"wintrust": "n"} or "wintrust=n", added to WINEDLLOVERRIDES
    env              environment for every program run in the box
    lang             default LANG of every run (e.g. "fr_FR.UTF-8"); the
                     default is en_US.UTF-8
    """

    def __init__(self, name: str = "box", windows_version: Optional[str] = None,
                 dll_overrides=None, env: Optional[Dict[str, str]] = None,
                 lang: Optional[str] = None, keep: Optional[bool] = None):
        self.name = "".join(c if c.isalnum() or c in "-_" else "_" for c in name)[:60]
        self.windows_version = windows_version
        self.dll_overrides = _overrides_dict(dll_overrides)
        self.env = dict(env or {})
        self.lang = lang
        self.keep = (os.environ.get("CORVANE_KEEP_PREFIX") == "1") if keep is None else keep
        self.build = build_dir()
        self.root: Optional[Path] = None
        self.prefix: Optional[Path] = None
        self.logs: Optional[Path] = None
        self.work: Optional[Path] = None
        self._server = None
        self._xvfb = None
        self.display: Optional[str] = None    # the box's own X display
        self._processes: List[WineProcess] = []
        self._driver = None
        self._counter = itertools.count(1)

    # ------------------------------------------------------------ lifecycle

    def __enter__(self):
        boxes = self.build / "wineboxes"
        boxes.mkdir(exist_ok=True)
        _sweep_abandoned_boxes(boxes)
        self.root = Path(tempfile.mkdtemp(prefix=f"{self.name}-{next(_box_numbers)}-", dir=boxes))
        (self.root / "owner").write_text(f"{os.getpid()}\n")
        self.prefix = self.root / "prefix"
        self.logs = self.root / "logs"
        self.work = self.root / "work"
        self.logs.mkdir()
        self.work.mkdir()
        try:
            self._xvfb, self.display = box_display(self.logs / "xvfb.log")
            if self._xvfb is not None:
                (self.root / "xvfb.pid").write_text(f"{self._xvfb.pid}\n")
            template = template_prefix(self.build, self.display)
            copy_prefix(self.build, template, self.prefix)
            self._start_server()
            if self.windows_version:
                self.set_windows_version(self.windows_version)
        except BaseException:
            self.__exit__(None, None, None)
            raise
        return self

    def __exit__(self, exc_type, exc, tb):
        if self._driver is not None:
            self._driver.close()
            self._driver = None
        for process in self._processes:
            process.kill()
        self._processes.clear()
        if self.prefix is not None and self.prefix.exists():
            try:
                subprocess.run([WINESERVER, "-k"], env=self.environment(), timeout=30,
                               stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)
            except subprocess.TimeoutExpired:
                pass
        if self._server is not None:
            try:
                self._server.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self._server.kill()
                self._server.wait(timeout=10)
            self._server = None
        stop_xvfb(self._xvfb)
        self._xvfb = None
        if self.root is not None:
            if self.keep:
                (self.root / "kept").write_text("kept on request\n")
                print(f"[harness] kept the box at {self.root}", flush=True)
            else:
                shutil.rmtree(self.root, ignore_errors=True)
        return False

    def _start_server(self):
        log = open(self.logs / "wineserver.log", "ab")
        try:
            # Foreground, and kept between the box's programs; should the test
            # die without tearing the box down, it ends by itself after a
            # while without programs.
            self._server = subprocess.Popen([WINESERVER, "-f", f"-p{SERVER_IDLE_SECONDS}"],
                                            env=self.environment(),
                                            stdin=subprocess.DEVNULL, stdout=log, stderr=log)
        finally:
            log.close()
        deadline = time.monotonic() + 15
        while not server_socket_exists(self.prefix):
            if self._server.poll() is not None:
                raise HarnessError(f"wineserver ended at once; see {self.logs}/wineserver.log")
            if time.monotonic() > deadline:
                raise HarnessError("wineserver did not open its socket within 15 s")
            time.sleep(0.02)

    # ---------------------------------------------------------- environment

    def environment(self, env: Optional[Dict[str, str]] = None, lang: Optional[str] = None):
        """The environment of a program run in the box."""
        overrides = dict(self.dll_overrides)
        extra = dict(self.env)
        extra.update(env or {})
        if "WINEDLLOVERRIDES" in extra:
            for name, mode in _overrides_dict(extra.pop("WINEDLLOVERRIDES")).items():
                overrides[name] = mode
        result = wine_environment(self.prefix, extra)
        if self.display:
            result["DISPLAY"] = self.display
        result["WINEDLLOVERRIDES"] = ";".join(
            [BASE_DLL_OVERRIDES] + [f"{name}={mode}" for name, mode in overrides.items()])
        language = lang or extra.get("LANG") or self.lang
        if language:
            result["LANG"] = language
        return result

    def add_dll_overrides(self, overrides):
        """Adds WINEDLLOVERRIDES entries for every later run in this box."""
        self.dll_overrides.update(_overrides_dict(overrides))

    # ---------------------------------------------------------------- paths

    def winpath(self, path) -> str:
        return winpath(path)

    @property
    def drive_c(self) -> Path:
        return self.prefix / "drive_c"

    def c_path(self, windows_path: str) -> Path:
        """The Linux path of a path on C: of the box, e.g. c_path(r"C:\\Setup Files\\a.exe")."""
        relative = windows_path.replace("\\", "/")
        if relative[:2].lower() == "c:":
            relative = relative[2:]
        return self.drive_c / relative.lstrip("/")

    def copy_in(self, source, windows_path: str) -> Path:
        """Copies a file into the box at a C: path; returns the Linux path."""
        target = self.c_path(windows_path)
        target.parent.mkdir(parents=True, exist_ok=True)
        if target.exists() or target.is_symlink():
            target.unlink()
        shutil.copy2(source, target)
        return target

    def install_system_dll(self, source, name: Optional[str] = None, mode: str = "n"):
        """Puts a test DLL into the box's system32 in place of the platform's and
        makes Wine load it (WINEDLLOVERRIDES name=n) for every later run."""
        source = Path(source)
        dll_name = name or source.name
        target = self.drive_c / "windows" / "system32" / dll_name
        if target.exists() or target.is_symlink():
            target.unlink()   # shared with the template: never write into it
        shutil.copy2(source, target)
        self.add_dll_overrides({Path(dll_name).stem.lower(): mode})
        return target

    # ------------------------------------------------------------- programs

    def _log_paths(self, name: str):
        number = next(self._counter)
        stem = f"{number:03d}-{_safe_stem(program_name(name))}"
        return self.logs / f"{stem}.out", self.logs / f"{stem}.err"

    def start(self, program, *args: str, env=None, lang=None, cwd=None,
              name: Optional[str] = None) -> WineProcess:
        """Starts a Windows program (Linux path of an .exe, or a name such as
        "regedit") with wine; its output goes to files."""
        program = str(program)
        stdout_path, stderr_path = self._log_paths(name or program)
        with open(stdout_path, "wb") as out, open(stderr_path, "wb") as err:
            popen = subprocess.Popen([WINE, program, *args], env=self.environment(env, lang),
                                     cwd=cwd or self.work, stdin=subprocess.DEVNULL,
                                     stdout=out, stderr=err)
        process = WineProcess(self, popen, stdout_path, stderr_path, program_name(program))
        self._processes.append(process)
        return process

    def run(self, program, *args: str, timeout: float = 60, env=None, lang=None, cwd=None,
            check: bool = False) -> RunResult:
        """Runs a program and waits; returncode holds the low 8 bits only (use
        trace() for the full exit code)."""
        result = self.start(program, *args, env=env, lang=lang, cwd=cwd).wait(timeout)
        if check and result.returncode != 0:
            raise HarnessError(f"{program} {' '.join(args)} ended with {result.returncode}: "
                               f"{result.stdout}{result.stderr}")
        return result

    def start_trace(self, program, arguments: Optional[str] = None, *,
                    command_line: Optional[str] = None, timeout: float = 60, env=None,
                    lang=None, cwd: Optional[str] = None, children: bool = False,
                    application: Optional[str] = None) -> TracedProcess:
        """Starts a program under tracerun in the background.

        The command line is "<program's Windows path>" followed by a blank and
        `arguments` exactly as given (None: no blank, no arguments), or
        `command_line` verbatim (then `program` only names the logs, and
        `application` may name the program to start)."""
        if command_line is None:
            command_line = f'"{winpath(program)}"'
            if arguments is not None:
                command_line += " " + arguments
        stdout_path, stderr_path = self._log_paths(f"trace-{program_name(program)}")
        command_file = stdout_path.with_suffix(".cmdline")
        command_file.write_bytes(command_line.encode("utf-8"))
        result_path = stdout_path.with_suffix(".json")
        tracerun = [str(tool("tracerun")), "--timeout", str(int(timeout * 1000))]
        if cwd:
            tracerun += ["--cwd", cwd]
        if children:
            tracerun.append("--children")
        if application:
            tracerun += ["--app", application]
        tracerun += [winpath(result_path), winpath(command_file)]
        with open(stdout_path, "wb") as out, open(stderr_path, "wb") as err:
            popen = subprocess.Popen([WINE, *tracerun], env=self.environment(env, lang),
                                     cwd=self.work, stdin=subprocess.DEVNULL,
                                     stdout=out, stderr=err)
        process = TracedProcess(self, popen, stdout_path, stderr_path, program_name(program),
                                result_path, timeout)
        self._processes.append(process)
        return process

    def trace(self, program, arguments: Optional[str] = None, **options) -> TraceResult:
        """Runs a program under tracerun and waits: full exit code and trace lines.
        Takes the options of start_trace, and allow_timeout."""
        allow_timeout = options.pop("allow_timeout", False)
        return self.start_trace(program, arguments, **options).wait(allow_timeout=allow_timeout)

    # ------------------------------------------------------------- registry

    def reg_import(self, text: str, timeout: float = 60):
        """Imports registry text (without the REGEDIT4 header) with regedit."""
        body = "REGEDIT4\n\n" + text.strip() + "\n"
        path = self.work / f"import-{next(self._counter)}.reg"
        path.write_text(body.replace("\n", "\r\n"), encoding="utf-8")
        self.run("regedit", "/S", winpath(path), timeout=timeout, check=True)

    def reg_add(self, key: str, name: Optional[str], value, kind: str = "REG_SZ"):
        """reg add KEY /v NAME /t KIND /d VALUE /f (name None: the default value)."""
        args = ["reg", "add", key]
        args += ["/v", name] if name is not None else ["/ve"]
        args += ["/t", kind, "/d", str(value), "/f"]
        self.run(*args, check=True)

    def reg_query(self, key: str, name: Optional[str] = None) -> str:
        args = ["reg", "query", key] + (["/v", name] if name is not None else [])
        return self.run(*args).stdout

    def set_windows_version(self, version: str):
        """Makes Wine report this Windows version (Wine's names: winxp64, win2003,
        vista, win7, win8, win81, win10, ...)."""
        self.reg_import(f'[HKEY_CURRENT_USER\\Software\\Wine]\n"Version"="{version}"')

    # --------------------------------------------------------------- windows

    def driver(self):
        """The WindowDriver of this box (one windriver process, started once)."""
        if self._driver is None:
            from .windriver import WindowDriver
            self._driver = WindowDriver(self)
        return self._driver

    def describe(self) -> str:
        return f"box {self.name} at {self.root}"


def _overrides_dict(overrides) -> Dict[str, str]:
    if not overrides:
        return {}
    if isinstance(overrides, dict):
        return {str(k): str(v) for k, v in overrides.items()}
    result = {}
    for part in str(overrides).split(";"):
        if "=" in part:
            names, mode = part.split("=", 1)
            for name in names.split(","):
                if name.strip():
                    result[name.strip()] = mode.strip()
    return result


__all__ = ["WineBox", "WineProcess", "TracedProcess", "RunResult", "TraceResult", "winpath",
           "quote_windows_argument"]
