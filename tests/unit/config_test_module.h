// A module of configuration entries made for one test: a copy of this test
// program whose resources are replaced by the entries the test adds, loaded
// as a data file. Lets a test hold entries that the delivered configuration
// must never have (cycles, long values, unterminated data).
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "config/wizard_choices.h"

class ConfigTestModule {
public:
    ConfigTestModule() {
        wchar_t self[MAX_PATH] = {};
        GetModuleFileNameW(nullptr, self, MAX_PATH);
        wchar_t folder[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, folder);
        wchar_t file[MAX_PATH] = {};
        GetTempFileNameW(folder, L"cfg", 0, file);
        path_ = file;
        ok_ = CopyFileW(self, path_.c_str(), FALSE) != FALSE;
        update_ = ok_ ? BeginUpdateResourceW(path_.c_str(), TRUE) : nullptr;
        ok_ = update_ != nullptr;
    }
    ~ConfigTestModule() {
        if (update_ != nullptr) EndUpdateResourceW(update_, TRUE);
        if (module_ != nullptr) FreeLibrary(module_);
        DeleteFileW(path_.c_str());
    }
    ConfigTestModule(const ConfigTestModule&) = delete;
    ConfigTestModule& operator=(const ConfigTestModule&) = delete;

    // Raw data exactly as given (no terminator added).
    void AddRaw(const char* name, WORD language, const void* data, DWORD bytes) {
        const std::wstring wide(name, name + strlen(name));
        ok_ = ok_ && UpdateResourceW(update_, MAKEINTRESOURCEW(40), wide.c_str(), language,
                                     const_cast<void*>(data), bytes) != FALSE;
    }
    // A value the way the delivered entries store it: UTF-16 with its NUL.
    void Add(const char* name, const std::wstring& value, WORD language = 1033) {
        AddRaw(name, language, value.c_str(), static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    }
    void Add(const char* name, const std::string& ascii, WORD language = 1033) {
        Add(name, std::wstring(ascii.begin(), ascii.end()), language);
    }

    // Writes the entries and loads the module; null when anything failed.
    HINSTANCE Load() {
        if (!ok_) return nullptr;
        ok_ = EndUpdateResourceW(update_, FALSE) != FALSE;
        update_ = nullptr;
        if (ok_) module_ = LoadLibraryExW(path_.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
        return module_;
    }

private:
    std::wstring path_;
    HANDLE update_ = nullptr;
    HMODULE module_ = nullptr;
    bool ok_ = false;
};

// Keeps the process-wide choices and the thread locale of one test from
// leaking into the next.
class WizardChoicesScope {
public:
    WizardChoicesScope() : saved_(WizardChoices), locale_(GetThreadLocale()) {}
    ~WizardChoicesScope() {
        WizardChoices = saved_;
        SetThreadLocale(locale_);
    }
    WizardChoicesScope(const WizardChoicesScope&) = delete;
    WizardChoicesScope& operator=(const WizardChoicesScope&) = delete;

private:
    WizardChoicesRecord saved_;
    LCID locale_;
};

// The ANSI form of a UTF-16 text, as the lookups convert it.
inline std::string Ansi(const std::wstring& text) {
    if (text.empty()) return std::string();
    const int size = WideCharToMultiByte(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
    std::string converted(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()), &converted[0], size,
                        nullptr, nullptr);
    return converted;
}
