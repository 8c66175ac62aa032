"""The three-step check of the real program under Wine: the setup program's
own signer against the package's, shown by the step-3 trace line, while the
verdict is always that of the last call.

The first class signs copies of the program with the test PKI and runs
them against Wine's WinTrust. The second puts the stand-in wintrust.dll and
crypt32.dll of tests/testdlls into the box: their calls are written to the
trace, so the requests, the certificate hand-over and its release can be
seen call by call, and WinTrust results that Wine does not give can be set.
"""

import re
import shutil
import tempfile
import unittest
from pathlib import Path

from harness import WineBox, build_dir, product_exe, testdll
from harness.dll_exports import without_export
from harness.pki import load_pki, trust_root_in

TRUSTED = 0
NO_VERDICT = 0x800B0001
NOT_TRUSTED = 0x800B0004
NO_SIGNATURE = 0x800B0100
UNTRUSTED_ROOT = 0x800B0109
BAD_DIGEST = 0x80096010
TRACE_ON = {"_MSI_WEB_BOOTSTRAP_DEBUG": "1"}

STEP_1 = "[WVT] step 1: silently call WinVerifyTrust on szSetupExe, ignoring return value\n"
STEP_2 = "[WVT] step2: silently call WinVerifyTrust on szPackage, ignoring return value\n"
STEP_3 = "[WVT] step3: last call to WinVerifyTrust using full UI\n"

SETUP = r"C:\Corvane Setup\CorvaneSetup.exe"
PACKAGE = r"C:\Downloaded Files\package.exe"


def returned(code):
    return "[WVT] WVT returned 0x%X\n" % code


def signed(flag_name, value):
    return "[WVT] %s = %s\n" % (flag_name, "TRUE" if value else "FALSE")


def expected_trace(setup_result, package_result=None, same_signer=False, last_result=None):
    """The signature lines of one check. package_result None: the setup
    program has no signature and step 2 does not run."""
    lines = [STEP_1, returned(setup_result)]
    if setup_result == NO_SIGNATURE:
        lines.append(signed("fSetupExeIsSigned", False))
    else:
        lines.append(signed("fSetupExeIsSigned", True))
        lines += [STEP_2, returned(package_result),
                  signed("fPackageIsSigned", package_result != NO_SIGNATURE)]
    if not same_signer:
        lines.append(STEP_3)
    lines.append(returned(package_result if last_result is None else last_result))
    return lines


def wvt_lines(result):
    return [line for line in result.lines if line.startswith("[WVT]")]


class SignedProgramTest(unittest.TestCase):
    """Copies of the program signed with the test PKI; its root is trusted in
    the box's own Root store."""

    @classmethod
    def setUpClass(cls):
        cls.pki = load_pki(build_dir())
        cls.files = Path(tempfile.mkdtemp(prefix="signer-files-", dir=build_dir()))
        program = product_exe()
        shutil.copy2(program, cls.files / "unsigned.exe")
        for signer in ("A", "B", "untrusted"):
            cls.pki.sign(program, cls.files / ("%s.exe" % signer), signer)
        cls.box = WineBox("signer-comparison", env=TRACE_ON).__enter__()
        trust_root_in(cls.box, cls.pki)

    @classmethod
    def tearDownClass(cls):
        cls.box.__exit__(None, None, None)
        shutil.rmtree(cls.files, ignore_errors=True)

    def check(self, setup, package):
        setup_path = self.box.copy_in(self.files / setup, SETUP)
        self.box.copy_in(self.files / package, PACKAGE)
        return self.box.trace(setup_path, '/v "%s"' % PACKAGE, timeout=60)

    def test_signer_comparison(self):
        # (case, setup signed by, package signed by, exit code, expected lines)
        cases = [
            ("same signer: no step-3 line", "A.exe", "A.exe", TRUSTED,
             expected_trace(0, 0, same_signer=True)),
            ("another trusted signer: step-3 line, still trusted", "A.exe", "B.exe", TRUSTED,
             expected_trace(0, 0)),
            ("unsigned package: step 2 reports it unsigned", "A.exe", "unsigned.exe", NOT_TRUSTED,
             expected_trace(0, NO_SIGNATURE)),
            ("package under an untrusted root counts as signed", "A.exe", "untrusted.exe",
             NOT_TRUSTED, expected_trace(0, UNTRUSTED_ROOT)),
            # The signer of an untrusted signature is still obtained and
            # compared; matching the setup program does not make it trusted.
            ("same signer, root not trusted", "untrusted.exe", "untrusted.exe", NOT_TRUSTED,
             expected_trace(UNTRUSTED_ROOT, UNTRUSTED_ROOT, same_signer=True)),
            ("unsigned setup program: no step 2", "unsigned.exe", "A.exe", TRUSTED,
             expected_trace(NO_SIGNATURE, 0)),
        ]
        for case, setup, package, exit_code, lines in cases:
            with self.subTest(case):
                result = self.check(setup, package)
                self.assertEqual(result.exit_code, exit_code, "0x%X" % result.exit_code)
                self.assertEqual(wvt_lines(result), lines)


