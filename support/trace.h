// Diagnostic trace on the debugger output, switched on when the environment
// variable _MSI_WEB_BOOTSTRAP_DEBUG begins with '1'. Read once per process.
#pragma once

#include <cstdint>

// -1 not read yet, 0 off, 1 on.
extern int32_t TraceSwitch;

uint32_t InitTraceSwitch();
void DebugTrace(const char* format, const char* first = nullptr, const char* second = nullptr);
void DebugTraceNumber(const char* format, int32_t number);
void DebugTraceNumbers(const char* format, int32_t first, int32_t second);
