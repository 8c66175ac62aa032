"""The /v mode of the real program under Wine: the verdict on signed, changed
and unsigned files as the full 32-bit exit code, the forms of the file
argument, a system without WinTrust or CryptoAPI, and the parent side that
verifies a file through a copy of the program (VerifyInChildProcess).

The files are signed with the test PKI (harness.pki); its root is trusted in
the Root store of the box's own prefix only.
"""

import shutil
import tempfile
import unittest
from pathlib import Path

from harness import WineBox, build_dir, product_exe, string_tables, testdll, tool
from harness.dll_exports import export_names, without_export
from harness.pki import (change_code_byte, change_signature_byte, load_pki, trust_root_in)
from harness.windriver import IDOK

TRUSTED = 0
NO_VERDICT = 0x800B0001
NOT_TRUSTED = 0x800B0004
BAD_ARGUMENTS = 160
USAGE = 38
TRACE_ON = {"_MSI_WEB_BOOTSTRAP_DEBUG": "1"}

STEP_1 = "[WVT] step 1: silently call WinVerifyTrust on szSetupExe, ignoring return value\n"
STEP_3 = "[WVT] step3: last call to WinVerifyTrust using full UI\n"


def wvt_returned(code):
    return "[WVT] WVT returned 0x%X\n" % code


def unsigned_setup_trace(package_result):
    """The signature lines of a check made by the unsigned program: no second
    step, and the last call's result."""
    return [STEP_1, wvt_returned(0x800B0100), "[WVT] fSetupExeIsSigned = FALSE\n",
            STEP_3, wvt_returned(package_result)]


def wvt_lines(result):
    return [line for line in result.lines if line.startswith("[WVT]")]


def testdll_lines(result, start):
    return [line for line in result.lines if line.startswith("[testdll] " + start)]


def crashes(result):
    """Exceptions that nothing handled (first-chance ones can be Wine's own)."""
    return [e for e in result.exceptions if not e.get("first_chance")]


def signed_exit_line(code):
    return "[Info] Setup exit code is %d\n" % (code - (1 << 32) if code & 0x80000000 else code)


class Files:
    """The files of this module, made once on the host from the real program."""

    folder = None

    @classmethod
    def make(cls):
        if cls.folder is not None:
            return cls
        pki = load_pki(build_dir())
        folder = Path(tempfile.mkdtemp(prefix="verification-files-", dir=build_dir()))
        program = product_exe()
        unsigned = folder / "unsigned.exe"
        shutil.copy2(program, unsigned)
        signed_a = pki.sign(program, folder / "signed_a.exe", "A")
        pki.sign(program, folder / "signed_b.exe", "B")
        pki.sign(program, folder / "untrusted_root.exe", "untrusted")
        change_code_byte(signed_a, folder / "code_changed.exe")
        change_signature_byte(signed_a, folder / "signature_changed.exe")
        pki.sign(folder / "code_changed.exe", folder / "changed_then_signed.exe", "A")
        pki.unsign(signed_a, folder / "signature_removed.exe")
        (folder / "not_a_program.txt").write_text("not a program\n")
        cls.folder = folder
        cls.pki = pki
        return cls

    @classmethod
    def path(cls, name):
        return cls.folder / name

    @classmethod
    def remove(cls):
        if cls.folder is not None:
            shutil.rmtree(cls.folder, ignore_errors=True)
            cls.folder = None


def setUpModule():
    Files.make()


def tearDownModule():
    Files.remove()


# (case, file made above or None for a path that does not exist, exit code,
#  what WinVerifyTrust answers under Wine 8 for the package)
VERDICTS = [
    ("unsigned program", "unsigned.exe", NOT_TRUSTED, 0x800B0100),
    ("signed under the trusted root", "signed_a.exe", TRUSTED, 0),
    ("signed by another trusted signer", "signed_b.exe", TRUSTED, 0),
    ("a byte of the signed program changed", "code_changed.exe", NOT_TRUSTED, 0x80096010),
    ("a byte of the signature changed", "signature_changed.exe", NOT_TRUSTED, 0x80096004),
    ("signed under a root that is not trusted", "untrusted_root.exe", NOT_TRUSTED, 0x800B0109),
    ("changed, then signed again", "changed_then_signed.exe", TRUSTED, 0),
    ("signature removed", "signature_removed.exe", NOT_TRUSTED, 0x800B0100),
    ("not a program", "not_a_program.txt", NOT_TRUSTED, 0x800B0003),
    ("no such file", None, NOT_TRUSTED, 0x2),
]


