"""The progress window over real downloads from the local test server.

downloadhost (tests/tools) creates the real progress window and runs one
DownloadToCache with the real callback, then reports what it saw. The window
and its questions are read and answered from a second process through the
window driver, as a user would; the server reports what reached the wire.

Wine differs from Windows here in ways the tests allow for:
- it answers HTTP 404 and 500 with S_OK and stores the error page;
- it reports a connection that is dropped or reset in the middle of the body
  as S_OK and keeps the part that arrived;
- a host with dots (127.0.0.1) and a path without extension makes it fail
  before any request, so URLs use localhost.
"""

import time
import unittest

from harness import WineBox, string_tables, tool
from harness.httpserver import HttpTestServer, content, refused_url
from harness.windriver import IDNO, IDYES

TEXTS = string_tables()[1033]
CONFIRMATION, CANCEL_QUESTION, STALL_QUESTION = TEXTS[42], TEXTS[43], TEXTS[44]

S_OK = 0
E_FAIL = 0x80004005
INET_E_DOWNLOAD_FAILURE = 0x800C0008

BANNER, ACTION, BAR, CANCEL = 301, 302, 303, 304
STALL_SECONDS = 31  # still timer ticks before the stall question


class Host:
    """One downloadhost run: its reported facts and its window."""

    def __init__(self, box, url, *options, title="Corvane test"):
        self.box = box
        self.url = url
        self.title = title
        self.process = box.start(tool("downloadhost"), "--title", title, *options, url)
        self.started_at = None

    def facts(self):
        facts = {}
        try:
            text = self.process.stdout_path.read_text(errors="replace")
        except FileNotFoundError:
            return facts
        for line in text.splitlines():
            name, _, value = line.partition(" ")
            facts[name] = value
        return facts

    def wait_started(self, timeout=30):
        """Waits until the host is about to call DownloadToCache."""
        deadline = time.monotonic() + timeout
        while "started" not in self.facts():
            if self.process.poll() is not None or time.monotonic() > deadline:
                raise AssertionError("downloadhost did not start the download: %r"
                                     % self.facts())
            time.sleep(0.05)
        self.started_at = time.monotonic()
        return self

    def window(self):
        return self.box.driver().wait_for_window(title=self.title, exe="downloadhost.exe")

    def running(self):
        return self.process.poll() is None

    def finish(self, timeout):
        """Waits for the host to end; the facts it reported, checked for the
        state every download must leave behind."""
        self.process.wait(timeout)
        facts = self.facts()
        if facts.get("created") == "1":
            assert facts.get("timer") == "0", "timer 1 survived the download: %r" % facts
            assert facts.get("visible") == "0", "the dialog is still shown: %r" % facts
        facts["result"] = int(facts["result"], 16)
        return facts

    def cached_bytes(self, facts):
        assert facts["file"], "no cache file reported: %r" % facts
        return self.box.c_path(facts["file"]).read_bytes()


def answer(box_window, button):
    box_window.click(button)
    box_window.wait_gone(5)


class DownloadOutcomeTest(unittest.TestCase):
    """Whole downloads without user action: result, bar, file, leftovers."""

    def test_downloads_end_with_the_bar_at_the_total_and_nothing_left_running(self):
        # (route, body size, bar total (None: no window), host options)
        complete = [
            ("/file/300000/setup.exe", 300000, 300000, ()),
            ("/redirect/file/5000/setup.exe", 5000, 5000, ()),
            ("/trickle/20000/1000/40/setup.exe", 20000, 20000, ()),
            # No Content-Length: the total is 0, so the bar has no room to move.
            ("/nolength/100000/setup.exe", 100000, 0, ()),
            ("/file/50000/setup.exe", 50000, None, ("--no-window",)),
            # An end message left in the queue by an earlier download must not
            # end this one's wait.
            ("/trickle/30000/1000/80/setup.exe", 30000, 30000, ("--leftover-end",)),
        ]
        with HttpTestServer(lifetime=240) as server, WineBox("download-outcomes") as box:
            for path, size, bar_total, options in complete:
                with self.subTest(path=path, options=options):
                    host = Host(box, server.url(path), *options)
                    facts = host.finish(60)
                    self.assertEqual(facts["result"], S_OK, facts)
                    self.assertEqual(facts["cancelled"], "0")
                    self.assertEqual(host.cached_bytes(facts), content(size))
                    if bar_total is None:
                        self.assertEqual(facts["created"], "0")
                    else:
                        self.assertEqual(facts["bar"], "%d 0 %d" % (bar_total, bar_total))
                        self.assertEqual(facts["banner"], "0")

            # Faults of the network: each must end promptly with the window
            # cleaned up. A failure is reported as such; where Wine reports
            # success, what it kept is what the server sent and no more.
            faults = [
                "/drop/100000/30000/setup.exe",
                "/reset/100000/30000/setup.exe",
                "/status/404/setup.exe",
                "/status/500/setup.exe",
            ]
            for path in faults:
                with self.subTest(path=path):
                    host = Host(box, server.url(path))
                    facts = host.finish(30)
                    self.assertLess(int(facts["elapsed"]), 10000, facts)
                    record = server.wait_for_end(path)
                    if facts["result"] == S_OK:
                        kept = host.cached_bytes(facts)
                        if path.startswith("/status/"):
                            self.assertIn(path.split("/")[2].encode(), kept)
                        else:
                            self.assertLess(len(kept), 100000)
                            self.assertEqual(kept, content(len(kept)))
                            self.assertEqual(len(kept), record.bytes_sent)
                    else:
                        self.assertGreaterEqual(facts["result"], 0x80000000, facts)

            host = Host(box, refused_url("/setup.exe"))
            facts = host.finish(30)
            self.assertEqual(facts["result"], INET_E_DOWNLOAD_FAILURE, facts)
            self.assertEqual(facts["file"], "")
            self.assertLess(int(facts["elapsed"]), 10000, facts)


