// The six UI languages and the choice of one for the whole process.
#pragma once

#include <windows.h>

struct UiLanguage {
    const char* englishName;  // also the entry name of its display name
    const char* code;         // as it appears in CV_LANGUAGE and the download URL
    WORD langId;
    WORD primaryLanguage;     // low 10 bits of a language id; 0 for the fallback row
};

// German, Spanish, French, Italian, Japanese, then English, the fallback. Every
// comparison runs in this order.
constexpr int kUiLanguageCount = 6;
extern const UiLanguage UiLanguages[kUiLanguageCount];
extern const UiLanguage& EnglishUiLanguage;

// Chooses the language from CV_LANGUAGE, else from the user's default
// language, and applies it to the thread. For the first page only, while
// WizardChoices.langId is 0.
void InitUiLanguage(HINSTANCE module);

// Makes WizardChoices.langId the thread's locale and, from Vista on, its UI
// language. Failures are ignored.
void ApplyUiLanguage();

void SetUiLanguage(const UiLanguage& language);

// The row whose English name equals name exactly; English when none does.
const UiLanguage& SelectLanguageByName(const char* name);

// The row for the primary language of langId; English for any other.
const UiLanguage& SelectLanguageById(LANGID langId);
