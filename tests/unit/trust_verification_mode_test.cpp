// The /v argument grammar and the child-process side of the verification,
// against the real WinTrust of the platform. Verdicts on signed files are
// covered end to end in tests/e2e/test_verification_mode.py.
#include "trust/verification_mode.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "setup/command_line.h"
#include "support/trace.h"
#include "trace_capture.h"

namespace {

class TraceOn : public ::testing::Test {
protected:
    ScopedTraceSwitch traceOn_{1};
};

std::string OwnPath() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, sizeof path);
    return path;
}

bool HasLineStartingWith(const TraceCapture& capture, const std::string& prefix) {
    for (const std::string& line : capture.lines()) {
        if (line.compare(0, prefix.size(), prefix) == 0) return true;
    }
    return false;
}

struct ArgumentCase {
    const char* name;
    const char* commandLine;
    uint32_t exitCode;
    const char* file;  // the file argument as the check receives it; null for bad arguments
};

class VerificationArgumentsTest : public TraceOn,
                                  public ::testing::WithParamInterface<ArgumentCase> {};

// The files do not exist, so every well-formed case ends as not trusted; what
// matters is which cases reach the check and with which text.
TEST_P(VerificationArgumentsTest, FindsExactlyOneFile) {
    const ArgumentCase& c = GetParam();
    const std::string original = c.commandLine;
    std::vector<char> line(original.begin(), original.end());
    line.push_back('\0');
    TraceCapture capture;

    EXPECT_EQ(RunVerificationMode(OwnPath().c_str(), line.data()), c.exitCode);

    if (c.file == nullptr) {
        EXPECT_EQ(std::string(line.data()), original) << "bad arguments leave the text alone";
        EXPECT_FALSE(HasLineStartingWith(capture, "[WVT]")) << "no check for bad arguments";
        return;
    }
    const size_t at = original.find(c.file);
    ASSERT_NE(at, std::string::npos);
    EXPECT_EQ(std::string(line.data() + at), c.file) << "terminated right after the file";
    EXPECT_TRUE(HasLineStartingWith(capture, "[WVT] step 1: "));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, VerificationArgumentsTest,
    ::testing::Values(
        ArgumentCase{"SwitchAlone", "/v", kBadArguments, nullptr},
        ArgumentCase{"SwitchAndBlanks", "/v  \t  ", kBadArguments, nullptr},
        ArgumentCase{"TwoFiles", "/v C:\\a.exe C:\\b.exe", kBadArguments, nullptr},
        ArgumentCase{"QuotedFileThenAnother", "/v \"C:\\a b.exe\" c", kBadArguments, nullptr},
        ArgumentCase{"TextRightAfterTheClosingQuote", "/v \"C:\\a b.exe\"c", kBadArguments, nullptr},
        ArgumentCase{"QuotedWithBlanks", "/v \"C:\\no such\\a b.exe\"", kVerifyNotTrusted,
                     "C:\\no such\\a b.exe"},
        ArgumentCase{"BlankAfterClosingQuote", "/v \"C:\\no such\\a b.exe\"   ", kVerifyNotTrusted,
                     "C:\\no such\\a b.exe"},
        ArgumentCase{"UnquotedWithTrailingBlanks", "-V C:\\nosuch\\a.exe   \t ", kVerifyNotTrusted,
                     "C:\\nosuch\\a.exe"},
        ArgumentCase{"TabsAsSeparators", "/V\tC:\\nosuch\\a.exe\t", kVerifyNotTrusted,
                     "C:\\nosuch\\a.exe"}),
    [](const auto& info) { return std::string(info.param.name); });

class ChildVerificationTest : public TraceOn {};

// A child that cannot be started must never read as a trusted file (0).
TEST_F(ChildVerificationTest, ChildThatCannotStartGivesTheSystemError) {
    TraceCapture capture;
    const uint32_t result =
        VerifyInChildProcess("C:\\no such folder\\Corvane Setup.exe", "C:\\some file.exe");
    EXPECT_TRUE(result == ERROR_FILE_NOT_FOUND || result == ERROR_PATH_NOT_FOUND) << result;
    ASSERT_FALSE(capture.lines().empty());
    EXPECT_EQ(capture.lines().back(),
              "[Info] Verification of Update returned " + std::to_string(result) + "\n");
}

}  // namespace