# What every request of the program looks like. The sizes are those of the
# x86_64 build that the tests run; the 32-bit program passes 48 and 16.
REQUEST_FIELDS = {
    "window": "invalid", "action": "generic-verify-v2", "size": "80", "ui": "2",
    "revocation": "0", "choice": "1", "policy": "null", "sip": "null", "url": "null",
    "provflags": "0", "uicontext": "0", "filesize": "32", "filehandle": "null",
    "subject": "null",
}


def requests(result):
    """The stand-in's WinVerifyTrust lines as dictionaries."""
    calls = []
    for line in result.lines:
        if line.startswith("[testdll] WinVerifyTrust "):
            fields = dict(re.findall(r"(\w+)=(.*?)(?= \w+=|\n|$)", line[len("[testdll] "):]))
            calls.append(fields)
    return calls


def testdll_lines(result, start):
    return [line[len("[testdll] "):].rstrip("\n") for line in result.lines
            if line.startswith("[testdll] " + start)]


class StandInTest(unittest.TestCase):
    """The program against the stand-in wintrust.dll and crypt32.dll."""

    @classmethod
    def setUpClass(cls):
        cls.box = WineBox("signer-stand-ins", env=TRACE_ON).__enter__()
        cls.box.install_system_dll(testdll("wintrust"))
        cls.box.install_system_dll(testdll("crypt32"))
        cls.setup = cls.box.copy_in(product_exe(), SETUP)

    @classmethod
    def tearDownClass(cls):
        cls.box.__exit__(None, None, None)

    def check(self, results, signers=None, box=None, setup=None):
        env = {"CORVANE_TEST_WVT_RESULTS": results}
        if signers is not None:
            env["CORVANE_TEST_WVT_SIGNERS"] = signers
        box = box or self.box
        # Started by its C: path, which the program then checks as its own.
        return box.trace(setup or self.setup, command_line='"%s" /v "%s"' % (SETUP, PACKAGE),
                         env=env, timeout=60)

    def assert_requests_and_release(self, result, files):
        """Every call is made the same silent way on the expected files, every
        kept state is closed before WinTrust is unloaded, and every
        certificate duplicate is freed once."""
        calls = requests(result)
        verifying = [call for call in calls if call["state"] != "2"]
        self.assertEqual([call["file"] for call in verifying], files)
        for call in calls:
            for name, value in REQUEST_FIELDS.items():
                self.assertEqual(call.get(name), value, "%s in %s" % (name, call))
        # Steps 1 and 2 keep the state to read the signer; step 3 does not.
        self.assertEqual([call["state"] for call in verifying],
                         ["1"] * (len(files) - 1) + ["0"])
        for unloaded in testdll_lines(result, "wintrust unloaded"):
            self.assertEqual(unloaded, "wintrust unloaded, open states: 0")
        self.assertEqual(len(testdll_lines(result, "wintrust unloaded")), len(files))
        self.assertEqual(testdll_lines(result, "crypt32 unloaded"),
                         ["crypt32 unloaded, certificates not freed: 0"])
        self.assertEqual(testdll_lines(result, "close of"), [])
        self.assertEqual(testdll_lines(result, "CertFreeCertificateContext of"), [])
        duplicated = testdll_lines(result, "CertDuplicateCertificateContext")
        freed = testdll_lines(result, "CertFreeCertificateContext")
        self.assertEqual(sorted(line.split("serial=")[1] for line in duplicated),
                         sorted(line.split("serial=")[1] for line in freed))

    def test_signer_comparison_and_verdict(self):
        both = [SETUP, PACKAGE, PACKAGE]
        # (case, results of the calls, signer serials, exit code, lines,
        #  files checked, what CertCompareCertificate was asked, if at all)
        cases = [
            ("same signer", "0", "7,7", TRUSTED, expected_trace(0, 0, same_signer=True),
             both, "encoding=0x10001 serials=7,7 same=1"),
            ("other signer", "0", "7,8", TRUSTED, expected_trace(0, 0), both,
             "encoding=0x10001 serials=7,8 same=0"),
            ("package signer without certificate", "0", "7,-", TRUSTED, expected_trace(0, 0),
             both, None),
            ("no signer in either state", "0", None, TRUSTED, expected_trace(0, 0), both, None),
            ("the last call decides", "0,0,80096010", "7,7", NOT_TRUSTED,
             expected_trace(0, 0, same_signer=True, last_result=BAD_DIGEST), both,
             "encoding=0x10001 serials=7,7 same=1"),
            ("signed but not trusted, same signer", "800B0109", "7,7", NOT_TRUSTED,
             expected_trace(UNTRUSTED_ROOT, UNTRUSTED_ROOT, same_signer=True), both,
             "encoding=0x10001 serials=7,7 same=1"),
            ("unsigned package", "0,800B0100", "7,7", NOT_TRUSTED, expected_trace(0, NO_SIGNATURE),
             both, None),
            ("unsigned setup program", "800B0100,0", "7,7", TRUSTED,
             expected_trace(NO_SIGNATURE, 0), [SETUP, PACKAGE], None),
        ]
        for case, results, signers, exit_code, lines, files, compared in cases:
            with self.subTest(case):
                result = self.check(results, signers)
                self.assertEqual(result.exit_code, exit_code, "0x%X" % result.exit_code)
                self.assertEqual(wvt_lines(result), lines)
                self.assert_requests_and_release(result, files)
                self.assertEqual(testdll_lines(result, "CertCompareCertificate"),
                                 ["CertCompareCertificate " + compared] if compared else [])

    def test_signer_is_read_from_signer_0_and_its_own_certificate(self):
        result = self.check("0", "7,7")
        self.assertEqual(testdll_lines(result, "WTHelperGetProvSignerFromChain"),
                         ["WTHelperGetProvSignerFromChain signer=0 countersigner=0 "
                          "countersignerindex=0"] * 2)
        self.assertEqual(testdll_lines(result, "WTHelperGetProvCertFromChain"),
                         ["WTHelperGetProvCertFromChain certificate=0"] * 2)
        self.assertEqual(testdll_lines(result, "WTHelperProvDataFromStateData"),
                         ["WTHelperProvDataFromStateData state=known"] * 2)

    def test_no_verdict_midway_releases_what_was_obtained(self):
        cases = [
            ("in step 2", "0,800B0001", [STEP_1, returned(0), signed("fSetupExeIsSigned", True),
                                         STEP_2, returned(NO_VERDICT)], [SETUP, PACKAGE]),
            ("in the last call", "0,0,800B0001", expected_trace(0, 0, same_signer=True,
                                                                last_result=NO_VERDICT),
             [SETUP, PACKAGE, PACKAGE]),
        ]
        for case, results, lines, files in cases:
            with self.subTest(case):
                result = self.check(results, "7,7")
                self.assertEqual(result.exit_code, NO_VERDICT, "0x%X" % result.exit_code)
                self.assertEqual(wvt_lines(result), lines)
                calls = [call for call in requests(result) if call["state"] != "2"]
                self.assertEqual([call["file"] for call in calls], files)
                self.assertEqual(testdll_lines(result, "crypt32 unloaded"),
                                 ["crypt32 unloaded, certificates not freed: 0"])
                self.assertEqual(testdll_lines(result, "wintrust unloaded"),
                                 ["wintrust unloaded, open states: 0"] * len(files))

    def test_crypt32_without_certificate_duplication(self):
        # The check goes on without the signers' certificates, and they then
        # count as different.
        with WineBox("signer-no-duplicate", env=TRACE_ON) as box:
            variant = box.root / "crypt32.dll"
            without_export(testdll("crypt32"), variant, "CertDuplicateCertificateContext")
            box.install_system_dll(variant)
            box.install_system_dll(testdll("wintrust"))
            setup = box.copy_in(product_exe(), SETUP)
            result = self.check("0", "7,7", box=box, setup=setup)
            self.assertEqual(result.exit_code, TRUSTED, "0x%X" % result.exit_code)
            self.assertEqual(wvt_lines(result), expected_trace(0, 0))
            self.assertEqual(testdll_lines(result, "CertCompareCertificate"), [])
            self.assertEqual(testdll_lines(result, "CertFreeCertificateContext"), [])
            self.assert_requests_and_release(result, [SETUP, PACKAGE, PACKAGE])


if __name__ == "__main__":
    unittest.main()
