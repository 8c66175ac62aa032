#include "support/messages.h"

#include <memory>
#include <new>

#include "config/wizard_choices.h"
#include "res/resource.h"
#include "support/bounded_text.h"
#include "support/unique_resource.h"

namespace {

// Loads a string-table text; a missing text leaves the buffer empty.
void LoadMessage(HINSTANCE module, UINT id, char (&buffer)[kMessageBufferChars]) {
    buffer[0] = '\0';
    if (LoadStringA(module, id, buffer, kMessageBufferChars) <= 0) buffer[0] = '\0';
}

void ShowLoaded(HINSTANCE module, HWND owner, const char* caption, UINT id, UINT style) {
    char text[kMessageBufferChars];
    LoadMessage(module, id, text);
    ShowMessageBox(owner, text, caption, style);
}

// Reads one entry of a string-table block in exactly the chosen language and
// returns it as a terminated UTF-16 text, or null when it is absent or empty.
std::unique_ptr<wchar_t[]> LoadLocalizedText(HINSTANCE module, UINT id, WORD language) {
    if (id == 0) return nullptr;
    HRSRC block = FindResourceExA(module, reinterpret_cast<LPCSTR>(RT_STRING),
                                  MAKEINTRESOURCEA(id / 16 + 1), language);
    if (block == nullptr) return nullptr;
    const DWORD blockBytes = SizeofResource(module, block);
    HGLOBAL loaded = LoadResource(module, block);
    if (loaded == nullptr) return nullptr;
    const WCHAR* entry = static_cast<const WCHAR*>(LockResource(loaded));
    if (entry == nullptr) return nullptr;
    // The block's own size bounds every step, so a damaged table cannot make
    // the walk read past the resource.
    const WCHAR* const end = entry + blockBytes / sizeof(WCHAR);
    for (UINT skip = id % 16; skip > 0; --skip) {
        if (entry >= end) return nullptr;
        entry += 1 + *entry;
    }
    if (entry >= end) return nullptr;
    const size_t count = *entry;
    if (count == 0 || count > static_cast<size_t>(end - entry - 1)) return nullptr;
    std::unique_ptr<wchar_t[]> text(new (std::nothrow) wchar_t[count + 1]);
    if (!text) return nullptr;
    for (size_t i = 0; i < count; ++i) text[i] = entry[1 + i];
    text[count] = L'\0';
    return text;
}

bool IsSilentInstallerResult(uint32_t code) {
    switch (code) {
        case ERROR_APPHELP_BLOCK:            // 1259
        case ERROR_INSTALL_USEREXIT:         // 1602
        case ERROR_INSTALL_FAILURE:          // 1603
        case ERROR_INSTALL_SUSPEND:          // 1604
        case ERROR_SUCCESS_REBOOT_INITIATED: // 1641
        case ERROR_SUCCESS_REBOOT_REQUIRED:  // 3010
            return true;
        default:
            return false;
    }
}

}  // namespace

int ShowMessageBox(HWND owner, const char* text, const char* caption, UINT style) {
    MSGBOXPARAMSA params = {};
    params.cbSize = sizeof params;
    params.hwndOwner = owner;
    params.lpszText = text;
    params.lpszCaption = caption;
    params.dwStyle = style;
    params.dwLanguageId = WizardChoices.langId;
    return MessageBoxIndirectA(&params);
}

int AskLocalized(HWND owner, UINT textId, UINT captionId, UINT style, HINSTANCE module) {
    const WORD language = WizardChoices.langId;
    std::unique_ptr<wchar_t[]> caption = LoadLocalizedText(module, captionId, language);
    std::unique_ptr<wchar_t[]> text = LoadLocalizedText(module, textId, language);
    MSGBOXPARAMSW params = {};
    params.cbSize = sizeof params;
    params.hwndOwner = owner;
    params.lpszText = text ? text.get() : L"";
    params.lpszCaption = caption.get();
    params.dwStyle = style;
    params.dwLanguageId = language;
    return MessageBoxIndirectW(&params);
}

void ReportStringError(HINSTANCE module, HWND owner, const char* caption, UINT messageId) {
    ShowLoaded(module, owner, caption, messageId, kStyleError);
}

void ReportOutOfMemory(HINSTANCE module, HWND owner, const char* caption) {
    ShowLoaded(module, owner, caption, IDS_OUT_OF_MEMORY, kStyleError);
}

void ShowUsage(HINSTANCE module, HWND owner, const char* caption) {
    ShowLoaded(module, owner, caption, IDS_USAGE, kStyleInformation);
}

void ReportMissingEntry(HINSTANCE module, HWND owner, const char* caption, const char* entryName) {
    char format[kMessageBufferChars];
    char text[kMessageBufferChars] = {};
    LoadMessage(module, IDS_MISSING_ENTRY, format);
    BoundedFormat(text, sizeof text, format, entryName ? entryName : "");
    ShowMessageBox(owner, text, caption, kStyleWarning);
}

void ReportFormatted(HINSTANCE module, HWND owner, const char* caption, UINT messageId,
                     const char* value, int32_t number) {
    char format[kMessageBufferChars];
    char text[kMessageBufferChars] = {};
    LoadMessage(module, messageId, format);
    BoundedFormat(text, sizeof text, format, value ? value : "", number);
    ShowMessageBox(owner, text, caption, kStyleError);
}

void ReportNumber(HINSTANCE module, HWND owner, const char* caption, UINT messageId, int32_t number) {
    char format[kMessageBufferChars];
    char text[kMessageBufferChars] = {};
    LoadMessage(module, messageId, format);
    BoundedFormat(text, sizeof text, format, number);
    ShowMessageBox(owner, text, caption, kStyleError);
}

void ReportWithInsert(HINSTANCE module, HWND owner, const char* caption, UINT messageId,
                      const char* insert) {
    char format[kMessageBufferChars];
    LoadMessage(module, messageId, format);
    DWORD_PTR arguments[1] = {reinterpret_cast<DWORD_PTR>(insert ? insert : "")};
    char* formatted = nullptr;
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_ARGUMENT_ARRAY,
        format, 0, 0, reinterpret_cast<LPSTR>(&formatted), 0,
        reinterpret_cast<va_list*>(arguments));
    UniqueLocal result(formatted);
    if (length == 0 || !result) {
        ReportOutOfMemory(module, owner, caption);
        return;
    }
    ShowMessageBox(owner, formatted, caption, kStyleError);
}

void ReportInstallerError(HINSTANCE module, HMODULE installerModule, HWND owner,
                          const char* caption, uint32_t resultCode) {
    if (IsSilentInstallerResult(resultCode)) return;
    if (resultCode == ERROR_FILE_NOT_FOUND || resultCode == ERROR_PATH_NOT_FOUND ||
        resultCode == ERROR_INVALID_NAME) {
        resultCode = ERROR_INSTALL_PACKAGE_OPEN_FAILED;  // 1619
    }
    char text[kMessageBufferChars] = {};
    if (installerModule != nullptr &&
        LoadStringA(installerModule, resultCode, text, kMessageBufferChars) > 0) {
        ShowMessageBox(owner, text, caption, kStyleError);
        return;
    }
    ReportNumber(module, owner, caption, IDS_INSTALLER_ERROR, static_cast<int32_t>(resultCode));
}

void NotifyCancelled(HINSTANCE, HWND, const char*) {
    // A cancellation by the user is never reported.
}
