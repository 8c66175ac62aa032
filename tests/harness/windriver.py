"""WindowDriver: the program's windows seen and used from a second process.

A thin wrapper over tests/tools/windriver.exe, which runs inside the same
WineBox (one long-lived `windriver serve` process per box, so that each
command costs a few milliseconds instead of a Wine process start).

    driver = box.driver()
    box_window = driver.wait_for_message_box(exe="CorvaneSetup.exe")
    assert box_window.message_text.startswith("Usage:")
    assert box_window.icon() == "information"
    box_window.click(IDOK)
    box_window.wait_gone()

Clicks, keys, closing and selecting are posted to the program (they work for
buttons that open modal loops) and then wait briefly until the program has
taken them; a read right after them normally sees the result, but a test
that expects a change should wait for it (wait_for_window, wait_gone,
Window.wait_until).
"""

import json
import os
import select
import subprocess
import time
from dataclasses import dataclass, field
from pathlib import Path
from typing import Callable, List, Optional

from .images import bmp_to_png
from .paths import WINE, tool

IDOK, IDCANCEL, IDABORT, IDRETRY, IDIGNORE, IDYES, IDNO = 1, 2, 3, 4, 5, 6, 7
MESSAGE_BOX_TEXT_ID = 0xFFFF
MESSAGE_BOX_ICON_ID = 0x440

WS_VISIBLE = 0x10000000
WS_DISABLED = 0x08000000
BS_TYPEMASK = 0x0F


class WindowDriverError(AssertionError):
    """A window did not appear, did not go, or could not be used as asked.

    An AssertionError, so that unittest reports it as a test failure."""


def _escape(value: str) -> str:
    return (value.replace("\\", "\\\\").replace("\t", "\\t").replace("\n", "\\n")
            .replace("\r", "\\r"))


@dataclass
class Control:
    hwnd: int
    id: int
    cls: str
    text: str
    style: int
    exstyle: int
    visible: bool
    enabled: bool
    rect: List[int]
    parent: int
    checked: Optional[int] = None      # buttons with a check state: 0, 1 (checked), 2
    items: Optional[List[str]] = None  # combobox and listbox items
    selected: Optional[int] = None     # selected item index, -1 for none
    pos: Optional[int] = None          # progress bar position
    low: Optional[int] = None          # progress bar range
    high: Optional[int] = None

    @classmethod
    def from_json(cls, data):
        return cls(hwnd=data["hwnd"], id=data["id"], cls=data["class"], text=data["text"],
                   style=data["style"], exstyle=data["exstyle"], visible=data["visible"],
                   enabled=data["enabled"], rect=data["rect"], parent=data["parent"],
                   checked=data.get("checked"), items=data.get("items"),
                   selected=data.get("selected"), pos=data.get("pos"), low=data.get("low"),
                   high=data.get("high"))

    @property
    def is_button(self) -> bool:
        return self.cls.lower() == "button"

    @property
    def is_push_button(self) -> bool:
        return self.is_button and self.checked is None and (self.style & BS_TYPEMASK) in (0, 1)

    @property
    def width(self) -> int:
        return self.rect[2] - self.rect[0]

    @property
    def height(self) -> int:
        return self.rect[3] - self.rect[1]


