#include "support/bounded_text.h"

#include <cstdio>

namespace {

bool IsValidSize(size_t size) { return size != 0 && size <= kBoundedMaxSize; }

// Copies at most room - 1 characters; room is at least 1.
int32_t CopyWithin(char* destination, size_t room, const char* source) {
    size_t copied = 0;
    while (copied + 1 < room && source[copied] != '\0') {
        destination[copied] = source[copied];
        ++copied;
    }
    destination[copied] = '\0';
    return source[copied] == '\0' ? kBoundedOk : kBoundedInsufficientBuffer;
}

}  // namespace

int32_t BoundedCopy(char* buffer, size_t size, const char* source) {
    if (buffer == nullptr || !IsValidSize(size)) return kBoundedInvalidArg;
    if (source == nullptr) source = "";
    return CopyWithin(buffer, size, source);
}

int32_t BoundedAppend(char* buffer, size_t size, const char* source) {
    if (buffer == nullptr || !IsValidSize(size)) return kBoundedInvalidArg;
    size_t existing = 0;
    while (existing < size && buffer[existing] != '\0') ++existing;
    if (existing == size) return kBoundedInvalidArg;  // no terminator inside the buffer
    if (source == nullptr) source = "";
    return CopyWithin(buffer + existing, size - existing, source);
}

int32_t BoundedFormatV(char* buffer, size_t size, const char* format, va_list args) {
    if (buffer == nullptr || !IsValidSize(size)) return kBoundedInvalidArg;
    if (format == nullptr) {
        buffer[0] = '\0';
        return kBoundedInvalidArg;
    }
    const int needed = std::vsnprintf(buffer, size, format, args);
    if (needed < 0) {
        buffer[0] = '\0';
        return kBoundedInvalidArg;
    }
    buffer[size - 1] = '\0';
    return static_cast<size_t>(needed) > size - 1 ? kBoundedInsufficientBuffer : kBoundedOk;
}

int32_t BoundedFormat(char* buffer, size_t size, const char* format, ...) {
    va_list args;
    va_start(args, format);
    const int32_t result = BoundedFormatV(buffer, size, format, args);
    va_end(args);
    return result;
}
