// Starting child processes and waiting for them.
#pragma once

#include <windows.h>

#include <cstdint>

// Runs commandLine (program path first, writable). With wait set, blocks
// without dispatching messages until the child ends. Returns the child's exit
// code, or -1 when it cannot be started or its code cannot be read.
int32_t RunProcess(char* commandLine, bool wait);

// Waits for handle while dispatching the thread's messages, one per wake-up.
// Returns 0 once the handle is signalled, else the wait's Windows error code.
uint32_t WaitWithMessagePump(HANDLE handle);
