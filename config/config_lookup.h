// Configuration entries: named UTF-16 string resources of type 40 inside the
// program, read as ANSI text with their $(NAME) macros expanded.
#pragma once

#include <windows.h>

// Size of a value buffer that LoadConfigString allocates when asked to.
constexpr DWORD kDefaultConfigValueSize = 4096;

// Nested lookups (an entry naming another through a macro) stop at this depth;
// the delivered download link needs four.
constexpr int kMaxConfigNesting = 16;

// Reads the raw (unexpanded) value of entry name in the chosen UI language, or
// in the platform's default choice, converted to the ANSI code page.
// capacity: on entry the size of buffer, after 0 or ERROR_MORE_DATA the bytes
// the value needs including its terminator.
// Returns 0, ERROR_MORE_DATA (234), ERROR_FUNCTION_FAILED (1627) or
// ERROR_RESOURCE_NAME_NOT_FOUND (1814).
DWORD FindConfigString(HINSTANCE module, WORD type, const char* name, char* buffer,
                       DWORD* capacity);

// Reads entry name and expands its macros into *value (*size bytes). With
// *value null a buffer is allocated (*size 0 means kDefaultConfigValueSize),
// its size stored back, and it belongs to the caller from then on: free it
// with delete[]. Returns 0, ERROR_OUTOFMEMORY (14), ERROR_FUNCTION_FAILED
// (1627), ERROR_RESOURCE_NAME_NOT_FOUND (1814), or ERROR_INVALID_PARAMETER
// (87) for missing arguments or a supplied buffer of size 0. On a non-zero
// result neither *value nor the caller's buffer is touched.
DWORD LoadConfigString(HINSTANCE module, const char* name, char** value, DWORD* size);

// False while the value of entry name is being expanded further up the same
// lookup, or when lookups already nest kMaxConfigNesting deep: a macro naming
// it then expands to nothing instead of nesting without end.
bool MayExpandConfigEntry(const char* name);
