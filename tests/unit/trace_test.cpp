#include "support/trace.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <windows.h>
#include <new>

#include "trace_capture.h"

// Every allocation of this test program is counted, so a test can show that a
// trace call with the switch off allocates nothing.
namespace {
volatile long AllocationCount = 0;
void* CountedAllocation(std::size_t size) {
    InterlockedIncrement(&AllocationCount);
    return HeapAlloc(GetProcessHeap(), 0, size != 0 ? size : 1);
}
}  // namespace

void* operator new(std::size_t size) {
    void* block = CountedAllocation(size);
    if (block == nullptr) std::abort();
    return block;
}
void* operator new[](std::size_t size) { return operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return CountedAllocation(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return CountedAllocation(size); }
namespace {
void CountedRelease(void* block) {
    if (block != nullptr) HeapFree(GetProcessHeap(), 0, block);
}
}  // namespace
void operator delete(void* block) noexcept { CountedRelease(block); }
void operator delete[](void* block) noexcept { CountedRelease(block); }
void operator delete(void* block, std::size_t) noexcept { CountedRelease(block); }
void operator delete[](void* block, std::size_t) noexcept { CountedRelease(block); }

namespace {

class TraceTest : public ::testing::Test {
protected:
    ScopedTraceSwitch restore_{TraceSwitch};
};

TEST_F(TraceTest, SwitchedOffAllocatesAndOutputsNothing) {
    TraceCapture capture;
    TraceSwitch = 0;
    const long before = AllocationCount;
    DebugTrace("[Info] we are running from --> %s\n", "C:\\setup.exe");
    DebugTrace("[Resource] lpName = %s, lpBuf = %s\n", "CV_SKU", "16");
    DebugTraceNumber("[Info] Setup exit code is %d\n", 1603);
    DebugTraceNumbers("[Info] System Version = %d, Minimum Version = %d.\n", 200, 301);
    EXPECT_EQ(AllocationCount, before);
    EXPECT_TRUE(capture.lines().empty());
}

TEST_F(TraceTest, SwitchedOnFormatsEachLineOnce) {
    TraceCapture capture;
    TraceSwitch = 1;
    DebugTrace("[Info] we are running from --> %s\n", "C:\\setup.exe");
    DebugTrace("[Resource] lpName = %s, lpBuf = %s\n", "UI_PAGE_1_OPTION_3", "");
    DebugTraceNumber("[Info] Setup exit code is %d\n", -1);
    DebugTraceNumber("[WVT] WVT returned 0x%X\n", static_cast<int32_t>(0x800B0100u));
    DebugTraceNumbers("[Info] Version = %d, Minimum = %d.\n", 200, 301);
    ASSERT_EQ(capture.lines().size(), 5u);
    EXPECT_EQ(capture.lines()[0], "[Info] we are running from --> C:\\setup.exe\n");
    EXPECT_EQ(capture.lines()[1], "[Resource] lpName = UI_PAGE_1_OPTION_3, lpBuf = \n");
    EXPECT_EQ(capture.lines()[2], "[Info] Setup exit code is -1\n");
    EXPECT_EQ(capture.lines()[3], "[WVT] WVT returned 0x800B0100\n");
    EXPECT_EQ(capture.lines()[4], "[Info] Version = 200, Minimum = 301.\n");
}

TEST_F(TraceTest, MissingFirstTextOutputsTheFormatAsWritten) {
    TraceCapture capture;
    TraceSwitch = 1;
    DebugTrace("[Info] Upgrade of Windows Installer is requested\n");
    DebugTrace("[Info] %s stays\n", "");
    DebugTrace("[Info] %s stays\n", nullptr, "ignored");
    DebugTrace(nullptr, "x");
    ASSERT_EQ(capture.lines().size(), 3u);
    EXPECT_EQ(capture.lines()[0], "[Info] Upgrade of Windows Installer is requested\n");
    EXPECT_EQ(capture.lines()[1], "[Info] %s stays\n");
    EXPECT_EQ(capture.lines()[2], "[Info] %s stays\n");
}

TEST_F(TraceTest, LongTextsAreTracedWhole) {
    TraceCapture capture;
    TraceSwitch = 1;
    const std::string path(5000, 'p');
    DebugTrace("[Info] Msi file was cached to %s\n", path.c_str());
    ASSERT_EQ(capture.lines().size(), 1u);
    EXPECT_EQ(capture.lines()[0], "[Info] Msi file was cached to " + path + "\n");
}

}  // namespace
