#include "trust/verification_mode.h"

#include <windows.h>

#include "setup/command_line.h"
#include "trust/signature_check.h"

uint32_t RunVerificationMode(const char* setupPath, char* commandLine) {
    char* switchLast = nullptr;
    NextToken(commandLine, nullptr, &switchLast, nullptr);
    if (switchLast == nullptr) return kBadArguments;

    char* fileStart = nullptr;
    char* fileLast = nullptr;
    if (NextToken(CharNextA(switchLast), &fileStart, &fileLast, nullptr) != 0) {
        return kBadArguments;
    }
    // For a quoted file this is its closing quote, otherwise the separator.
    char* after = CharNextA(fileLast);
    if (*after != '\0' && NextToken(CharNextA(after), nullptr, nullptr, nullptr) == 0) {
        return kBadArguments;
    }
    *after = '\0';

    switch (VerifyPackageTrust(setupPath, fileStart, nullptr)) {
        case kTrustTrusted:
            return kVerifyTrusted;
        case kTrustNoVerdict:
            return kVerifyNoVerdict;
        default:
            return kVerifyNotTrusted;
    }
}
