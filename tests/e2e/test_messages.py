"""Every message function of the program, in each of its six languages: the
text, caption, icon and buttons of the box it shows and the answer it
returns. The functions run in msghost (the product's message code and
resources), the boxes are read from a second process through windriver, and
the expected texts come from the resource scripts in res/."""

import re
import unittest
from dataclasses import dataclass
from typing import Callable, List, Optional

from harness import WineBox, source_dir, string_tables, testdll, tool, winpath
from harness.rcstrings import parse_string_file
from harness.windriver import IDCANCEL, IDNO, IDOK, IDYES
from harness.winebox import quote_windows_argument

LANGUAGES = [1031, 1033, 1034, 1036, 1040, 1041]
ENGLISH, GERMAN, JAPANESE = 1033, 1031, 1041
WESTERN_LOCALE = "en_US.UTF-8"    # ANSI code page 1252
JAPANESE_LOCALE = "ja_JP.UTF-8"   # ANSI code page 932
TEXTS = string_tables()

PATH = "C:\\Program Files\\Corvane\\cv setup.msi"
URL = "http://localhost:8080/dl/cv%20setup.exe?mode=1&lang=fr"
ENTRY = "STD_BASE_URL"

SILENT_INSTALLER_RESULTS = [1259, 1602, 1603, 1604, 1641, 3010]
# Codes that stand for "the package could not be opened".
PACKAGE_OPEN_CODES = [2, 3, 123, 1619]


def printf(format_text: str, *values) -> str:
    """What the program's printf-style formatting makes of a message."""
    remaining = list(values)

    def substitute(match):
        if match.group(0) == "%%":
            return "%"
        return str(remaining.pop(0)) if remaining else match.group(0)

    return re.sub(r"%%|%[sd]", substitute, format_text)


def insert(format_text: str, value: str) -> str:
    """What the platform's message formatter makes of a message with '%1';
    it writes each line break as CR LF."""
    def substitute(match):
        token = match.group(0)
        return {"%1": value, "%%": "%", "%n": "\r\n", "\n": "\r\n"}.get(token, token)

    return re.sub(r"%1|%%|%n|\n", substitute, format_text)


def ansi(text: str, locale: str) -> str:
    """A UTF-16 text after its trip through the ANSI code page of locale."""
    code_page = "cp932" if locale == JAPANESE_LOCALE else "cp1252"
    return text.encode(code_page, errors="replace").decode(code_page)


@dataclass
class Case:
    """One call of a message function and the box it must show."""
    name: str
    args: List[str]
    text: Callable[[int], str]        # expected text (UTF-16) for a language
    icon: str
    buttons: List[int]
    ansi: bool = True                 # the text goes through the ANSI code page
    caption: Callable[[int], str] = lambda language: TEXTS[language][11]
    press: Optional[int] = None       # button to press (default: the first)
    result: int = 0                   # what the function returns


def error_case(name, args, text):
    return Case(name, args, text, "error", [IDOK])


# The calls the program makes, as tables; each runs in every language.
CASES = (
    [Case("ShowUsage", [], lambda L: TEXTS[L][38], "information", [IDOK]),
     Case("ReportMissingEntry", [ENTRY], lambda L: printf(TEXTS[L][18], ENTRY), "warning",
          [IDOK]),
     error_case("ReportOutOfMemory", [], lambda L: TEXTS[L][12])]
    + [error_case("ReportStringError", [str(i)], lambda L, i=i: TEXTS[L][i])
       for i in (24, 29, 32, 39, 40)]
    + [error_case("ReportFormatted", ["28", "1.5x", "150"],
                  lambda L: printf(TEXTS[L][28], "1.5x", 150)),
       error_case("ReportFormatted", ["37", "MINPATCH_X", "0"],
                  lambda L: printf(TEXTS[L][37], "MINPATCH_X", 0)),
       error_case("ReportNumber", ["35", "1605"], lambda L: printf(TEXTS[L][35], 1605)),
       error_case("ReportNumber", ["35", "-5"], lambda L: printf(TEXTS[L][35], -5))]
    + [error_case("ReportWithInsert", [str(i), value], lambda L, i=i, v=value: insert(TEXTS[L][i], v))
       for i, value in ((13, URL), (25, URL), (26, PATH), (31, PATH), (34, PATH))]
    + [error_case("ReportInstallerError", [winpath(testdll("installerstrings")), "1605"],
                  lambda L: printf(TEXTS[L][35], 1605)),
       error_case("ReportInstallerError", ["-", "1619"], lambda L: printf(TEXTS[L][35], 1619)),
       # The progress window's questions: UTF-16 from the table, never converted.
       Case("AskLocalized", ["43", "42", "36"], lambda L: TEXTS[L][43], "question",
            [IDYES, IDNO], ansi=False, caption=lambda L: TEXTS[L][42], press=IDYES, result=6),
       Case("AskLocalized", ["44", "42", "36"], lambda L: TEXTS[L][44], "question",
            [IDYES, IDNO], ansi=False, caption=lambda L: TEXTS[L][42], press=IDNO, result=7)]
)


