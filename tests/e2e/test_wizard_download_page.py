"""The download mode and location page of the shipped program, driven as a user
would under Wine: its texts and states, Back, Next and Cancel, and the
platform's Save As dialog behind Browse.

The shipped configuration has CV_SKU 16 (no edition page) and CV_LANGUAGE fr,
so this page is the first one and is French whatever the user's language.
"""
import unittest

from harness import WineBox
from harness.windriver import IDCANCEL, IDNO, IDOK, IDYES

from wizard_pages import (assert_keys_leave_page, BROWSE, DOWNLOAD_AND_INSTALL, DOWNLOAD_BACK, DOWNLOAD_BANNER,
                          DOWNLOAD_CANCEL, DOWNLOAD_NEXT, DOWNLOAD_ONLY, EDITION_BANNER, FR,
                          LOCATION, MESSAGE_40, PICTURE, SAVE_AS_FILE_NAME, WS_SYSMENU,
                          RunningSetup, message_text, screen_size)

FRENCH_TEXTS = {
    DOWNLOAD_BANNER: "Veuillez indiquer si vous souhaitez télécharger Corvane Summit Edition et "
                     "l'installer immédiatement ou simplement le télécharger et l'installer plus tard.",
    DOWNLOAD_AND_INSTALL: "Télécharger et installer",
    DOWNLOAD_ONLY: "Télécharger uniquement",
    BROWSE: "Parcourir...",
    DOWNLOAD_BACK: "< Précédent",
    DOWNLOAD_NEXT: "Suivant >",
    DOWNLOAD_CANCEL: "Annuler",
}
PROPOSED_NAME = "cvCVA_Setup_fr.exe"
MAX_PATH = 260


def state(page):
    """What a user sees of the mode and the location, in one comparable value."""
    return {
        "install": page.control(DOWNLOAD_AND_INSTALL).checked,
        "only": page.control(DOWNLOAD_ONLY).checked,
        "location": page.text(LOCATION),
        "location enabled": page.control(LOCATION).enabled,
        "browse enabled": page.control(BROWSE).enabled,
        "next enabled": page.control(DOWNLOAD_NEXT).enabled,
        "back visible": page.control(DOWNLOAD_BACK).visible,
    }


def expected_state(download_only, location="", next_enabled=True):
    return {"install": 0 if download_only else 1, "only": 1 if download_only else 0,
            "location": location, "location enabled": download_only,
            "browse enabled": download_only, "next enabled": next_enabled, "back visible": True}


FIRST_VISIT = expected_state(download_only=False)