@dataclass
class Window:
    driver: "WindowDriver"
    hwnd: int
    pid: int
    tid: int
    exe: str
    cls: str
    title: str
    style: int
    exstyle: int
    visible: bool
    enabled: bool
    rect: List[int]
    client: List[int]
    owner: int
    focus: Optional[int] = None
    focus_id: Optional[int] = None
    active: Optional[int] = None
    default_id: Optional[int] = None
    controls: List[Control] = field(default_factory=list)

    @classmethod
    def from_json(cls, driver, data):
        return cls(driver=driver, hwnd=data["hwnd"], pid=data["pid"], tid=data["tid"],
                   exe=data["exe"], cls=data["class"], title=data["title"], style=data["style"],
                   exstyle=data["exstyle"], visible=data["visible"], enabled=data["enabled"],
                   rect=data["rect"], client=data["client"], owner=data["owner"],
                   focus=data.get("focus"), focus_id=data.get("focus_id"),
                   active=data.get("active"), default_id=data.get("default_id"),
                   controls=[Control.from_json(c) for c in data.get("controls", [])])

    # ------------------------------------------------------------- reading

    def refresh(self) -> "Window":
        """The window as it is now (controls read again)."""
        return self.driver.dump(self.hwnd)

    def control(self, control_id: int) -> Control:
        for control in self.controls:
            if control.id == control_id:
                return control
        raise WindowDriverError(f"window {self.title!r} has no control {control_id}; it has "
                                f"{[(c.id, c.cls, c.text) for c in self.controls]}")

    def has_control(self, control_id: int) -> bool:
        return any(control.id == control_id for control in self.controls)

    def text(self, control_id: int) -> str:
        return self.control(control_id).text

    def find(self, cls: Optional[str] = None, text: Optional[str] = None,
             visible_only: bool = True) -> List[Control]:
        return [c for c in self.controls
                if (cls is None or c.cls.lower() == cls.lower())
                and (text is None or c.text == text)
                and (c.visible or not visible_only)]

    @property
    def is_message_box(self) -> bool:
        return self.cls == "#32770" and self.has_control(MESSAGE_BOX_TEXT_ID)

    @property
    def message_text(self) -> str:
        """The text of a message box."""
        return self.text(MESSAGE_BOX_TEXT_ID)

    @property
    def buttons(self) -> List[Control]:
        """The visible push buttons, left to right."""
        found = [c for c in self.controls if c.visible and c.is_push_button]
        return sorted(found, key=lambda c: (c.rect[0], c.rect[1]))

    @property
    def button_ids(self) -> List[int]:
        return [c.id for c in self.buttons]

    def icon(self, timeout: float = 3) -> str:
        """The kind of a message box's icon: "error", "warning", "information",
        "question", "none" (no icon) or "unknown".

        The icon handle of a box lives in the box's process, so windriver
        compares the pixels the icon control shows with the system icons
        drawn the same way (the box must be visible on the X screen)."""
        return self.driver.command("icon", hwnd=self.hwnd, timeout=int(timeout * 1000))["icon"]

    # ------------------------------------------------------------- actions

    def click(self, control_id: int, force: bool = False, method: Optional[str] = None):
        """Clicks a button (posted BM_CLICK; method="command" posts WM_COMMAND
        to the parent instead). A hidden or disabled control is refused
        unless force is set."""
        fields = {"hwnd": self.hwnd, "id": control_id}
        if force:
            fields["force"] = 1
        if method:
            fields["method"] = method
        self.driver.command("click", **fields)

    def type(self, control_id: int, text: str, replace: bool = True):
        """Types text into an edit control, character by character (over the
        old text unless replace is False)."""
        self.driver.command("type", hwnd=self.hwnd, id=control_id, text=text,
                            replace=1 if replace else 0)

    def set_text(self, control_id: int, text: str):
        """Sets a control's text with WM_SETTEXT."""
        self.driver.command("type", hwnd=self.hwnd, id=control_id, text=text, method="settext")

    def key(self, key: str, control_id: Optional[int] = None, alt: bool = False):
        """Presses a key (esc, enter, tab, space, up, down, f4, a letter, or a
        virtual-key number) on the focused control of the window, or on the
        given control. It goes through the program's message loop, so in a
        modal dialog the dialog manager handles Esc and Enter as for a user."""
        fields = {"hwnd": self.hwnd, "key": key}
        if control_id is not None:
            fields["id"] = control_id
        if alt:
            fields["alt"] = 1
        self.driver.command("key", **fields)

    def select(self, control_id: int, index: Optional[int] = None, text: Optional[str] = None):
        """Selects a combobox (or listbox) item as a user would: the selection
        changes and the parent gets CBN_SELCHANGE (LBN_SELCHANGE)."""
        fields = {"hwnd": self.hwnd, "id": control_id}
        if index is not None:
            fields["index"] = index
        if text is not None:
            fields["text"] = text
        return self.driver.command("select", **fields)["index"]

    def close(self):
        """Closes the window as its title-bar button does (WM_SYSCOMMAND SC_CLOSE)."""
        self.driver.command("close", hwnd=self.hwnd)

    def screenshot(self, path) -> Path:
        """Saves a picture of the window as PNG (or BMP when path ends in .bmp)."""
        path = Path(path)
        bmp = path if path.suffix.lower() == ".bmp" else path.with_suffix(".capture.bmp")
        self.driver.command("screenshot", hwnd=self.hwnd, path=self.driver.box.winpath(bmp))
        if bmp != path:
            bmp_to_png(bmp, path)
            bmp.unlink()
        return path

    def wait_gone(self, timeout: float = 10):
        """Waits until the window is destroyed or hidden."""
        self.driver.command("gone", hwnd=self.hwnd, timeout=int(timeout * 1000),
                            wait_seconds=timeout)

    def wait_until(self, predicate: Callable[["Window"], bool], timeout: float = 10,
                   what: str = "condition") -> "Window":
        """Reads the window again until predicate(window) holds; returns it."""
        deadline = time.monotonic() + timeout
        while True:
            current = self.refresh()
            if predicate(current):
                return current
            if time.monotonic() > deadline:
                raise WindowDriverError(f"{what} not reached within {timeout} s on "
                                        f"{current.title!r}: {current.summary()}")
            time.sleep(0.05)

    def summary(self) -> str:
        controls = ", ".join(f"{c.id}:{c.cls}:{c.text!r}" for c in self.controls if c.visible)
        return f"[{self.cls} {self.title!r} pid {self.pid}] {controls}"


