#include "config/edition_choice.h"

#include <cstring>
#include <memory>

#include "config/config_lookup.h"
#include "config/wizard_choices.h"

namespace {

struct Edition {
    int linkChoice;
    const char* skuId;
    const char* skuName;
    const char* skuText;
};

const Edition SuiteEdition = {kSuiteEditionLink, "0", "Security",
                              "Corvane Free with Corvane Harbor Suite (no cost)"};
const Edition FreeEdition = {kFreeEditionLink, "0", "Free", "Corvane Free only"};

}  // namespace

bool OffersEditionChoice(const char* sku) {
    return sku != nullptr && (std::strcmp(sku, "0") == 0 || std::strcmp(sku, "6") == 0);
}

void InitEditionChoice(HINSTANCE module) {
    char* sku = nullptr;
    DWORD size = 0;
    if (LoadConfigString(module, "CV_SKU", &sku, &size) != ERROR_SUCCESS) return;
    std::unique_ptr<char[]> owned(sku);
    if (OffersEditionChoice(sku)) {
        WizardChoices.showEditionChoice = true;
        return;
    }
    WizardChoices.showEditionChoice = false;
    // Both values are read by the macros for the rest of the process.
    WizardChoices.skuId = owned.release();
    char* name = nullptr;
    size = 0;
    if (LoadConfigString(module, "CV_SKU_NAME", &name, &size) == ERROR_SUCCESS) {
        WizardChoices.skuName = name;
    }
}

void ChooseEdition(int link) {
    const Edition& edition = link == kFreeEditionLink ? FreeEdition : SuiteEdition;
    WizardChoices.linkChoice = edition.linkChoice;
    WizardChoices.skuId = edition.skuId;
    WizardChoices.skuName = edition.skuName;
    WizardChoices.skuText = edition.skuText;
}
