// Copy, append and format into fixed-size ANSI buffers. Every routine leaves a
// terminated text once the size is valid and never writes past the buffer.
#pragma once

#include <cstddef>
#include <cstdarg>
#include <cstdint>

// Result codes, chosen to match the platform's HRESULT forms.
constexpr int32_t kBoundedOk = 0;
constexpr int32_t kBoundedInvalidArg = static_cast<int32_t>(0x80070057u);       // E_INVALIDARG
constexpr int32_t kBoundedInsufficientBuffer = static_cast<int32_t>(0x8007007Au); // HRESULT of ERROR_INSUFFICIENT_BUFFER

// Sizes count characters including the terminator; valid sizes are 1..0x7FFFFFFF.
constexpr size_t kBoundedMaxSize = 0x7FFFFFFF;

int32_t BoundedCopy(char* buffer, size_t size, const char* source);
int32_t BoundedAppend(char* buffer, size_t size, const char* source);
int32_t BoundedFormat(char* buffer, size_t size, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 3, 4)))
#endif
    ;
int32_t BoundedFormatV(char* buffer, size_t size, const char* format, va_list args);

inline bool BoundedFailed(int32_t result) { return result < 0; }
