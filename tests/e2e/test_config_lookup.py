"""Configuration lookups of the built program: the download link from the
delivered entries, the lookup trace, missing, empty and long entries, cycles,
and the conversion to the ANSI code page.

The lookups run in configprobe.exe, which reads the entries of CorvaneSetup.exe
(or of a variant made with cvconfig) and reports the values; tracerun records
what the lookups send to the debugger output.
"""

import unittest

from harness import WineBox, product_exe, tool
from harness.winebox import quote_windows_argument

from configprobe_report import make_variant, parse_report, probe_arguments, run_probe

TRACE_ON = {"_MSI_WEB_BOOTSTRAP_DEBUG": "1"}
QUERY = "mode=1&app=inclient&date=1&dest=stub&oem=1132&prod=16&lang=fr&link_id="


class DeliveredConfigurationTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.box = WineBox("config-lookup").__enter__()

    @classmethod
    def tearDownClass(cls):
        cls.box.__exit__(None, None, None)

    def trace_probe(self, names, env=None, options=None, module=None):
        out = self.box.work / f"traced-{len(list(self.box.work.iterdir()))}.txt"
        arguments = " ".join(quote_windows_argument(argument) for argument in
                             probe_arguments(out, names, module or product_exe(), options))
        traced = self.box.trace(tool("configprobe"), arguments, env=env, timeout=60)
        self.assertEqual(traced.exit_code, 0)
        return parse_report(out.read_bytes()), traced.lines

    def test_download_links_expand_four_levels(self):
        report, lines = self.trace_probe(["STD_BASE_URL", "STD_FILE_PATH_1", "STD_FILE_PATH_2"],
                                         env=TRACE_ON)
        base = report.text("STD_BASE_URL")
        self.assertRegex(base, r"^http://[^/?]+/redirect/route$")
        self.assertEqual(report.text("STD_FILE_PATH_1"), f"{base}?{QUERY}1")
        self.assertEqual(report.text("STD_FILE_PATH_2"), f"{base}?{QUERY}2")

        # Each lookup traces its raw value before its macros are resolved.
        link_lines = lines[1:9]
        self.assertEqual(link_lines, [
            "[Resource] lpName = STD_FILE_PATH_1, lpBuf = $(STD_PATH)&link_id=1\n",
            "[Resource] lpName = STD_PATH, lpBuf = "
            "$(STD_BASE_URL)?$(STD_FIXED_PARAMS)&$(STD_IDENT_PARAMS)\n",
            f"[Resource] lpName = STD_BASE_URL, lpBuf = {base}\n",
            "[Resource] lpName = STD_FIXED_PARAMS, lpBuf = mode=1&app=inclient&date=1&dest=stub\n",
            "[Resource] lpName = STD_IDENT_PARAMS, lpBuf = "
            "oem=$(CV_OEM)&prod=$(CV_SKU)&lang=$(CV_LANGUAGE)\n",
            "[Resource] lpName = CV_OEM, lpBuf = 1132\n",
            "[Resource] lpName = CV_SKU, lpBuf = 16\n",
            "[Resource] lpName = CV_LANGUAGE, lpBuf = fr\n",
        ])
        self.assertEqual(len(lines), 1 + 8 + 8)

    def test_trace_stays_off_without_the_switch(self):
        for value in (None, "", "0", "yes"):
            env = {} if value is None else {"_MSI_WEB_BOOTSTRAP_DEBUG": value}
            report, lines = self.trace_probe(["STD_FILE_PATH_1", "NO_SUCH_ENTRY"], env=env)
            self.assertEqual(lines, [], value)
            self.assertEqual(report.results["STD_FILE_PATH_1"], 0)

    def test_missing_and_empty_entries(self):
        report, lines = self.trace_probe(["UI_PAGE_2_BROWSE_X", "UI_PAGE_1_OPTION_3"], env=TRACE_ON)
        self.assertEqual(report.results["UI_PAGE_2_BROWSE_X"], 1814)
        self.assertEqual(report.raw["UI_PAGE_2_BROWSE_X"], b"", "a failed lookup allocates nothing")
        self.assertEqual(report.results["UI_PAGE_1_OPTION_3"], 0)
        self.assertEqual(report.raw["UI_PAGE_1_OPTION_3"], b"")
        self.assertEqual(lines, ["[Resource] lpName = UI_PAGE_2_BROWSE_X NOT FOUND\n",
                                 "[Resource] lpName = UI_PAGE_1_OPTION_3, lpBuf = \n"])

    def test_language_of_the_lookup_and_the_fallback(self):
        cases = [
            ("1031", "UI_PAGE_2_NEXT", "Weiter >"),
            ("1031", "UI_PAGE_1_OPTION_FREE_ONLY", "Corvane Free Edition"),
            ("1036", "UI_PAGE_3_DOWNLOADING", "Téléchargement de Corvane..."),
            ("1040", "UI_PAGE_3_DONE", "Eseguito"),
            ("0", "UI_PAGE_2_BACK", "< Back"),
        ]
        for lang_id, name, expected in cases:
            with self.subTest(lang_id=lang_id, name=name):
                report = run_probe(self.box, [name], module=product_exe(), options=["--lang", lang_id])
                self.assertEqual(report.results[name], 0)
                self.assertEqual(report.text(name), expected)

    def test_japanese_texts_follow_the_code_page(self):
        name = "UI_PAGE_2_DOWNLOAD_ONLY"
        japanese = run_probe(self.box, [name], module=product_exe(), options=["--lang", "1041"],
                             lang="ja_JP.UTF-8")
        self.assertEqual(japanese.state["acp"], "932")
        self.assertEqual(japanese.text(name), "ダウンロードのみ")
        western = run_probe(self.box, [name], module=product_exe(), options=["--lang", "1041"])
        self.assertEqual(western.state["acp"], "1252")
        self.assertEqual(western.raw[name], b"?" * 8, "characters the code page lacks")


