"""Both wizard pages in each of the six languages, as a user of that language
sees them: every text checked, and a picture of each page left in
<build>/screenshots/ (edition_page_<code>.png, download_page_<code>.png) for a
person to look at.

The variant has CV_SKU 6 and no CV_LANGUAGE, so the edition page shows its
offers and the language list, and the user's default language (LANG) decides.
Wine has no "MS Sans Serif" of its own and draws the pages with its
replacement font, so the pictures show Wine's metrics, not Windows'.
"""
import shutil
import tempfile
import unittest
from pathlib import Path

from harness import WineBox, build_dir, product_exe
from harness.cvconfig import make_variant

from wizard_pages import (DOWNLOAD_BANNER, DOWNLOAD_CANCEL, DOWNLOAD_PAGE_TEXTS, EDITION_BANNER,
                          EDITION_NEXT, EDITION_PAGE_TEXTS, LANGUAGES, PICTURE, SUITE_RADIO,
                          RunningSetup, config_entries, expected_text, screenshot_dir)


class WizardScreenshotTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.folder = Path(tempfile.mkdtemp(prefix="wizard-screens-", dir=build_dir()))
        try:
            with WineBox("screenshot-variant") as box:
                cls.variant = make_variant(product_exe(), cls.folder / "sku6.exe", set={"CV_SKU": "6"},
                                           remove=["CV_LANGUAGE"], box=box)
        except BaseException:
            shutil.rmtree(cls.folder, ignore_errors=True)
            raise
        cls.entries = config_entries(cls.variant)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.folder, ignore_errors=True)

    def test_both_pages_in_six_languages(self):
        pictures = screenshot_dir()
        for language, code, lang in LANGUAGES:
            with self.subTest(language=code), WineBox(f"screens-{code}") as box:
                setup = RunningSetup(box, exe=self.variant, lang=lang)
                try:
                    page = setup.page(EDITION_BANNER)
                    page = page.wait_until(lambda now: now.control(SUITE_RADIO).checked == 1,
                                           what="preselected offer")
                    for control_id, name in EDITION_PAGE_TEXTS:
                        self.assertEqual(page.text(control_id),
                                         expected_text(self.entries, name, language), name)
                    self.assertTrue(page.control(PICTURE).visible)
                    page.screenshot(pictures / f"edition_page_{code}.png")

                    page.click(EDITION_NEXT)
                    download = setup.page(DOWNLOAD_BANNER, replacing=page)
                    for control_id, name in DOWNLOAD_PAGE_TEXTS:
                        self.assertEqual(download.text(control_id),
                                         expected_text(self.entries, name, language), name)
                    download.screenshot(pictures / f"download_page_{code}.png")

                    download.click(DOWNLOAD_CANCEL)
                    self.assertEqual(setup.finish().exit_code, 0)
                finally:
                    setup.kill()


if __name__ == "__main__":
    unittest.main()
