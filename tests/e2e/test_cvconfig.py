"""cvconfig, the configuration tool for release engineers, run under Wine on the
built program: its listing against the program's resources as pefile reads
them, set and remove checked resource by resource, a variant that still runs,
and the messages and exit codes for bad input.
"""
import hashlib
import os
import unittest
from pathlib import Path

from harness import WineBox, product_exe, string_tables, winpath
from harness.cvconfig import (EXIT_BAD_ARGUMENT, EXIT_BAD_INPUT, EXIT_NO_SUCH_ENTRY, EXIT_OK,
                              EXIT_SIGNED_INPUT, EXIT_USAGE, EXIT_WRITE_FAILED, make_variant,
                              parse_listing, run_cvconfig)
from harness.pki import load_pki
from harness.windriver import IDOK

from test_config_entries import CONFIG_ENTRY_TYPE, read_resources

RELEASE_EXE = product_exe().parent.parent / "win32" / "CorvaneSetup.exe"


def digest(path):
    return hashlib.sha256(Path(path).read_bytes()).hexdigest()


def entry_data(value):
    return (value + "\0").encode("utf-16-le")


def values_of(resources):
    """{(name, language): value} as the program reads an entry: up to the first NUL."""
    return {(name, language): data.decode("utf-16-le", errors="replace").split("\0")[0]
            for (kind, name, language), data in resources.items() if kind == CONFIG_ENTRY_TYPE}


class CvconfigTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.box = WineBox("cvconfig").__enter__()
        cls.base = cls.box.work / "CorvaneSetup.exe"
        cls.base.write_bytes(product_exe().read_bytes())
        cls.base_digest = digest(cls.base)
        cls.base_resources = read_resources(cls.base)
        cls.outputs = 0

    @classmethod
    def tearDownClass(cls):
        cls.box.__exit__(None, None, None)

    def new_output(self):
        type(self).outputs += 1
        return self.box.work / f"out-{self.outputs}.exe"

    def tearDown(self):
        # Whatever a case did, the input stays as it was.
        self.assertEqual(digest(self.base), self.base_digest)

    # Listing.

    def test_list_shows_every_entry_as_the_resources_hold_it(self):
        executables = [self.base]
        if RELEASE_EXE.exists():
            executables.append(self.box.copy_in(RELEASE_EXE, r"C:\release\CorvaneSetup.exe"))
        for exe in executables:
            with self.subTest(exe=str(exe)):
                result = run_cvconfig(self.box, "list", winpath(exe))
                self.assertEqual(result.returncode, EXIT_OK, result.stderr)
                listed = parse_listing(result.stdout)
                self.assertEqual(listed, values_of(read_resources(exe)))
                # Tabs and line feeds of a value never break the columns.
                self.assertEqual(len(result.stdout.splitlines()), len(listed))
                self.assertEqual(listed[("UI_PAGE_1_OPTION_1", 1041)], "製品\t\tCorvane $(CV_SKU_TEXT)")
                self.assertIn("製品\\t\\tCorvane", result.stdout)

    # Changing entries.

    def test_set_and_remove_change_exactly_one_entry(self):
        cases = [
            # name, arguments after in/out, entry that changes, its new data (None: gone)
            ("new entry", ["STD_PATCH", "1033", "Z:\\pkg\\fix.msp"], ("STD_PATCH", 1033),
             entry_data("Z:\\pkg\\fix.msp")),
            ("replaced entry", ["CV_SKU", "1033", "6"], ("CV_SKU", 1033), entry_data("6")),
            ("Japanese value with tab, line feed and quotes",
             ["UI_PAGE_2_NEXT", "1041", '次へ\t"»"\n'], ("UI_PAGE_2_NEXT", 1041), entry_data('次へ\t"»"\n')),
            ("empty value", ["UI_PAGE_1_BANNER1", "1036", ""], ("UI_PAGE_1_BANNER1", 1036), entry_data("")),
            # The loader looks names up in upper case, so they are stored so.
            ("lower-case name, hexadecimal language", ["std_operation", "0x0409", "ADMIN"],
             ("STD_OPERATION", 1033), entry_data("ADMIN")),
            ("entry in a new language", ["UI_PAGE_1_OPTION_FREE_ONLY", "1036", "Corvane Édition gratuite"],
             ("UI_PAGE_1_OPTION_FREE_ONLY", 1036), entry_data("Corvane Édition gratuite")),
            ("remove", ["CV_LANGUAGE", "1033"], ("CV_LANGUAGE", 1033), None),
            ("remove one language of six", ["UI_PAGE_3_DONE", "1041"], ("UI_PAGE_3_DONE", 1041), None),
        ]
        for name, arguments, (entry, language), data in cases:
            with self.subTest(name):
                out = self.new_output()
                command = "set" if data is not None else "remove"
                result = run_cvconfig(self.box, command, winpath(self.base), winpath(out), *arguments)
                self.assertEqual(result.returncode, EXIT_OK, result.stderr)
                expected = dict(self.base_resources)
                key = (CONFIG_ENTRY_TYPE, entry, language)
                if data is None:
                    self.assertIn(key, expected)
                    del expected[key]
                else:
                    expected[key] = data
                # Every other resource (pictures, dialogs, manifest, message
                # tables, the other entries) comes through byte for byte.
                found = read_resources(out)
                self.assertEqual(sorted(set(found) ^ set(expected)), [])
                self.assertEqual([k for k in expected if found[k] != expected[k]], [])

    def test_variant_still_runs(self):
        variant = make_variant(self.base, self.new_output(),
                               set={"CV_SKU": "0", "STD_BASE_URL": "http://localhost:8080/redirect/route"},
                               remove=["CV_LANGUAGE"], box=self.box)
        run = self.box.start_trace(variant, "/?")
        box = self.box.driver().wait_for_message_box(pid=run.windows_pid(), timeout=30)
        self.assertEqual(box.title, "Corvane")
        self.assertEqual(box.message_text, string_tables()[1033][38])
        box.click(IDOK)
        self.assertEqual(run.wait().exit_code, 0)

    # Bad input.

    def test_bad_input_gives_a_message_and_an_exit_code(self):
        base = winpath(self.base)
        not_exe = self.box.work / "notes.txt"
        not_exe.write_text("not a program\n")
        signed = self.box.work / "signed.exe"
        load_pki(self.box.build).sign(str(self.base), str(signed))
        missing = winpath(self.box.work / "missing.exe")
        cases = [
            # name, arguments (OUT stands for a fresh output path), exit code, words of the message
            ("input missing", ["list", missing], EXIT_BAD_INPUT, "cannot find"),
            ("input missing for set", ["set", missing, "OUT", "CV_SKU", "1033", "1"], EXIT_BAD_INPUT,
             "cannot find"),
            ("input is not a program", ["set", winpath(not_exe), "OUT", "CV_SKU", "1033", "1"],
             EXIT_BAD_INPUT, "not a Windows executable"),
            ("language is a word", ["set", base, "OUT", "CV_SKU", "fr", "1"], EXIT_BAD_ARGUMENT,
             "bad language"),
            ("language out of range", ["set", base, "OUT", "CV_SKU", "65536", "1"], EXIT_BAD_ARGUMENT,
             "bad language"),
            ("language empty", ["remove", base, "OUT", "CV_SKU", ""], EXIT_BAD_ARGUMENT, "bad language"),
            ("name with a dash", ["set", base, "OUT", "CV-SKU", "1033", "1"], EXIT_BAD_ARGUMENT,
             "bad entry name"),
            ("output is the input", ["set", base, base, "CV_SKU", "1033", "1"], EXIT_BAD_ARGUMENT,
             "not the input"),
            ("unknown command", ["frob", base], EXIT_USAGE, "unknown command"),
            ("value missing", ["set", base, "OUT", "CV_SKU", "1033"], EXIT_USAGE, "wrong number"),
            ("no command", [], EXIT_USAGE, "usage:"),
            ("no such entry", ["remove", base, "OUT", "STD_PATCH", "1033"], EXIT_NO_SUCH_ENTRY, "no entry"),
            ("entry only in other languages", ["remove", base, "OUT", "UI_PAGE_1_OPTION_FREE_ONLY", "1036"],
             EXIT_NO_SUCH_ENTRY, "no entry"),
            ("signed input", ["set", winpath(signed), "OUT", "CV_SKU", "1033", "0"], EXIT_SIGNED_INPUT,
             "sign the result afterwards"),
            ("output folder missing",
             ["set", base, winpath(self.box.work / "no-folder" / "x.exe"), "CV_SKU", "1033", "0"],
             EXIT_WRITE_FAILED, "cannot create"),
        ]
        for name, arguments, code, words in cases:
            with self.subTest(name):
                out = self.new_output()
                arguments = [winpath(out) if a == "OUT" else a for a in arguments]
                result = run_cvconfig(self.box, *arguments)
                self.assertEqual(result.returncode, code, result.stderr)
                self.assertTrue(result.stderr.startswith("cvconfig: ") or result.stderr.startswith("usage:"),
                                result.stderr)
                self.assertIn(words, result.stderr)
                self.assertEqual(result.stdout, "")
                self.assertFalse(out.exists(), "a failed run left an output")
        # Reading a signed program is fine; only changing it is refused.
        result = run_cvconfig(self.box, "list", winpath(signed))
        self.assertEqual(result.returncode, EXIT_OK, result.stderr)
        self.assertEqual(parse_listing(result.stdout), values_of(self.base_resources))


if __name__ == "__main__":
    unittest.main()
