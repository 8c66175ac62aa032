// Message boxes whose texts come from the program's string table.
#pragma once

#include <windows.h>

#include <cstdint>

// Message-box styles used by the program.
constexpr UINT kStyleError = MB_OK | MB_ICONERROR;            // 16
constexpr UINT kStyleWarning = MB_OK | MB_ICONWARNING;        // 48
constexpr UINT kStyleInformation = MB_OK | MB_ICONINFORMATION;  // 64
constexpr UINT kStyleQuestion = MB_YESNO | MB_ICONQUESTION;   // 36

// Size of every message buffer, terminator included.
constexpr int kMessageBufferChars = 1024;

int ShowMessageBox(HWND owner, const char* text, const char* caption, UINT style);
int AskLocalized(HWND owner, UINT textId, UINT captionId, UINT style, HINSTANCE module);

void ReportStringError(HINSTANCE module, HWND owner, const char* caption, UINT messageId);
void ReportMissingEntry(HINSTANCE module, HWND owner, const char* caption, const char* entryName);
void ReportFormatted(HINSTANCE module, HWND owner, const char* caption, UINT messageId,
                     const char* text, int32_t number);
void ReportNumber(HINSTANCE module, HWND owner, const char* caption, UINT messageId, int32_t number);
void ReportWithInsert(HINSTANCE module, HWND owner, const char* caption, UINT messageId,
                      const char* insert);
void ReportOutOfMemory(HINSTANCE module, HWND owner, const char* caption);
void ShowUsage(HINSTANCE module, HWND owner, const char* caption);
void ReportInstallerError(HINSTANCE module, HMODULE installerModule, HWND owner,
                          const char* caption, uint32_t resultCode);
void NotifyCancelled(HINSTANCE module, HWND owner, const char* caption);
