"""Pieces shared by the wizard tests: the controls of the two pages, the page
texts as the built program carries them, and a running setup program seen
page by page through the window driver.
"""
import re
import struct
import time
from pathlib import Path

import pefile

from harness import build_dir, product_exe, string_tables
from harness.windriver import IDCANCEL, IDOK, WindowDriverError

# The edition and language page (dialog 1101).
PICTURE = 98
EDITION_BANNER, SUITE_LABEL, SUITE_RADIO, LANGUAGE_LABEL = 101, 102, 103, 104
OPTION_2, OPTION_3, OPTION_4, OPTION_5 = 105, 106, 107, 108
EDITION_NEXT, EDITION_CANCEL, FREE_RADIO, LANGUAGE_LIST, FREE_LABEL = 109, 110, 111, 112, 113
EDITION_BACK = 1004

# The download mode and location page (dialog 1102).
DOWNLOAD_BANNER, DOWNLOAD_AND_INSTALL, DOWNLOAD_ONLY, LOCATION, BROWSE = 201, 202, 203, 204, 205
DOWNLOAD_BACK, DOWNLOAD_NEXT, DOWNLOAD_CANCEL = 206, 207, 208

# The platform's Save As dialog: its file-name field (cmb13 of dlgs.h), Save
# is IDOK and Cancel IDCANCEL.
SAVE_AS_FILE_NAME = 0x47C

EDITION_PAGE_TEXTS = [
    (EDITION_BANNER, "UI_PAGE_1_BANNER1"),
    (SUITE_LABEL, "UI_PAGE_1_OPTION_FREE_CVHS"),
    (FREE_LABEL, "UI_PAGE_1_OPTION_FREE_ONLY"),
    (LANGUAGE_LABEL, "UI_PAGE_1_OPTION_1"),
    (OPTION_2, "UI_PAGE_1_OPTION_2"),
    (OPTION_3, "UI_PAGE_1_OPTION_3"),
    (OPTION_4, "UI_PAGE_1_OPTION_4"),
    (OPTION_5, "UI_PAGE_1_OPTION_5"),
    (EDITION_NEXT, "UI_PAGE_1_NEXT"),
    (EDITION_CANCEL, "UI_PAGE_1_CANCEL"),
]
DOWNLOAD_PAGE_TEXTS = [
    (DOWNLOAD_BANNER, "UI_PAGE_2_BANNER"),
    (DOWNLOAD_AND_INSTALL, "UI_PAGE_2_DOWNLOAD_AND_INSTALL"),
    (DOWNLOAD_ONLY, "UI_PAGE_2_DOWNLOAD_ONLY"),
    (BROWSE, "UI_PAGE_2_BROWSE"),
    (DOWNLOAD_BACK, "UI_PAGE_2_BACK"),
    (DOWNLOAD_NEXT, "UI_PAGE_2_NEXT"),
    (DOWNLOAD_CANCEL, "UI_PAGE_2_CANCEL"),
]

DE, EN, ES, FR, IT, JA = 1031, 1033, 1034, 1036, 1040, 1041
# Language id, code of CV_LANGUAGE, LANG that makes it the user's default.
# ja_JP also gives the ANSI code page 932, without which the Japanese texts
# cannot come out of the ANSI conversion.
LANGUAGES = [
    (DE, "de", "de_DE.UTF-8"),
    (EN, "en", "en_US.UTF-8"),
    (ES, "es", "es_ES.UTF-8"),
    (FR, "fr", "fr_FR.UTF-8"),
    (IT, "it", "it_IT.UTF-8"),
    (JA, "jp", "ja_JP.UTF-8"),
]

WS_SYSMENU = 0x00080000
MESSAGE_40 = 40  # internal error: what follows Next in this build


def assert_keys_leave_page(test, setup, page, read_state, expected):
    """Esc (IDCANCEL), Enter (IDOK: no push button is the default one) and the
    system close command (IDCANCEL too) must leave a page as it is. Enter on a
    focused push button would press that button, as the platform does it, so
    the caller puts the focus elsewhere first."""
    for action in ("esc", "enter", "close"):
        if action == "close":
            page.close()
        else:
            page.key(action)
        now = page.refresh()
        test.assertTrue(now.visible, action)
        test.assertEqual(read_state(now), expected, action)
    test.assertEqual(len(setup.windows()), 1, "no other window came up")


