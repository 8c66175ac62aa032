// The edition and language page (dialog 1101): the suite offer or the free
// edition, and the UI language unless the configuration fixes it.
#pragma once

#include <windows.h>

// Run with DialogBoxParamA, the module instance as initialisation parameter.
// Ends with IDC_EDITION_NEXT (109) or IDC_EDITION_CANCEL (110) only.
INT_PTR CALLBACK EditionLanguagePageProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Sets the font again, hides Back, posts the preselection of the edition and
// reads the ten texts in the current language.
void SetEditionLanguagePageTexts(HINSTANCE module, HWND dialog);

// Adds one language to the list, shown by the value of the entry named after
// it (englishName) or by the English name itself.
void AddLanguageItem(HINSTANCE module, HWND list, const char* englishName);
