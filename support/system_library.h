// Loads a library from the Windows system directory only. The setup program
// runs elevated from a download folder; a bare-name load would also search the
// program's own folder, where a planted DLL would run with those rights.
#pragma once

#include <windows.h>

// name: a bare file name such as "msi.dll". Returns null when the library
// cannot be loaded from the system directory.
HMODULE LoadSystemLibrary(const char* name);
