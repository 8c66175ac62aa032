#include "support/trace.h"

#include <windows.h>

#include <cstring>
#include <memory>
#include <new>

#include "support/bounded_text.h"

int32_t TraceSwitch = -1;

namespace {

constexpr char kTraceVariable[] = "_MSI_WEB_BOOTSTRAP_DEBUG";

// True when a line should be produced; the only cost with the trace off.
bool TraceWanted(const char* format) {
    if (TraceSwitch == -1) InitTraceSwitch();
    return TraceSwitch != 0 && format != nullptr;
}

void OutputBlock(std::unique_ptr<char[]> block, int32_t formatResult) {
    if (!BoundedFailed(formatResult)) OutputDebugStringA(block.get());
}

}  // namespace

uint32_t InitTraceSwitch() {
    TraceSwitch = 0;
    char value[64] = {};
    // A value that does not fit the buffer is not delivered at all, so the
    // buffer stays empty and the trace stays off.
    const DWORD length = GetEnvironmentVariableA(kTraceVariable, value, sizeof value);
    if (length != 0 && value[0] == '1') TraceSwitch = 1;
    return length;
}

void DebugTrace(const char* format, const char* first, const char* second) {
    if (!TraceWanted(format)) return;
    const size_t firstLength = first ? std::strlen(first) : 0;
    if (firstLength == 0) {
        OutputDebugStringA(format);
        return;
    }
    const size_t size = std::strlen(format) + firstLength + (second ? std::strlen(second) : 0) + 1;
    std::unique_ptr<char[]> block(new (std::nothrow) char[size]);
    if (!block) return;
    // A missing second text formats as nothing rather than reading a value
    // that was never passed.
    const int32_t result = BoundedFormat(block.get(), size, format, first, second ? second : "");
    OutputBlock(std::move(block), result);
}

void DebugTraceNumber(const char* format, int32_t number) {
    if (!TraceWanted(format)) return;
    const size_t size = std::strlen(format) + 13;
    std::unique_ptr<char[]> block(new (std::nothrow) char[size]);
    if (!block) return;
    const int32_t result = BoundedFormat(block.get(), size, format, number);
    OutputBlock(std::move(block), result);
}

void DebugTraceNumbers(const char* format, int32_t first, int32_t second) {
    if (!TraceWanted(format)) return;
    const size_t size = std::strlen(format) + 25;
    std::unique_ptr<char[]> block(new (std::nothrow) char[size]);
    if (!block) return;
    const int32_t result = BoundedFormat(block.get(), size, format, first, second);
    OutputBlock(std::move(block), result);
}
