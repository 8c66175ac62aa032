#include "trust/verification_mode.h"

#include <windows.h>

#include "res/resource.h"
#include "setup/command_line.h"
#include "support/messages.h"

uint32_t RunVerificationMode(const char*, char* commandLine) {
    char* switchLast = nullptr;
    NextToken(commandLine, nullptr, &switchLast, nullptr);
    char* fileLast = nullptr;
    if (switchLast == nullptr ||
        NextToken(const_cast<char*>(CharNextA(switchLast)), nullptr, &fileLast, nullptr) != 0) {
        return kBadArguments;
    }
    char* after = CharNextA(fileLast);
    if (*after != '\0' && NextToken(CharNextA(after), nullptr, nullptr, nullptr) == 0) {
        return kBadArguments;
    }
    *after = '\0';
    // The signature check is not part of this build yet: never report a file
    // as trusted without having checked it.
    HINSTANCE module = GetModuleHandleA(nullptr);
    char title[kMessageBufferChars] = {};
    LoadStringA(module, IDS_APP_TITLE, title, sizeof title);
    ReportStringError(module, nullptr, title, IDS_INTERNAL_ERROR);
    return ERROR_INSTALL_FAILURE;
}
