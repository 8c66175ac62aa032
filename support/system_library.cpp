#include "support/system_library.h"

#include "support/bounded_text.h"

HMODULE LoadSystemLibrary(const char* name) {
    if (name == nullptr || *name == '\0') return nullptr;
    char path[MAX_PATH] = {};
    const UINT length = GetSystemDirectoryA(path, sizeof path);
    if (length == 0 || length >= sizeof path) return nullptr;
    if (BoundedFailed(BoundedAppend(path, sizeof path, "\\")) ||
        BoundedFailed(BoundedAppend(path, sizeof path, name))) {
        return nullptr;
    }
    // A full path already rules out the program's folder; the flag also keeps
    // the library's own dependencies to its folder and the system folders.
    HMODULE module = LoadLibraryExA(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    return module;
}
