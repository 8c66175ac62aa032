#include "support/process.h"

#include "support/unique_resource.h"

int32_t RunProcess(char* commandLine, bool wait) {
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started = {};
    if (!CreateProcessA(nullptr, commandLine, nullptr, nullptr, FALSE, NORMAL_PRIORITY_CLASS,
                        nullptr, nullptr, &startup, &started)) {
        return -1;
    }
    UniqueHandle process(started.hProcess);
    UniqueHandle thread(started.hThread);
    if (wait) WaitForSingleObject(process.get(), INFINITE);
    DWORD exitCode = 0;
    if (!GetExitCodeProcess(process.get(), &exitCode)) return -1;
    return static_cast<int32_t>(exitCode);
}

uint32_t WaitWithMessagePump(HANDLE handle) {
    // QS_ALLINPUT without the raw-input bit.
    constexpr DWORD kWakeMask = 0xFF;
    for (;;) {
        const DWORD waited = MsgWaitForMultipleObjects(1, &handle, FALSE, INFINITE, kWakeMask);
        if (waited == WAIT_OBJECT_0) return 0;
        if (waited != WAIT_OBJECT_0 + 1) return GetLastError();
        MSG message;
        if (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }
}