def installer_module_texts():
    path = source_dir() / "tests" / "testdlls" / "installerstrings" / "installerstrings.rc"
    return parse_string_file(path, {})


@dataclass
class Shown:
    title: str
    text: str
    icon: str
    buttons: List[int]
    owner: int


class MessageFunctionsTest(unittest.TestCase):
    """All cases share one box; each msghost process shows a whole table of
    boxes one after the other."""

    @classmethod
    def setUpClass(cls):
        cls.box = WineBox("messages").__enter__()
        cls.driver = cls.box.driver()

    @classmethod
    def tearDownClass(cls):
        cls.box.__exit__(None, None, None)

    def show_all(self, calls, locale, presses):
        """Runs msghost with the calls (each [language, function, args...]),
        reads every box, presses presses[i] (None: the first button) and
        returns the boxes and the results the functions returned."""
        arguments = " ; ".join(" ".join(quote_windows_argument(str(a)) for a in call)
                               for call in calls)
        run = self.box.start_trace(tool("msghost"), arguments, lang=locale, timeout=300)
        pid = run.windows_pid()
        shown = []
        for press in presses:
            window = self.driver.wait_for_message_box(pid=pid, timeout=20)
            shown.append(Shown(window.title, window.message_text, window.icon(),
                               window.button_ids, window.owner))
            window.click(press if press is not None else window.button_ids[0])
            window.wait_gone()
        result = run.wait()
        returned = [int(m.group(1)) for line in result.lines
                    for m in [re.match(r"\[msghost\] call \d+ returned (-?\d+)\n", line)] if m]
        return shown, returned

    def check_table(self, languages, locale):
        calls = [[language, case.name, *case.args] for language in languages for case in CASES]
        presses = [case.press for _ in languages for case in CASES]
        shown, returned = self.show_all(calls, locale, presses)
        self.assertEqual(len(returned), len(calls))
        index = 0
        for language in languages:
            for case in CASES:
                box, answer = shown[index], returned[index]
                index += 1
                with self.subTest(language=language, function=case.name, args=case.args[:2]):
                    text = case.text(language)
                    caption = case.caption(language)
                    if case.ansi:
                        text, caption = ansi(text, locale), ansi(caption, locale)
                    self.assertEqual(box.text, text)
                    self.assertEqual(box.title, caption)
                    self.assertEqual(box.icon, case.icon)
                    self.assertEqual(box.buttons, case.buttons)
                    self.assertEqual(box.owner, 0)
                    self.assertEqual(answer, case.result)

    def test_every_function_in_every_language(self):
        # Code page 1252: Japanese texts of the ANSI boxes become '?', those
        # of the UTF-16 questions stay correct.
        self.check_table(LANGUAGES, WESTERN_LOCALE)

    def test_japanese_under_the_japanese_code_page(self):
        self.check_table([JAPANESE, ENGLISH], JAPANESE_LOCALE)

    def test_message_13_names_the_installer_except_in_english(self):
        for language in LANGUAGES:
            with self.subTest(language=language):
                self.assertEqual("%1" in TEXTS[language][13], language != ENGLISH)
        shown, _ = self.show_all([[L, "ReportWithInsert", "13", URL] for L in LANGUAGES],
                                 WESTERN_LOCALE, [None] * len(LANGUAGES))
        for language, box in zip(LANGUAGES, shown):
            with self.subTest(language=language):
                self.assertEqual(URL in box.text, language != ENGLISH)

    def test_installer_results_that_show_nothing(self):
        # Each silent call returns at once; the only box is the last call's.
        calls = [[ENGLISH, "ReportInstallerError", winpath(testdll("installerstrings")), str(c)]
                 for c in SILENT_INSTALLER_RESULTS]
        calls += [[ENGLISH, "NotifyCancelled"], [ENGLISH, "ReportStringError", "40"]]
        shown, returned = self.show_all(calls, WESTERN_LOCALE, [None])
        self.assertEqual([box.text for box in shown], [TEXTS[ENGLISH][40]])
        self.assertEqual(returned, [0] * len(calls))

    def test_installer_module_text_for_package_open_failures(self):
        module_texts = installer_module_texts()
        dll = winpath(testdll("installerstrings"))
        cases = [(language, code, module_texts[language][1619])
                 for language in (ENGLISH, GERMAN) for code in PACKAGE_OPEN_CODES]
        # Any other code keeps its own text.
        cases += [(ENGLISH, 1620, module_texts[ENGLISH][1620]),
                  (GERMAN, 1638, module_texts[GERMAN][1638])]
        shown, _ = self.show_all([[L, "ReportInstallerError", dll, str(c)] for L, c, _ in cases],
                                 WESTERN_LOCALE, [None] * len(cases))
        for (language, code, text), box in zip(cases, shown):
            with self.subTest(language=language, code=code):
                self.assertEqual(box.text, text)
                self.assertEqual(box.icon, "error")
                self.assertEqual(box.buttons, [IDOK])
                self.assertEqual(box.title, "Corvane")

    def test_ask_localized_absent_texts(self):
        # Caption id 0 gives the platform's default caption ("Error" in
        # English, on Windows as under Wine); an id without a text, in an
        # existing block (10) or in a block that does not exist (100), and
        # the id 0 give an empty box.
        cases = [(["43", "0", "36"], "Error", TEXTS[ENGLISH][43]),
                 (["0", "42", "36"], TEXTS[ENGLISH][42], ""),
                 (["10", "42", "36"], TEXTS[ENGLISH][42], ""),
                 (["100", "42", "36"], TEXTS[ENGLISH][42], ""),
                 (["44", "42", "64"], TEXTS[ENGLISH][42], TEXTS[ENGLISH][44])]
        shown, returned = self.show_all([[ENGLISH, "AskLocalized", *args] for args, _, _ in cases],
                                        WESTERN_LOCALE, [None] * len(cases))
        for (args, caption, text), box in zip(cases, shown):
            with self.subTest(args=args):
                self.assertEqual(box.title, caption)
                self.assertEqual(box.text, text)
        self.assertEqual(shown[-1].icon, "information")
        self.assertEqual(shown[-1].buttons, [IDOK])
        self.assertEqual(returned, [IDYES] * 4 + [IDOK])

    def test_no_language_chosen_follows_the_users_language(self):
        # Language 0: the ANSI loader and the UTF-16 block lookup both take
        # the thread's default language, German here.
        shown, _ = self.show_all([[0, "ReportStringError", "40"], [0, "AskLocalized", "43", "42", "36"]],
                                 "de_DE.UTF-8", [None, None])
        self.assertEqual(shown[0].text, TEXTS[GERMAN][40])
        self.assertEqual(shown[1].text, TEXTS[GERMAN][43])
        self.assertEqual(shown[1].title, TEXTS[GERMAN][42])

    def test_show_message_box_styles_answers_and_button_language(self):
        # The box's own buttons come in the chosen language (Wine's user32
        # texts, the same words as on Windows); 0 leaves the system's.
        cases = [(ENGLISH, 0, "none", [IDOK], None, IDOK, ["OK"]),
                 (ENGLISH, 1, "none", [IDOK, IDCANCEL], IDCANCEL, IDCANCEL, ["OK", "Cancel"]),
                 (ENGLISH, 16, "error", [IDOK], None, IDOK, ["OK"]),
                 (ENGLISH, 48, "warning", [IDOK], None, IDOK, ["OK"]),
                 (ENGLISH, 64, "information", [IDOK], None, IDOK, ["OK"]),
                 (ENGLISH, 36, "question", [IDYES, IDNO], IDNO, IDNO, ["&Yes", "&No"]),
                 (GERMAN, 36, "question", [IDYES, IDNO], IDYES, IDYES, ["&Ja", "&Nein"]),
                 (0, 36, "question", [IDYES, IDNO], IDNO, IDNO, ["&Yes", "&No"])]
        calls = [[language, "ShowMessageBox", f"text {style}", str(style)]
                 for language, style, *_ in cases]
        run = self.box.start_trace(
            tool("msghost"), " ; ".join(" ".join(quote_windows_argument(str(a)) for a in c)
                                        for c in calls), timeout=120)
        pid = run.windows_pid()
        for language, style, icon, buttons, press, result, labels in cases:
            window = self.driver.wait_for_message_box(pid=pid, timeout=20)
            seen_icon = window.icon()
            window.click(press if press is not None else window.button_ids[0])
            window.wait_gone()
            with self.subTest(language=language, style=style):
                self.assertEqual(window.message_text, f"text {style}")
                self.assertEqual(seen_icon, icon)
                self.assertEqual(window.button_ids, buttons)
                self.assertEqual([b.text for b in window.buttons], labels)
        returned = [line for line in run.wait().lines if line.startswith("[msghost]")]
        self.assertEqual(returned, [f"[msghost] call {i} returned {case[5]}\n"
                                    for i, case in enumerate(cases)])

    def test_long_messages(self):
        # printf-style messages are cut at 1023 characters; the message
        # formatter's result has no such limit.
        name = "N" * 1500
        path = "C:\\" + "d" * 1500 + ".msi"
        shown, _ = self.show_all([[ENGLISH, "ReportMissingEntry", name],
                                  [ENGLISH, "ReportWithInsert", "26", path]],
                                 WESTERN_LOCALE, [None, None])
        self.assertEqual(shown[0].text, printf(TEXTS[ENGLISH][18], name)[:1023])
        self.assertEqual(shown[1].text, insert(TEXTS[ENGLISH][26], path))

    def test_a_percent_in_an_insert_is_not_a_placeholder(self):
        values = ["100%", "%1 %s %d", "C:\\%TEMP%\\x.msi"]
        shown, _ = self.show_all([[ENGLISH, "ReportWithInsert", "26", v] for v in values]
                                 + [[ENGLISH, "ReportMissingEntry", v] for v in values],
                                 WESTERN_LOCALE, [None] * 6)
        for value, box in zip(values + values, shown):
            with self.subTest(value=value):
                self.assertIn(f"'{value}'", box.text)


if __name__ == "__main__":
    unittest.main()