class CancelQuestionTest(unittest.TestCase):
    """The user presses Cancel during a download."""

    def ask_cancel(self, host):
        """Presses Cancel on the running window; the question it opens."""
        dialog = host.window().wait_until(lambda w: w.control(BAR).pos > 0, 10,
                                          "a moving bar")
        self.assertEqual(dialog.text(BANNER), "Downloading the test package")
        self.assertEqual(dialog.text(ACTION), host.url)
        self.assertEqual(dialog.text(CANCEL), "Cancel")
        dialog.click(CANCEL)
        question = host.box.driver().wait_for_message_box(owner=dialog.hwnd)
        self.assertEqual(question.title, CONFIRMATION)
        self.assertEqual(question.message_text, CANCEL_QUESTION)
        self.assertEqual(question.button_ids, [IDYES, IDNO])
        self.assertEqual(question.icon(), "question")
        return dialog, question

    def test_no_changes_nothing_and_yes_aborts_at_the_next_report(self):
        with HttpTestServer(lifetime=120) as server, WineBox("cancel-question") as box:
            # No: the download goes on to the end.
            path = "/trickle/60000/1000/60/setup.exe"
            host = Host(box, server.url(path)).wait_started()
            dialog, question = self.ask_cancel(host)
            self.assertEqual(dialog.control(BAR).high, 60000)
            answer(question, IDNO)
            facts = host.finish(30)
            self.assertEqual(facts["result"], S_OK, facts)
            self.assertEqual(facts["cancelled"], "0")
            self.assertEqual(facts["banner"], "0")
            self.assertEqual(facts["bar"], "60000 0 60000")
            self.assertEqual(host.cached_bytes(facts), content(60000))
            self.assertEqual(server.wait_for_end(path).outcome, "complete")

            # Yes: the next progress report (every 100 ms here) aborts.
            path = "/trickle/400000/1000/100/setup.exe"
            host = Host(box, server.url(path)).wait_started()
            dialog, question = self.ask_cancel(host)
            question.click(IDYES)
            answered = time.monotonic()
            facts = host.finish(30)
            record = server.wait_for_end(path)
            self.assertLess(record.ended - answered, 1.5, "the abort waited: %r" % record)
            self.assertEqual(record.outcome, "client-closed")
            self.assertLess(record.bytes_sent, 100000)
            self.assertGreaterEqual(facts["result"], 0x80000000, facts)
            self.assertEqual(facts["cancelled"], "1")
            self.assertEqual(facts["banner"], "1", "texts must stay once cancelled")

    def test_worker_that_ends_under_an_open_question_still_ends_the_wait(self):
        # The download finishes while the Cancel question is on screen; its end
        # must still end the wait once the question is answered, whatever the
        # answer (Yes still counts as the user's cancel).
        with HttpTestServer(lifetime=120) as server, WineBox("question-open") as box:
            for number, (reply, cancelled) in enumerate([(IDNO, "0"), (IDYES, "1")]):
                with self.subTest(reply=reply):
                    path = "/trickle/8000/500/300/setup%d.exe" % number
                    host = Host(box, server.url(path)).wait_started()
                    _, question = self.ask_cancel(host)
                    self.assertEqual(server.wait_for_end(path, 20).outcome, "complete")
                    time.sleep(1.5)  # the worker ends and posts its end
                    self.assertTrue(host.running(), "the wait ended under the question")
                    question.click(reply)
                    answered = time.monotonic()
                    facts = host.finish(20)
                    self.assertLess(time.monotonic() - answered, 3.0,
                                    "the end of the worker did not end the wait")
                    self.assertEqual(facts["result"], S_OK, facts)
                    self.assertEqual(facts["cancelled"], cancelled)
                    self.assertEqual(facts["ended"], "1")
                    self.assertEqual(host.cached_bytes(facts), content(8000))


