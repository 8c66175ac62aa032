#include "wizard/edition_language_page.h"

#include <iterator>
#include <memory>

#include "config/config_lookup.h"
#include "config/edition_choice.h"
#include "config/ui_language.h"
#include "config/wizard_choices.h"
#include "res/resource.h"
#include "wizard/page_text.h"

namespace {

constexpr PageText kEditionPageTexts[] = {
    {IDC_EDITION_BANNER, "UI_PAGE_1_BANNER1"},
    {IDC_SUITE_LABEL, "UI_PAGE_1_OPTION_FREE_CVHS"},
    {IDC_FREE_LABEL, "UI_PAGE_1_OPTION_FREE_ONLY"},
    {IDC_LANGUAGE_LABEL, "UI_PAGE_1_OPTION_1"},
    {IDC_EDITION_OPTION_2, "UI_PAGE_1_OPTION_2"},
    {IDC_EDITION_OPTION_3, "UI_PAGE_1_OPTION_3"},
    {IDC_EDITION_OPTION_4, "UI_PAGE_1_OPTION_4"},
    {IDC_EDITION_OPTION_5, "UI_PAGE_1_OPTION_5"},
    {IDC_EDITION_NEXT, "UI_PAGE_1_NEXT"},
    {IDC_EDITION_CANCEL, "UI_PAGE_1_CANCEL"},
};

// The order in which the languages are added; the list sorts them itself.
constexpr const char* kListedLanguages[] = {"English", "German", "Spanish",
                                            "French",  "Italian", "Japanese"};

// Each item carries the index of its row in the language table, so that an
// item shown by a localised display name still stands for its language.
int LanguageRow(const UiLanguage& language) {
    return static_cast<int>(&language - UiLanguages);
}

void ShowControl(HWND dialog, int controlId, bool show) {
    ShowWindow(GetDlgItem(dialog, controlId), show ? SW_SHOW : SW_HIDE);
}

void SelectCurrentLanguage(HWND list) {
    const LRESULT count = SendMessageA(list, CB_GETCOUNT, 0, 0);
    for (LRESULT item = 0; item < count; ++item) {
        const LRESULT row = SendMessageA(list, CB_GETITEMDATA, item, 0);
        if (row >= 0 && row < kUiLanguageCount && UiLanguages[row].langId == WizardChoices.langId) {
            SendMessageA(list, CB_SETCURSEL, item, 0);
            return;
        }
    }
}

const UiLanguage& SelectedLanguage(HWND list) {
    const LRESULT item = SendMessageA(list, CB_GETCURSEL, 0, 0);
    if (item != CB_ERR) {
        const LRESULT row = SendMessageA(list, CB_GETITEMDATA, item, 0);
        if (row >= 0 && row < kUiLanguageCount) return UiLanguages[row];
    }
    // Not one of our items: go by the text, as its English name.
    char text[24] = {};
    if (GetWindowTextA(list, text, sizeof text) <= 0) text[0] = '\0';
    return SelectLanguageByName(text);
}

void OnInitDialog(HWND dialog, HINSTANCE module) {
    WizardChoices.moduleInstance = module;
    // On a return to this page both are chosen already and stay as they are.
    if (WizardChoices.langId == 0) InitUiLanguage(module);
    if (WizardChoices.skuId == nullptr) InitEditionChoice(module);
    CenterDialog(dialog);

    ShowControl(dialog, IDC_SUITE_RADIO, WizardChoices.showEditionChoice);
    ShowControl(dialog, IDC_FREE_RADIO, WizardChoices.showEditionChoice);

    const bool offerLanguages = !WizardChoices.languageFixed;
    ShowControl(dialog, IDC_LANGUAGE_LABEL, offerLanguages);
    ShowControl(dialog, IDC_LANGUAGE_LIST, offerLanguages);
    if (offerLanguages) {
        HWND list = GetDlgItem(dialog, IDC_LANGUAGE_LIST);
        for (const char* language : kListedLanguages) AddLanguageItem(module, list, language);
        SelectCurrentLanguage(list);
    }
    SetEditionLanguagePageTexts(module, dialog);
}

void OnLanguageChanged(HWND dialog) {
    HWND list = GetDlgItem(dialog, IDC_LANGUAGE_LIST);
    SetUiLanguage(SelectedLanguage(list));
    ApplyUiLanguage();
    SetEditionLanguagePageTexts(WizardChoices.moduleInstance, dialog);
    SetFocus(list);
}

}  // namespace

void AddLanguageItem(HINSTANCE module, HWND list, const char* englishName) {
    char* value = nullptr;
    DWORD size = 0;
    std::unique_ptr<char[]> owned;
    const char* shown = englishName;
    if (LoadConfigString(module, englishName, &value, &size) == ERROR_SUCCESS) {
        owned.reset(value);
        shown = value;
    }
    const LRESULT item = SendMessageA(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(shown));
    if (item >= 0) {
        SendMessageA(list, CB_SETITEMDATA, item, LanguageRow(SelectLanguageByName(englishName)));
    }
}

void SetEditionLanguagePageTexts(HINSTANCE module, HWND dialog) {
    SendMessageA(dialog, WM_SETFONT, SendMessageA(dialog, WM_GETFONT, 0, 0), TRUE);
    ShowControl(dialog, IDC_EDITION_BACK, false);
    if (WizardChoices.showEditionChoice) {
        // Posted: the click runs ChooseEdition once the dialog handles its
        // queue, so the preselected offer is also the recorded one.
        const int radio = WizardChoices.linkChoice != 0 ? IDC_SUITE_RADIO : IDC_FREE_RADIO;
        PostMessageA(GetDlgItem(dialog, radio), BM_CLICK, 0, 0);
    }
    SetPageTexts(module, dialog, kEditionPageTexts, static_cast<int>(std::size(kEditionPageTexts)));
}

INT_PTR CALLBACK EditionLanguagePageProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        OnInitDialog(dialog, reinterpret_cast<HINSTANCE>(lParam));
        return TRUE;
    }
    if (message != WM_COMMAND) return FALSE;
    // The whole parameter is compared: only a button's clicked notification
    // (high word 0) matches. IDOK and IDCANCEL, which the dialog manager sends
    // for Enter and Esc, do nothing: the page ends only through its buttons.
    switch (wParam) {
        case IDC_EDITION_NEXT:
        case IDC_EDITION_CANCEL:
            EndDialog(dialog, static_cast<INT_PTR>(wParam));
            return TRUE;
        case IDC_SUITE_RADIO:
            ChooseEdition(kSuiteEditionLink);
            return FALSE;
        case IDC_FREE_RADIO:
            ChooseEdition(kFreeEditionLink);
            return FALSE;
        case MAKEWPARAM(IDC_LANGUAGE_LIST, CBN_SELCHANGE):
            OnLanguageChanged(dialog);
            return FALSE;
        default:
            return FALSE;
    }
}
