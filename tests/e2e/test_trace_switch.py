"""The diagnostic trace of the real program on the debugger output, switched
by _MSI_WEB_BOOTSTRAP_DEBUG, read through tracerun."""

import unittest

from harness import WineBox, product_exe, winpath
from harness.windriver import IDOK

TRACE_VARIABLE = "_MSI_WEB_BOOTSTRAP_DEBUG"
TAGS = ("[Info] ", "[Error] ", "[Resource] ", "[WVT] ", " ")

# Values of the switch variable; None means unset. Only a value that begins
# with '1' turns the trace on.
SWITCH_VALUES = [
    ("1", True),
    ("10", True),
    ("1abc", True),
    ("1 ", True),
    ("0", False),
    ("", False),
    (None, False),
    ("01", False),
    (" 1", False),
    ("2", False),
    ("true", False),
    # Too long for the program's 64-character read: the platform delivers
    # nothing, so the trace stays off.
    ("1" * 100, False),
]

# Where the program is started from: a path with blanks, and one with a
# character outside ASCII, which the trace shows in the ANSI code page.
INSTALL_DIR = "C:\\Program Files\\Corvane Setup"
NON_ASCII_DIR = "C:\\Téléchargements\\Übung"


class TraceSwitchTest(unittest.TestCase):

    @classmethod
    def setUpClass(cls):
        cls.box = WineBox("trace").__enter__()
        cls.driver = cls.box.driver()
        cls.box.copy_in(product_exe(), INSTALL_DIR + "\\CorvaneSetup.exe")
        cls.box.copy_in(product_exe(), NON_ASCII_DIR + "\\CorvaneSetup.exe")

    @classmethod
    def tearDownClass(cls):
        cls.box.__exit__(None, None, None)

    def run_usage(self, value, directory=INSTALL_DIR, arguments="/?", lang="en_US.UTF-8"):
        """Runs the program from directory with the switch set to value,
        closes the message box it shows and returns the trace result."""
        env = {} if value is None else {TRACE_VARIABLE: value}
        program = directory + "\\CorvaneSetup.exe"
        run = self.box.start_trace(program, command_line=f'"{program}" {arguments}',
                                   env=env, lang=lang, timeout=30)
        shown = self.driver.wait_for_message_box(pid=run.windows_pid(), timeout=20)
        shown.click(IDOK)
        return run.wait()

    def test_only_values_beginning_with_1_switch_the_trace_on(self):
        program = INSTALL_DIR + "\\CorvaneSetup.exe"
        expected_on = [f"[Info] we are running from --> {program}\n",
                       "[Info] Setup exit code is 0\n"]
        for value, on in SWITCH_VALUES:
            with self.subTest(value=value):
                result = self.run_usage(value)
                self.assertEqual(result.exit_code, 0)
                self.assertEqual(result.lines, expected_on if on else [])

    def test_exit_code_line_carries_each_modes_code(self):
        for arguments, code in [("/v", 160), ("/?", 0), ("-v a b", 160)]:
            with self.subTest(arguments=arguments):
                result = self.run_usage("1", arguments=arguments)
                self.assertEqual(result.exit_code, code)
                self.assertEqual(result.lines[-1], f"[Info] Setup exit code is {code}\n")
                self.assertTrue(result.lines[0].startswith("[Info] we are running from --> "))
                for line in result.lines:
                    self.assertTrue(line.startswith(TAGS), f"untagged trace text {line!r}")

    def test_path_line_is_in_the_ansi_code_page(self):
        # French locale: ANSI code page 1252, so é is one byte 0xE9.
        result = self.run_usage("1", directory=NON_ASCII_DIR, lang="fr_FR.UTF-8")
        program = NON_ASCII_DIR + "\\CorvaneSetup.exe"
        first = result.raw_bytes()[0]
        self.assertEqual(first, f"[Info] we are running from --> {program}\n".encode("cp1252"))

    def test_trace_from_the_build_folder_names_the_windows_path(self):
        run = self.box.start_trace(product_exe(), "/?", env={TRACE_VARIABLE: "1"}, timeout=30)
        shown = self.driver.wait_for_message_box(pid=run.windows_pid(), timeout=20)
        shown.click(IDOK)
        result = run.wait()
        self.assertEqual(result.lines[0],
                         f"[Info] we are running from --> {winpath(product_exe())}\n")


if __name__ == "__main__":
    unittest.main()
