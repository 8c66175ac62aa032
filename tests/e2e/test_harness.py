"""The test tools that every end-to-end test leans on: tracerun must deliver
full exit codes, the command line verbatim and every debug text; windriver
must read and use a dialog the way a user does. A probe program with known
behaviour stands in for the product."""

import struct
import unittest

from harness import WineBox, product_exe, tool, winpath
from harness.windriver import IDCANCEL, IDNO, IDOK, IDYES, WindowDriverError

EDIT, COMBO, CHECK, ASK, DISABLED, NOTES = 100, 101, 102, 103, 104, 105
CBN_SELCHANGE, EN_CHANGE, BN_CLICKED = 1, 0x300, 0
ACCESS_VIOLATION = 0xC0000005
PROBE_EXCEPTION = 0xE0C0FFEE
NOT_TRUSTED = 0x800B0004


class TraceRunTest(unittest.TestCase):

    @classmethod
    def setUpClass(cls):
        cls.box = WineBox("tracerun").__enter__()
        cls.probe = tool("harnessprobe")

    @classmethod
    def tearDownClass(cls):
        cls.box.__exit__(None, None, None)

    def test_exit_codes_arrive_in_full(self):
        # Wine shows Linux only the low 8 bits; tracerun reads all 32.
        for code in [0, 1, 160, 256, 1603, 3010, 0x800B0001, 0x800B0004, ACCESS_VIOLATION,
                     0xFFFFFFFF]:
            with self.subTest(code=hex(code)):
                result = self.box.trace(self.probe, f"exit {code}", timeout=30)
                self.assertEqual(result.exit_code, code)

    def test_command_line_environment_and_code_page_arrive_unchanged(self):
        out = self.box.work / "echo.txt"
        cases = [("en_US.UTF-8", "echo a  b", 1252),
                 ("en_US.UTF-8", 'echo \t"x y"\t "unterminated', 1252),
                 ("en_US.UTF-8", "echo äöü é", 1252),
                 ("ja_JP.UTF-8", "echo ヂ\u3000プ", 932),
                 ("en_US.UTF-8", "echo " + "z" * 32000, 1252),
                 ("en_US.UTF-8", "echo", 1252)]
        for lang, arguments, code_page in cases:
            with self.subTest(arguments=arguments[:30], lang=lang):
                value = "välue with blanks"
                result = self.box.trace(self.probe, arguments, lang=lang, timeout=30,
                                        env={"HARNESSPROBE_OUT": winpath(out),
                                             "HARNESSPROBE_VALUE": value})
                self.assertEqual(result.exit_code, 0)
                line, acp, seen_value, _ = out.read_text(encoding="utf-8").split("\n")
                self.assertEqual(line, f'"{winpath(self.probe)}" {arguments}')
                self.assertEqual(int(acp), code_page)
                self.assertEqual(seen_value, value)

    def test_command_line_given_whole(self):
        out = self.box.work / "whole.txt"
        line = 'probe-name  echo "one arg"'
        result = self.box.trace(self.probe, command_line=line, application=winpath(self.probe),
                                env={"HARNESSPROBE_OUT": winpath(out)}, timeout=30)
        self.assertEqual(result.exit_code, 0)
        self.assertEqual(out.read_text(encoding="utf-8").split("\n")[0], line)

    def test_every_debug_text_is_recorded_as_sent(self):
        result = self.box.trace(self.probe, "debug", lang="fr_FR.UTF-8", timeout=30)
        self.assertEqual(result.lines, ["[probe] first piece", " second piece\n",
                                        "[probe] café\n", "",
                                        "[probe] %s stays as written\n"])
        self.assertEqual(result.raw_bytes()[2], b"[probe] caf\xe9\n")
        self.assertEqual(result.text.splitlines()[0], "[probe] first piece second piece")
        self.assertEqual(result.exceptions, [])

    def test_exceptions_reach_the_program_and_are_recorded(self):
        crash = self.box.trace(self.probe, "crash", timeout=60)
        self.assertEqual(crash.exit_code, ACCESS_VIOLATION)
        chances = [e["first_chance"] for e in crash.exceptions if e["code"] == ACCESS_VIOLATION]
        self.assertEqual(chances, [True, False])
        # The program's own handler must see a first-chance exception.
        handled = self.box.trace(self.probe, "handled", timeout=30)
        self.assertEqual(handled.exit_code, 0)
        self.assertEqual([(e["code"], e["first_chance"]) for e in handled.exceptions],
                         [(PROBE_EXCEPTION, True)])

    def test_a_program_that_runs_too_long_is_ended(self):
        with self.assertRaises(TimeoutError):
            self.box.trace(self.probe, "sleep 60000", timeout=2)
        result = self.box.trace(self.probe, "sleep 60000", timeout=2, allow_timeout=True)
        self.assertTrue(result.timed_out)


class TraceRunChildrenTest(unittest.TestCase):

    def test_following_children_ends_with_the_program_started(self):
        # The first GUI program of a prefix brings up Wine's desktop process,
        # which then runs as a debugged child and never ends by itself. The
        # setup program checking its own (unsigned) file is such a program and
        # ends at once.
        with WineBox("tracerun-children") as box:
            result = box.trace(product_exe(), "/v " + winpath(product_exe()), children=True,
                               timeout=30)
        self.assertEqual(result.exit_code, NOT_TRUSTED)
        self.assertFalse(result.timed_out)


