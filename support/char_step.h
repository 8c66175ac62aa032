// Character stepping in the system's multibyte code page. The host build of
// the text routines (sanitizer and fuzz runs) steps single bytes instead.
#pragma once

#if defined(_WIN32)
#include <windows.h>

inline const char* NextChar(const char* position) { return CharNextA(position); }
inline const char* PreviousChar(const char* start, const char* position) {
    return CharPrevA(start, position);
}
#else
inline const char* NextChar(const char* position) {
    return *position != '\0' ? position + 1 : position;
}
inline const char* PreviousChar(const char* start, const char* position) {
    return position > start ? position - 1 : start;
}
#endif
