#include "wizard/page_text.h"

#include <memory>

#include "config/config_lookup.h"
#include "wizard/center_window.h"

void SetPageTexts(HINSTANCE module, HWND dialog, const PageText* texts, int count) {
    for (int i = 0; i < count; ++i) {
        char* value = nullptr;
        DWORD size = 0;
        if (LoadConfigString(module, texts[i].entryName, &value, &size) != ERROR_SUCCESS) {
            SetDlgItemTextA(dialog, texts[i].controlId, texts[i].entryName);
            continue;
        }
        std::unique_ptr<char[]> owned(value);
        SetDlgItemTextA(dialog, texts[i].controlId, value);
    }
}

void CenterDialog(HWND dialog) {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    if (CenterWindow(dialog, &x, &y, &width, &height)) MoveWindow(dialog, x, y, width, height, TRUE);
}
