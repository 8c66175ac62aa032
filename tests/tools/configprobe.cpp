// configprobe: runs the configuration lookups and the language and edition
// choices of the setup program in a console program, so that a test can drive
// them with a chosen language, locale, environment and set of entries.
//
//   configprobe.exe [options] [NAME...]
//     --module PATH       read the entries of PATH (loaded as a data file), e.g.
//                         a variant of CorvaneSetup.exe; default: this program,
//                         which carries the product resources
//     --lang ID           set the chosen UI language id before anything else
//     --init-language     choose the language as the first wizard page does
//     --init-edition      read the edition as the edition page does
//     --choose-edition N  apply radio button N (1 suite offer, 0 free edition)
//     --size N            value buffer size for the lookups (0: the default)
//     --out FILE          write the report there instead of to stdout
//
// The report has one "key=value" line per state field (langId, langCode,
// langName, languageFixed, threadLocale, userDefaultLangId, skuId, skuName,
// skuText, showEditionChoice, linkChoice, acp), then one line per NAME:
// "entry NAME RESULT HEX" with the value's ANSI bytes in hexadecimal.
// Exit code: 0, or 2 for bad usage.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "config/config_lookup.h"
#include "config/edition_choice.h"
#include "config/ui_language.h"
#include "config/wizard_choices.h"

namespace {

std::string Hex(const char* bytes) {
    static const char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(bytes); *p; ++p) {
        hex += kDigits[*p >> 4];
        hex += kDigits[*p & 15];
    }
    return hex;
}

std::string Field(const char* key, const char* value) {
    return std::string(key) + "=" + (value ? value : "(null)") + "\n";
}

std::string Field(const char* key, unsigned long value, bool hex = false) {
    char text[32];
    std::snprintf(text, sizeof text, hex ? "0x%lx" : "%lu", value);
    return Field(key, text);
}

}  // namespace

int main(int argc, char** argv) {
    HINSTANCE module = GetModuleHandleA(nullptr);
    DWORD size = 0;
    const char* outPath = nullptr;
    bool initLanguage = false, initEdition = false;
    int chooseEdition = -1;
    int first = 1;
    for (; first < argc && std::strncmp(argv[first], "--", 2) == 0; ++first) {
        const std::string option = argv[first];
        const bool hasValue = first + 1 < argc;
        if (option == "--module" && hasValue) {
            module = LoadLibraryExA(argv[++first], nullptr, LOAD_LIBRARY_AS_DATAFILE);
            if (module == nullptr) {
                std::fprintf(stderr, "configprobe: cannot load %s (%lu)\n", argv[first], GetLastError());
                return 2;
            }
        } else if (option == "--lang" && hasValue) {
            WizardChoices.langId = static_cast<WORD>(std::strtoul(argv[++first], nullptr, 0));
        } else if (option == "--size" && hasValue) {
            size = std::strtoul(argv[++first], nullptr, 0);
        } else if (option == "--out" && hasValue) {
            outPath = argv[++first];
        } else if (option == "--choose-edition" && hasValue) {
            chooseEdition = std::atoi(argv[++first]);
        } else if (option == "--init-language") {
            initLanguage = true;
        } else if (option == "--init-edition") {
            initEdition = true;
        } else {
            std::fprintf(stderr, "configprobe: bad option %s\n", option.c_str());
            return 2;
        }
    }

    if (initLanguage) InitUiLanguage(module);
    if (initEdition) InitEditionChoice(module);
    if (chooseEdition >= 0) ChooseEdition(chooseEdition);

    std::string report;
    report += Field("langId", WizardChoices.langId);
    report += Field("langCode", WizardChoices.langCode);
    report += Field("langName", WizardChoices.langName);
    report += Field("languageFixed", WizardChoices.languageFixed ? 1ul : 0ul);
    report += Field("threadLocale", GetThreadLocale(), true);
    report += Field("userDefaultLangId", GetUserDefaultLangID(), true);
    report += Field("skuId", WizardChoices.skuId);
    report += Field("skuName", WizardChoices.skuName);
    report += Field("skuText", WizardChoices.skuText);
    report += Field("showEditionChoice", WizardChoices.showEditionChoice ? 1ul : 0ul);
    report += Field("linkChoice", static_cast<unsigned long>(WizardChoices.linkChoice));
    report += Field("acp", GetACP());
    for (int i = first; i < argc; ++i) {
        char* value = nullptr;
        DWORD valueSize = size;
        const DWORD result = LoadConfigString(module, argv[i], &value, &valueSize);
        std::unique_ptr<char[]> owned(value);
        report += std::string("entry ") + argv[i] + " " + std::to_string(result) + " " +
                  (value ? Hex(value) : std::string()) + "\n";
    }

    FILE* out = outPath ? std::fopen(outPath, "wb") : stdout;
    if (out == nullptr) return 2;
    std::fwrite(report.data(), 1, report.size(), out);
    if (outPath) std::fclose(out);
    return 0;
}
