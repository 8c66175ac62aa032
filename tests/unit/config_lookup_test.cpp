// Configuration lookups against the delivered entries (this program carries
// the product resources) and against made-up entries in a test module.
#include "config/config_lookup.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "config/resolve_macro.h"
#include "config/wizard_choices.h"
#include "config_test_module.h"
#include "support/trace.h"
#include "trace_capture.h"

namespace {

struct Lookup {
    DWORD result;
    std::string value;
    DWORD size;
};

// LoadConfigString with a buffer of its own of the default size.
Lookup Load(HINSTANCE module, const char* name) {
    char* value = nullptr;
    DWORD size = 0;
    Lookup lookup{LoadConfigString(module, name, &value, &size), std::string(), size};
    if (lookup.result == ERROR_SUCCESS) {
        lookup.value = value;
        delete[] value;
    } else {
        EXPECT_EQ(value, nullptr) << name << ": a failed lookup leaves a null pointer null";
    }
    return lookup;
}

HINSTANCE Self() { return GetModuleHandleW(nullptr); }

// ---------------------------------------------------------------------------
// The delivered configuration.

struct DeliveredCase {
    const char* name;
    WORD langId;
    const char* entry;
    std::wstring expected;
};

void PrintTo(const DeliveredCase& c, std::ostream* os) { *os << c.name; }

class DeliveredEntryTest : public ::testing::TestWithParam<DeliveredCase> {};

TEST_P(DeliveredEntryTest, ReadsTheValueInTheChosenLanguage) {
    const DeliveredCase& c = GetParam();
    WizardChoicesScope scope;
    WizardChoices.langId = c.langId;
    const Lookup lookup = Load(Self(), c.entry);
    ASSERT_EQ(lookup.result, ERROR_SUCCESS);
    EXPECT_EQ(lookup.value, Ansi(c.expected));
    EXPECT_EQ(lookup.size, kDefaultConfigValueSize);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DeliveredEntryTest,
    ::testing::Values(
        DeliveredCase{"GermanText", 1031, "UI_PAGE_2_NEXT", L"Weiter >"},
        DeliveredCase{"EnglishOnlyUnderGerman", 1031, "UI_PAGE_1_OPTION_FREE_ONLY", L"Corvane Free Edition"},
        DeliveredCase{"FrenchAccents", 1036, "UI_PAGE_2_BACK", L"< Pr\u00e9c\u00e9dent"},
        DeliveredCase{"NotChosenYet", 0, "CV_SKU", L"16"},
        DeliveredCase{"MacroInEnglishText", 1033, "UI_PAGE_3_DOWNLOADING", L"Downloading Corvane..."},
        DeliveredCase{"MacrosInGermanText", 1031, "UI_PAGE_3_BANNER",
                      L"Corvane Summit Edition wird heruntergeladen. Bitte warten."},
        DeliveredCase{"FileName", 1033, "CV_FILE_NAME_1", L"cvCVA_Setup_fr.exe"},
        DeliveredCase{"EmptyValue", 1033, "UI_PAGE_1_OPTION_3", L""},
        DeliveredCase{"HiddenMacroVanishes", 1041, "UI_PAGE_1_OPTION_2", L"\u8a00\u8a9e:\t"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(DownloadLinkTest, ExpandsFourLevelsIntoTheRedirectAddress) {
    WizardChoicesScope scope;
    const Lookup base = Load(Self(), "STD_BASE_URL");
    ASSERT_EQ(base.result, ERROR_SUCCESS);
    EXPECT_EQ(base.value.rfind("http://", 0), 0u) << base.value;
    EXPECT_EQ(base.value.substr(base.value.size() - 15), "/redirect/route") << base.value;
    EXPECT_EQ(base.value.find('?'), std::string::npos) << base.value;

    const std::string query = "?mode=1&app=inclient&date=1&dest=stub&oem=1132&prod=16&lang=fr&link_id=";
    EXPECT_EQ(Load(Self(), "STD_FILE_PATH_1").value, base.value + query + "1");
    EXPECT_EQ(Load(Self(), "STD_FILE_PATH_2").value, base.value + query + "2");
}

TEST(DownloadLinkTest, EntriesBeatTheChosenEdition) {
    WizardChoicesScope scope;
    WizardChoices.skuId = "0";  // as the edition page would choose
    WizardChoices.langCode = "de";
    const Lookup link = Load(Self(), "STD_FILE_PATH_1");
    EXPECT_NE(link.value.find("&prod=16&lang=fr&link_id=1"), std::string::npos) << link.value;
}

TEST(DeliveredEntryTest, JapaneseWithoutAJapaneseCodePageGivesTheDefaultCharacter) {
    if (GetACP() == 932) GTEST_SKIP() << "the code page has the characters";
    WizardChoicesScope scope;
    WizardChoices.langId = 1041;
    const Lookup lookup = Load(Self(), "UI_PAGE_2_DOWNLOAD_ONLY");  // ダウンロードのみ
    ASSERT_EQ(lookup.result, ERROR_SUCCESS);
    EXPECT_EQ(lookup.value, std::string(8, '?'));
}

TEST(DeliveredEntryTest, TracesEveryNestedLookupInOrder) {
    WizardChoicesScope scope;
    ScopedTraceSwitch trace(1);
    TraceCapture capture;
    ASSERT_EQ(Load(Self(), "STD_IDENT_PARAMS").value, "oem=1132&prod=16&lang=fr");
    const std::vector<std::string> expected = {
        "[Resource] lpName = STD_IDENT_PARAMS, lpBuf = oem=$(CV_OEM)&prod=$(CV_SKU)&lang=$(CV_LANGUAGE)\n",
        "[Resource] lpName = CV_OEM, lpBuf = 1132\n",
        "[Resource] lpName = CV_SKU, lpBuf = 16\n",
        "[Resource] lpName = CV_LANGUAGE, lpBuf = fr\n",
    };
    EXPECT_EQ(capture.lines(), expected);
}

// The resolver gets names that are not terminated: only the given length
// belongs to the name.
TEST(ResolveMacroTest, ResolvesOnlyTheGivenLength) {
    WizardChoicesScope scope;
    WizardChoices.langName = "French";
    ASSERT_EQ(_putenv("CORVANE_TEST_VALUE=from the environment"), 0);
    const struct {
        const char* text;
        size_t length;
        const char* expected;  // null: no value
        bool inScratch;
    } cases[] = {
        {"CV_OEM)&prod=", 6, "1132", true},                           // an entry
        {"CV_LANGUAGE_NAME)", 16, "French", true},                    // a built-in variable
        {"CORVANE_TEST_VALUE)x", 18, "from the environment", false},  // the environment's own text
        {"CV_OEMX", 7, nullptr, false},
        {"", 0, nullptr, false},
    };
    for (const auto& c : cases) {
        char scratch[64];
        std::memset(scratch, '#', sizeof scratch);
        const char* value = ResolveMacro(Self(), c.text, c.length, scratch, sizeof scratch);
        if (c.expected == nullptr) {
            EXPECT_EQ(value, nullptr) << c.text;
            continue;
        }
        ASSERT_NE(value, nullptr) << c.text;
        EXPECT_STREQ(value, c.expected) << c.text;
        EXPECT_EQ(value == scratch, c.inScratch) << c.text;
    }
    _putenv("CORVANE_TEST_VALUE=");
}

// ---------------------------------------------------------------------------
// Made-up entries.

class MadeUpEntriesTest : public ::testing::Test {
protected:
    void SetUp() override {
        const std::wstring terminated = L"whole";
        entries_.Add("EMPTY", std::string());
        entries_.Add("AFTER_NUL", std::wstring(L"\0ignored", 8));
        // Data without a terminator, as windres stores a value written
        // without "\0": the value ends with the data.
        entries_.AddRaw("UNTERMINATED", 1033, terminated.c_str(), 5 * sizeof(wchar_t));
        entries_.AddRaw("ODD_SIZE", 1033, L"ab", 3);  // half a character at the end
        entries_.Add("LONG", std::string(5000, 'x'));
        entries_.Add("LONG_THEN_MACRO", std::string(4500, 'y') + "$(OEM)");
        entries_.Add("OEM", std::string("1132"));
        entries_.Add("USES_ENV", std::string("ab$(CORVANE_TEST_LONG_ENV)cd"));
        entries_.Add("GREETING", std::string("hello"), 1033);
        entries_.Add("GREETING", std::string("bonjour"), 1036);
        entries_.Add("SAY", std::string("<$(GREETING)>"), 1033);
        entries_.Add("SELF", std::string("a$(SELF)b"));
        entries_.Add("PING", std::string("<$(PONG)>"));
        entries_.Add("PONG", std::string("[$(PING)]"));
        entries_.Add("LOOP", std::string("$(loop)x"));  // resource names ignore case
        for (int level = 1; level <= 20; ++level) {
            const std::string name = "D" + std::to_string(level);
            entries_.Add(name.c_str(), std::to_string(level) + ".$(D" + std::to_string(level + 1) + ")");
        }
        entries_.Add("CV_SKU", std::string());  // empty: the built-in value shows through
        entries_.Add("BUILT_INS",
                     std::string("$(CV_LANGUAGE)|$(CV_LANGUAGE_NAME)|$(CV_SKU)|$(CV_SKU_NAME)|$(CV_SKU_TEXT)"));
        entries_.Add("CASE_MATTERS_FOR_BUILT_INS", std::string("[$(cv_language)]"));
        module_ = entries_.Load();
        ASSERT_NE(module_, nullptr) << "could not build the test module";
    }

    ConfigTestModule entries_;
    HINSTANCE module_ = nullptr;
    WizardChoicesScope scope_;
};

TEST_F(MadeUpEntriesTest, ValueEndsAtItsNulOrItsData) {
    const struct {
        const char* entry;
        const char* expected;
    } cases[] = {
        {"EMPTY", ""}, {"AFTER_NUL", ""}, {"UNTERMINATED", "whole"}, {"ODD_SIZE", "a"},
    };
    for (const auto& c : cases) {
        const Lookup lookup = Load(module_, c.entry);
        EXPECT_EQ(lookup.result, ERROR_SUCCESS) << c.entry;
        EXPECT_EQ(lookup.value, c.expected) << c.entry;
    }
}

TEST_F(MadeUpEntriesTest, EmptyValueTracesNothingAfterTheBuffer) {
    ScopedTraceSwitch trace(1);
    TraceCapture capture;
    Load(module_, "EMPTY");
    EXPECT_EQ(capture.lines(), std::vector<std::string>{"[Resource] lpName = EMPTY, lpBuf = \n"});
}

TEST_F(MadeUpEntriesTest, MissingEntryLeavesEverythingUntouched) {
    ScopedTraceSwitch trace(1);
    TraceCapture capture;
    const Lookup lookup = Load(module_, "UI_PAGE_2_BROWSE");
    EXPECT_EQ(lookup.result, static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));
    EXPECT_EQ(lookup.size, 0u) << "the size is not stored back on failure";
    EXPECT_EQ(capture.lines(), std::vector<std::string>{"[Resource] lpName = UI_PAGE_2_BROWSE NOT FOUND\n"});

    char buffer[8];
    std::memset(buffer, '#', sizeof buffer);
    char* supplied = buffer;
    DWORD size = sizeof buffer;
    EXPECT_EQ(LoadConfigString(module_, "NO_SUCH_ENTRY", &supplied, &size),
              static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));
    EXPECT_EQ(supplied, buffer);
    EXPECT_EQ(size, sizeof buffer);
    EXPECT_EQ(std::string(buffer, sizeof buffer), std::string(sizeof buffer, '#'));
}

TEST_F(MadeUpEntriesTest, FindReportsTheNeededSize) {
    const struct {
        const char* entry;
        DWORD capacity;
        DWORD result;
        DWORD needed;
    } cases[] = {
        {"OEM", 0, ERROR_MORE_DATA, 5},
        {"OEM", 4, ERROR_MORE_DATA, 5},
        {"OEM", 5, ERROR_SUCCESS, 5},
        {"OEM", 4096, ERROR_SUCCESS, 5},
        {"EMPTY", 0, ERROR_MORE_DATA, 1},
        {"EMPTY", 1, ERROR_SUCCESS, 1},
        {"LONG", 4096, ERROR_MORE_DATA, 5001},
        {"LONG", 5001, ERROR_SUCCESS, 5001},
    };
    for (const auto& c : cases) {
        std::vector<char> buffer(c.capacity + 16, '#');
        DWORD capacity = c.capacity;
        EXPECT_EQ(FindConfigString(module_, 40, c.entry, c.capacity ? buffer.data() : nullptr, &capacity),
                  c.result)
            << c.entry << " in " << c.capacity;
        EXPECT_EQ(capacity, c.needed) << c.entry << " in " << c.capacity;
        for (size_t i = c.result == ERROR_SUCCESS ? c.needed : 0; i < buffer.size(); ++i)
            ASSERT_EQ(buffer[i], '#') << c.entry << " in " << c.capacity << ": byte " << i;
    }
}

TEST_F(MadeUpEntriesTest, LongRawValueIsReadWhole) {
    EXPECT_EQ(Load(module_, "LONG").value, std::string(4094, 'x')) << "the default buffer keeps 4094";

    // A larger buffer shows that nothing of the raw value was lost: the macro
    // behind its first 4096 bytes is still expanded.
    std::vector<char> buffer(8000, '#');
    char* supplied = buffer.data();
    DWORD size = static_cast<DWORD>(buffer.size());
    ASSERT_EQ(LoadConfigString(module_, "LONG_THEN_MACRO", &supplied, &size), ERROR_SUCCESS);
    EXPECT_EQ(std::string(buffer.data()), std::string(4500, 'y') + "1132");
    EXPECT_EQ(size, 8000u);
}

TEST_F(MadeUpEntriesTest, BufferSizes) {
    const struct {
        const char* name;
        bool supplied;
        DWORD size;
        DWORD result;
        const char* expected;
        DWORD sizeAfter;
    } cases[] = {
        {"AllocatesTheDefault", false, 0, ERROR_SUCCESS, "1132", 4096},
        {"AllocatesTheAskedSize", false, 4, ERROR_SUCCESS, "11", 4},
        {"SuppliedOneByteHoldsTheEmptyText", true, 1, ERROR_SUCCESS, "", 1},
        {"SuppliedNoBytesIsRefused", true, 0, ERROR_INVALID_PARAMETER, "#", 0},
    };
    for (const auto& c : cases) {
        char buffer[16];
        std::memset(buffer, '#', sizeof buffer);
        buffer[sizeof buffer - 1] = '\0';
        char* value = c.supplied ? buffer : nullptr;
        DWORD size = c.size;
        EXPECT_EQ(LoadConfigString(module_, "OEM", &value, &size), c.result) << c.name;
        EXPECT_EQ(size, c.sizeAfter) << c.name;
        ASSERT_NE(value, nullptr) << c.name;
        EXPECT_EQ(std::string(value).substr(0, std::strlen(c.expected)), c.expected) << c.name;
        if (c.result == ERROR_SUCCESS) {
            EXPECT_STREQ(value, c.expected) << c.name;
        }
        if (c.supplied) {
            EXPECT_EQ(value, buffer) << c.name;
            EXPECT_EQ(buffer[c.size ? c.size : 1], '#') << c.name << ": wrote past the size";
        } else {
            delete[] value;
        }
    }
}

TEST_F(MadeUpEntriesTest, ChosenLanguageReachesNestedLookups) {
    WizardChoices.langId = 1036;
    EXPECT_EQ(Load(module_, "SAY").value, "<bonjour>");
    WizardChoices.langId = 1031;  // no German greeting: the platform falls back
    EXPECT_EQ(Load(module_, "SAY").value, "<hello>");
}

TEST_F(MadeUpEntriesTest, CyclesEndAndTheRestStillExpands) {
    const struct {
        const char* entry;
        std::string expected;
    } cases[] = {
        {"SELF", "ab"},
        {"PING", "<[]>"},
        {"PONG", "[<>]"},
        {"LOOP", "x"},
        // Sixteen nested expansions, then the next macro expands to nothing.
        {"D1", "1.2.3.4.5.6.7.8.9.10.11.12.13.14.15.16."},
        {"D10", "10.11.12.13.14.15.16.17.18.19.20."},
    };
    for (const auto& c : cases) {
        const Lookup lookup = Load(module_, c.entry);
        EXPECT_EQ(lookup.result, ERROR_SUCCESS) << c.entry;
        EXPECT_EQ(lookup.value, c.expected) << c.entry;
    }
    // Nothing of a cut cycle stays behind to block the next lookup.
    EXPECT_EQ(Load(module_, "SELF").value, "ab");
}

TEST_F(MadeUpEntriesTest, BuiltInVariablesFollowTheChoices) {
    EXPECT_EQ(Load(module_, "BUILT_INS").value, "||||") << "unset fields read as empty";
    WizardChoices.langCode = "jp";
    WizardChoices.langName = "Japanese";
    WizardChoices.skuId = "0";
    WizardChoices.skuName = "Free";
    WizardChoices.skuText = "Corvane Free only";
    EXPECT_EQ(Load(module_, "BUILT_INS").value, "jp|Japanese|0|Free|Corvane Free only")
        << "the empty CV_SKU entry counts as missing";
    EXPECT_EQ(Load(module_, "CASE_MATTERS_FOR_BUILT_INS").value, "[]");
}

TEST_F(MadeUpEntriesTest, EnvironmentValueIsCutOnlyByTheRoom) {
    const std::string value(5000, 'e');
    ASSERT_EQ(_putenv(("CORVANE_TEST_LONG_ENV=" + value).c_str()), 0);
    EXPECT_EQ(Load(module_, "USES_ENV").value, "ab" + std::string(4092, 'e'));
    _putenv("CORVANE_TEST_LONG_ENV=");
    EXPECT_EQ(Load(module_, "USES_ENV").value, "abcd");
}

TEST_F(MadeUpEntriesTest, NullModuleMeansThisProgram) {
    EXPECT_EQ(Load(nullptr, "CV_OEM").value, "1132");
    EXPECT_EQ(Load(nullptr, "STD_FILE_PATH_1").result, ERROR_SUCCESS);
}

}  // namespace
