#include "download/download_to_cache.h"

#include "support/unique_resource.h"
#include "wizard/progress_window.h"

const char* DownloadUrl = nullptr;
char* DownloadFileBuffer = nullptr;
DWORD DownloadFileChars = 0;
IBindStatusCallback* DownloadCallback = nullptr;
HANDLE DownloadThread = nullptr;
HRESULT DownloadResult = S_OK;
volatile LONG DownloadWorkerEnded = 0;
volatile LONG DownloadProgressCount = 0;

namespace {

constexpr UINT_PTR kStallTimer = 1;
constexpr UINT kStallTimerPeriodMs = 1000;
constexpr DWORD kJoinTimeoutMs = 2000;

bool WorkerHasEnded() {
    return InterlockedCompareExchange(&DownloadWorkerEnded, 1, 1) == 1;
}

LONG ProgressCount() {
    return InterlockedCompareExchange(&DownloadProgressCount, 0, 0);
}

// Without a progress dialog there is no end message to wait for, no stall
// question and no Cancel button, so the wait is on the worker thread itself
// while this thread's messages are dispatched. A server that stops sending
// would then hold the program for ever: after as long without progress as
// the stall question waits, the wait ends the way a Yes to that question
// ends it.
void WaitWithoutDialog() {
    constexpr DWORD kWakeMask = 0xFF;  // QS_ALLINPUT without raw input
    constexpr DWORD kStallLimitMs = (kStallTickLimit + 1) * kStallTimerPeriodMs;
    HANDLE worker = DownloadThread;
    LONG seen = ProgressCount();
    DWORD lastMove = GetTickCount();
    for (;;) {
        const DWORD waited =
            MsgWaitForMultipleObjects(1, &worker, FALSE, kStallTimerPeriodMs, kWakeMask);
        if (waited == WAIT_OBJECT_0) return;
        if (waited == WAIT_OBJECT_0 + 1) {
            MSG message;
            while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
                TranslateMessage(&message);
                DispatchMessageA(&message);
            }
        } else if (waited != WAIT_TIMEOUT) {
            return;  // the wait itself failed; the join below bounds the rest
        }
        const LONG now = ProgressCount();
        if (now != seen) {
            seen = now;
            lastMove = GetTickCount();
        } else if (GetTickCount() - lastMove >= kStallLimitMs) {
            DownloadResult = E_FAIL;
            return;
        }
    }
}

// The worker's end normally arrives as the WM_USER it posts to the dialog, and
// the stall question's Yes posts the same message. While a question of the
// progress window is on screen, though, the question's own loop takes that
// message and the dialog drops it. Hence the worker also records its end in
// DownloadWorkerEnded before it posts, and this loop looks at the flag after
// every message it dispatches (a question returns from its dispatch once
// answered).
void WaitForWorkerEnd(HWND dialog) {
    MSG message;
    for (;;) {
        const BOOL got = GetMessageA(&message, dialog, 0, 0);
        if (got == 0) return;  // WM_QUIT
        if (got == -1) break;  // the dialog went away
        if (message.message == WM_USER) return;
        TranslateMessage(&message);
        DispatchMessageA(&message);
        if (WorkerHasEnded()) return;
    }
    WaitWithoutDialog();
}

}  // namespace

HRESULT DownloadToCache(const char* url, char* fileBuffer, DWORD fileChars,
                        IBindStatusCallback* callback) {
    // The handle outlives Destroy; a dialog that no longer exists counts as none.
    HWND dialog = IsWindow(ProgressDialogHandle) ? ProgressDialogHandle : nullptr;
    if (dialog != nullptr) {
        // An end message of an earlier download that nothing has dispatched yet
        // (its worker ended after the wait had already stopped) would end this
        // wait at once.
        MSG stale;
        while (PeekMessageA(&stale, dialog, WM_USER, WM_USER, PM_REMOVE)) {
        }
    }

    DownloadUrl = url;
    DownloadFileBuffer = fileBuffer;
    DownloadFileChars = fileChars;
    DownloadCallback = callback;
    InterlockedExchange(&DownloadWorkerEnded, 0);

    UniqueHandle worker(CreateThread(nullptr, 0, DownloadThreadProc, nullptr, 0, nullptr));
    if (!worker) {
        const HRESULT failure = HRESULT_FROM_WIN32(GetLastError());
        return FAILED(failure) ? failure : E_FAIL;
    }
    DownloadThread = worker.get();

    if (dialog != nullptr) {
        SetTimer(dialog, kStallTimer, kStallTimerPeriodMs, nullptr);
        WaitForWorkerEnd(dialog);
    } else {
        WaitWithoutDialog();
    }

    // The worker may still be in the platform (the user gave up on a stalled
    // download) or blocked sending progress to the bar, which this thread no
    // longer serves: it gets a bounded time to finish.
    if (WaitForSingleObject(worker.get(), kJoinTimeoutMs) == WAIT_TIMEOUT) {
        TerminateThread(worker.get(), 0xFFFFFFFF);
    }
    worker.reset();
    DownloadThread = nullptr;
    if (dialog != nullptr) {
        KillTimer(dialog, kStallTimer);
        ShowWindow(dialog, SW_HIDE);
    }
    return DownloadResult;
}

DWORD WINAPI DownloadThreadProc(void*) {
    DownloadResult = URLDownloadToCacheFileA(nullptr, DownloadUrl, DownloadFileBuffer,
                                             DownloadFileChars, 0, DownloadCallback);
    InterlockedExchange(&DownloadWorkerEnded, 1);
    PostMessageA(ProgressDialogHandle, WM_USER, 0, 0);
    return 0;
}
