#include "config/macro_expander.h"

#include <cstring>
#include <memory>
#include <new>

namespace {

// Length of text, but never counts (or reads) past limit characters.
size_t BoundedLength(const char* text, size_t limit) {
    size_t length = 0;
    while (length < limit && text[length] != '\0') ++length;
    return length;
}

}  // namespace

void SplitAtToken(const char** cursor, const char* token, const char** piece, size_t* length) {
    const char* rest = *cursor;
    *piece = rest;
    const char* found = std::strstr(rest, token);
    if (found != nullptr) {
        const size_t pieceLength = static_cast<size_t>(found - rest);
        if (pieceLength < *length) *length = pieceLength;
        *cursor = found + std::strlen(token);
    } else {
        *length = BoundedLength(rest, *length);
        *cursor = nullptr;
    }
}

void AppendPiece(MacroOutput* output, const char* text, size_t limit) {
    if (output->room == 0) return;
    const size_t count = BoundedLength(text, limit < output->room - 1 ? limit : output->room - 1);
    std::memcpy(output->write, text, count);
    output->write += count;
    *output->write = '\0';
    output->room -= count;
}

char* ExpandMacros(const char* source, void* context, MacroResolver resolver, char* destination,
                   size_t size) {
    if (source == nullptr || context == nullptr || resolver == nullptr || destination == nullptr ||
        size <= 1) {
        return nullptr;
    }
    std::unique_ptr<char[]> scratch(new (std::nothrow) char[kMacroScratchSize]);
    if (!scratch) return nullptr;
    std::memset(destination, 0, size);
    // One byte more than the terminator stays in reserve: the output keeps at
    // most size - 2 characters.
    MacroOutput output = {destination, size - 1};
    const char* cursor = source;
    for (;;) {
        const char* piece = nullptr;
        size_t length = output.room;
        SplitAtToken(&cursor, "$(", &piece, &length);
        AppendPiece(&output, piece, length);
        if (cursor == nullptr) break;

        // A full destination does not end the scan: later names are still
        // resolved, they just add nothing.
        length = kMacroNameCap;
        SplitAtToken(&cursor, ")", &piece, &length);
        const char* value = resolver(context, piece, length, scratch.get(), kMacroScratchSize);
        if (value != nullptr) AppendPiece(&output, value, output.room);
        if (cursor == nullptr) break;
    }
    return destination;
}