class StallTest(unittest.TestCase):
    """A server that sends its headers and then nothing. The three hosts run
    side by side in one box, so the 31 seconds are waited once."""

    def wait_stall_question(self, host, dialog, timeout):
        question = host.box.driver().wait_for_message_box(owner=dialog.hwnd, timeout=timeout)
        self.assertEqual(question.title, CONFIRMATION)
        self.assertEqual(question.message_text, STALL_QUESTION)
        self.assertEqual(question.button_ids, [IDYES, IDNO])
        return question

    def test_stall_question_after_31_still_ticks(self):
        with HttpTestServer(lifetime=180) as server, WineBox("stall") as box:
            asked = Host(box, server.url("/stall/100000/1000/a.exe"), title="Corvane A")
            cancelled = Host(box, server.url("/stall/100000/1000/b.exe"), title="Corvane B")
            windowless = Host(box, server.url("/stall/100000/1000/c.exe"), "--no-window")
            for host in (asked, cancelled, windowless):
                host.wait_started()
            dialog_a, dialog_b = asked.window(), cancelled.window()

            # B: Yes to Cancel while nothing arrives ends nothing by itself.
            dialog_b.click(CANCEL)
            question = box.driver().wait_for_message_box(owner=dialog_b.hwnd)
            self.assertEqual(question.message_text, CANCEL_QUESTION)
            answer(question, IDYES)
            time.sleep(2)
            self.assertTrue(cancelled.running())

            # A: the question comes on the 31st tick without movement.
            question = self.wait_stall_question(asked, dialog_a, STALL_SECONDS + 10)
            # Timer ticks never come early, so 30 ticks would show as about 30 s;
            # a loaded machine may make them late.
            seconds = time.monotonic() - asked.started_at
            self.assertGreater(seconds, STALL_SECONDS - 0.5)
            self.assertLess(seconds, STALL_SECONDS + 4)
            # No asks again one tick later, as the bar still does not move.
            answer(question, IDNO)
            answered = time.monotonic()
            question = self.wait_stall_question(asked, dialog_a, 5)
            self.assertLess(time.monotonic() - answered, 2.5)
            self.assertTrue(asked.running())
            # Yes gives up: E_FAIL, without the cancel flag.
            question.click(IDYES)
            answered = time.monotonic()
            facts = asked.finish(15)
            self.assertLess(time.monotonic() - answered, 5.0)
            self.assertEqual(facts["result"], E_FAIL, facts)
            self.assertEqual(facts["cancelled"], "0")
            self.assertEqual(facts["banner"], "0")
            self.assertEqual(facts["file"], "")

            # B: its stall question ends it too; the earlier Yes is its cancel.
            question = self.wait_stall_question(cancelled, dialog_b, 15)
            answer(question, IDYES)
            facts = cancelled.finish(15)
            self.assertEqual(facts["result"], E_FAIL, facts)
            self.assertEqual(facts["cancelled"], "1")
            self.assertEqual(facts["banner"], "1")

            # C: without a dialog nobody can be asked; the wait gives up after
            # as long without progress, with the result a Yes would give.
            facts = windowless.finish(30)
            self.assertEqual(facts["created"], "0")
            self.assertEqual(facts["result"], E_FAIL, facts)
            self.assertGreater(int(facts["elapsed"]), (STALL_SECONDS - 1) * 1000)
            self.assertLess(int(facts["elapsed"]), (STALL_SECONDS + 5) * 1000)

            # Every abandoned connection was let go when its host ended.
            for name in ("a", "b", "c"):
                record = server.wait_for_end("/stall/100000/1000/%s.exe" % name, 10)
                self.assertEqual(record.outcome, "stall-ended")


if __name__ == "__main__":
    unittest.main()
