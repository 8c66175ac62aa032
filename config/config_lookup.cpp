#include "config/config_lookup.h"

#include <climits>
#include <cstring>
#include <memory>
#include <new>

#include "config/macro_expander.h"
#include "config/resolve_macro.h"
#include "config/wizard_choices.h"
#include "res/resource.h"
#include "support/trace.h"

namespace {

// Names of the entries whose values are being expanded right now, outermost
// first. Lookups run on the main thread only.
const char* ExpandingEntries[kMaxConfigNesting];
int ExpansionDepth = 0;

// Resource names are matched without regard to case, so a cycle may spell a
// name differently.
bool SameEntryName(const char* left, const char* right) {
    for (;; ++left, ++right) {
        char a = *left, b = *right;
        if (a >= 'a' && a <= 'z') a = static_cast<char>(a - 'a' + 'A');
        if (b >= 'a' && b <= 'z') b = static_cast<char>(b - 'a' + 'A');
        if (a != b) return false;
        if (a == '\0') return true;
    }
}

struct ExpansionScope {
    explicit ExpansionScope(const char* name) {
        if (ExpansionDepth < kMaxConfigNesting) ExpandingEntries[ExpansionDepth] = name;
        ++ExpansionDepth;
    }
    ~ExpansionScope() { --ExpansionDepth; }
    ExpansionScope(const ExpansionScope&) = delete;
    ExpansionScope& operator=(const ExpansionScope&) = delete;
};

// Characters before the first NUL, never past the end of the entry's data.
int ValueLength(const wchar_t* data, DWORD dataBytes) {
    const DWORD limit = dataBytes / sizeof(wchar_t);
    DWORD length = 0;
    while (length < limit && length < INT_MAX && data[length] != L'\0') ++length;
    return static_cast<int>(length);
}

void TraceFound(const char* name, const char* value) {
    DebugTrace("[Resource] lpName = %s, lpBuf = %s\n", name, value);
}

}  // namespace

bool MayExpandConfigEntry(const char* name) {
    if (ExpansionDepth >= kMaxConfigNesting) return false;
    for (int level = 0; level < ExpansionDepth; ++level) {
        if (SameEntryName(ExpandingEntries[level], name)) return false;
    }
    return true;
}

DWORD FindConfigString(HINSTANCE module, WORD type, const char* name, char* buffer,
                       DWORD* capacity) {
    if (name == nullptr || capacity == nullptr) return ERROR_INVALID_PARAMETER;
    if (buffer == nullptr) *capacity = 0;

    // With a chosen language this finds exactly that language; language 0 and
    // a failed first try leave the choice to the platform's default search.
    HRSRC found = FindResourceExA(module, MAKEINTRESOURCEA(type), name, WizardChoices.langId);
    if (found == nullptr) found = FindResourceA(module, name, MAKEINTRESOURCEA(type));
    HGLOBAL loaded = found != nullptr ? LoadResource(module, found) : nullptr;
    if (loaded == nullptr) {
        DebugTrace("[Resource] lpName = %s NOT FOUND\n", name);
        return ERROR_RESOURCE_NAME_NOT_FOUND;
    }

    const wchar_t* data = static_cast<const wchar_t*>(LockResource(loaded));
    const int length = data != nullptr ? ValueLength(data, SizeofResource(module, found)) : 0;
    if (length == 0) {
        // The converter refuses an empty text, so the empty value is stored
        // here: it needs its terminator only.
        const DWORD available = *capacity;
        *capacity = 1;
        if (available == 0) return ERROR_MORE_DATA;
        buffer[0] = '\0';
        TraceFound(name, buffer);
        return ERROR_SUCCESS;
    }

    const int converted = WideCharToMultiByte(CP_ACP, 0, data, length, nullptr, 0, nullptr, nullptr);
    if (converted <= 0 || converted == INT_MAX) return ERROR_FUNCTION_FAILED;
    const DWORD needed = static_cast<DWORD>(converted) + 1;
    if (needed > *capacity) {
        *capacity = needed;
        return ERROR_MORE_DATA;
    }
    if (WideCharToMultiByte(CP_ACP, 0, data, length, buffer, converted, nullptr, nullptr) !=
        converted) {
        return ERROR_FUNCTION_FAILED;
    }
    buffer[converted] = '\0';
    *capacity = needed;
    TraceFound(name, buffer);
    return ERROR_SUCCESS;
}

DWORD LoadConfigString(HINSTANCE module, const char* name, char** value, DWORD* size) {
    if (name == nullptr || value == nullptr || size == nullptr) return ERROR_INVALID_PARAMETER;
    // Not even the empty text would fit a supplied buffer of no bytes.
    if (*value != nullptr && *size == 0) return ERROR_INVALID_PARAMETER;
    // A null module means the program's own file to the resource functions;
    // the expander needs a real handle to pass on to nested lookups.
    if (module == nullptr) module = GetModuleHandleA(nullptr);

    DWORD capacity = kDefaultConfigValueSize;
    std::unique_ptr<char[]> raw(new (std::nothrow) char[capacity]);
    if (!raw) return ERROR_OUTOFMEMORY;
    DWORD result = FindConfigString(module, RT_CONFIG_ENTRY, name, raw.get(), &capacity);
    if (result == ERROR_MORE_DATA) {
        raw.reset(new (std::nothrow) char[capacity]);
        if (!raw) return ERROR_OUTOFMEMORY;
        result = FindConfigString(module, RT_CONFIG_ENTRY, name, raw.get(), &capacity);
    }
    if (result != ERROR_SUCCESS) return result;

    char* destination = *value;
    DWORD destinationSize = *size;
    std::unique_ptr<char[]> allocated;
    if (destination == nullptr) {
        if (destinationSize == 0) destinationSize = kDefaultConfigValueSize;
        allocated.reset(new (std::nothrow) char[destinationSize]);
        if (!allocated) return ERROR_OUTOFMEMORY;
        destination = allocated.get();
    }

    {
        ExpansionScope scope(name);
        if (ExpandMacros(raw.get(), module, ResolveMacro, destination, destinationSize) == nullptr) {
            destination[0] = '\0';
        }
    }
    if (allocated) {
        *value = allocated.release();
        *size = destinationSize;
    }
    return ERROR_SUCCESS;
}
