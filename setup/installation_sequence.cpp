#include <memory>

#include "config/config_lookup.h"
#include "config/edition_choice.h"
#include "res/resource.h"
#include "setup/setup_run.h"
#include "wizard/download_mode_page.h"
#include "wizard/edition_language_page.h"

namespace {

// Only a configuration that offers the edition choice has an edition page;
// a failed read, whatever its reason, means no edition page.
bool HasEditionPage(HINSTANCE module) {
    char* sku = nullptr;
    DWORD size = 0;
    if (LoadConfigString(module, "CV_SKU", &sku, &size) != ERROR_SUCCESS) return false;
    std::unique_ptr<char[]> owned(sku);
    return OffersEditionChoice(sku);
}

INT_PTR RunPage(HINSTANCE module, int templateId, DLGPROC procedure) {
    return DialogBoxParamA(module, MAKEINTRESOURCEA(templateId), nullptr, procedure,
                           reinterpret_cast<LPARAM>(module));
}

// True when the user went on with Next; Cancel, or a page that could not be
// shown, ends the run quietly.
bool RunWizard(HINSTANCE module) {
    const bool editionPage = HasEditionPage(module);
    for (;;) {
        if (editionPage &&
            RunPage(module, IDD_EDITION_LANGUAGE_PAGE, EditionLanguagePageProc) != IDC_EDITION_NEXT) {
            return false;
        }
        const INT_PTR result = RunPage(module, IDD_DOWNLOAD_MODE_PAGE, DownloadModePageProc);
        // Back returns to the edition page, or shows this page again.
        if (result == IDC_DOWNLOAD_BACK) continue;
        return result == IDC_DOWNLOAD_NEXT;
    }
}

}  // namespace

void RunInstallation(SetupRun& run) {
    if (!RunWizard(run.module)) return;

    // The download and hand-off are not part of this build yet; say so rather
    // than end as if something had been installed.
    ReportStringError(run.module, nullptr, run.title, IDS_INTERNAL_ERROR);
    run.exitCode = ERROR_INSTALL_FAILURE;
}
