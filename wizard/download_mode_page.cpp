#include "wizard/download_mode_page.h"

#include <commdlg.h>

#include <cstring>
#include <iterator>
#include <memory>
#include <new>

#include "config/config_lookup.h"
#include "config/ui_language.h"
#include "config/wizard_choices.h"
#include "res/resource.h"
#include "support/bounded_text.h"
#include "support/messages.h"
#include "wizard/page_text.h"

namespace {

constexpr PageText kDownloadPageTexts[] = {
    {IDC_DOWNLOAD_BANNER, "UI_PAGE_2_BANNER"},
    {IDC_DOWNLOAD_AND_INSTALL, "UI_PAGE_2_DOWNLOAD_AND_INSTALL"},
    {IDC_DOWNLOAD_ONLY, "UI_PAGE_2_DOWNLOAD_ONLY"},
    {IDC_BROWSE, "UI_PAGE_2_BROWSE"},
    {IDC_DOWNLOAD_BACK, "UI_PAGE_2_BACK"},
    {IDC_DOWNLOAD_NEXT, "UI_PAGE_2_NEXT"},
    {IDC_DOWNLOAD_CANCEL, "UI_PAGE_2_CANCEL"},
};

// The Save As dialog may return a path of up to this many characters.
constexpr DWORD kBrowseBufferSize = 4096;

// The record the 32-bit program hands the Save As dialog: the full one of
// Windows 2000 and later.
static_assert(sizeof(void*) != 4 || sizeof(OPENFILENAMEA) == 88, "OPENFILENAMEA of 88 bytes");

void EnableControl(HWND dialog, int controlId, bool enable) {
    EnableWindow(GetDlgItem(dialog, controlId), enable ? TRUE : FALSE);
}

void OnDownloadAndInstall(HWND dialog) {
    EnableControl(dialog, IDC_LOCATION, false);
    EnableControl(dialog, IDC_BROWSE, false);
    WizardChoices.downloadOnly = 0;
    EnableControl(dialog, IDC_DOWNLOAD_NEXT, true);
}

void OnDownloadOnly(HWND dialog) {
    EnableControl(dialog, IDC_LOCATION, true);
    EnableControl(dialog, IDC_BROWSE, true);
    WizardChoices.downloadOnly = 1;
    EnableControl(dialog, IDC_DOWNLOAD_NEXT, !RefreshLocation(dialog));
}

// savePath holds at most MAX_PATH - 1 characters. A longer path is refused
// rather than cut: a shortened path would save the download somewhere the
// user did not choose.
void AcceptChosenPath(HWND dialog, const char* path) {
    if (std::strlen(path) >= sizeof WizardChoices.savePath) {
        char title[kMessageBufferChars];
        if (LoadStringA(WizardChoices.moduleInstance, IDS_APP_TITLE, title, sizeof title) <= 0) {
            title[0] = '\0';
        }
        ReportWithInsert(WizardChoices.moduleInstance, dialog, title, IDS_INVALID_PATH, path);
        return;
    }
    SetDlgItemTextA(dialog, IDC_LOCATION, path);
    BoundedCopy(WizardChoices.savePath, sizeof WizardChoices.savePath, path);
}

void OnInitDialog(HWND dialog, HINSTANCE module) {
    WizardChoices.moduleInstance = module;
    // Only when this is the run's first page; otherwise the edition page chose.
    if (WizardChoices.langId == 0) InitUiLanguage(module);
    CenterDialog(dialog);
    ApplyUiLanguage();
    SetDownloadModePageTexts(dialog);
}

}  // namespace

bool RefreshLocation(HWND dialog) {
    HWND field = GetDlgItem(dialog, IDC_LOCATION);
    // A failed read gives 0 and counts as empty, like an empty field.
    const bool wasEmpty = GetWindowTextLengthA(field) == 0;
    SetWindowTextA(field, WizardChoices.savePath);
    return wasEmpty;
}

void BrowseForSavePath(HWND dialog) {
    std::unique_ptr<char[]> path(new (std::nothrow) char[kBrowseBufferSize]);
    if (!path) return;
    path[0] = '\0';
    // The proposed file name; without the entry the dialog proposes none.
    char* proposed = path.get();
    DWORD size = kBrowseBufferSize;
    LoadConfigString(WizardChoices.moduleInstance, "CV_FILE_NAME_1", &proposed, &size);

    OPENFILENAMEA request = {};
    request.lStructSize = sizeof request;
    request.hwndOwner = dialog;
    request.lpstrFile = path.get();
    request.nMaxFile = kBrowseBufferSize;
    request.Flags = OFN_OVERWRITEPROMPT;
    if (GetSaveFileNameA(&request)) AcceptChosenPath(dialog, path.get());
    path.reset();

    EnableControl(dialog, IDC_DOWNLOAD_NEXT, !RefreshLocation(dialog));
}

void SetDownloadModePageTexts(HWND dialog) {
    const int mode = WizardChoices.downloadOnly ? IDC_DOWNLOAD_ONLY : IDC_DOWNLOAD_AND_INSTALL;
    ShowWindow(GetDlgItem(dialog, IDC_DOWNLOAD_BACK), SW_SHOW);
    // Sent, not posted: the mode's command runs now and sets the radio button,
    // the field, Browse, downloadOnly and Next.
    SendMessageA(GetDlgItem(dialog, mode), BM_CLICK, 0, 0);
    SetPageTexts(WizardChoices.moduleInstance, dialog, kDownloadPageTexts,
                 static_cast<int>(std::size(kDownloadPageTexts)));
    // On a fresh dialog the click above found the field empty; the field now
    // shows savePath, so a confirmed path enables Next again. The field is
    // filled in either mode: a path chosen before stays visible, and a later
    // switch to download only finds it there.
    const bool locationEmpty = RefreshLocation(dialog);
    EnableControl(dialog, IDC_DOWNLOAD_NEXT, WizardChoices.downloadOnly == 0 || !locationEmpty);
}

INT_PTR CALLBACK DownloadModePageProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        OnInitDialog(dialog, reinterpret_cast<HINSTANCE>(lParam));
        return TRUE;
    }
    if (message != WM_COMMAND) return FALSE;
    // The whole parameter is compared: only a button's clicked notification
    // (high word 0) matches. IDOK and IDCANCEL, which the dialog manager sends
    // for Enter and Esc, do nothing: the page ends only through its buttons.
    switch (wParam) {
        case IDC_DOWNLOAD_BACK:
        case IDC_DOWNLOAD_NEXT:
        case IDC_DOWNLOAD_CANCEL:
            EndDialog(dialog, static_cast<INT_PTR>(wParam));
            return TRUE;
        case IDC_DOWNLOAD_AND_INSTALL:
            OnDownloadAndInstall(dialog);
            return FALSE;
        case IDC_DOWNLOAD_ONLY:
            OnDownloadOnly(dialog);
            return FALSE;
        case IDC_BROWSE:
            BrowseForSavePath(dialog);
            return FALSE;
        default:
            return FALSE;
    }
}
