"""The edition and language page, in variants of the program made with
cvconfig, driven as a user would under Wine: when the page is shown, its
offers and language list, the texts after a change of language, and what
survives a Back from the download page.

Which offer the run has recorded shows in the name the Save As dialog
proposes: CV_FILE_NAME_1 is "cv$(CV_SKU_NAME)_Setup_$(CV_LANGUAGE).exe", and
without a CV_SKU_NAME entry the macro takes the chosen edition's short name
(Security for the suite offer, Free for the free edition).
"""
import shutil
import tempfile
import time
import unittest
from pathlib import Path

from harness import WineBox, build_dir, product_exe
from harness.cvconfig import make_variant
from harness.windriver import IDCANCEL

from wizard_pages import (assert_keys_leave_page, BROWSE, DE, DOWNLOAD_BACK, DOWNLOAD_BANNER, DOWNLOAD_CANCEL, DOWNLOAD_NEXT,
                          DOWNLOAD_ONLY, DOWNLOAD_PAGE_TEXTS, EDITION_BACK, EDITION_BANNER,
                          EDITION_CANCEL, EDITION_NEXT, EDITION_PAGE_TEXTS, EN, FR, FREE_LABEL,
                          FREE_RADIO, IT, LANGUAGE_LABEL, LANGUAGE_LIST, OPTION_2, SAVE_AS_FILE_NAME,
                          SUITE_LABEL, SUITE_RADIO, WS_SYSMENU, RunningSetup, config_entries,
                          expected_text)

SORTED_LANGUAGES = ["English", "French", "German", "Italian", "Japanese", "Spanish"]
SUITE, FREE = "suite", "free"


def offer(page):
    """The radio button that is checked, as seen on the page."""
    checked = (page.control(SUITE_RADIO).checked, page.control(FREE_RADIO).checked)
    return {(1, 0): SUITE, (0, 1): FREE}.get(checked, f"checked {checked}")


def selected_language(page):
    control = page.control(LANGUAGE_LIST)
    return control.items[control.selected] if control.selected is not None and control.selected >= 0 else None


class EditionPageTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.folder = Path(tempfile.mkdtemp(prefix="wizard-variants-", dir=build_dir()))
        variants = {
            # CV_LANGUAGE fr stays: the language is fixed.
            "sku0_fr": ({"CV_SKU": "0"}, ["CV_SKU_NAME"]),
            # No CV_LANGUAGE: the user's default language and the list.
            "sku6_list": ({"CV_SKU": "6"}, ["CV_LANGUAGE", "CV_SKU_NAME"]),
            # A display name for one language, as a localiser might add it.
            "display_name": ({"CV_SKU": "6", "German": "Deutsch"}, ["CV_LANGUAGE"]),
            "missing_texts": ({"CV_SKU": "0"}, ["UI_PAGE_1_NEXT", "UI_PAGE_2_BROWSE", "CV_FILE_NAME_1"]),
        }
        for sku_label, value in (("sku_06", "06"), ("sku_0_blank", "0 "), ("sku_empty", ""),
                                 ("sku_6", "6")):
            variants[sku_label] = ({"CV_SKU": value}, [])
        variants["sku_missing"] = ({}, ["CV_SKU"])
        cls.variants = {}
        try:
            with WineBox("edition-variants") as box:
                for label, (settings, removals) in variants.items():
                    cls.variants[label] = make_variant(product_exe(), cls.folder / f"{label}.exe",
                                                       set=settings, remove=removals, box=box)
        except BaseException:
            shutil.rmtree(cls.folder, ignore_errors=True)
            raise

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.folder, ignore_errors=True)

    def setUp(self):
        self.box = WineBox(self.id().rsplit(".", 1)[-1]).__enter__()
        self.addCleanup(self.box.__exit__, None, None, None)

    def start(self, variant, lang=None):
        setup = RunningSetup(self.box, exe=self.variants[variant], lang=lang)
        self.addCleanup(setup.kill)
        return setup

    def assert_hidden_controls_stay_hidden(self, page):
        for control_id in (OPTION_2, EDITION_BACK):
            self.assertFalse(page.control(control_id).visible, control_id)

    def assert_page_texts(self, page, texts, entries, language):
        for control_id, name in texts:
            self.assertEqual(page.text(control_id), expected_text(entries, name, language),
                             f"{name} in {language}")

    def wait_offer(self, page, expected):
        # The page preselects by posting a click, which lands once the page
        # handles its queue: the offer must be reached and then stay.
        page.wait_until(lambda now: offer(now) == expected, what=f"offer {expected}")
        time.sleep(0.4)
        page = page.refresh()
        self.assertEqual(offer(page), expected, "the offer changed again")
        return page

    def proposed_name(self, setup, page):
        dialog = setup.open_save_as(page)
        name = dialog.text(SAVE_AS_FILE_NAME)
        dialog.click(IDCANCEL)
        dialog.wait_gone()
        return name

    def test_page_only_for_sku_0_or_6_exactly(self):
        cases = [("sku0_fr", True), ("sku_6", True), ("sku_06", False), ("sku_0_blank", False),
                 ("sku_empty", False), ("sku_missing", False)]
        for variant, shown in cases:
            with self.subTest(variant=variant):
                setup = self.start(variant)
                page = setup.first_page()
                self.assertEqual(page.has_control(EDITION_BANNER), shown)
                page.click(EDITION_CANCEL if shown else DOWNLOAD_CANCEL)
                self.assertEqual(setup.finish().exit_code, 0)

    def test_fixed_language_shows_both_offers_and_remembers_the_choice(self):
        entries = config_entries(self.variants["sku0_fr"])
        setup = self.start("sku0_fr")
        page = setup.first_page()
        self.assertTrue(page.has_control(EDITION_BANNER))
        self.assertEqual(page.title, "Corvane")
        self.assertFalse(page.style & WS_SYSMENU, "the page has no close box")
        page = self.wait_offer(page, SUITE)
        self.assertTrue(page.control(SUITE_RADIO).visible and page.control(FREE_RADIO).visible)
        self.assertFalse(page.control(LANGUAGE_LABEL).visible)
        self.assertFalse(page.control(LANGUAGE_LIST).visible)
        self.assertTrue(page.control(SUITE_LABEL).visible and page.control(FREE_LABEL).visible)
        self.assert_page_texts(page, EDITION_PAGE_TEXTS, entries, FR)
        self.assertEqual((page.text(EDITION_NEXT), page.text(EDITION_CANCEL)), ("Suivant >", "Annuler"))
        self.assertEqual(page.text(SUITE_LABEL),
                         "Corvane Free Edition plus Corvane Harbor Suite 15-day trial  (Recommended)")
        self.assertEqual(page.text(FREE_LABEL), "Corvane Free Edition")
        self.assert_hidden_controls_stay_hidden(page)

        # Esc, Enter and the system close command leave the page as it is; the
        # preselecting click put the focus on its radio button.
        self.assertEqual(page.focus_id, SUITE_RADIO)
        assert_keys_leave_page(self, setup, page, offer, SUITE)

        page.click(FREE_RADIO)
        page = self.wait_offer(page, FREE)
        page.click(EDITION_NEXT)
        download = setup.page(DOWNLOAD_BANNER, replacing=page)
        self.assert_page_texts(download, DOWNLOAD_PAGE_TEXTS, entries, FR)
        download.click(DOWNLOAD_ONLY)
        self.assertEqual(self.proposed_name(setup, download), "cvFree_Setup_fr.exe")

        # Back: the page again with the same offer, and the same mode after it.
        download.click(DOWNLOAD_BACK)
        page = setup.page(EDITION_BANNER, replacing=download)
        page = self.wait_offer(page, FREE)
        self.assert_hidden_controls_stay_hidden(page)
        page.click(SUITE_RADIO)
        page = self.wait_offer(page, SUITE)
        page.click(EDITION_NEXT)
        download = setup.page(DOWNLOAD_BANNER, replacing=page)
        self.assertEqual(download.control(DOWNLOAD_ONLY).checked, 1)
        self.assertEqual(self.proposed_name(setup, download), "cvSecurity_Setup_fr.exe")

        download.click(DOWNLOAD_BACK)
        page = setup.page(EDITION_BANNER, replacing=download)
        page.click(EDITION_CANCEL)
        self.assertEqual(setup.finish().exit_code, 0)

    def test_language_list_starts_at_the_user_language_and_changes_every_text(self):
        entries = config_entries(self.variants["sku6_list"])
        setup = self.start("sku6_list", lang="de_DE.UTF-8")
        page = self.wait_offer(setup.page(EDITION_BANNER), SUITE)
        self.assertTrue(page.control(LANGUAGE_LABEL).visible and page.control(LANGUAGE_LIST).visible)
        self.assertEqual(page.control(LANGUAGE_LIST).items, SORTED_LANGUAGES)
        self.assertEqual(selected_language(page), "German")
        self.assert_page_texts(page, EDITION_PAGE_TEXTS, entries, DE)
        self.assertEqual((page.text(EDITION_NEXT), page.text(EDITION_CANCEL)), ("Weiter >", "Abbrechen"))

        # All ten texts follow the list; the offer stays.
        page.select(LANGUAGE_LIST, text="French")
        page = page.wait_until(lambda now: now.text(EDITION_NEXT) == "Suivant >", what="French texts")
        self.assert_page_texts(page, EDITION_PAGE_TEXTS, entries, FR)
        self.wait_offer(page, SUITE)

        # The refresh clicks the recorded offer again: the free edition stays.
        page.click(FREE_RADIO)
        self.wait_offer(page, FREE)
        page.select(LANGUAGE_LIST, text="Italian")
        page = page.wait_until(lambda now: now.text(EDITION_NEXT) == "Avanti >", what="Italian texts")
        self.assert_page_texts(page, EDITION_PAGE_TEXTS, entries, IT)
        page = self.wait_offer(page, FREE)
        self.assert_hidden_controls_stay_hidden(page)

        page.click(EDITION_NEXT)
        download = setup.page(DOWNLOAD_BANNER, replacing=page)
        self.assert_page_texts(download, DOWNLOAD_PAGE_TEXTS, entries, IT)
        download.click(DOWNLOAD_ONLY)
        self.assertEqual(self.proposed_name(setup, download), "cvFree_Setup_it.exe")

        download.click(DOWNLOAD_BACK)
        page = self.wait_offer(setup.page(EDITION_BANNER, replacing=download), FREE)
        self.assertEqual(selected_language(page), "Italian")
        self.assert_page_texts(page, EDITION_PAGE_TEXTS, entries, IT)
        self.assert_hidden_controls_stay_hidden(page)
        page.click(EDITION_CANCEL)
        self.assertEqual(setup.finish().exit_code, 0)

    def test_display_name_of_a_language_still_selects_that_language(self):
        # The item shown as "Deutsch" stands for German: it is preselected for
        # a German user and picking it gives the German texts.
        entries = config_entries(self.variants["display_name"])
        setup = self.start("display_name", lang="de_DE.UTF-8")
        page = self.wait_offer(setup.page(EDITION_BANNER), SUITE)
        self.assertEqual(page.control(LANGUAGE_LIST).items,
                         ["Deutsch", "English", "French", "Italian", "Japanese", "Spanish"])
        self.assertEqual(selected_language(page), "Deutsch")
        for item, language, next_text in (("English", EN, "Next >"), ("Deutsch", DE, "Weiter >")):
            page.select(LANGUAGE_LIST, text=item)
            page = page.wait_until(lambda now: now.text(EDITION_NEXT) == next_text, what=item)
            self.assert_page_texts(page, EDITION_PAGE_TEXTS, entries, language)
        page.click(EDITION_CANCEL)
        self.assertEqual(setup.finish().exit_code, 0)

    def test_missing_entries_show_their_names(self):
        setup = self.start("missing_texts")
        page = self.wait_offer(setup.page(EDITION_BANNER), SUITE)
        self.assertEqual(page.text(EDITION_NEXT), "UI_PAGE_1_NEXT")
        self.assertEqual(page.text(EDITION_CANCEL), "Annuler")
        page.click(EDITION_NEXT)
        download = setup.page(DOWNLOAD_BANNER, replacing=page)
        self.assertEqual(download.text(BROWSE), "UI_PAGE_2_BROWSE")
        self.assertEqual(download.text(DOWNLOAD_NEXT), "Suivant >")
        download.click(DOWNLOAD_ONLY)
        # Without CV_FILE_NAME_1 the Save As dialog proposes no name.
        self.assertEqual(self.proposed_name(setup, download), "")
        download.click(DOWNLOAD_CANCEL)
        self.assertEqual(setup.finish().exit_code, 0)


if __name__ == "__main__":
    unittest.main()
