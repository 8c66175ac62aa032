// Host for VerifyInChildProcess, the parent side of the /v mode.
//
//   verifyhost [--pump] <setup program> <file>
//       Calls VerifyInChildProcess(setup program, file) and exits with its
//       result (all 32 bits; read them through the trace runner). With
//       --pump a 50 ms thread timer runs meanwhile, and the number of ticks
//       that the wait dispatched is written to the debugger output as
//       "[verifyhost] timer ticks during the wait: N".
//
//   verifyhost /v ...
//       The child role, for a copy of this program standing in for the setup
//       program: writes its command line and its startup information to the
//       file named by CORVANE_TEST_CHILD_RECORD, sleeps for
//       CORVANE_TEST_CHILD_SLEEP_MS, and exits with CORVANE_TEST_CHILD_EXIT
//       (hexadecimal, default 0).
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "trust/verification_mode.h"

namespace {

volatile LONG timerTicks = 0;

void CALLBACK CountTick(HWND, UINT, UINT_PTR, DWORD) { InterlockedIncrement(&timerTicks); }

unsigned long NumberFromEnvironment(const char* name, int base) {
    char value[64] = {};
    const DWORD length = GetEnvironmentVariableA(name, value, sizeof value);
    if (length == 0 || length >= sizeof value) return 0;
    return std::strtoul(value, nullptr, base);
}

int RunAsChild() {
    char recordPath[MAX_PATH] = {};
    const DWORD length =
        GetEnvironmentVariableA("CORVANE_TEST_CHILD_RECORD", recordPath, sizeof recordPath);
    if (length > 0 && length < sizeof recordPath) {
        STARTUPINFOA startup = {};
        GetStartupInfoA(&startup);
        if (FILE* record = std::fopen(recordPath, "wb")) {
            std::fprintf(record, "command line: %s\nflags: 0x%lx\nshow: %u\n", GetCommandLineA(),
                         startup.dwFlags, static_cast<unsigned>(startup.wShowWindow));
            std::fclose(record);
        }
    }
    Sleep(NumberFromEnvironment("CORVANE_TEST_CHILD_SLEEP_MS", 10));
    return static_cast<int>(NumberFromEnvironment("CORVANE_TEST_CHILD_EXIT", 16));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && (std::strcmp(argv[1], "/v") == 0)) return RunAsChild();

    const bool pump = argc == 4 && std::strcmp(argv[1], "--pump") == 0;
    if (argc != 3 && !pump) {
        std::fprintf(stderr, "usage: verifyhost [--pump] <setup program> <file>\n");
        return ERROR_BAD_ARGUMENTS;
    }
    const char* setupPath = argv[pump ? 2 : 1];
    const char* filePath = argv[pump ? 3 : 2];
    UINT_PTR timer = pump ? SetTimer(nullptr, 0, 50, CountTick) : 0;

    const uint32_t result = VerifyInChildProcess(setupPath, filePath);

    if (timer != 0) {
        KillTimer(nullptr, timer);
        char line[80];
        std::snprintf(line, sizeof line, "[verifyhost] timer ticks during the wait: %ld\n",
                      static_cast<long>(timerTicks));
        OutputDebugStringA(line);
    }
    return static_cast<int>(result);
}