class VerdictTest(unittest.TestCase):
    """One box with the test root trusted; every case runs the real program."""

    @classmethod
    def setUpClass(cls):
        cls.box = WineBox("verify-verdicts", env=TRACE_ON).__enter__()
        trust_root_in(cls.box, Files.pki)
        cls.setup = cls.box.copy_in(product_exe(), r"C:\Corvane\CorvaneSetup.exe")

    @classmethod
    def tearDownClass(cls):
        cls.box.__exit__(None, None, None)

    def verify(self, arguments, **options):
        return self.box.trace(self.setup, arguments, timeout=60, **options)

    def test_verdict_is_the_exit_code(self):
        for case, name, exit_code, wvt in VERDICTS:
            with self.subTest(case):
                target = r"C:\Packages\%s" % (name or "missing.exe")
                if name:
                    self.box.copy_in(Files.path(name), target)
                result = self.verify('/v "%s"' % target)
                self.assertEqual(result.exit_code, exit_code, "0x%X" % result.exit_code)
                self.assertEqual(wvt_lines(result), unsigned_setup_trace(wvt))
                self.assertIn(signed_exit_line(exit_code), result.lines)
                self.assertEqual(crashes(result), [])

    def test_file_argument_forms(self):
        # The file is trusted only when its path reaches the check exactly.
        self.box.copy_in(Files.path("signed_a.exe"), r"C:\Signed Files\signed by a.exe")
        self.box.copy_in(Files.path("signed_a.exe"), r"C:\Signed\a.exe")
        forms = [
            ("quoted path with blanks", r'/v "C:\Signed Files\signed by a.exe"'),
            ("blanks after the closing quote", '/v "C:\\Signed Files\\signed by a.exe"  \t'),
            ("unquoted path with trailing blanks", "/v C:\\Signed\\a.exe    "),
            ("dash and upper case", r"-V C:\Signed\a.exe"),
            ("tabs as separators", "/V\tC:\\Signed\\a.exe\t"),
            ("blanks before the switch", "  /v  C:\\Signed\\a.exe"),
        ]
        for case, arguments in forms:
            with self.subTest(case, arguments=arguments):
                result = self.verify(arguments)
                self.assertEqual(result.exit_code, TRUSTED, "0x%X" % result.exit_code)
                self.assertEqual(wvt_lines(result), unsigned_setup_trace(0))

    def test_path_in_a_double_byte_code_page(self):
        # Code page 932; the trail byte of "ソ" is a backslash. The path must be
        # converted from the system code page before it reaches WinTrust.
        target = "C:\\署名済み\\ソフト 表示.exe"
        self.box.copy_in(Files.path("signed_a.exe"), target)
        result = self.verify('/v "%s"' % target, lang="ja_JP.UTF-8")
        self.assertEqual(result.exit_code, TRUSTED, "0x%X" % result.exit_code)
        self.assertEqual(wvt_lines(result), unsigned_setup_trace(0))

    def test_without_exactly_one_file_shows_usage_and_checks_nothing(self):
        self.box.copy_in(Files.path("signed_a.exe"), r"C:\Signed Files\signed by a.exe")
        texts = string_tables()
        cases = [
            ("no file", "/v  \t"),
            ("an unquoted path with blanks is two files", r"/v C:\Signed Files\signed by a.exe"),
            ("text right after the closing quote", r'/v "C:\Signed Files\signed by a.exe"x'),
        ]
        driver = self.box.driver()
        for case, arguments in cases:
            with self.subTest(case, arguments=arguments):
                run = self.box.start_trace(self.setup, arguments, timeout=30)
                shown = driver.wait_for_message_box(pid=run.windows_pid(), timeout=20)
                self.assertEqual(shown.message_text, texts[1033][USAGE])
                self.assertEqual(shown.title, "Corvane")
                shown.click(IDOK)
                result = run.wait()
                self.assertEqual(result.exit_code, BAD_ARGUMENTS)
                self.assertEqual(wvt_lines(result), [])

    def test_trust_comes_from_the_prefixs_root_store(self):
        # The same signed file in a box whose Root store lacks the test root.
        with WineBox("verify-no-root", env=TRACE_ON) as box:
            setup = box.copy_in(product_exe(), r"C:\Corvane\CorvaneSetup.exe")
            box.copy_in(Files.path("signed_a.exe"), r"C:\Packages\signed_a.exe")
            result = box.trace(setup, r'/v "C:\Packages\signed_a.exe"')
            self.assertEqual(result.exit_code, NOT_TRUSTED, "0x%X" % result.exit_code)
            self.assertEqual(wvt_lines(result), unsigned_setup_trace(0x800B0109))


