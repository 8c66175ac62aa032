#include "setup/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// A writable copy of a command line, as the program receives it.
struct CommandLine {
    std::vector<char> text;
    explicit CommandLine(const std::string& value) : text(value.begin(), value.end()) {
        text.push_back('\0');
    }
    char* get() { return text.data(); }
};

struct TokenCase {
    const char* name;
    const char* text;
    uint32_t result;
    const char* token;  // text from start through last
    bool quoted;
};

class NextTokenTest : public ::testing::TestWithParam<TokenCase> {};

TEST_P(NextTokenTest, FindsTheFirstArgument) {
    const TokenCase& c = GetParam();
    CommandLine line(c.text);
    char* start = nullptr;
    char* last = nullptr;
    bool quoted = !c.quoted;
    ASSERT_EQ(NextToken(line.get(), &start, &last, &quoted), c.result);
    if (c.result != 0) return;
    ASSERT_NE(start, nullptr);
    ASSERT_NE(last, nullptr);
    const std::string token = last >= start ? std::string(start, last + 1) : std::string();
    EXPECT_EQ(token, c.token);
    EXPECT_EQ(quoted, c.quoted);
    // Nothing points outside the text.
    EXPECT_GE(start, line.get());
    EXPECT_LT(last, line.get() + line.text.size());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, NextTokenTest,
    ::testing::Values(
        TokenCase{"Empty", "", kNoMoreTokens, "", false},
        TokenCase{"OnlyBlanksAndTabs", " \t  \t", kNoMoreTokens, "", false},
        TokenCase{"Plain", "/a", 0, "/a", false},
        TokenCase{"LeadingBlanksAndTabs", " \t /v file", 0, "/v", false},
        TokenCase{"TabEndsAnArgument", "/v\tfile", 0, "/v", false},
        TokenCase{"Quoted", "\"C:\\a b\\c.exe\" x", 0, "C:\\a b\\c.exe", true},
        TokenCase{"QuoteInsideUnquoted", "ab\"cd ef", 0, "ab\"cd", false},
        TokenCase{"UnbalancedQuoteRunsToTheEnd", "\"C:\\a b", 0, "C:\\a b", true},
        TokenCase{"LoneQuoteAtTheEnd", "  \"", 0, "", true},
        TokenCase{"HighBytes", "\xC3\xA9t\xC3\xA9 x", 0, "\xC3\xA9t\xC3\xA9", false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(NextTokenTest, NullTextHasNoToken) {
    EXPECT_EQ(NextToken(nullptr, nullptr, nullptr, nullptr), kNoMoreTokens);
}

TEST(NextTokenTest, OutputsMayBeOmitted) {
    CommandLine line("  abc");
    EXPECT_EQ(NextToken(line.get(), nullptr, nullptr, nullptr), 0u);
}

TEST(NextTokenTest, VeryLongLineIsWalkedToItsEnd) {
    std::string text(32 * 1024, 'x');
    text[0] = '"';
    CommandLine line(text);
    char* start = nullptr;
    char* last = nullptr;
    ASSERT_EQ(NextToken(line.get(), &start, &last, nullptr), 0u);
    EXPECT_EQ(start, line.get() + 1);
    EXPECT_EQ(last, line.get() + text.size() - 1);
}

struct ModeCase {
    const char* name;
    const char* text;
    RunMode mode;
};

class ParseRunModeTest : public ::testing::TestWithParam<ModeCase> {};

TEST_P(ParseRunModeTest, SelectsTheMode) {
    CommandLine line(GetParam().text);
    EXPECT_EQ(ParseRunMode(line.get()), GetParam().mode);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ParseRunModeTest,
    ::testing::Values(ModeCase{"Empty", "", RunMode::Normal},
                      ModeCase{"Blanks", " \t ", RunMode::Normal},
                      ModeCase{"SlashA", "/a", RunMode::Admin},
                      ModeCase{"DashUpperA", "-A", RunMode::Admin},
                      ModeCase{"SlashV", "/v x", RunMode::Verify},
                      ModeCase{"DashUpperV", "-V", RunMode::Verify},
                      ModeCase{"Question", "/?", RunMode::Usage},
                      ModeCase{"Longer", "/av", RunMode::Usage},
                      ModeCase{"NoSlash", "a", RunMode::Usage},
                      ModeCase{"LoneSlash", "/", RunMode::Usage},
                      ModeCase{"QuotedSwitch", "\"/a\"", RunMode::Usage},
                      ModeCase{"OtherLetter", "/x", RunMode::Usage},
                      ModeCase{"UnbalancedQuote", "\"/a", RunMode::Usage},
                      ModeCase{"SlashThenHighByte", "/\xE9", RunMode::Usage}),
    [](const auto& info) { return std::string(info.param.name); });

struct AdminCase {
    const char* name;
    bool isPatch;
    const char* text;
    uint32_t result;
    const char* target;  // null: no target
};

class ParseAdminTargetTest : public ::testing::TestWithParam<AdminCase> {};

TEST_P(ParseAdminTargetTest, FindsTheTarget) {
    const AdminCase& c = GetParam();
    CommandLine line(c.text);
    char* target = reinterpret_cast<char*>(1);
    EXPECT_EQ(ParseAdminTarget(c.isPatch, line.get(), &target), c.result);
    if (c.target == nullptr) {
        EXPECT_EQ(target, nullptr);
    } else {
        ASSERT_NE(target, nullptr);
        EXPECT_STREQ(target, c.target);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ParseAdminTargetTest,
    ::testing::Values(
        AdminCase{"DatabaseAlone", false, "/a", 0, nullptr},
        AdminCase{"DatabaseTrailingBlanks", false, "/a   ", 0, nullptr},
        AdminCase{"DatabaseWithPath", false, "/a C:\\image", kBadArguments, nullptr},
        AdminCase{"PatchWithoutPath", true, "/a", kBadArguments, nullptr},
        AdminCase{"PatchUnquotedPath", true, "/a C:\\image", 0, "C:\\image"},
        AdminCase{"PatchQuotedPathWithBlanks", true, "/a \"C:\\admin image\"", 0, "C:\\admin image"},
        AdminCase{"PatchQuotedThenBlank", true, "/a \"C:\\admin image\" ", 0, "C:\\admin image"},
        AdminCase{"PatchTrailingBlanks", true, "-A C:\\image  \t", 0, "C:\\image"},
        AdminCase{"PatchThirdArgument", true, "/a \"C:\\admin image\" extra", kBadArguments, nullptr},
        AdminCase{"PatchThirdUnquoted", true, "/a one two", kBadArguments, nullptr},
        AdminCase{"PatchUnbalancedQuote", true, "/a \"C:\\admin image", 0, "C:\\admin image"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