def config_entries(exe):
    """{(NAME, language): value} of the type-40 entries of a program."""
    pe = pefile.PE(str(exe), fast_load=True)
    pe.parse_data_directories(directories=[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_RESOURCE"]])
    entries = {}
    for type_entry in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        if type_entry.id != 40:
            continue
        for name_entry in type_entry.directory.entries:
            for language_entry in name_entry.directory.entries:
                record = language_entry.data.struct
                data = pe.get_data(record.OffsetToData, record.Size)
                text = data.decode("utf-16-le", errors="replace")
                entries[(str(name_entry.name).upper(), language_entry.id)] = text.split("\0", 1)[0]
    return entries


def expected_text(entries, name, language):
    """What a page shows for entry name in language: the entry in that
    language, else in English, with its $(NAME) macros expanded the same way
    (a name without an entry expands to nothing: no test sets the
    environment); the entry's own name when there is no entry at all."""
    value = entries.get((name, language), entries.get((name, EN)))
    if value is None:
        return name

    def expand(match):
        inner = match.group(1)
        if (inner, language) in entries or (inner, EN) in entries:
            return expected_text(entries, inner, language)
        return ""

    return re.sub(r"\$\((\w+)\)", expand, value)


def message_text(language, message_id):
    return string_tables()[language][message_id]


def screenshot_dir() -> Path:
    folder = build_dir() / "screenshots"
    folder.mkdir(exist_ok=True)
    return folder


def screen_size(driver, folder):
    """Width and height of the screen, from a picture of it."""
    path = driver.screenshot(Path(folder) / "screen.png")
    with open(path, "rb") as picture:
        header = picture.read(24)
    return struct.unpack(">II", header[16:24])


class RunningSetup:
    """The setup program started in a box under tracerun, seen page by page."""

    def __init__(self, box, exe=None, lang=None, env=None, timeout=180):
        self.box = box
        self.process = box.start_trace(exe or product_exe(), lang=lang, env=env, timeout=timeout)
        self.driver = box.driver()
        self.pid = self.process.windows_pid()

    def windows(self):
        return self.driver.windows(pid=self.pid)

    def page(self, banner_id, timeout=30, replacing=None):
        """The visible page that has control banner_id (EDITION_BANNER or
        DOWNLOAD_BANNER); with replacing, a page other than that window,
        which must have gone first."""
        if replacing is not None:
            replacing.wait_gone()
        deadline = time.monotonic() + timeout
        while True:
            for window in self.windows():
                if window.has_control(banner_id) and (replacing is None or window.hwnd != replacing.hwnd):
                    return window
            if time.monotonic() > deadline:
                raise WindowDriverError(f"no page with control {banner_id} within {timeout} s; "
                                        f"windows: {[w.summary() for w in self.windows()]}")
            time.sleep(0.05)

    def first_page(self, timeout=30):
        """The first page the run shows, whichever it is."""
        deadline = time.monotonic() + timeout
        while True:
            for window in self.windows():
                if window.has_control(EDITION_BANNER) or window.has_control(DOWNLOAD_BANNER):
                    return window
            if time.monotonic() > deadline:
                raise WindowDriverError(f"no page within {timeout} s")
            time.sleep(0.05)

    def owned_window(self, owner, timeout=15, control_id=None):
        """A visible window owned by owner (having control_id when given)."""
        deadline = time.monotonic() + timeout
        while True:
            for window in self.windows():
                if window.owner == owner.hwnd and (control_id is None or window.has_control(control_id)):
                    return window
            if time.monotonic() > deadline:
                raise WindowDriverError(f"no window owned by {owner.title!r} within {timeout} s; "
                                        f"windows: {[w.summary() for w in self.windows()]}")
            time.sleep(0.05)

    def open_save_as(self, page):
        page.click(BROWSE)
        return self.owned_window(page, control_id=SAVE_AS_FILE_NAME)

    def save_as(self, page, path):
        """Browse, the path into the file-name field, Save; returns the page
        as it is once the Save As dialog has gone (or a box it opened)."""
        dialog = self.open_save_as(page)
        dialog.set_text(SAVE_AS_FILE_NAME, path)
        dialog.click(IDOK)
        return dialog

    def message_box(self, timeout=15):
        return self.driver.wait_for_message_box(pid=self.pid, timeout=timeout)

    def finish(self, timeout=60):
        """Waits for the end of the run; the TraceResult."""
        return self.process.wait(timeout=timeout)

    def kill(self):
        self.process.kill()
