// The system checks and process helpers against the real platform (Wine).
// The operating-system gate under other Windows versions and the mutex across
// processes are covered end to end in tests/e2e/test_system_checks.py.
#include "support/system_checks.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "support/process.h"
#include "support/unique_resource.h"

namespace {

#if defined(__GNUC__)
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#endif

OSVERSIONINFOEXA RunningVersion() {
    OSVERSIONINFOEXA version = {};
    version.dwOSVersionInfoSize = sizeof version;
    GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&version));
    return version;
}

TEST(WindowsVersionTest, ComparesMajorMinorAndServicePackInOrder) {
    const OSVERSIONINFOEXA running = RunningVersion();
    const DWORD major = running.dwMajorVersion, minor = running.dwMinorVersion;
    const WORD sp = running.wServicePackMajor;
    const struct {
        const char* name;
        DWORD major, minor;
        WORD sp;
        bool expected;
    } cases[] = {
        {"Exactly", major, minor, sp, true},
        {"NextServicePack", major, minor, static_cast<WORD>(sp + 1), false},
        {"NextMinor", major, minor + 1, 0, false},
        {"NextMajor", major + 1, 0, 0, false},
        {"LowerMajorWithHighParts", major - 1, 99, 99, true},
        {"Windows2000Sp3", 5, 0, 3, true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(IsWindowsVersionAtLeast(c.major, c.minor, c.sp), c.expected)
            << c.name << " against " << major << "." << minor << " SP" << sp;
    }
}

TEST(WindowsVersionTest, GateAndVistaTestFollowTheRunningVersion) {
    const OSVERSIONINFOEXA running = RunningVersion();
    EXPECT_EQ(IsSupportedWindows(), running.dwMajorVersion >= 6 || running.dwMajorVersion == 5);
    EXPECT_EQ(IsVistaOrLater(), running.dwMajorVersion >= 6 ? 1 : 0);
}

// Wine runs every program as a member of the Administrators group.
TEST(AccountTest, WineUserIsAnAdministrator) { EXPECT_TRUE(IsUserAdministrator()); }

TEST(SingleInstanceMutexTest, SecondHolderSeesTheFirstUntilItCloses) {
    UniqueHandle first, second, third;
    ASSERT_FALSE(AcquireSingleInstanceMutex(first.put()));
    ASSERT_NE(first.get(), nullptr);
    EXPECT_TRUE(AcquireSingleInstanceMutex(second.put()));
    EXPECT_NE(second.get(), nullptr) << "the handle is kept also when another setup runs";
    first.reset();
    EXPECT_TRUE(AcquireSingleInstanceMutex(third.put())) << "the second handle keeps the name alive";
    second.reset();
    third.reset();
    EXPECT_FALSE(AcquireSingleInstanceMutex(first.put()));
}

TEST(RunProcessTest, ReturnsTheChildsExitCode) {
    const struct {
        const char* commandLine;
        int32_t expected;
    } cases[] = {
        {"cmd.exe /c exit 5", 5},
        {"cmd.exe /c exit 0", 0},
        {"cmd.exe /c exit 1603", 1603},
        {"C:\\no\\such\\folder\\program.exe", -1},
        {"\"C:\\no such program.exe\" /v \"x\"", -1},
    };
    for (const auto& c : cases) {
        std::string commandLine = c.commandLine;  // CreateProcessA may write to it
        EXPECT_EQ(RunProcess(&commandLine[0], true), c.expected) << c.commandLine;
    }
}

// A message-only window that counts what reaches it.
struct CountingWindow {
    static inline std::atomic<int> received{0};
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM w, LPARAM l) {
        if (message == WM_APP) {
            ++received;
            return 0;
        }
        return DefWindowProcA(window, message, w, l);
    }
    HWND window = nullptr;
    CountingWindow() {
        WNDCLASSA windowClass = {};
        windowClass.lpfnWndProc = Procedure;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.lpszClassName = "CorvanePumpTest";
        RegisterClassA(&windowClass);
        window = CreateWindowA("CorvanePumpTest", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                               windowClass.hInstance, nullptr);
        received = 0;
    }
    ~CountingWindow() { DestroyWindow(window); }
};

TEST(WaitWithMessagePumpTest, DispatchesWhileTheHandleIsNotSignalled) {
    CountingWindow counter;
    ASSERT_NE(counter.window, nullptr);
    UniqueHandle done(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    constexpr int kMessages = 5;
    std::thread sender([&] {
        for (int i = 0; i < kMessages; ++i) {
            PostMessageA(counter.window, WM_APP, 0, 0);
            Sleep(40);
        }
        Sleep(100);
        SetEvent(done.get());
    });
    EXPECT_EQ(WaitWithMessagePump(done.get()), 0u);
    sender.join();
    EXPECT_EQ(CountingWindow::received.load(), kMessages);
}

TEST(WaitWithMessagePumpTest, EndedProcessReturnsAtOnceWithMessagesWaiting) {
    CountingWindow counter;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started = {};
    char commandLine[] = "cmd.exe /c exit 7";
    ASSERT_TRUE(CreateProcessA(nullptr, commandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                               &startup, &started));
    UniqueHandle process(started.hProcess), thread(started.hThread);
    ASSERT_EQ(WaitForSingleObject(process.get(), 10000), WAIT_OBJECT_0);
    for (int i = 0; i < 3; ++i) PostMessageA(counter.window, WM_APP, 0, 0);

    EXPECT_EQ(WaitWithMessagePump(process.get()), 0u);
    EXPECT_EQ(CountingWindow::received.load(), 0) << "nothing is dispatched once the child has ended";
    DWORD exitCode = 0;
    EXPECT_TRUE(GetExitCodeProcess(process.get(), &exitCode)) << "the handle stays open for the caller";
    EXPECT_EQ(exitCode, 7u);
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    }
}

TEST(WaitWithMessagePumpTest, InvalidHandleGivesTheWaitsError) {
    EXPECT_EQ(WaitWithMessagePump(reinterpret_cast<HANDLE>(static_cast<INT_PTR>(0x1234))),
              static_cast<uint32_t>(ERROR_INVALID_HANDLE));
    EXPECT_EQ(WaitWithMessagePump(nullptr), static_cast<uint32_t>(ERROR_INVALID_HANDLE));
}

}  // namespace
