#include "wizard/progress_window.h"

#include <commctrl.h>

#include "config/wizard_choices.h"
#include "download/download_to_cache.h"
#include "res/resource.h"
#include "support/bounded_text.h"
#include "support/messages.h"
#include "wizard/page_text.h"

HWND ProgressDialogHandle = nullptr;
bool PromptShowing = false;
int32_t StallLastPosition = 0;
int32_t StallTickCount = 0;

namespace {

constexpr char kCancelEntry[] = "UI_PAGE_3_CANCEL";

CProgressWindow* WindowOf(HWND dialog) {
    return reinterpret_cast<CProgressWindow*>(GetWindowLongPtrA(dialog, GWLP_USERDATA));
}

int AskQuestion(HWND owner, UINT textId) {
    return AskLocalized(owner, textId, IDS_CONFIRMATION, kStyleQuestion,
                        WizardChoices.moduleInstance);
}

void OnCancelClicked(HWND dialog) {
    PromptShowing = true;
    if (AskQuestion(dialog, IDS_CANCEL_QUESTION) == IDYES) {
        if (CProgressWindow* window = WindowOf(dialog)) window->RequestCancel();
    }
    PromptShowing = false;
}

// Runs once a second during the package download. A bar that has not moved
// for more than kStallTickLimit ticks makes the program ask whether to give
// up; the count is not reset by the question, so after No the next still tick
// asks again.
void OnStallTick(HWND dialog) {
    if (PromptShowing) return;
    const int32_t position =
        static_cast<int32_t>(SendDlgItemMessageA(dialog, IDC_PROGRESS_BAR, PBM_GETPOS, 0, 0));
    if (position != StallLastPosition) {
        StallLastPosition = position;
        StallTickCount = 0;
        return;
    }
    ++StallTickCount;
    if (StallTickCount <= kStallTickLimit) return;
    PromptShowing = true;
    if (AskQuestion(dialog, IDS_STALL_QUESTION) == IDYES) {
        DownloadResult = E_FAIL;
        PostMessageA(ProgressDialogHandle, WM_USER, 0, 0);
    }
    PromptShowing = false;
}

}  // namespace

CProgressWindow::CProgressWindow()
    : module(nullptr),
      dialog(nullptr),
      owner(nullptr),
      title(),
      initialised(false),
      cancelRequested(0),
      rangeMax(0),
      progressTotal(0) {
    WizardChoices.linkChoice = 1;
}

bool CProgressWindow::Create(HINSTANCE moduleInstance, HWND ownerWindow, const char* titleText) {
    INITCOMMONCONTROLSEX controls = {};
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_PROGRESS_CLASS;
    InitCommonControlsEx(&controls);

    owner = ownerWindow;
    module = moduleInstance;
    // A longer title is cut to what the buffer holds; that is not an error.
    BoundedCopy(title, sizeof title, titleText != nullptr ? titleText : "");

    if (dialog == nullptr) {
        dialog = CreateDialogParamA(module, MAKEINTRESOURCEA(IDD_PROGRESS), owner,
                                    ProgressDialogProc, reinterpret_cast<LPARAM>(this));
        ProgressDialogHandle = dialog;
        if (dialog == nullptr) return false;
        SetWindowLongPtrA(dialog, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        InitDialog();
        ShowWindow(dialog, SW_SHOW);
    }

    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (IsDialogMessageA(dialog, &message)) continue;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    initialised = true;
    return true;
}

void CProgressWindow::InitDialog() {
    SetWindowTextA(dialog, title);

    CenterDialog(dialog);
    const PageText cancelText = {IDC_PROGRESS_CANCEL, kCancelEntry};
    SetPageTexts(module, dialog, &cancelText, 1);

    HWND bar = GetDlgItem(dialog, IDC_PROGRESS_BAR);
    SetFocus(bar);
    ShowWindow(GetDlgItem(dialog, IDC_PROGRESS_CANCEL), SW_SHOW);
    SetForegroundWindow(dialog);
    ShowWindow(bar, SW_SHOW);
}

bool CProgressWindow::Destroy() {
    if (dialog != nullptr) {
        DestroyWindow(dialog);
        dialog = nullptr;
    }
    module = nullptr;
    owner = nullptr;
    initialised = false;
    InterlockedExchange(&cancelRequested, 0);
    rangeMax = 0;
    progressTotal = 0;
    return true;
}

HWND CProgressWindow::GetOwnerWindow() const {
    return dialog != nullptr ? dialog : owner;
}

void CProgressWindow::RequestCancel() {
    InterlockedCompareExchange(&cancelRequested, 1, 0);
}

bool CProgressWindow::IsCancelled() {
    // The worker reads the flag as well; an exchange that changes nothing is
    // an interlocked read.
    return InterlockedCompareExchange(&cancelRequested, 1, 1) == 1;
}

int CProgressWindow::SetControlText(int controlId, const char* text) {
    if (!initialised) return -1;
    if (IsCancelled()) return 1;
    SetDlgItemTextA(dialog, controlId, text);
    return 0;
}

int CProgressWindow::SetBanner(const char* text) {
    return SetControlText(IDC_PROGRESS_BANNER, text);
}

int CProgressWindow::SetActionText(const char* text) {
    return SetControlText(IDC_PROGRESS_ACTION, text);
}

void CProgressWindow::SetRange(int32_t maximum) {
    rangeMax = maximum;
    progressTotal = 0;
    SendDlgItemMessageA(dialog, IDC_PROGRESS_BAR, PBM_SETRANGE32, 0, static_cast<LPARAM>(maximum));
    SendDlgItemMessageA(dialog, IDC_PROGRESS_BAR, PBM_SETPOS, 0, 0);
}

void CProgressWindow::Step(int32_t delta) {
    SendDlgItemMessageA(dialog, IDC_PROGRESS_BAR, PBM_DELTAPOS, static_cast<WPARAM>(delta), 0);
    // Wraps like the 32-bit amounts it is built from.
    progressTotal = static_cast<int32_t>(static_cast<uint32_t>(progressTotal) +
                                         static_cast<uint32_t>(delta));
}

INT_PTR CALLBACK CProgressWindow::ProgressDialogProc(HWND window, UINT message, WPARAM wParam,
                                                     LPARAM) {
    switch (message) {
        case WM_INITDIALOG:
            // Create attaches the object once the dialog exists.
            return TRUE;
        case WM_COMMAND:
            // The whole parameter is compared: only a click of Cancel counts.
            if (wParam != IDC_PROGRESS_CANCEL || PromptShowing) return FALSE;
            OnCancelClicked(window);
            return TRUE;
        case WM_TIMER:
            OnStallTick(window);
            return FALSE;
        default:
            // WM_USER included: an end message that arrives after the download's
            // wait has ended is dropped here.
            return FALSE;
    }
}
