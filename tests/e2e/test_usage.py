"""The command line of the real program: which arguments show the usage box,
what that box looks like, and the exit code of each run mode."""

import time
import unittest

from harness import WineBox, product_exe, resource_ids, string_tables
from harness.windriver import IDOK, WindowDriverError

ENGLISH = 1033
USAGE = 38
INTERNAL_ERROR = 40
BAD_ARGUMENTS = 160

# What the normal and administrative modes do for now: the download page,
# then after Next message 40 (in the configured language: the shipped
# CV_LANGUAGE is "fr") and 1603, because the download does not exist yet.
# When the installation sequence grows, only this changes.
INSTALLATION_OUTCOME = {"page_next": resource_ids()["IDC_DOWNLOAD_NEXT"],
                        "message": INTERNAL_ERROR, "language": 1036, "icon": "error",
                        "exit_code": 1603}

# The program's table language that each test locale selects while no
# language has been chosen. es_ES is absent: Wine gives it the user language
# 3082 (modern sort) and the string loader falls back to English, not to the
# program's Spanish table 1034; that choice is the platform's.
LOCALE_LANGUAGE = {"en_US.UTF-8": ENGLISH, "de_DE.UTF-8": 1031, "fr_FR.UTF-8": 1036,
                   "it_IT.UTF-8": 1040, "ja_JP.UTF-8": 1041}

# Arguments that are not one of the program's switches. Every one shows the
# usage box and ends with 0. (locale, arguments as passed, why)
NOT_A_SWITCH = [
    ("en_US.UTF-8", "/?", "the documented usage switch"),
    ("en_US.UTF-8", "-?", "dash form"),
    ("en_US.UTF-8", "/av", "three characters"),
    ("en_US.UTF-8", "/ava", "longer switch starting with /a"),
    ("en_US.UTF-8", "a", "one character, no switch sign"),
    ("en_US.UTF-8", "va", "two characters without a switch sign"),
    ("en_US.UTF-8", "/", "a lone slash"),
    ("en_US.UTF-8", "-", "a lone dash"),
    ("en_US.UTF-8", '"/a"', "the admin switch inside quotes"),
    ("en_US.UTF-8", '"/v" file', "the verify switch inside quotes"),
    ("en_US.UTF-8", "-x", "unknown switch letter"),
    ("en_US.UTF-8", "/b", "unknown switch letter"),
    ("en_US.UTF-8", "\\a", "backslash is no switch sign"),
    ("en_US.UTF-8", "/" + "a" * 32000, "a 32 KB argument"),
    ("en_US.UTF-8", "\t/?\t", "tabs around the argument"),
    ("en_US.UTF-8", "/\ta", "a tab splits the switch"),
    ("en_US.UTF-8", "\t \t/x /a", "blanks and tabs before an unknown switch"),
    ("en_US.UTF-8", "/é", "a switch letter outside ASCII"),
    ("ja_JP.UTF-8", "/ヂ", "double-byte letter whose trail byte is 'a'"),
    ("ja_JP.UTF-8", "-プ", "double-byte letter whose trail byte is 'v'"),
    ("ja_JP.UTF-8", "\u3000/a", "an ideographic space is not a separator"),
]

# /v without exactly one file: usage box, then 160.
VERIFY_BAD_ARGUMENTS = [
    ("/v", "no file"),
    ("-V", "no file, dash and upper case"),
    ("/v   \t ", "only blanks and tabs after the switch"),
    ("/v a.exe b.exe", "two files"),
    ('/V "C:\\a b.exe" c', "a quoted file and a second one"),
]

# Command lines that reach the installation sequence.
INSTALLATION_MODES = [
    (None, "no argument at all"),
    ("", "an empty argument string"),
    ("   \t  \t", "only blanks and tabs"),
    ("/a", "administrative mode"),
    ("-A", "administrative mode, dash and upper case"),
    ("\t/a", "administrative mode after a tab"),
]


