// Expansion of $(NAME) macros in configuration values. Pure text logic: the
// values of the names come from a resolver callback, so this builds and is
// tested on any host.
#pragma once

#include <cstddef>

// Names longer than this are cut; the text up to ")" is skipped all the same.
constexpr size_t kMacroNameCap = 256;
// Size of the scratch buffer handed to the resolver, once per expansion.
constexpr size_t kMacroScratchSize = 4096;

// Returns the terminated value of the name [name, name + nameLength), which is
// not terminated itself, or null when the name has no value. The value may lie
// in scratch or elsewhere; it must stay valid until the expander copied it.
using MacroResolver = const char* (*)(void* context, const char* name, size_t nameLength,
                                      char* scratch, size_t scratchSize);

// Where the next piece goes and how much of the destination is left.
struct MacroOutput {
    char* write;
    size_t room;
};

// Splits the rest of the text at the first occurrence of token. piece gets the
// text before it, length the smaller of its value on entry (a cap) and the
// piece's length. The cursor moves past the token, or becomes null when the
// token does not occur (the piece is then the whole rest).
void SplitAtToken(const char** cursor, const char* token, const char** piece, size_t* length);

// Copies the smaller of limit, the text's length and room - 1 characters to
// the write position, terminates them and advances.
void AppendPiece(MacroOutput* output, const char* text, size_t limit);

// Expands source into destination (size bytes, at most size - 2 characters
// kept). Returns destination, or null without touching it for a null
// argument, a size of 1 or less, or when the scratch buffer cannot be had.
char* ExpandMacros(const char* source, void* context, MacroResolver resolver, char* destination,
                   size_t size);
