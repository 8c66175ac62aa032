// msghost: calls message functions of the program with the arguments given,
// in a chosen UI language, so that a test can read the boxes they show.
//
//   msghost.exe [--caption=TEXT] LANGID FUNCTION ARGUMENTS... [; LANGID FUNCTION ...]
//
// Calls separated by a lone ";" run one after the other in the same process
// (each box appears when the one before was closed), which saves a process
// start per box. LANGID (decimal or 0x...) becomes the chosen UI language of
// the program's choices and the thread locale, as the wizard sets them; 0
// leaves both as they are (no language chosen yet). The caption is string 11
// in that language unless given. Functions and their arguments:
//   ShowMessageBox TEXT STYLE              AskLocalized TEXT_ID CAPTION_ID STYLE
//   ShowUsage                              ReportOutOfMemory
//   ReportStringError ID                   ReportMissingEntry NAME
//   ReportFormatted ID TEXT NUMBER         ReportNumber ID NUMBER
//   ReportWithInsert ID INSERT             NotifyCancelled
//   ReportInstallerError MODULE_PATH CODE  (MODULE_PATH "-" for no module)
// After each call the debug output gets "[msghost] call N returned R\n" (R:
// the button pressed for ShowMessageBox and AskLocalized, else 0). Exit code:
// R of the last call; 2 for bad usage, 3 when a module cannot be loaded.

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "config/wizard_choices.h"
#include "res/resource.h"
#include "support/messages.h"

namespace {

unsigned long Number(const char* text) { return std::strtoul(text, nullptr, 0); }

int Usage() {
    std::fputs("usage: msghost [--caption=TEXT] LANGID FUNCTION ARGUMENTS...\n", stderr);
    return 2;
}

bool Is(const char* name, const char* function) { return std::strcmp(name, function) == 0; }

struct Call {
    char** args;  // LANGID FUNCTION ARGUMENTS...
    int count;
};

// Runs one call; returns its result, or -2 for bad usage, -3 for a module
// that cannot be loaded.
int RunCall(const Call& call, const char* givenCaption) {
    if (call.count < 2) return -2;
    const WORD language = static_cast<WORD>(Number(call.args[0]));
    const char* function = call.args[1];
    char** args = call.args + 2;
    const int count = call.count - 2;

    HINSTANCE module = GetModuleHandleA(nullptr);
    WizardChoices.langId = language;
    if (language != 0) {
        SetThreadLocale(MAKELCID(language, SORT_DEFAULT));
        SetThreadUILanguage(language);
    }
    char caption[kMessageBufferChars] = {};
    if (givenCaption) {
        lstrcpynA(caption, givenCaption, sizeof caption);
    } else if (LoadStringA(module, IDS_APP_TITLE, caption, sizeof caption) <= 0) {
        caption[0] = '\0';
    }

    if (Is(function, "ShowMessageBox") && count == 2) {
        return ShowMessageBox(nullptr, args[0], caption, Number(args[1]));
    }
    if (Is(function, "AskLocalized") && count == 3) {
        return AskLocalized(nullptr, Number(args[0]), Number(args[1]), Number(args[2]), module);
    }
    if (Is(function, "ShowUsage") && count == 0) {
        ShowUsage(module, nullptr, caption);
    } else if (Is(function, "ReportOutOfMemory") && count == 0) {
        ReportOutOfMemory(module, nullptr, caption);
    } else if (Is(function, "NotifyCancelled") && count == 0) {
        NotifyCancelled(module, nullptr, caption);
    } else if (Is(function, "ReportStringError") && count == 1) {
        ReportStringError(module, nullptr, caption, Number(args[0]));
    } else if (Is(function, "ReportMissingEntry") && count == 1) {
        ReportMissingEntry(module, nullptr, caption, args[0]);
    } else if (Is(function, "ReportFormatted") && count == 3) {
        ReportFormatted(module, nullptr, caption, Number(args[0]), args[1],
                        static_cast<int32_t>(std::strtol(args[2], nullptr, 0)));
    } else if (Is(function, "ReportNumber") && count == 2) {
        ReportNumber(module, nullptr, caption, Number(args[0]),
                     static_cast<int32_t>(std::strtol(args[1], nullptr, 0)));
    } else if (Is(function, "ReportWithInsert") && count == 2) {
        ReportWithInsert(module, nullptr, caption, Number(args[0]), args[1]);
    } else if (Is(function, "ReportInstallerError") && count == 2) {
        HMODULE installer = nullptr;
        if (std::strcmp(args[0], "-") != 0) {
            // Only its string table is used, as the program uses msi.dll's.
            installer = LoadLibraryExA(args[0], nullptr, LOAD_LIBRARY_AS_DATAFILE);
            if (!installer) return -3;
        }
        ReportInstallerError(module, installer, nullptr, caption,
                             static_cast<uint32_t>(std::strtoul(args[1], nullptr, 0)));
        if (installer) FreeLibrary(installer);
    } else {
        return -2;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    // The arguments are ANSI texts in the system code page, as the program's
    // own texts are.
    int first = 1;
    const char* givenCaption = nullptr;
    if (argc > first && std::strncmp(argv[first], "--caption=", 10) == 0) {
        givenCaption = argv[first] + 10;
        ++first;
    }
    int result = 0;
    int index = 0;
    while (first < argc) {
        int end = first;
        while (end < argc && std::strcmp(argv[end], ";") != 0) ++end;
        result = RunCall(Call{argv + first, end - first}, givenCaption);
        if (result == -2) return Usage();
        if (result == -3) return 3;
        char line[64];
        std::snprintf(line, sizeof line, "[msghost] call %d returned %d\n", index++, result);
        OutputDebugStringA(line);
        first = end + 1;
    }
    return index == 0 ? Usage() : result;
}