class CommandLineTest(unittest.TestCase):
    """Every case runs the real program under tracerun in one shared box."""

    @classmethod
    def setUpClass(cls):
        cls.box = WineBox("usage").__enter__()
        cls.driver = cls.box.driver()
        cls.texts = string_tables()

    @classmethod
    def tearDownClass(cls):
        cls.box.__exit__(None, None, None)

    def run_to_box(self, arguments, lang="en_US.UTF-8"):
        """Starts the program, waits for its message box, reads it (icon
        included), presses OK and returns (box, icon, trace result)."""
        run = self.box.start_trace(product_exe(), arguments, lang=lang, timeout=30)
        shown = self.driver.wait_for_message_box(pid=run.windows_pid(), timeout=20)
        icon = shown.icon()
        shown.click(IDOK)
        shown.wait_gone()
        return shown, icon, run.wait()

    def wait_for_page(self, pid, control_id, timeout=20):
        """Waits for a dialog of the program that has the given control."""
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            for window in self.driver.windows(pid=pid, cls="#32770"):
                if window.has_control(control_id):
                    return window
            time.sleep(0.05)
        raise WindowDriverError(f"no page with control {control_id} within {timeout} s")

    def assert_usage_box(self, shown, icon, language=ENGLISH):
        self.assertEqual(shown.title, "Corvane")
        self.assertEqual(shown.message_text, self.texts[language][USAGE])
        self.assertEqual(shown.button_ids, [IDOK], "exactly one OK button")
        self.assertEqual(shown.owner, 0, "the usage box has no owner")
        self.assertEqual(icon, "information")

    def test_arguments_that_are_not_switches_show_usage_and_end_with_0(self):
        for lang, arguments, why in NOT_A_SWITCH:
            with self.subTest(why, arguments=arguments[:40]):
                shown, icon, result = self.run_to_box(arguments, lang=lang)
                self.assert_usage_box(shown, icon, LOCALE_LANGUAGE[lang])
                self.assertEqual(result.exit_code, 0)

    def test_verify_without_exactly_one_file_shows_usage_and_ends_with_160(self):
        for arguments, why in VERIFY_BAD_ARGUMENTS:
            with self.subTest(why, arguments=arguments):
                shown, icon, result = self.run_to_box(arguments)
                self.assert_usage_box(shown, icon)
                self.assertEqual(result.exit_code, BAD_ARGUMENTS)

    def test_normal_and_administrative_modes_reach_the_installation(self):
        outcome = INSTALLATION_OUTCOME
        for arguments, why in INSTALLATION_MODES:
            with self.subTest(why, arguments=arguments):
                run = self.box.start_trace(product_exe(), arguments, timeout=30)
                page = self.wait_for_page(run.windows_pid(), outcome["page_next"])
                page.click(outcome["page_next"])
                shown = self.driver.wait_for_message_box(pid=run.windows_pid(), timeout=20)
                icon = shown.icon()
                shown.click(IDOK)
                result = run.wait()
                self.assertEqual(shown.message_text,
                                 self.texts[outcome["language"]][outcome["message"]])
                self.assertEqual(icon, outcome["icon"])
                self.assertEqual(shown.title, "Corvane")
                self.assertEqual(result.exit_code, outcome["exit_code"])

    def test_usage_box_is_in_the_users_language_before_any_choice(self):
        # No language has been chosen in the usage mode: the platform's
        # string loader takes the user's default language (from LANG here).
        for lang, language in LOCALE_LANGUAGE.items():
            with self.subTest(lang=lang):
                shown, icon, result = self.run_to_box("/?", lang=lang)
                self.assert_usage_box(shown, icon, language)
                self.assertEqual(result.exit_code, 0)

    def test_escape_and_enter_close_the_usage_box_like_ok(self):
        for key in ("esc", "enter"):
            with self.subTest(key=key):
                run = self.box.start_trace(product_exe(), "/?", timeout=30)
                shown = self.driver.wait_for_message_box(pid=run.windows_pid(), timeout=20)
                shown.key(key)
                shown.wait_gone()
                self.assertEqual(run.wait().exit_code, 0)


if __name__ == "__main__":
    unittest.main()