class ShippedDownloadPageTest(unittest.TestCase):
    def setUp(self):
        self.box = WineBox(self.id().rsplit(".", 1)[-1]).__enter__()
        self.addCleanup(self.box.__exit__, None, None, None)
        self.setup = RunningSetup(self.box, env={"_MSI_WEB_BOOTSTRAP_DEBUG": "1"})
        self.addCleanup(self.setup.kill)

    def wait_state(self, page, expected):
        return page.wait_until(lambda now: state(now) == expected, timeout=10,
                               what=f"page state {expected}")

    def test_first_visit_back_esc_enter_and_cancel(self):
        page = self.setup.first_page()
        self.assertFalse(page.has_control(EDITION_BANNER), "CV_SKU 16 has no edition page")
        self.assertEqual(page.title, "Corvane")
        self.assertFalse(page.style & WS_SYSMENU, "the page has no close box")
        for control_id, text in FRENCH_TEXTS.items():
            self.assertEqual(page.text(control_id), text, control_id)
        self.assertTrue(page.control(PICTURE).visible)
        self.assertEqual(state(page), FIRST_VISIT)

        # Centred in the work area, which under Wine without a window manager
        # is the whole screen.
        width, height = screen_size(self.setup.driver, self.box.work)
        left, top, right, bottom = page.rect
        self.assertEqual(left, (width - (right - left)) // 2)
        self.assertEqual(top, (height - (bottom - top)) // 2)

        # Esc, Enter and the system close command leave the page as it is; the
        # focus goes to a radio button first.
        page.click(DOWNLOAD_AND_INSTALL)
        page = page.wait_until(lambda now: now.focus_id == DOWNLOAD_AND_INSTALL, what="focus on 202")
        assert_keys_leave_page(self, self.setup, page, state, FIRST_VISIT)

        # Without an edition page Back shows this page again.
        page.click(DOWNLOAD_BACK)
        again = self.setup.page(DOWNLOAD_BANNER, replacing=page)
        self.assertEqual(state(again), FIRST_VISIT)
        self.assertEqual(again.text(DOWNLOAD_NEXT), "Suivant >")

        again.click(DOWNLOAD_CANCEL)
        result = self.setup.finish()
        self.assertEqual(result.exit_code, 0)

    def test_next_ends_with_internal_error_until_the_download_exists(self):
        page = self.setup.first_page()
        page.click(DOWNLOAD_NEXT)
        box = self.setup.message_box()
        self.assertEqual(box.title, "Corvane")
        self.assertEqual(box.message_text, message_text(FR, MESSAGE_40))
        self.assertEqual(box.button_ids, [IDOK])
        box.click(IDOK)
        result = self.setup.finish()
        self.assertEqual(result.exit_code, 1603)
        self.assertIn("[Info] Setup exit code is 1603\n", result.lines)

    def test_download_only_needs_a_confirmed_path(self):
        (self.box.drive_c / "saved").mkdir()
        chosen = r"C:\saved\corvane.exe"
        page = self.setup.first_page()

        page.click(DOWNLOAD_ONLY)
        page = self.wait_state(page, expected_state(True, next_enabled=False))

        # The proposed name comes from CV_FILE_NAME_1, expanded; cancelling
        # leaves everything as it was.
        dialog = self.setup.open_save_as(page)
        self.assertEqual(dialog.text(SAVE_AS_FILE_NAME), PROPOSED_NAME)
        dialog.click(IDCANCEL)
        dialog.wait_gone()
        self.assertEqual(state(page.refresh()), expected_state(True, next_enabled=False))

        self.setup.save_as(page, chosen).wait_gone()
        page = self.wait_state(page, expected_state(True, chosen))

        # Back to download and install: the field is disabled but keeps the
        # path, and choosing download only again needs no new Browse.
        page.click(DOWNLOAD_AND_INSTALL)
        page = self.wait_state(page, expected_state(False, chosen))
        page.click(DOWNLOAD_ONLY)
        page = self.wait_state(page, expected_state(True, chosen))

        # The mode and the path live on in the choices of the run.
        page.click(DOWNLOAD_BACK)
        again = self.setup.page(DOWNLOAD_BANNER, replacing=page)
        self.assertEqual(state(again), expected_state(True, chosen))
        again.click(DOWNLOAD_AND_INSTALL)
        again.click(DOWNLOAD_BACK)
        third = self.setup.page(DOWNLOAD_BANNER, replacing=again)
        self.assertEqual(state(third), expected_state(False, chosen))
        # The path shown is the path taken: download only is ready at once.
        third.click(DOWNLOAD_ONLY)
        third = self.wait_state(third, expected_state(True, chosen))

        third.click(DOWNLOAD_CANCEL)
        self.assertEqual(self.setup.finish().exit_code, 0)

    def test_existing_file_is_replaced_only_after_confirmation(self):
        existing = self.box.drive_c / "saved" / "old.exe"
        existing.parent.mkdir()
        existing.write_bytes(b"MZ")
        page = self.setup.first_page()
        page.click(DOWNLOAD_ONLY)
        dialog = self.setup.save_as(page, r"C:\saved\old.exe")
        # The platform's question; No returns to the Save As dialog.
        question = self.setup.owned_window(dialog)
        self.assertEqual(sorted(question.button_ids), [IDYES, IDNO])
        question.click(IDNO)
        question.wait_gone()
        self.assertTrue(dialog.refresh().visible)
        self.assertFalse(page.refresh().control(DOWNLOAD_NEXT).enabled)
        dialog.click(IDOK)
        self.setup.owned_window(dialog).click(IDYES)
        dialog.wait_gone()
        self.wait_state(page, expected_state(True, r"C:\saved\old.exe"))
        self.assertEqual(existing.read_bytes(), b"MZ", "choosing the file does not touch it")
        page.click(DOWNLOAD_CANCEL)
        self.assertEqual(self.setup.finish().exit_code, 0)

    def test_path_of_260_characters_or_more_is_refused(self):
        # The save path holds 259 characters and its terminator. Wine's Save
        # As dialog still returns a 260-character name in a short folder; with
        # longer paths its comdlg32 faults, so the test stays at the boundary.
        (self.box.drive_c / "d").mkdir()
        def path_of(length, letter):
            return "C:\\d\\" + letter * (length - len("C:\\d\\") - len(".exe")) + ".exe"
        too_long, longest = path_of(MAX_PATH, "x"), path_of(MAX_PATH - 1, "y")
        page = self.setup.first_page()
        page.click(DOWNLOAD_ONLY)

        for earlier in ("", longest):
            with self.subTest(earlier_path=len(earlier)):
                if earlier:
                    self.setup.save_as(page, earlier).wait_gone()
                    page = self.wait_state(page, expected_state(True, earlier))
                dialog = self.setup.save_as(page, too_long)
                refusal = self.setup.message_box()
                self.assertEqual(refusal.owner, page.hwnd)
                self.assertEqual(refusal.message_text,
                                 message_text(FR, 26).replace("%1", too_long))
                refusal.click(IDOK)
                dialog.wait_gone()
                # Neither cut nor taken: the field shows the path chosen
                # before, and Next needs a path.
                page = self.wait_state(page, expected_state(True, earlier, next_enabled=bool(earlier)))

        page.click(DOWNLOAD_CANCEL)
        self.assertEqual(self.setup.finish().exit_code, 0)


if __name__ == "__main__":
    unittest.main()