class MissingLibraryTest(unittest.TestCase):
    """Systems without WinTrust or CryptoAPI, or with copies that lack a
    function, give no verdict: 0x800B0001. Wine has all of them, so the cases
    come from removing the file from the box's system32 or from the stand-in
    DLLs of tests/testdlls with one export renamed."""

    def run_verify(self, box):
        setup = box.copy_in(product_exe(), r"C:\Corvane\CorvaneSetup.exe")
        box.copy_in(Files.path("signed_a.exe"), r"C:\Packages\signed_a.exe")
        return box.trace(setup, r'/v "C:\Packages\signed_a.exe"')

    def test_no_wintrust(self):
        with WineBox("verify-no-wintrust", env=TRACE_ON) as box:
            (box.drive_c / "windows" / "system32" / "wintrust.dll").unlink()
            result = self.run_verify(box)
            self.assertEqual(result.exit_code, NO_VERDICT, "0x%X" % result.exit_code)
            self.assertEqual(wvt_lines(result), [STEP_1])
            self.assertEqual(crashes(result), [])

    def test_no_crypt32(self):
        with WineBox("verify-no-crypt32", env=TRACE_ON) as box:
            (box.drive_c / "windows" / "system32" / "crypt32.dll").unlink()
            result = self.run_verify(box)
            self.assertEqual(result.exit_code, NO_VERDICT, "0x%X" % result.exit_code)
            self.assertEqual(wvt_lines(result), [], "nothing is checked without crypt32")

    def test_wintrust_without_one_of_its_functions(self):
        source = testdll("wintrust")
        for function in export_names(source):
            with self.subTest(function), WineBox("verify-wintrust-lacks", env=TRACE_ON) as box:
                variant = box.root / "wintrust.dll"
                without_export(source, variant, function)
                box.install_system_dll(variant)
                result = self.run_verify(box)
                self.assertEqual(result.exit_code, NO_VERDICT, "0x%X" % result.exit_code)
                self.assertEqual(wvt_lines(result), [STEP_1])
                self.assertEqual(testdll_lines(result, "WinVerifyTrust"), [],
                                 "WinVerifyTrust is not called when a function is missing")

    def test_wintrust_that_does_not_know_the_action(self):
        with WineBox("verify-provider-unknown", env=TRACE_ON) as box:
            box.install_system_dll(testdll("wintrust"))
            result = self.run_verify(box)   # the stand-in answers TRUST_E_PROVIDER_UNKNOWN
            self.assertEqual(result.exit_code, NO_VERDICT, "0x%X" % result.exit_code)
            self.assertEqual(wvt_lines(result), [STEP_1, wvt_returned(NO_VERDICT)],
                             "the package is not checked")
            calls = testdll_lines(result, "WinVerifyTrust")
            self.assertEqual(len(calls), 2, calls)
            self.assertIn(" state=1 ", calls[0])
            # The state is closed silently, without a window.
            for field in (" state=2 ", " ui=2 ", "window=invalid "):
                self.assertIn(field, calls[1])
            self.assertEqual(testdll_lines(result, "wintrust unloaded"),
                             ["[testdll] wintrust unloaded, open states: 0\n"])

    def test_crypt32_without_a_function_that_the_check_needs(self):
        source = testdll("crypt32")
        for function in ("CertCompareCertificate", "CertFreeCertificateContext"):
            with self.subTest(function), WineBox("verify-crypt32-lacks", env=TRACE_ON) as box:
                variant = box.root / "crypt32.dll"
                without_export(source, variant, function)
                box.install_system_dll(variant)
                box.install_system_dll(testdll("wintrust"))
                result = self.run_verify(box)
                self.assertEqual(result.exit_code, NO_VERDICT, "0x%X" % result.exit_code)
                self.assertEqual(wvt_lines(result), [])
                self.assertEqual(testdll_lines(result, "WinVerifyTrust"), [])


