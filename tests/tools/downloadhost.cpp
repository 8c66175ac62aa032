// Hosts the progress window and one background download the way the setup
// program runs them, so that tests can drive the real window over a real
// download. Until the installation sequence exists this is the only program
// that puts the two together.
//
//   downloadhost [--no-window] [--leftover-end] [--bare] [--lang <id>] [--title <text>] <url>
//
// --no-window downloads without creating the progress window, as the setup
// program does when the dialog cannot be created. --leftover-end puts an end
// message in the dialog's queue first, as the worker of an earlier download
// may leave behind when it ends after that download's wait has stopped.
// --bare calls URLDownloadToCacheFileA alone on this thread, without window,
// callback or worker: the platform's own speed, for the benchmark.
//
// Prints one "name value" line per fact, on standard output:
//   created      1 when the progress window exists
//   started      milliseconds since the host started, just before the download
//   result       the HRESULT of DownloadToCache, as 0x%08X
//   elapsed      milliseconds the call took
//   cancelled    IsCancelled afterwards (0 or 1)
//   file         the cache file path the call returned
//   bar          position, low and high bound of the progress bar
//   timer        1 when timer 1 still existed on the dialog after the call
//   visible      1 when the dialog was still visible after the call
//   banner       SetBanner's result after the call (1 once the user cancelled)
//   ended        DownloadWorkerEnded after the call
#include <windows.h>
#include <commctrl.h>
#include <urlmon.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "config/wizard_choices.h"
#include "download/bind_status_callback.h"
#include "download/download_to_cache.h"
#include "res/resource.h"
#include "wizard/progress_window.h"

namespace {

DWORD HostStart = 0;

void Report(const char* format, ...) {
    char line[1200];
    va_list args;
    va_start(args, format);
    vsnprintf(line, sizeof line, format, args);
    va_end(args);
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), line, static_cast<DWORD>(strlen(line)), &written,
              nullptr);
    FlushFileBuffers(GetStdHandle(STD_OUTPUT_HANDLE));
}

struct HostOptions {
    bool createWindow = true;
    bool leftoverEnd = false;
    bool bare = false;
    WORD langId = 1033;
    const char* title = "Corvane";
    const char* url = nullptr;
};

bool ParseOptions(int argc, char** argv, HostOptions& options) {
    for (int i = 1; i < argc; ++i) {
        if (strcmp(argv[i], "--no-window") == 0) {
            options.createWindow = false;
        } else if (strcmp(argv[i], "--leftover-end") == 0) {
            options.leftoverEnd = true;
        } else if (strcmp(argv[i], "--bare") == 0) {
            options.bare = true;
        } else if (strcmp(argv[i], "--lang") == 0 && i + 1 < argc) {
            options.langId = static_cast<WORD>(strtoul(argv[++i], nullptr, 10));
        } else if (strcmp(argv[i], "--title") == 0 && i + 1 < argc) {
            options.title = argv[++i];
        } else if (options.url == nullptr && argv[i][0] != '-') {
            options.url = argv[i];
        } else {
            return false;
        }
    }
    return options.url != nullptr;
}

void ReportWindowState(CProgressWindow& window, HWND dialog) {
    HWND bar = GetDlgItem(dialog, IDC_PROGRESS_BAR);
    PBRANGE range = {};
    SendMessageA(bar, PBM_GETRANGE, FALSE, reinterpret_cast<LPARAM>(&range));
    Report("bar %d %d %d\n", static_cast<int>(SendMessageA(bar, PBM_GETPOS, 0, 0)), range.iLow,
           range.iHigh);
    // KillTimer succeeds only for a timer that still exists.
    Report("timer %d\n", KillTimer(dialog, 1) ? 1 : 0);
    Report("visible %d\n", IsWindowVisible(dialog) ? 1 : 0);
    Report("banner %d\n", window.SetBanner("after the download"));
}

int DownloadBare(const char* url) {
    char cachedFile[MAX_PATH] = {};
    const DWORD started = GetTickCount();
    const HRESULT result = URLDownloadToCacheFileA(nullptr, url, cachedFile, MAX_PATH, 0, nullptr);
    Report("result 0x%08lX\n", static_cast<unsigned long>(result));
    Report("elapsed %lu\n", static_cast<unsigned long>(GetTickCount() - started));
    Report("file %s\n", cachedFile);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    HostStart = GetTickCount();
    HostOptions options;
    if (!ParseOptions(argc, argv, options)) {
        Report("usage: downloadhost [--no-window] [--leftover-end] [--bare] [--lang <id>] "
               "[--title <text>] <url>\n");
        return 2;
    }
    if (options.bare) return DownloadBare(options.url);
    HINSTANCE module = GetModuleHandleA(nullptr);
    // The wizard pages set these in the setup program.
    WizardChoices.moduleInstance = module;
    WizardChoices.langId = options.langId;

    CProgressWindow window;
    bool created = false;
    if (options.createWindow) {
        created = window.Create(module, nullptr, options.title);
        window.SetBanner("Downloading the test package");
        window.SetActionText(options.url);
    }
    Report("created %d\n", created ? 1 : 0);
    if (created && options.leftoverEnd) PostMessageA(ProgressDialogHandle, WM_USER, 0, 0);

    char cachedFile[MAX_PATH] = {};
    CDownloadBindStatusCallback callback(&window);
    const DWORD started = GetTickCount();
    Report("started %lu\n", static_cast<unsigned long>(started - HostStart));
    const HRESULT result = DownloadToCache(options.url, cachedFile, MAX_PATH, &callback);
    const DWORD elapsed = GetTickCount() - started;

    Report("result 0x%08lX\n", static_cast<unsigned long>(result));
    Report("elapsed %lu\n", static_cast<unsigned long>(elapsed));
    Report("cancelled %d\n", window.IsCancelled() ? 1 : 0);
    Report("file %s\n", cachedFile);
    Report("ended %ld\n", static_cast<long>(DownloadWorkerEnded));
    if (created) ReportWindowState(window, ProgressDialogHandle);
    window.Destroy();
    return 0;
}