class WindowDriver:
    """One `windriver serve` process inside a WineBox."""

    def __init__(self, box):
        self.box = box
        self._buffer = b""
        self._stderr_path = box.logs / "windriver.err"
        with open(self._stderr_path, "ab") as err:
            self._process = subprocess.Popen(
                [WINE, str(tool("windriver")), "serve"], env=box.environment(),
                cwd=box.work, stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=err)
        ready = self._read_line(60)
        if not ready.get("ok"):
            raise WindowDriverError(f"windriver did not start: {ready}")

    def close(self):
        if self._process is None:
            return
        try:
            self._process.stdin.write(b"quit\n")
            self._process.stdin.close()
        except (BrokenPipeError, OSError):
            pass
        try:
            self._process.wait(timeout=5)
        except subprocess.TimeoutExpired:
            self._process.kill()
            self._process.wait(timeout=5)
        self._process.stdout.close()
        self._process = None

    def _read_line(self, timeout: float) -> dict:
        deadline = time.monotonic() + timeout
        stream = self._process.stdout.fileno()
        while b"\n" not in self._buffer:
            remaining = deadline - time.monotonic()
            if remaining <= 0:
                raise WindowDriverError(f"windriver gave no answer within {timeout} s")
            ready, _, _ = select.select([stream], [], [], remaining)
            if not ready:
                continue
            chunk = os.read(stream, 65536)
            if not chunk:
                raise WindowDriverError(f"windriver ended; see {self._stderr_path}")
            self._buffer += chunk
        line, self._buffer = self._buffer.split(b"\n", 1)
        return json.loads(line.decode("utf-8"))

    def command(self, name: str, wait_seconds: float = 0, **fields) -> dict:
        """Runs one windriver command; raises WindowDriverError when it fails."""
        parts = [name] + [f"{key}={_escape(str(value))}" for key, value in fields.items()]
        self._process.stdin.write(("\t".join(parts) + "\n").encode("utf-8"))
        self._process.stdin.flush()
        answer = self._read_line(30 + wait_seconds + fields.get("timeout", 0) / 1000)
        if not answer.get("ok"):
            raise WindowDriverError(f"windriver {name} {fields}: {answer.get('error')}")
        return answer

    @staticmethod
    def _filter(title=None, cls=None, pid=None, exe=None, title_contains=None, owner=None,
                visible=True):
        fields = {}
        if title is not None:
            fields["title"] = title
        if title_contains is not None:
            fields["title_contains"] = title_contains
        if cls is not None:
            fields["class"] = cls
        if pid is not None:
            fields["pid"] = pid
        if exe is not None:
            fields["exe"] = exe
        if owner is not None:
            fields["owner"] = owner
        fields["visible"] = 1 if visible else 0
        return fields

    def windows(self, controls: bool = True, **filter_args) -> List[Window]:
        """Top-level windows that match now (title, cls, pid, exe,
        title_contains, owner, visible)."""
        answer = self.command("list", controls=1 if controls else 0, **self._filter(**filter_args))
        return [Window.from_json(self, data) for data in answer["windows"]]

    def dump(self, hwnd: int) -> Window:
        return Window.from_json(self, self.command("dump", hwnd=hwnd)["window"])

    def wait_for_window(self, timeout: float = 10, **filter_args) -> Window:
        """Waits for a visible top-level window that matches; the first in
        z-order when several do."""
        fields = self._filter(**filter_args)
        try:
            answer = self.command("wait", timeout=int(timeout * 1000), **fields)
        except WindowDriverError as error:
            seen = [w.summary() for w in self.windows(controls=False)]
            raise WindowDriverError(f"{error}; visible windows: {seen}") from None
        return Window.from_json(self, answer["window"])

    def wait_for_message_box(self, timeout: float = 10, **filter_args) -> Window:
        """Waits for a message box (a dialog with the text control 0xFFFF)."""
        filter_args.setdefault("cls", "#32770")
        deadline = time.monotonic() + timeout
        while True:
            for window in self.windows(**filter_args):
                if window.is_message_box:
                    return window
            if time.monotonic() > deadline:
                seen = [w.summary() for w in self.windows()]
                raise WindowDriverError(f"no message box within {timeout} s; visible windows: "
                                        f"{seen}")
            time.sleep(0.05)

    def wait_no_window(self, timeout: float = 10, **filter_args):
        """Waits until no visible top-level window matches."""
        deadline = time.monotonic() + timeout
        while self.windows(controls=False, **filter_args):
            if time.monotonic() > deadline:
                raise WindowDriverError(f"windows still there after {timeout} s: "
                                        f"{[w.summary() for w in self.windows(**filter_args)]}")
            time.sleep(0.05)

    def screenshot(self, path) -> Path:
        """A picture of the whole screen."""
        path = Path(path)
        bmp = path.with_suffix(".capture.bmp")
        self.command("screenshot", path=self.box.winpath(bmp))
        bmp_to_png(bmp, path)
        bmp.unlink()
        return path
