// The edition: read from CV_SKU, or chosen with the edition page's two radio
// buttons.
#pragma once

#include <windows.h>

// Radio buttons of the edition page and the link choice each one stands for.
constexpr int kSuiteEditionLink = 1;  // button 103, STD_FILE_PATH_1
constexpr int kFreeEditionLink = 0;   // button 111, STD_FILE_PATH_2

// A CV_SKU of exactly "0" or "6" lets the user choose the edition: the run
// shows the edition page, and the page its two radio buttons.
bool OffersEditionChoice(const char* sku);

// For the edition page's first initialisation, while WizardChoices.skuId is
// null. CV_SKU "0" or "6" asks for the radio buttons; any other value becomes
// the edition, with CV_SKU_NAME as its short name.
void InitEditionChoice(HINSTANCE module);

// Applies the edition of link kSuiteEditionLink or kFreeEditionLink; any other
// link counts as the suite offer.
void ChooseEdition(int link);
