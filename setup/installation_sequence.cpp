#include "res/resource.h"
#include "setup/setup_run.h"

void RunInstallation(SetupRun& run) {
    // The wizard, download and hand-off are not part of this build yet; say so
    // rather than end as if something had been installed.
    ReportStringError(run.module, nullptr, run.title, IDS_INTERNAL_ERROR);
    run.exitCode = ERROR_INSTALL_FAILURE;
}
