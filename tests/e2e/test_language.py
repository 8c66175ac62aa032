"""The UI language: chosen from CV_LANGUAGE when it names a language of the
table, else from the user's default language (Wine takes it from LANG), then
applied to the thread; lookups and the download link follow the choice.

configprobe.exe runs InitUiLanguage the way the first wizard page does, on the
entries of CorvaneSetup.exe or of a variant made with cvconfig.
"""

import unittest

from harness import WineBox, product_exe

from configprobe_report import make_variant, run_probe

NAMES = ["UI_PAGE_2_NEXT", "STD_FILE_PATH_1"]
NEXT = {1031: "Weiter >", 1033: "Next >", 1034: "Siguiente >", 1036: "Suivant >",
        1040: "Avanti >", 1041: "次へ >"}


class UiLanguageTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.box = WineBox("language").__enter__()
        cls.variants = {}
        try:
            # Labels name files, so they differ in more than case.
            for label, value in (("fr", "fr"), ("FR-upper", "FR"), ("ja", "ja"), ("pt", "pt"),
                                 ("jp", "jp"), ("empty", ""), ("missing", None)):
                cls.variants[label] = make_variant(cls.box, product_exe(), f"language-{label}",
                                                   [("CV_LANGUAGE", 1033, value)])
        except BaseException:
            cls.box.__exit__(None, None, None)
            raise

    @classmethod
    def tearDownClass(cls):
        cls.box.__exit__(None, None, None)

    def choose(self, module, lang):
        report = run_probe(self.box, NAMES, module=module, options=["--init-language"], lang=lang)
        lang_id = int(report.state["langId"])
        # Applied to the thread, and the lookups after the choice answer in it.
        self.assertEqual(int(report.state["threadLocale"], 16), lang_id)
        # Characters that the code page lacks come out as "?".
        expected = NEXT[lang_id].encode(f"cp{report.state['acp']}", errors="replace")
        self.assertEqual(report.raw["UI_PAGE_2_NEXT"], expected)
        return report

    def test_entry_fixes_the_language_only_with_an_exact_code(self):
        # The user is Austrian: every fallback shows as German.
        cases = [
            # variant, langId, fixed, lang= in the download link
            ("fr", 1036, "1", "fr"),
            ("jp", 1041, "1", "jp"),
            ("FR-upper", 1031, "0", "FR"),   # codes compare with case; the entry still names the link's
            ("ja", 1031, "0", "ja"),   # the table's code for Japanese is jp
            ("pt", 1031, "0", "pt"),
            ("empty", 1031, "0", "de"),  # an empty entry counts as missing for the macro too
            ("missing", 1031, "0", "de"),
        ]
        for variant, lang_id, fixed, link_language in cases:
            with self.subTest(variant=variant):
                report = self.choose(self.variants[variant], "de_AT.UTF-8")
                self.assertEqual(report.state["userDefaultLangId"], "0xc07")
                self.assertEqual(int(report.state["langId"]), lang_id)
                self.assertEqual(report.state["languageFixed"], fixed)
                self.assertIn(f"&lang={link_language}&link_id=1", report.text("STD_FILE_PATH_1"))

    def test_user_default_language_decides_without_an_entry(self):
        cases = [
            ("de_AT.UTF-8", 1031, "de", "German"),
            ("de_DE.UTF-8", 1031, "de", "German"),
            ("es_ES.UTF-8", 1034, "es", "Spanish"),
            ("fr_FR.UTF-8", 1036, "fr", "French"),
            ("it_IT.UTF-8", 1040, "it", "Italian"),
            ("ja_JP.UTF-8", 1041, "jp", "Japanese"),
            ("pt_BR.UTF-8", 1033, "en", "English"),
            ("en_US.UTF-8", 1033, "en", "English"),
        ]
        for lang, lang_id, code, name in cases:
            with self.subTest(lang=lang):
                report = self.choose(self.variants["missing"], lang)
                self.assertEqual(int(report.state["langId"]), lang_id)
                self.assertEqual(report.state["langCode"], code)
                self.assertEqual(report.state["langName"], name)
                self.assertEqual(report.state["languageFixed"], "0")

    def test_delivered_configuration_is_french_for_every_user(self):
        for lang in ("en_US.UTF-8", "de_AT.UTF-8", "ja_JP.UTF-8"):
            with self.subTest(lang=lang):
                report = self.choose(product_exe(), lang)
                self.assertEqual(report.state["langId"], "1036")
                self.assertEqual(report.state["languageFixed"], "1")


    def test_setup_program_shows_its_first_page_in_the_chosen_language(self):
        # The delivered edition (16) skips the edition page: the download page
        # is the first one and chooses the language.
        cases = [
            (product_exe(), "de_AT.UTF-8", "Suivant >", "< Précédent"),
            (self.variants["missing"], "de_AT.UTF-8", "Weiter >", "< Zurück"),
            (self.variants["missing"], "pt_BR.UTF-8", "Next >", "< Back"),
            (self.variants["pt"], "it_IT.UTF-8", "Avanti >", "< Indietro"),
        ]
        for program, lang, next_text, back_text in cases:
            with self.subTest(program=program.name, lang=lang):
                run = self.box.start_trace(program, lang=lang, timeout=60)
                try:
                    page = self.box.driver().wait_for_window(pid=run.windows_pid(), timeout=30)
                    self.assertEqual(page.text(207), next_text)
                    self.assertEqual(page.text(206), back_text)
                    page.click(208)   # Cancel
                    run.wait(timeout=60)
                finally:
                    run.kill()


if __name__ == "__main__":
    unittest.main()
