// The signature check against Wine's real WinTrust, on files that need no
// test PKI: this unsigned program and files that do not exist. Signed and
// tampered files are covered end to end in tests/e2e/.
#include "trust/signature_check.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <wintrust.h>

#include <string>
#include <vector>

#include "support/trace.h"
#include "trace_capture.h"

namespace {

class SignatureCheckTest : public ::testing::Test {
protected:
    ScopedTraceSwitch traceOn_{1};
};

std::wstring OwnPathW() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    return path;
}

std::string OwnPath() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, sizeof path);
    return path;
}

PCCERT_CONTEXT Garbage() { return reinterpret_cast<PCCERT_CONTEXT>(static_cast<uintptr_t>(0x1234)); }

struct FileCase {
    const char* name;
    bool exists;            // this program (unsigned) or a path that does not exist
    bool expectSigned;      // only a missing signature counts as unsigned
};

class VerifyFileTrustTest : public SignatureCheckTest,
                            public ::testing::WithParamInterface<FileCase> {};

TEST_P(VerifyFileTrustTest, ClearsOutputsAndCountsOnlyAMissingSignatureAsUnsigned) {
    const FileCase& c = GetParam();
    const std::wstring path = c.exists ? OwnPathW() : L"C:\\no such folder\\package.exe";
    TraceCapture capture;
    bool isSigned = !c.expectSigned;
    PCCERT_CONTEXT signer = Garbage();

    EXPECT_EQ(VerifyFileTrust(path.c_str(), nullptr, WTD_UI_NONE, &isSigned, &signer),
              kTrustNotTrusted);
    EXPECT_EQ(isSigned, c.expectSigned);
    EXPECT_EQ(signer, nullptr);
    ASSERT_EQ(capture.lines().size(), 1u);
    if (c.exists) {
        EXPECT_EQ(capture.lines()[0], "[WVT] WVT returned 0x800B0100\n");
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, VerifyFileTrustTest,
                         ::testing::Values(FileCase{"UnsignedProgram", true, false},
                                           FileCase{"MissingFile", false, true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(SignatureCheckTest, OutputsAreOptional) {
    TraceCapture capture;
    EXPECT_EQ(VerifyFileTrust(OwnPathW().c_str(), nullptr, WTD_UI_NONE, nullptr, nullptr),
              kTrustNotTrusted);
    bool isSigned = true;
    EXPECT_EQ(VerifyFileTrust(OwnPathW().c_str(), nullptr, WTD_UI_NONE, &isSigned, nullptr),
              kTrustNotTrusted);
    EXPECT_FALSE(isSigned);
    PCCERT_CONTEXT signer = Garbage();
    EXPECT_EQ(VerifyFileTrust(OwnPathW().c_str(), nullptr, WTD_UI_NONE, nullptr, &signer),
              kTrustNotTrusted);
    EXPECT_EQ(signer, nullptr);
    EXPECT_EQ(capture.lines().size(), 3u);
}

// An unsigned setup program skips the second step and always marks the last
// call as one with another signer.
TEST_F(SignatureCheckTest, UnsignedSetupProgramSkipsTheSecondStep) {
    TraceCapture capture;
    EXPECT_EQ(VerifyPackageTrust(OwnPath().c_str(), OwnPath().c_str(), nullptr), kTrustNotTrusted);
    const std::vector<std::string> expected = {
        "[WVT] step 1: silently call WinVerifyTrust on szSetupExe, ignoring return value\n",
        "[WVT] WVT returned 0x800B0100\n",
        "[WVT] fSetupExeIsSigned = FALSE\n",
        "[WVT] step3: last call to WinVerifyTrust using full UI\n",
        "[WVT] WVT returned 0x800B0100\n",
    };
    EXPECT_EQ(capture.lines(), expected);
}

// Paths are in the system code page; the check must convert them, not widen
// their bytes. The euro sign is 0x80 in code page 1252 but U+20AC in UTF-16.
TEST_F(SignatureCheckTest, PackagePathInTheSystemCodePageIsConverted) {
    wchar_t folder[MAX_PATH] = {};
    ASSERT_NE(GetTempPathW(MAX_PATH, folder), 0u);
    const std::wstring wide = std::wstring(folder) + L"price \u20AC list.exe";
    char ansi[MAX_PATH] = {};
    BOOL lossy = FALSE;
    ASSERT_GT(WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, ansi, sizeof ansi, nullptr, &lossy), 0);
    if (lossy || std::string(ansi).find('\x80') == std::string::npos) {
        GTEST_SKIP() << "the system code page has no single-byte euro sign";
    }
    ASSERT_TRUE(CopyFileW(OwnPathW().c_str(), wide.c_str(), FALSE));
    TraceCapture capture;
    const TrustVerdict verdict = VerifyPackageTrust(OwnPath().c_str(), ansi, nullptr);
    DeleteFileW(wide.c_str());

    EXPECT_EQ(verdict, kTrustNotTrusted);
    ASSERT_EQ(capture.lines().size(), 5u);
    // Found and read: unsigned, rather than a file that cannot be opened.
    EXPECT_EQ(capture.lines()[4], "[WVT] WVT returned 0x800B0100\n");
}

}  // namespace
