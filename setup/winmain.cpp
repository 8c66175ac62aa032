#include <windows.h>

#include "res/resource.h"
#include "setup/command_line.h"
#include "setup/setup_run.h"
#include "support/messages.h"
#include "support/system_checks.h"
#include "support/trace.h"
#include "trust/verification_mode.h"

namespace {

constexpr DWORD kRestartReason = 0x84040002;  // planned, application: installation

void OfferRestart(const SetupRun& run) {
    char question[kMessageBufferChars] = {};
    if (LoadStringA(run.module, IDS_RESTART_QUESTION, question, sizeof question) <= 0) {
        question[0] = '\0';
    }
    if (ShowMessageBox(nullptr, question, run.title, kStyleQuestion) != IDYES) return;
    AcquireShutdownPrivilege();
    ExitWindowsEx(EWX_REBOOT, kRestartReason);
}

void RunSelectedMode(SetupRun& run) {
    if (GetModuleFileNameA(nullptr, run.setupPath, sizeof run.setupPath) == 0) {
        run.exitCode = GetLastError();
        return;
    }
    DebugTrace("[Info] we are running from --> %s\n", run.setupPath);
    run.mode = ParseRunMode(run.commandLine);
    switch (run.mode) {
        case RunMode::Verify:
            run.exitCode = RunVerificationMode(run.setupPath, run.commandLine);
            if (run.exitCode == kBadArguments) ShowUsage(run.module, nullptr, run.title);
            return;
        case RunMode::Usage:
            ShowUsage(run.module, nullptr, run.title);
            return;
        case RunMode::Normal:
        case RunMode::Admin:
            RunInstallation(run);
            return;
    }
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
    SetupRun run;
    run.module = instance;
    run.commandLine = commandLine;
    if (LoadStringA(instance, IDS_APP_TITLE, run.title, sizeof run.title) <= 0) run.title[0] = '\0';

    RunSelectedMode(run);

    ReleaseRunResources(run);
    DebugTraceNumber("[Info] Setup exit code is %d\n", static_cast<int32_t>(run.exitCode));
    if (run.restartNeeded) OfferRestart(run);
    return static_cast<int>(run.exitCode);
}
