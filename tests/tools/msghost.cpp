// msghost: calls one message function of the program with the arguments
// given, in a chosen UI language, so that a test can read the box it shows.
//
//   msghost.exe [--caption=TEXT] LANGID FUNCTION ARGUMENTS...
//
// LANGID (decimal or 0x...) becomes the chosen UI language of the program's
// choices and the thread locale, as the wizard would set them; 0 leaves both
// as they are (no language chosen yet). The caption is string 11 in that
// language unless given. Functions and their arguments:
//   ShowMessageBox TEXT STYLE              AskLocalized TEXT_ID CAPTION_ID STYLE
//   ShowUsage                              ReportOutOfMemory
//   ReportStringError ID                   ReportMissingEntry NAME
//   ReportFormatted ID TEXT NUMBER         ReportNumber ID NUMBER
//   ReportWithInsert ID INSERT             NotifyCancelled
//   ReportInstallerError MODULE_PATH CODE  (MODULE_PATH "-" for no module)
// Exit code: the id of the button pressed for ShowMessageBox and
// AskLocalized, 0 for the others; 2 for bad usage, 3 when the module path
// cannot be loaded.

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
    if (argc - first < 2) return Usage();
    const WORD language = static_cast<WORD>(Number(argv[first]));
    const char* function = argv[first + 1];
    char** args = argv + first + 2;
    const int count = argc - first - 2;

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
            installer = LoadLibraryExA(args[0], nullptr, LOAD_LIBRARY_AS_DATAFILE);
            if (!installer) return 3;
        }
        ReportInstallerError(module, installer, nullptr, caption,
                             static_cast<uint32_t>(std::strtoul(args[1], nullptr, 0)));
        if (installer) FreeLibrary(installer);
    } else {
        return Usage();
    }
    return 0;
}
