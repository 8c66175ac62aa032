// Texts of the wizard pages, read from configuration entries.
#pragma once

#include <windows.h>

struct PageText {
    int controlId;
    const char* entryName;
};

// Sets each control's text to its entry's value in the chosen language, or to
// the entry's own name when the entry cannot be read, so that a missing text
// shows which entry is missing instead of a blank control.
void SetPageTexts(HINSTANCE module, HWND dialog, const PageText* texts, int count);

// Moves the dialog to the middle of the work area; when that cannot be
// computed it stays where its template put it.
void CenterDialog(HWND dialog);
