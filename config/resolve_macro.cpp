#include "config/resolve_macro.h"

#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "config/config_lookup.h"
#include "config/wizard_choices.h"
#include "support/bounded_text.h"

namespace {

struct BuiltInVariable {
    const char* name;
    const char* const* field;
};

// In the order they are compared; an unset field reads as the empty text.
const BuiltInVariable BuiltInVariables[] = {
    {"CV_LANGUAGE", &WizardChoices.langCode},
    {"CV_LANGUAGE_NAME", &WizardChoices.langName},
    {"CV_SKU", &WizardChoices.skuId},
    {"CV_SKU_NAME", &WizardChoices.skuName},
    {"CV_SKU_TEXT", &WizardChoices.skuText},
};

// Null when the entry is missing, cannot be read, or expands to nothing.
const char* EntryValue(HINSTANCE module, const char* name, char* scratch, size_t scratchSize) {
    char* value = nullptr;
    DWORD size = 0;
    if (LoadConfigString(module, name, &value, &size) != ERROR_SUCCESS) return nullptr;
    std::unique_ptr<char[]> owned(value);
    if (value[0] == '\0') return nullptr;
    BoundedCopy(scratch, scratchSize, value);
    return scratch;
}

}  // namespace

const char* ResolveMacro(void* context, const char* name, size_t nameLength, char* scratch,
                         size_t scratchSize) {
    if (name == nullptr || scratch == nullptr || scratchSize == 0) return nullptr;
    std::unique_ptr<char[]> copy(new (std::nothrow) char[nameLength + 1]);
    if (!copy) return nullptr;
    std::memcpy(copy.get(), name, nameLength);
    copy[nameLength] = '\0';
    std::memset(scratch, 0, scratchSize);

    // A name already being expanded further up would nest without end.
    if (!MayExpandConfigEntry(copy.get())) return nullptr;
    const char* entry = EntryValue(static_cast<HINSTANCE>(context), copy.get(), scratch, scratchSize);
    if (entry != nullptr) return entry;

    for (const BuiltInVariable& variable : BuiltInVariables) {
        if (std::strcmp(copy.get(), variable.name) == 0) {
            const char* field = *variable.field;
            BoundedCopy(scratch, scratchSize, field != nullptr ? field : "");
            return scratch;
        }
    }
    // The C runtime would match the empty name against the hidden "=C:"
    // entries of the environment; no variable has an empty name.
    if (copy[0] == '\0') return nullptr;
    return std::getenv(copy.get());
}
