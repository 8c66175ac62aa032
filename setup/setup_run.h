// The state of one run of the setup program, owned by WinMain's frame. Every
// resource a later step acquires is recorded here so one cleanup releases it.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>

#include "setup/command_line.h"
#include "support/messages.h"
#include "support/unique_resource.h"
#include "wizard/progress_window.h"

struct SetupRun {
    HINSTANCE module = nullptr;
    char* commandLine = nullptr;                 // arguments without the program name
    char title[kMessageBufferChars] = {};        // string 11, caption of every box
    char setupPath[MAX_PATH] = {};               // the program's own full path
    RunMode mode = RunMode::Normal;
    uint32_t exitCode = 0;
    bool restartNeeded = false;
    // Constructed before any page runs (it also makes the first download link
    // the chosen one); its dialog is created later by the installation.
    CProgressWindow progressWindow;
    UniqueHandle mutex;                          // single-instance mutex, once taken
    UniqueLibrary installerModule;               // msi.dll of the hand-off
    std::unique_ptr<char[]> cachedFile;          // downloaded copy in the internet cache
};

// The body of the normal and administrative modes; sets run.exitCode.
void RunInstallation(SetupRun& run);

// Releases what the run kept until its end.
void ReleaseRunResources(SetupRun& run);
