// Shared by the stand-in system DLLs of the tests: every line they write goes
// to the debugger output with the tag "[testdll] ", where the trace runner
// records it next to the program's own trace.
#pragma once

#include <windows.h>

#include <cstdarg>
#include <cstdio>

inline void TestDllLog(const char* format, ...) {
    char line[1024] = "[testdll] ";
    va_list args;
    va_start(args, format);
    std::vsnprintf(line + 10, sizeof line - 11, format, args);
    va_end(args);
    OutputDebugStringA(line);
}

inline const char* PointerState(const void* pointer) {
    if (pointer == nullptr) return "null";
    if (pointer == INVALID_HANDLE_VALUE) return "invalid";
    return "set";
}

#define TESTDLL_EXPORT extern "C" __declspec(dllexport)
