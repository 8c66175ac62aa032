// syscheck: asks the setup program's system checks and process helpers on
// behalf of a test, one question per run.
//
//   syscheck.exe [--out FILE] versions
//       supported, vista, admin and the reported version as key=value lines
//   syscheck.exe [--out FILE] mutex
//       takes the setup mutex and ends at once; "already=N"
//   syscheck.exe [--out FILE] hold-mutex STOP_FILE
//       takes the setup mutex, reports "already=N", then keeps it until
//       STOP_FILE exists (at most 60 seconds)
//   syscheck.exe exit N
//       ends with exit code N (a child for the process helpers)
//   syscheck.exe [--out FILE] run COMMAND_LINE
//       RunProcess with the wait flag; "result=N"
// Exit code: the answer of mutex and hold-mutex (1 another setup runs), else
// 0; 2 for bad usage.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "support/process.h"
#include "support/system_checks.h"

namespace {

FILE* Output = stdout;

void Report(const char* key, long value) {
    std::fprintf(Output, "%s=%ld\n", key, value);
    std::fflush(Output);
}

#if defined(__GNUC__)
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#endif

void ReportVersions() {
    OSVERSIONINFOEXA version = {};
    version.dwOSVersionInfoSize = sizeof version;
    GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&version));
    Report("major", static_cast<long>(version.dwMajorVersion));
    Report("minor", static_cast<long>(version.dwMinorVersion));
    Report("servicePack", version.wServicePackMajor);
    Report("supported", IsSupportedWindows() ? 1 : 0);
    Report("vista", IsVistaOrLater());
    Report("admin", IsUserAdministrator() ? 1 : 0);
}

int TakeMutex(const char* stopFile) {
    HANDLE mutex = nullptr;
    const bool already = AcquireSingleInstanceMutex(&mutex);
    Report("already", already ? 1 : 0);
    if (stopFile != nullptr) {
        for (int waited = 0; waited < 60000; waited += 50) {
            if (GetFileAttributesA(stopFile) != INVALID_FILE_ATTRIBUTES) break;
            Sleep(50);
        }
    }
    if (mutex != nullptr) CloseHandle(mutex);
    return already ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
    int first = 1;
    if (argc > 2 && std::strcmp(argv[1], "--out") == 0) {
        Output = std::fopen(argv[2], "w");
        if (Output == nullptr) return 2;
        first = 3;
    }
    if (first >= argc) return 2;
    const std::string command = argv[first];
    if (command == "versions") {
        ReportVersions();
        return 0;
    }
    if (command == "mutex") return TakeMutex(nullptr);
    if (command == "hold-mutex" && first + 1 < argc) return TakeMutex(argv[first + 1]);
    if (command == "exit" && first + 1 < argc) return std::atoi(argv[first + 1]);
    if (command == "run" && first + 1 < argc) {
        // The rest of the command line as the program received it.
        std::string commandLine;
        for (int i = first + 1; i < argc; ++i) {
            if (i > first + 1) commandLine += ' ';
            commandLine += argv[i];
        }
        Report("result", RunProcess(&commandLine[0], true));
        return 0;
    }
    return 2;
}