class VariantConfigurationTest(unittest.TestCase):
    """Entries the delivered configuration does not have, in variants of the program."""

    def test_long_value_is_read_whole(self):
        with WineBox("config-long") as box:
            variant = make_variant(box, product_exe(), "long", [
                ("STD_PRODUCT_NAME", 1033, "p" * 5000),
                ("CV_FILE_NAME_1", 1033, "n" * 4500 + "$(CV_OEM)"),
            ])
            default = run_probe(box, ["STD_PRODUCT_NAME", "UI_PAGE_3_DOWNLOADING"], module=variant)
            self.assertEqual(default.raw["STD_PRODUCT_NAME"], b"p" * 4094)
            self.assertEqual(default.raw["UI_PAGE_3_DOWNLOADING"], b"Downloading " + b"p" * 4082)
            large = run_probe(box, ["STD_PRODUCT_NAME", "CV_FILE_NAME_1"], module=variant,
                              options=["--size", "9000"])
            self.assertEqual(large.raw["STD_PRODUCT_NAME"], b"p" * 5000)
            self.assertEqual(large.raw["CV_FILE_NAME_1"], b"n" * 4500 + b"1132",
                             "the macro beyond the first 4096 bytes was read")

    def test_cycles_expand_to_nothing_and_the_rest_still_expands(self):
        with WineBox("config-cycle") as box:
            variant = make_variant(box, product_exe(), "cycle", [
                ("STD_PATH", 1033, "[$(STD_FILE_PATH_1)]"),
                ("CV_OEM", 1033, "$(CV_OEM)7"),
                ("STD_FIXED_PARAMS", 1033, "$(STD_IDENT_PARAMS)"),
                ("STD_IDENT_PARAMS", 1033, "$(STD_FIXED_PARAMS)oem=$(CV_OEM)"),
            ])
            report = run_probe(box, ["STD_FILE_PATH_1", "CV_OEM", "STD_FIXED_PARAMS"], module=variant)
            self.assertEqual(report.text("STD_FILE_PATH_1"), "[]&link_id=1")
            self.assertEqual(report.text("CV_OEM"), "7")
            self.assertEqual(report.text("STD_FIXED_PARAMS"), "oem=7")

    def test_missing_entries_of_the_link_fall_back(self):
        with WineBox("config-missing") as box:
            variant = make_variant(box, product_exe(), "missing", [
                ("CV_OEM", 1033, None),
                ("CV_LANGUAGE", 1033, None),
                ("CV_SKU", 1033, ""),
            ])
            report = run_probe(box, ["STD_FILE_PATH_1"], module=variant,
                               options=["--init-language", "--choose-edition", "0"],
                               lang="it_IT.UTF-8", env={"CV_OEM": "from-environment"})
            self.assertEqual(report.state["langId"], "1040")
            # Without the entries the environment and the built-in values of
            # the chosen edition and language take their place.
            self.assertTrue(report.text("STD_FILE_PATH_1").endswith(
                "?mode=1&app=inclient&date=1&dest=stub&oem=from-environment&prod=0&lang=it&link_id=1"),
                report.text("STD_FILE_PATH_1"))


if __name__ == "__main__":
    unittest.main()
