// The modeless progress window: banner, action text, progress bar and Cancel.
// While its dialog exists it is the owner of every message box of the program.
// It lives on the main thread; the download worker moves its bar and reads its
// cancel flag (see SetRange, Step and IsCancelled).
#pragma once

#include <windows.h>

#include <cstdint>

class CProgressWindow {
public:
    // Also makes the first download link the chosen one, before any page runs.
    CProgressWindow();
    CProgressWindow(const CProgressWindow&) = delete;
    CProgressWindow& operator=(const CProgressWindow&) = delete;

    // Shows dialog 1103 of module. False only when the dialog cannot be
    // created; the object then stays usable and every text call returns -1.
    bool Create(HINSTANCE module, HWND owner, const char* title);
    // Always true. The title is kept; the cancel flag is cleared.
    bool Destroy();
    // The dialog while it exists, else the owner given to Create.
    HWND GetOwnerWindow() const;

    void RequestCancel();
    bool IsCancelled();

    // -1: no dialog was created; 1: the user has cancelled (text left as it
    // was); 0: the text was set.
    int SetBanner(const char* text);
    int SetActionText(const char* text);

    // Called on the download worker too: each sends its message to the bar
    // and so completes only while the main thread retrieves messages.
    void SetRange(int32_t maximum);
    void Step(int32_t delta);

    static INT_PTR CALLBACK ProgressDialogProc(HWND window, UINT message, WPARAM wParam,
                                               LPARAM lParam);

private:
    void InitDialog();
    int SetControlText(int controlId, const char* text);

    HINSTANCE module;
    HWND dialog;
    HWND owner;
    char title[1024];
    bool initialised;
    volatile LONG cancelRequested;  // 0 or 1; interlocked access only
    int32_t rangeMax;
    int32_t progressTotal;
};

// Copy of the dialog handle, written by Create and kept after Destroy: the
// download's timer window, wait-loop filter and end-message target.
extern HWND ProgressDialogHandle;
// One of the two questions is on screen; keeps them from nesting.
extern bool PromptShowing;
// Stall watch: bar position at the last tick that saw a change, and the
// consecutive ticks without one since then. Only the timer handler changes them.
extern int32_t StallLastPosition;
extern int32_t StallTickCount;

// The stall question comes on the tick that takes StallTickCount past this.
constexpr int32_t kStallTickLimit = 30;
