#include "config/ui_language.h"

#include <cstring>
#include <memory>

#include "config/config_lookup.h"
#include "config/wizard_choices.h"
#include "support/library_function.h"
#include "support/system_checks.h"
#include "support/system_library.h"
#include "support/unique_resource.h"

const UiLanguage UiLanguages[kUiLanguageCount] = {
    {"German", "de", 1031, 7},   {"Spanish", "es", 1034, 10},  {"French", "fr", 1036, 12},
    {"Italian", "it", 1040, 16}, {"Japanese", "jp", 1041, 17}, {"English", "en", 1033, 0},
};
const UiLanguage& EnglishUiLanguage = UiLanguages[kUiLanguageCount - 1];

namespace {

// Null when the text is no code of the table (codes compare with case).
const UiLanguage* LanguageByCode(const char* code) {
    for (const UiLanguage& language : UiLanguages) {
        if (std::strcmp(code, language.code) == 0) return &language;
    }
    return nullptr;
}

}  // namespace

void SetUiLanguage(const UiLanguage& language) {
    WizardChoices.langId = language.langId;
    WizardChoices.langName = language.englishName;
    WizardChoices.langCode = language.code;
}

const UiLanguage& SelectLanguageByName(const char* name) {
    if (name == nullptr) return EnglishUiLanguage;
    for (int row = 0; row < kUiLanguageCount - 1; ++row) {
        if (std::strcmp(name, UiLanguages[row].englishName) == 0) return UiLanguages[row];
    }
    return EnglishUiLanguage;
}

const UiLanguage& SelectLanguageById(LANGID langId) {
    const WORD primary = PRIMARYLANGID(langId);
    for (int row = 0; row < kUiLanguageCount - 1; ++row) {
        if (UiLanguages[row].primaryLanguage == primary) return UiLanguages[row];
    }
    return EnglishUiLanguage;
}

void InitUiLanguage(HINSTANCE module) {
    char* value = nullptr;
    DWORD size = 0;
    if (LoadConfigString(module, "CV_LANGUAGE", &value, &size) == ERROR_SUCCESS) {
        std::unique_ptr<char[]> owned(value);
        WizardChoices.languageFixed = true;
        if (const UiLanguage* fixed = LanguageByCode(value)) {
            SetUiLanguage(*fixed);
            ApplyUiLanguage();
            return;
        }
    }
    // No entry, or one that names no language of the table: the user's own
    // language decides, and the edition page offers the list.
    WizardChoices.languageFixed = false;
    SetUiLanguage(SelectLanguageById(GetUserDefaultLangID()));
    ApplyUiLanguage();
}

void ApplyUiLanguage() {
    SetThreadLocale(MAKELCID(WizardChoices.langId, SORT_DEFAULT));
    if (!IsVistaOrLater()) return;
    // Bound at run time: the function does not exist before Vista.
    using SetThreadUILanguageFn = LANGID(WINAPI*)(LANGID);
    UniqueLibrary kernel(LoadSystemLibrary("kernel32.dll"));
    if (!kernel) return;
    auto setThreadUiLanguage =
        FindLibraryFunction<SetThreadUILanguageFn>(kernel.get(), "SetThreadUILanguage");
    if (setThreadUiLanguage != nullptr) setThreadUiLanguage(WizardChoices.langId);
}
