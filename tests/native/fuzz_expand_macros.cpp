// libFuzzer target for the $(NAME) expander. The first two bytes of the input
// choose the destination size, the rest is the source. The resolver answers
// with values of every kind the real one produces: none, empty, scratch filled
// to the last byte, long outside text, and nested expansions.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "config/macro_expander.h"

namespace {

const std::string kOutsideValue(6000, 'e');

struct Context {
    int depth = 0;
};

const char* Resolve(void* context, const char* name, size_t nameLength, char* scratch,
                    size_t scratchSize) {
    auto* state = static_cast<Context*>(context);
    if (nameLength > kMacroNameCap) std::abort();
    const unsigned kind = nameLength == 0 ? 0 : static_cast<unsigned char>(name[0]) % 6;
    switch (kind) {
        case 0:
            return nullptr;
        case 1:
            scratch[0] = '\0';
            return scratch;
        case 2:
            std::memset(scratch, 's', scratchSize - 1);
            scratch[scratchSize - 1] = '\0';
            return scratch;
        case 3:
            return kOutsideValue.c_str();
        case 4: {
            // The name itself, expanded again: nests and may cycle.
            if (state->depth >= 8) return nullptr;
            std::string source(name, nameLength);
            std::vector<char> value(1 + nameLength % 64);
            ++state->depth;
            const char* expanded = ExpandMacros(source.c_str(), context, Resolve, value.data(), value.size());
            --state->depth;
            if (expanded == nullptr) return nullptr;
            std::strncpy(scratch, expanded, scratchSize - 1);
            scratch[scratchSize - 1] = '\0';
            return scratch;
        }
        default:
            std::memcpy(scratch, name, nameLength < scratchSize ? nameLength : scratchSize - 1);
            scratch[nameLength < scratchSize ? nameLength : scratchSize - 1] = '\0';
            return scratch;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const size_t destinationSize = (static_cast<size_t>(data[0]) << 8 | data[1]) % 6000;
    const std::string source(reinterpret_cast<const char*>(data + 2), size - 2);
    // Exactly destinationSize bytes on the heap, so that any write past it is
    // caught by the address sanitizer.
    char* destination = destinationSize ? new char[destinationSize] : nullptr;
    Context context;
    char* result = ExpandMacros(source.c_str(), &context, Resolve, destination, destinationSize);
    if (destinationSize <= 1) {
        if (result != nullptr) std::abort();
    } else {
        if (result != destination) std::abort();
        if (std::strlen(destination) > destinationSize - 2) std::abort();
    }
    delete[] destination;
    return 0;
}
