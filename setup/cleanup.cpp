#include <windows.h>
#include <wininet.h>

#include "setup/setup_run.h"

void ReleaseRunResources(SetupRun& run) {
    if (run.cachedFile) {
        // The cache entry is found by the file's original path.
        DeleteUrlCacheEntry(run.cachedFile.get());
        run.cachedFile.reset();
    }
    run.mutex.reset();
    run.installerModule.reset();
}
