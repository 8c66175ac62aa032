// The process-wide choices of the wizard: UI language, edition, download link,
// download-only mode and save path.
#pragma once

#include <windows.h>

struct WizardChoicesRecord {
    WORD langId;              // 0 until a language is chosen
    const char* langName;     // English name of the chosen row of the language table
    const char* langCode;     // code of the chosen row
    bool languageFixed;       // CV_LANGUAGE fixes the language; the list is hidden
    const char* skuId;        // edition id; null until read or chosen
    const char* skuName;      // edition short name, may stay null
    const char* skuText;      // edition display text
    bool showEditionChoice;   // the edition page shows its two radio buttons
    int linkChoice;           // 1 selects STD_FILE_PATH_1, 0 selects STD_FILE_PATH_2
    int downloadOnly;         // the download page's mode
    char savePath[MAX_PATH];  // where a download-only run saves the package
    HINSTANCE moduleInstance; // set by each wizard page's initialisation
};

extern WizardChoicesRecord WizardChoices;
