// Questions about the machine: the operating-system gate, the administrator
// test, the single-instance mutex and the shutdown privilege.
#pragma once

#include <windows.h>

#include <cstdint>

extern const char kSetupMutexName[];

// True when another setup holds the mutex, or when it cannot be created. The
// handle is stored in either case and belongs to the caller.
bool AcquireSingleInstanceMutex(HANDLE* mutex);
bool IsWindowsVersionAtLeast(uint32_t major, uint32_t minor, uint16_t servicePackMajor);
bool IsSupportedWindows();
int IsVistaOrLater();
bool IsUserAdministrator();
bool AcquireShutdownPrivilege();
