#include <windows.h>

#include <cstring>
#include <memory>
#include <new>

#include "support/bounded_text.h"
#include "support/process.h"
#include "support/trace.h"
#include "support/unique_resource.h"
#include "trust/verification_mode.h"

namespace {

// Both paths in quotes: "<setup>" /v "<file>"
bool BuildVerifierCommandLine(char* buffer, size_t size, const char* setupPath,
                              const char* filePath) {
    return !BoundedFailed(BoundedCopy(buffer, size, "\"")) &&
           !BoundedFailed(BoundedAppend(buffer, size, setupPath)) &&
           !BoundedFailed(BoundedAppend(buffer, size, "\"")) &&
           !BoundedFailed(BoundedAppend(buffer, size, " /v \"")) &&
           !BoundedFailed(BoundedAppend(buffer, size, filePath)) &&
           !BoundedFailed(BoundedAppend(buffer, size, "\""));
}

// A failure must never read as 0, which the caller takes for a trusted file.
uint32_t FailureCode(DWORD error) { return error != 0 ? error : ERROR_INSTALL_FAILURE; }

uint32_t RunVerifier(const char* setupPath, const char* filePath) {
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOW;
    PROCESS_INFORMATION started = {};

    if (setupPath == nullptr || filePath == nullptr) return ERROR_INSTALL_FAILURE;
    // The two quoted paths, " /v " and the terminator.
    const size_t size = std::strlen(setupPath) + std::strlen(filePath) + 9;
    std::unique_ptr<char[]> commandLine(new (std::nothrow) char[size]);
    if (!commandLine) return ERROR_OUTOFMEMORY;
    if (!BuildVerifierCommandLine(commandLine.get(), size, setupPath, filePath)) {
        return ERROR_INSTALL_FAILURE;
    }
    if (!CreateProcessA(nullptr, commandLine.get(), nullptr, nullptr, FALSE,
                        CREATE_DEFAULT_ERROR_MODE, nullptr, nullptr, &startup, &started)) {
        return FailureCode(GetLastError());
    }
    commandLine.reset();
    UniqueHandle process(started.hProcess);
    UniqueHandle thread(started.hThread);

    const uint32_t waited = WaitWithMessagePump(process.get());
    if (waited != 0) return waited;
    DWORD exitCode = 0;
    if (!GetExitCodeProcess(process.get(), &exitCode)) return FailureCode(GetLastError());
    return exitCode;
}

}  // namespace

uint32_t VerifyInChildProcess(const char* setupPath, const char* filePath) {
    const uint32_t result = RunVerifier(setupPath, filePath);
    DebugTraceNumber("[Info] Verification of Update returned %d\n", static_cast<int32_t>(result));
    return result;
}
