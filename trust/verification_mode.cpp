#include "trust/verification_mode.h"

#include "setup/command_line.h"
#include "trust/signature_check.h"

uint32_t RunVerificationMode(const char* setupPath, char* commandLine) {
    char* file = nullptr;
    if (TakeSwitchArgument(commandLine, &file) != 0) return kBadArguments;

    switch (VerifyPackageTrust(setupPath, file, nullptr)) {
        case kTrustTrusted:
            return kVerifyTrusted;
        case kTrustNoVerdict:
            return kVerifyNoVerdict;
        default:
            return kVerifyNotTrusted;
    }
}
