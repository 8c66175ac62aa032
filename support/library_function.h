// Typed look-up of a function in a library loaded at run time.
#pragma once

#include <windows.h>

template <typename Function>
Function FindLibraryFunction(HMODULE module, const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}
