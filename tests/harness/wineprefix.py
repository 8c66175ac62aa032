"""The template Wine prefix and the fast copies the test boxes start from.

The template is made once per build folder (<build>/wine-template) and made
again when it is missing, when the installed Wine changes or when the recipe
below changes. Several tests may start at once: a lock file serialises the
making, and copies take a shared lock so that they never read a half-made
template.

A fresh prefix of this Wine holds ~630 MB of DLLs in system32. A box copy
hard-links the large program files (they are never written while a test
runs) and copies everything else, registry included; that takes well under a
second instead of several. Anything that replaces a system file in a box must
unlink it first (WineBox.install_system_dll does); writing into such a file in
place would change the template.
"""

import fcntl
import os
import shutil
import subprocess
import time
from contextlib import contextmanager
from pathlib import Path

from .paths import WINE, WINESERVER, HarnessError

# Bump when the settings below change, so that old templates are remade.
TEMPLATE_RECIPE = 3

# Settings every box starts with:
# - Managed=N: without a window manager every managed window waits ~2 s.
# - no crash dialog; winedbg still writes its backtrace to the program's
#   stderr, which is in the box's logs.
# - no Mono/Gecko installers and no menu entries on the host.
# - the Plug and Play and event log services stay off: nothing the tests run
#   needs devices or the event log, and starting them costs the first
#   program of every box ~0.9 s.
TEMPLATE_REGISTRY = r"""REGEDIT4

[HKEY_CURRENT_USER\Software\Wine\X11 Driver]
"Managed"="N"
"GrabFullscreen"="N"

[HKEY_CURRENT_USER\Software\Wine\WineDbg]
"ShowCrashDialog"=dword:00000000

[HKEY_CURRENT_USER\Software\Wine\DllOverrides]
"mscoree"=""
"mshtml"=""
"winemenubuilder.exe"=""

[HKEY_CURRENT_USER\Software\Wine\Drivers]
"Audio"=""

[HKEY_LOCAL_MACHINE\System\CurrentControlSet\Services\PlugPlay]
"Start"=dword:00000004

[HKEY_LOCAL_MACHINE\System\CurrentControlSet\Services\Eventlog]
"Start"=dword:00000004
"""

BASE_DLL_OVERRIDES = "mscoree,mshtml=;winemenubuilder.exe=d"

# Program files that are shared with the template instead of copied.
_LINKED_SUFFIXES = {".dll", ".exe", ".drv", ".sys", ".ocx", ".cpl", ".acm", ".tlb", ".ax",
                    ".ds", ".nls", ".ttf", ".ttc", ".fon", ".msstyles", ".mui", ".com", ".vxd"}
_LINK_MIN_BYTES = 16 * 1024


def wine_version() -> str:
    result = subprocess.run([WINE, "--version"], capture_output=True, text=True, timeout=60)
    return result.stdout.strip()


def wine_environment(prefix: Path, extra=None) -> dict:
    env = dict(os.environ)
    for name in list(env):
        if name.startswith("LC_") or name == "_MSI_WEB_BOOTSTRAP_DEBUG":
            del env[name]
    env.update({
        "WINEPREFIX": str(prefix),
        "WINEARCH": "win64",
        "WINESERVER": WINESERVER,
        "WINEDEBUG": os.environ.get("CORVANE_WINEDEBUG", "-all"),
        "WINEDLLOVERRIDES": BASE_DLL_OVERRIDES,
        "LANG": "en_US.UTF-8",
    })
    if extra:
        env.update(extra)
    return env


def server_socket_candidates(prefix: Path):
    """Where a wineserver for this prefix puts its socket (upstream and Debian)."""
    info = os.stat(prefix)
    name = f"server-{info.st_dev:x}-{info.st_ino:x}"
    yield Path(f"/tmp/.wine-{os.getuid()}") / name / "socket"
    for directory in Path("/tmp").glob("wine-*"):
        yield directory / name / "socket"