class ChildVerificationTest(unittest.TestCase):
    """VerifyInChildProcess, hosted by tools/verifyhost.exe from a folder with
    blanks, starting a copy of the program (or of the host in its child role)
    from another folder with blanks on a file in a third."""

    SETUP = r"C:\Setup Folder\Corvane Setup.exe"
    HOST = r"C:\Parent Folder\verify host.exe"

    @classmethod
    def setUpClass(cls):
        cls.box = WineBox("verify-child", env=TRACE_ON).__enter__()
        trust_root_in(cls.box, Files.pki)
        cls.host = cls.box.copy_in(tool("verifyhost"), cls.HOST)

    @classmethod
    def tearDownClass(cls):
        cls.box.__exit__(None, None, None)

    def host_run(self, setup, file, pump=False, **options):
        arguments = '%s"%s" "%s"' % ("--pump " if pump else "", setup, file)
        return self.box.trace(self.host, arguments, timeout=60, **options)

    def assert_result_line(self, result, code):
        signed = code - (1 << 32) if code & 0x80000000 else code
        self.assertIn("[Info] Verification of Update returned %d\n" % signed, result.lines)

    def test_child_copy_of_the_program_gives_the_verdict(self):
        self.box.copy_in(product_exe(), self.SETUP)
        cases = [("signed file", "signed_a.exe", TRUSTED),
                 ("unsigned file", "unsigned.exe", NOT_TRUSTED),
                 ("file signed under an untrusted root", "untrusted_root.exe", NOT_TRUSTED)]
        for case, name, code in cases:
            with self.subTest(case):
                file = r"C:\Update Files\%s update.exe" % Path(name).stem
                self.box.copy_in(Files.path(name), file)
                result = self.host_run(self.SETUP, file)
                self.assertEqual(result.exit_code, code, "0x%X" % result.exit_code)
                self.assert_result_line(result, code)

    def test_child_command_line_and_startup_information(self):
        # The host in its child role records what it was started with and
        # ends with a code that uses all 32 bits.
        self.box.copy_in(tool("verifyhost"), self.SETUP)
        record = self.box.c_path(r"C:\child record.txt")
        file = r"C:\Update Files\some update.msp"
        result = self.host_run(self.SETUP, file, env={
            "CORVANE_TEST_CHILD_RECORD": r"C:\child record.txt",
            "CORVANE_TEST_CHILD_EXIT": "C0DE1234"})
        self.assertEqual(result.exit_code, 0xC0DE1234, "0x%X" % result.exit_code)
        self.assert_result_line(result, 0xC0DE1234)
        self.assertEqual(record.read_text().splitlines(), [
            'command line: "%s" /v "%s"' % (self.SETUP, file),
            "flags: 0x1",   # STARTF_USESHOWWINDOW
            "show: 5",      # SW_SHOW
        ])

    def test_wait_keeps_the_threads_messages_moving(self):
        self.box.copy_in(tool("verifyhost"), self.SETUP)
        result = self.host_run(self.SETUP, r"C:\Update Files\x.msp", pump=True,
                               env={"CORVANE_TEST_CHILD_SLEEP_MS": "1500"})
        self.assertEqual(result.exit_code, 0)
        ticks = [line for line in result.lines if line.startswith("[verifyhost] timer ticks")]
        self.assertEqual(len(ticks), 1, result.lines)
        # 50 ms timer, 1.5 s wait: a wait without a message pump gives 0.
        self.assertGreaterEqual(int(ticks[0].split(":")[1]), 5, ticks[0])

    def test_child_that_cannot_start(self):
        result = self.host_run(r"C:\No Such Folder\Corvane Setup.exe", r"C:\Update Files\x.msp")
        self.assertIn(result.exit_code, (2, 3), "file or path not found, never 0")
        self.assert_result_line(result, result.exit_code)


if __name__ == "__main__":
    unittest.main()
