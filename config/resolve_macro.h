// The resolver of $(NAME) macros in configuration values: an entry of that
// name, else a built-in variable of the wizard's choices, else the process
// environment.
#pragma once

#include <cstddef>

// context: the module instance whose entries are searched. Returns scratch
// holding the value, the environment's own text, or null.
const char* ResolveMacro(void* context, const char* name, size_t nameLength, char* scratch,
                         size_t scratchSize);
