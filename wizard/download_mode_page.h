// The download mode and location page (dialog 1102): download and install at
// once, or only download to a file the user picks.
#pragma once

#include <windows.h>

// Run with DialogBoxParamA, the module instance as initialisation parameter.
// Ends with IDC_DOWNLOAD_BACK (206), IDC_DOWNLOAD_NEXT (207) or
// IDC_DOWNLOAD_CANCEL (208) only.
INT_PTR CALLBACK DownloadModePageProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Applies the recorded mode, the texts and the state of Next.
void SetDownloadModePageTexts(HWND dialog);

// True when the location field was empty; writes WizardChoices.savePath into it.
bool RefreshLocation(HWND dialog);

// The Browse command: asks for the file with the Save As dialog.
void BrowseForSavePath(HWND dialog);
