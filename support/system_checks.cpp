#include "support/system_checks.h"

#include "support/library_function.h"
#include "support/system_library.h"
#include "support/unique_resource.h"

const char kSetupMutexName[] = "Global\\_MSISETUP_{2956EBA1-9B5A-4679-8618-357136DA66CA}";

bool AcquireSingleInstanceMutex(HANDLE* mutex) {
    HANDLE handle = CreateMutexA(nullptr, FALSE, kSetupMutexName);
    const DWORD error = GetLastError();
    if (mutex) *mutex = handle;
    return handle == nullptr || error == ERROR_ALREADY_EXISTS;
}

bool IsWindowsVersionAtLeast(uint32_t major, uint32_t minor, uint16_t servicePackMajor) {
    OSVERSIONINFOEXA request = {};
    request.dwOSVersionInfoSize = sizeof request;
    request.dwMajorVersion = major;
    request.dwMinorVersion = minor;
    request.wServicePackMajor = servicePackMajor;
    ULONGLONG mask = 0;
    mask = VerSetConditionMask(mask, VER_MAJORVERSION, VER_GREATER_EQUAL);
    mask = VerSetConditionMask(mask, VER_MINORVERSION, VER_GREATER_EQUAL);
    mask = VerSetConditionMask(mask, VER_SERVICEPACKMAJOR, VER_GREATER_EQUAL);
    return VerifyVersionInfoA(&request, VER_MAJORVERSION | VER_MINORVERSION | VER_SERVICEPACKMAJOR,
                              mask) != FALSE;
}

bool IsSupportedWindows() {
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof version;
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#endif
    GetVersionExA(&version);
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif
    if (version.dwMajorVersion < 5) return false;
    return IsWindowsVersionAtLeast(5, 2, 0) || IsWindowsVersionAtLeast(5, 1, 0) ||
           IsWindowsVersionAtLeast(5, 0, 3);
}

int IsVistaOrLater() {
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#endif
    const DWORD version = GetVersion();
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif
    if (version & 0x80000000u) return 0;
    return (version & 0xFF) >= 6 ? 1 : 0;
}

bool IsUserAdministrator() {
    SID_IDENTIFIER_AUTHORITY ntAuthority = SECURITY_NT_AUTHORITY;
    UniqueSid administrators;
    if (!AllocateAndInitializeSid(&ntAuthority, 2, SECURITY_BUILTIN_DOMAIN_RID,
                                  DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0,
                                  administrators.put())) {
        return false;
    }
    using CheckTokenMembershipFn = BOOL(WINAPI*)(HANDLE, PSID, PBOOL);
    UniqueLibrary advapi(LoadSystemLibrary("advapi32.dll"));
    if (!advapi) return false;
    auto checkMembership =
        FindLibraryFunction<CheckTokenMembershipFn>(advapi.get(), "CheckTokenMembership");
    if (checkMembership == nullptr) return false;
    BOOL isMember = FALSE;
    if (!checkMembership(nullptr, administrators.get(), &isMember)) return false;
    return isMember != FALSE;
}

bool AcquireShutdownPrivilege() {
    using OpenProcessTokenFn = BOOL(WINAPI*)(HANDLE, DWORD, PHANDLE);
    using LookupPrivilegeValueFn = BOOL(WINAPI*)(LPCSTR, LPCSTR, PLUID);
    using AdjustTokenPrivilegesFn =
        BOOL(WINAPI*)(HANDLE, BOOL, PTOKEN_PRIVILEGES, DWORD, PTOKEN_PRIVILEGES, PDWORD);

    UniqueLibrary advapi(LoadSystemLibrary("advapi32.dll"));
    if (!advapi) return false;
    auto openToken = FindLibraryFunction<OpenProcessTokenFn>(advapi.get(), "OpenProcessToken");
    auto lookupPrivilege =
        FindLibraryFunction<LookupPrivilegeValueFn>(advapi.get(), "LookupPrivilegeValueA");
    auto adjustPrivileges =
        FindLibraryFunction<AdjustTokenPrivilegesFn>(advapi.get(), "AdjustTokenPrivileges");
    if (!openToken || !lookupPrivilege || !adjustPrivileges) return false;

    UniqueHandle token;
    if (!openToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, token.put())) {
        return false;
    }
    TOKEN_PRIVILEGES request = {};
    request.PrivilegeCount = 1;
    request.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    lookupPrivilege(nullptr, "SeShutdownPrivilege", &request.Privileges[0].Luid);
    adjustPrivileges(token.get(), FALSE, &request, 0, nullptr, nullptr);
    // The adjustment succeeds even when the account lacks the privilege; only
    // the last error tells.
    return GetLastError() == ERROR_SUCCESS;
}