class WindowDriverTest(unittest.TestCase):

    @classmethod
    def setUpClass(cls):
        cls.box = WineBox("windriver").__enter__()
        cls.driver = cls.box.driver()
        cls.probe = tool("harnessprobe")

    @classmethod
    def tearDownClass(cls):
        cls.box.__exit__(None, None, None)

    def open_dialog(self):
        run = self.box.start_trace(self.probe, "dialog", timeout=60)
        dialog = self.driver.wait_for_window(pid=run.windows_pid(), title="Harness probe")
        return run, dialog

    @staticmethod
    def commands(result):
        return [line for line in result.lines if line.startswith("[probe] command")]

    def test_reading_a_dialog(self):
        run, dialog = self.open_dialog()
        self.assertEqual(dialog.cls, "#32770")
        self.assertEqual(dialog.exe, "harnessprobe.exe")
        self.assertEqual(dialog.text(EDIT), "start")
        combo = dialog.control(COMBO)
        self.assertEqual((combo.items, combo.selected), (["alpha", "beta", "gamma"], 0))
        self.assertEqual(dialog.control(CHECK).checked, 0)
        self.assertFalse(dialog.control(DISABLED).enabled)
        self.assertTrue(dialog.control(IDOK).visible)
        self.assertEqual(dialog.default_id, IDOK)
        self.assertEqual(dialog.focus_id, EDIT)
        self.assertEqual([b.text for b in dialog.buttons], ["Ask", "Off", "OK", "Cancel"])
        picture = dialog.screenshot(self.box.work / "probe.png")
        data = picture.read_bytes()
        self.assertEqual(data[:8], b"\x89PNG\r\n\x1a\n")
        self.assertEqual(struct.unpack(">II", data[16:24]),
                         (dialog.rect[2] - dialog.rect[0], dialog.rect[3] - dialog.rect[1]))
        dialog.click(IDCANCEL)
        self.assertEqual(run.wait().exit_code, IDCANCEL)

    def test_using_the_controls_notifies_the_dialog_like_a_user(self):
        run, dialog = self.open_dialog()
        dialog.type(EDIT, "typed ü")
        self.assertEqual(dialog.select(COMBO, text="gamma"), 2)
        dialog.click(CHECK)
        with self.assertRaises(WindowDriverError):
            dialog.click(DISABLED)
        now = dialog.refresh()
        self.assertEqual(now.text(EDIT), "typed ü")
        self.assertEqual(now.control(COMBO).selected, 2)
        self.assertEqual(now.control(CHECK).checked, 1)
        now.click(IDOK)
        result = run.wait()
        self.assertEqual(result.exit_code, IDOK)
        seen = self.commands(result)
        self.assertIn(f"[probe] command {EDIT} {EN_CHANGE}\n", seen)
        self.assertIn(f"[probe] command {COMBO} {CBN_SELCHANGE}\n", seen)
        self.assertIn(f"[probe] command {CHECK} {BN_CLICKED}\n", seen)
        self.assertNotIn(f"[probe] command {DISABLED} {BN_CLICKED}\n", seen)

    def test_keys_go_through_the_dialog_manager(self):
        for key, ended in [("esc", IDCANCEL), ("enter", IDOK)]:
            with self.subTest(key=key):
                run, dialog = self.open_dialog()
                dialog.key(key)
                dialog.wait_gone()
                result = run.wait()
                self.assertEqual(result.exit_code, ended)
                # Only the dialog manager's command; the edit's focus
                # notifications come and go with the dialog.
                buttons = [c for c in self.commands(result)
                           if not c.startswith(f"[probe] command {EDIT} ")]
                self.assertEqual(buttons, [f"[probe] command {ended} 0\n"])

    def test_a_control_that_wants_enter_gets_it(self):
        # A real Enter in a multi-line edit that keeps Enter adds a line
        # instead of pressing the default button.
        run, dialog = self.open_dialog()
        dialog.type(NOTES, "x")
        dialog.key("enter", control_id=NOTES)
        dialog.wait_until(lambda w: w.text(NOTES) == "x\r\n", timeout=3, what="line break")
        dialog.click(IDCANCEL)
        self.assertEqual(run.wait().exit_code, IDCANCEL)

    def test_a_click_that_opens_a_modal_loop_returns_at_once(self):
        run, dialog = self.open_dialog()
        dialog.click(ASK)
        question = self.driver.wait_for_message_box(pid=dialog.pid)
        self.assertEqual(question.title, "Probe question")
        self.assertEqual(question.owner, dialog.hwnd)
        self.assertEqual(question.icon(), "question")
        self.assertEqual(question.button_ids, [IDYES, IDNO])
        question.click(IDNO)
        question.wait_gone()
        dialog.close()
        dialog.wait_gone()
        result = run.wait()
        self.assertIn(f"[probe] asked {IDNO}\n", result.lines)
        self.assertEqual(result.exit_code, IDCANCEL)
        self.driver.wait_no_window(pid=dialog.pid, timeout=5)

    def test_boxes_side_by_side_keep_their_own_focus(self):
        # Wine follows the X keyboard focus: on a shared display the second
        # box's dialog would take focus and activation from the first one.
        run, dialog = self.open_dialog()
        with WineBox("windriver-beside") as other:
            other_run = other.start_trace(self.probe, "dialog", timeout=60)
            beside = other.driver().wait_for_window(pid=other_run.windows_pid(),
                                                    title="Harness probe")
            now = dialog.refresh()
            self.assertEqual((now.focus_id, now.active), (EDIT, dialog.hwnd))
            self.assertEqual(beside.focus_id, EDIT)
            beside.click(IDCANCEL)
            other_run.wait()
        dialog.click(IDCANCEL)
        run.wait()

    def test_waiting_for_a_window_that_never_comes_fails_clearly(self):
        with self.assertRaises(WindowDriverError) as raised:
            self.driver.wait_for_window(title="No such window", timeout=0.5)
        self.assertIn("timeout", str(raised.exception))


if __name__ == "__main__":
    unittest.main()