def server_socket_exists(prefix: Path) -> bool:
    return any(candidate.exists() for candidate in server_socket_candidates(prefix))


@contextmanager
def _locked(path: Path, exclusive: bool):
    path.parent.mkdir(parents=True, exist_ok=True)
    with open(path, "a+") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX if exclusive else fcntl.LOCK_SH)
        try:
            yield
        finally:
            fcntl.flock(lock, fcntl.LOCK_UN)


def _stamp_text() -> str:
    return f"{wine_version()}\nrecipe {TEMPLATE_RECIPE}\n"


def _template_ready(template: Path, stamp: str) -> bool:
    stamp_file = template / ".corvane-template"
    return stamp_file.exists() and stamp_file.read_text() == stamp


def _run_logged(command, env, log: Path, timeout: int):
    with open(log, "ab") as out:
        result = subprocess.run(command, env=env, stdin=subprocess.DEVNULL, stdout=out,
                                stderr=out, timeout=timeout)
    return result.returncode


def _make_template(target: Path, stamp: str, display: str):
    work = target.with_name(f"{target.name}.new-{os.getpid()}")
    shutil.rmtree(work, ignore_errors=True)
    work.mkdir(parents=True)
    log = target.with_name(f"{target.name}.log")
    env = wine_environment(work, {"DISPLAY": display})
    try:
        _run_logged([WINE, "wineboot", "--init"], env, log, 300)
        registry = work / "corvane-template.reg"
        registry.write_text(TEMPLATE_REGISTRY.replace("\n", "\r\n"))
        _run_logged([WINE, "regedit", "/S", "Z:" + str(registry).replace("/", "\\")], env, log, 120)
        registry.unlink()
        # Waiting for the server to end is what writes the registry files.
        _run_logged([WINESERVER, "-w"], env, log, 120)
        if "Managed" not in (work / "user.reg").read_text(errors="replace"):
            raise HarnessError(f"template settings did not reach the registry; see {log}")
        (work / ".corvane-template").write_text(stamp)
    except BaseException:
        subprocess.run([WINESERVER, "-k"], env=env, timeout=60, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
        shutil.rmtree(work, ignore_errors=True)
        raise
    old = target.with_name(f"{target.name}.old-{os.getpid()}")
    if target.exists():
        target.rename(old)
    work.rename(target)
    shutil.rmtree(old, ignore_errors=True)


def template_prefix(build: Path, display: str) -> Path:
    """The template prefix of this build folder, made first if needed."""
    template = build / "wine-template"
    lock = build / "wine-template.lock"
    stamp = _stamp_text()
    with _locked(lock, exclusive=False):
        if _template_ready(template, stamp):
            return template
    with _locked(lock, exclusive=True):
        if not _template_ready(template, stamp):
            started = time.monotonic()
            _make_template(template, stamp, display)
            print(f"[harness] made the Wine template in {time.monotonic() - started:.1f} s",
                  flush=True)
    return template


def _copy_tree(source: Path, target: Path):
    target.mkdir(parents=True, exist_ok=True)
    shutil.copystat(source, target)
    with os.scandir(source) as entries:
        for entry in entries:
            destination = target / entry.name
            if entry.is_symlink():
                os.symlink(os.readlink(entry.path), destination)
            elif entry.is_dir(follow_symlinks=False):
                _copy_tree(Path(entry.path), destination)
            elif (os.path.splitext(entry.name)[1].lower() in _LINKED_SUFFIXES
                  and entry.stat(follow_symlinks=False).st_size >= _LINK_MIN_BYTES):
                os.link(entry.path, destination)
            else:
                shutil.copy2(entry.path, destination)


def copy_prefix(build: Path, template: Path, target: Path):
    """Makes target a fresh prefix equal to the template."""
    with _locked(build / "wine-template.lock", exclusive=False):
        _copy_tree(template, target)
