// The UI language and edition choices: the language table, the choice from
// CV_LANGUAGE or the user's language, the thread it is applied to, and the
// edition read from CV_SKU or chosen on the edition page.
#include "config/ui_language.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "config/config_lookup.h"
#include "config/edition_choice.h"
#include "config/wizard_choices.h"
#include "config_test_module.h"
#include "res/resource.h"

namespace {

HINSTANCE Self() { return GetModuleHandleW(nullptr); }

std::string Expanded(HINSTANCE module, const char* entry) {
    char* value = nullptr;
    DWORD size = 0;
    if (LoadConfigString(module, entry, &value, &size) != ERROR_SUCCESS) return "<missing>";
    std::unique_ptr<char[]> owned(value);
    return value;
}

TEST(LanguageTableTest, SelectsByExactEnglishName) {
    const struct {
        const char* name;
        WORD langId;
    } cases[] = {
        {"German", 1031},  {"Spanish", 1034}, {"French", 1036}, {"Italian", 1040},
        {"Japanese", 1041}, {"English", 1033}, {"german", 1033}, {"Japanese ", 1033},
        {"Portuguese", 1033}, {"", 1033},       {nullptr, 1033},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(SelectLanguageByName(c.name).langId, c.langId) << (c.name ? c.name : "(null)");
    }
}

TEST(LanguageTableTest, SelectsByPrimaryLanguageWhateverTheSublanguage) {
    const struct {
        LANGID user;
        WORD langId;
    } cases[] = {
        {0x0407, 1031}, {0x0C07, 1031},  // German, German (Austria)
        {0x080A, 1034}, {0x0C0A, 1034},  // Spanish (Mexico), Spanish (modern sort)
        {0x040C, 1036}, {0x0C0C, 1036},  // French, French (Canada)
        {0x0810, 1040}, {0x0411, 1041},  // Italian (Switzerland), Japanese
        {0x0416, 1033}, {0x0809, 1033},  // Portuguese (Brazil), English (UK)
        {0x0000, 1033}, {0x0413, 1033},  // neutral, Dutch
    };
    for (const auto& c : cases) {
        EXPECT_EQ(SelectLanguageById(c.user).langId, c.langId) << std::hex << c.user;
    }
}

TEST(LanguageTableTest, ChoosingARowSetsIdCodeAndName) {
    WizardChoicesScope scope;
    SetUiLanguage(SelectLanguageByName("Japanese"));
    EXPECT_EQ(WizardChoices.langId, 1041);
    EXPECT_STREQ(WizardChoices.langCode, "jp");
    EXPECT_STREQ(WizardChoices.langName, "Japanese");
}

// The platform picks string-table texts by the thread locale, so applying the
// language is what makes message texts follow it.
TEST(ApplyUiLanguageTest, StringTableFollowsTheAppliedLanguage) {
    WizardChoicesScope scope;
    const struct {
        const char* name;
        std::wstring cancel;
    } cases[] = {{"German", L"Abbrechen"}, {"French", L"Annuler"}, {"English", L"Cancel"}};
    for (const auto& c : cases) {
        SetUiLanguage(SelectLanguageByName(c.name));
        ApplyUiLanguage();
        EXPECT_EQ(GetThreadLocale(), MAKELCID(WizardChoices.langId, SORT_DEFAULT)) << c.name;
        char text[64] = {};
        LoadStringA(Self(), IDS_CANCEL, text, sizeof text);
        EXPECT_EQ(std::string(text), Ansi(c.cancel)) << c.name;
    }
}

struct InitCase {
    const char* name;
    const char* entry;  // CV_LANGUAGE value; null: no entry
    WORD langId;        // 0: the user's default language decides
    bool fixed;
};

void PrintTo(const InitCase& c, std::ostream* os) { *os << c.name; }

class InitUiLanguageTest : public ::testing::TestWithParam<InitCase> {};

TEST_P(InitUiLanguageTest, ChoosesFromTheEntryOrTheUser) {
    const InitCase& c = GetParam();
    WizardChoicesScope scope;
    ConfigTestModule entries;
    entries.Add("CV_OTHER", std::string("unused"));  // a module needs one entry at least
    if (c.entry != nullptr) entries.Add("CV_LANGUAGE", std::string(c.entry));
    const HINSTANCE module = entries.Load();
    ASSERT_NE(module, nullptr);

    InitUiLanguage(module);
    const WORD langId = c.langId != 0 ? c.langId : SelectLanguageById(GetUserDefaultLangID()).langId;
    EXPECT_EQ(WizardChoices.langId, langId);
    EXPECT_EQ(WizardChoices.languageFixed, c.fixed);
    ASSERT_NE(WizardChoices.langCode, nullptr);
    EXPECT_EQ(SelectLanguageByName(WizardChoices.langName).langId, langId);
    EXPECT_EQ(GetThreadLocale(), MAKELCID(langId, SORT_DEFAULT));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, InitUiLanguageTest,
    ::testing::Values(InitCase{"French", "fr", 1036, true}, InitCase{"Japanese", "jp", 1041, true},
                      InitCase{"English", "en", 1033, true},
                      InitCase{"CodesCompareWithCase", "FR", 0, false},
                      InitCase{"IsoJapaneseIsNoCode", "ja", 0, false},
                      InitCase{"Unsupported", "pt", 0, false}, InitCase{"Empty", "", 0, false},
                      InitCase{"NoEntry", nullptr, 0, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(InitUiLanguageTest, DeliveredConfigurationFixesFrench) {
    WizardChoicesScope scope;
    InitUiLanguage(Self());
    EXPECT_EQ(WizardChoices.langId, 1036);
    EXPECT_STREQ(WizardChoices.langCode, "fr");
    EXPECT_TRUE(WizardChoices.languageFixed);
    // Lookups now answer in French, built-in variables included.
    EXPECT_EQ(Expanded(Self(), "UI_PAGE_2_NEXT"), "Suivant >");
    EXPECT_EQ(Expanded(Self(), "CV_LAGUAGE_TEXT"), "French");
}

TEST(EditionChoiceTest, ReadsTheEditionFromTheEntries) {
    const struct {
        const char* name;
        const char* sku;      // null: no entry
        const char* skuName;  // null: no entry
        bool shows;
        const char* skuId;  // expected; null: stays unset
        const char* expectedName;
    } cases[] = {
        {"NoEntry", nullptr, "CVA", false, nullptr, nullptr},
        {"ChoiceZero", "0", "CVA", true, nullptr, nullptr},
        {"ChoiceSix", "6", "CVA", true, nullptr, nullptr},
        {"Fixed", "16", "CVA", false, "16", "CVA"},
        {"FixedWithoutName", "16", nullptr, false, "16", nullptr},
        {"ZeroIsNotAPrefix", "06", nullptr, false, "06", nullptr},
    };
    for (const auto& c : cases) {
        WizardChoicesScope scope;
        ConfigTestModule entries;
        entries.Add("CV_OTHER", std::string("unused"));
        if (c.sku) entries.Add("CV_SKU", std::string(c.sku));
        if (c.skuName) entries.Add("CV_SKU_NAME", std::string(c.skuName));
        const HINSTANCE module = entries.Load();
        ASSERT_NE(module, nullptr) << c.name;
        InitEditionChoice(module);
        EXPECT_EQ(WizardChoices.showEditionChoice, c.shows) << c.name;
        EXPECT_EQ(WizardChoices.linkChoice, 1) << c.name;
        if (c.skuId) {
            ASSERT_NE(WizardChoices.skuId, nullptr) << c.name;
            EXPECT_STREQ(WizardChoices.skuId, c.skuId) << c.name;
        } else {
            EXPECT_EQ(WizardChoices.skuId, nullptr) << c.name;
        }
        if (c.expectedName) {
            ASSERT_NE(WizardChoices.skuName, nullptr) << c.name;
            EXPECT_STREQ(WizardChoices.skuName, c.expectedName) << c.name;
        } else {
            EXPECT_EQ(WizardChoices.skuName, nullptr) << c.name;
        }
    }
}

// The radio buttons change what the built-in variables and the link choice
// tell the rest of the run.
TEST(EditionChoiceTest, RadioButtonsSetLinkAndBuiltIns) {
    WizardChoicesScope scope;
    ConfigTestModule entries;
    entries.Add("EDITION", std::string("$(CV_SKU)/$(CV_SKU_NAME)/$(CV_SKU_TEXT)"));
    const HINSTANCE module = entries.Load();
    ASSERT_NE(module, nullptr);

    ChooseEdition(kFreeEditionLink);
    EXPECT_EQ(WizardChoices.linkChoice, 0);
    EXPECT_EQ(Expanded(module, "EDITION"), "0/Free/Corvane Free only");
    ChooseEdition(kSuiteEditionLink);
    EXPECT_EQ(WizardChoices.linkChoice, 1);
    EXPECT_EQ(Expanded(module, "EDITION"), "0/Security/Corvane Free with Corvane Harbor Suite (no cost)");
}

TEST(EditionChoiceTest, DeliveredEntriesHideTheChosenEdition) {
    WizardChoicesScope scope;
    ChooseEdition(kFreeEditionLink);
    EXPECT_EQ(Expanded(Self(), "CV_FILE_NAME_1"), "cvCVA_Setup_fr.exe");
    EXPECT_EQ(Expanded(Self(), "UI_PAGE_3_DOWNLOADING"), "Downloading Corvane...");
    EXPECT_NE(Expanded(Self(), "STD_FILE_PATH_2").find("&prod=16&"), std::string::npos);
}

}  // namespace
