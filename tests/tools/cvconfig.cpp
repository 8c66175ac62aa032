// cvconfig: lists, sets and removes the configuration entries (string
// resources of type 40) of a built setup program. Release engineers use it to
// make a variant of a build; the tests use it to make the variants they need.
//
// The input is never modified: set and remove write a new executable. An
// executable that already carries an Authenticode signature is refused,
// because changing a resource breaks the signature; entries are changed
// first and the result is signed last.
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <string>
#include <vector>

#include "support/system_library.h"
#include "support/unique_resource.h"

namespace {

constexpr WORD kConfigEntryType = 40;

// Exit codes, stable for scripts.
enum ExitCode : int {
    kExitOk = 0,
    kExitUsage = 1,        // unknown command or wrong number of arguments
    kExitBadArgument = 2,  // bad language, bad entry name, output equals input
    kExitBadInput = 3,     // input missing, unreadable or not an executable
    kExitNoSuchEntry = 4,  // remove: the entry does not exist
    kExitWriteFailed = 5,  // the output could not be written
    kExitSignedInput = 6,  // the input is signed
};

const char kUsage[] =
    "usage:\n"
    "  cvconfig list <exe>\n"
    "      one line per entry: NAME <tab> LANGUAGE <tab> VALUE, the value in\n"
    "      UTF-8 with \\\\ \\t \\n \\r and \\xNN for other control characters\n"
    "  cvconfig set <in.exe> <out.exe> <NAME> <LANGUAGE> <VALUE>\n"
    "      writes a copy of in.exe whose entry NAME in LANGUAGE holds VALUE\n"
    "      (added or replaced; taken literally, stored as UTF-16 with a NUL;\n"
    "      under Wine run it in an installed UTF-8 locale, e.g. LC_ALL=C.UTF-8,\n"
    "      or non-ASCII characters of the value arrive changed)\n"
    "  cvconfig remove <in.exe> <out.exe> <NAME> <LANGUAGE>\n"
    "      writes a copy of in.exe without that entry\n"
    "\n"
    "LANGUAGE is a language id, decimal (1036) or hexadecimal (0x040C).\n"
    "NAME consists of letters, digits and '_' and is stored in upper case, as\n"
    "the resource compiler and the resource loader treat entry names.\n"
    "The input file is never changed. Change entries BEFORE signing: a signed\n"
    "input is refused, and the output must be signed afterwards.\n"
    "\n"
    "exit codes: 0 done, 1 usage, 2 bad argument, 3 bad input file,\n"
    "            4 no such entry, 5 output not written, 6 input is signed\n";

void WriteBytes(DWORD stdHandle, const char* bytes, size_t length) {
    HANDLE handle = GetStdHandle(stdHandle);
    while (length > 0 && handle != nullptr && handle != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        if (!WriteFile(handle, bytes, static_cast<DWORD>(length), &written, nullptr) || written == 0) return;
        bytes += written;
        length -= written;
    }
}

void WriteOut(const std::string& text) { WriteBytes(STD_OUTPUT_HANDLE, text.data(), text.size()); }
void WriteErr(const std::string& text) { WriteBytes(STD_ERROR_HANDLE, text.data(), text.size()); }

std::string ToUtf8(const wchar_t* text, size_t length) {
    if (length == 0) return std::string();
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
    if (size <= 0) return std::string();
    std::string result(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), &result[0], size, nullptr, nullptr);
    return result;
}

std::string ToUtf8(const std::wstring& text) { return ToUtf8(text.c_str(), text.size()); }

// Reports an error on stderr and yields its exit code.
int Fail(int code, const std::string& message) {
    WriteErr("cvconfig: " + message + "\n");
    return code;
}

std::string DescribeLastError() {
    const DWORD error = GetLastError();
    char number[32];
    std::snprintf(number, sizeof number, "error %lu", static_cast<unsigned long>(error));
    return number;
}

// One line of the listing must stay one line and keep its tabs apart from
// the column separators.
std::string EscapeValue(const std::string& utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (unsigned char c : utf8) {
        switch (c) {
        case '\\': out += "\\\\"; break;
        case '\t': out += "\\t"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        default:
            if (c < 0x20 || c == 0x7F) {
                char hex[8];
                std::snprintf(hex, sizeof hex, "\\x%02X", c);
                out += hex;
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    return out;
}

bool ParseLanguage(const std::wstring& text, WORD* language) {
    if (text.empty() || text.size() > 8) return false;
    unsigned long value = 0;
    size_t position = 0;
    int base = 10;
    if (text.size() > 2 && text[0] == L'0' && (text[1] == L'x' || text[1] == L'X')) {
        base = 16;
        position = 2;
    }
    for (; position < text.size(); ++position) {
        const wchar_t c = text[position];
        int digit = -1;
        if (c >= L'0' && c <= L'9') digit = c - L'0';
        else if (base == 16 && c >= L'a' && c <= L'f') digit = c - L'a' + 10;
        else if (base == 16 && c >= L'A' && c <= L'F') digit = c - L'A' + 10;
        if (digit < 0) return false;
        value = value * base + static_cast<unsigned long>(digit);
        if (value > 0xFFFF) return false;
    }
    *language = static_cast<WORD>(value);
    return true;
}

// Entry names are identifiers. The loader upper-cases the name it is asked
// for, so an entry stored in lower case could never be found; store every
// name the way it will be asked for.
bool NormaliseName(const std::wstring& text, std::wstring* name) {
    if (text.empty() || text.size() > 256) return false;
    name->clear();
    for (wchar_t c : text) {
        if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - L'a' + L'A');
        const bool allowed = (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9') || c == L'_';
        if (!allowed) return false;
        name->push_back(c);
    }
    return true;
}

bool ReadWholeFile(const std::wstring& path, std::vector<unsigned char>* bytes) {
    UniqueHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.get() == INVALID_HANDLE_VALUE) {
        file.release();
        return false;
    }
    LARGE_INTEGER size = {};
    if (!GetFileSizeEx(file.get(), &size) || size.QuadPart > 512 * 1024 * 1024) return false;
    bytes->resize(static_cast<size_t>(size.QuadPart));
    size_t done = 0;
    while (done < bytes->size()) {
        DWORD read = 0;
        if (!ReadFile(file.get(), bytes->data() + done, static_cast<DWORD>(bytes->size() - done), &read, nullptr) ||
            read == 0) {
            return false;
        }
        done += read;
    }
    return true;
}

enum class PeKind { kNotPe, kUnsigned, kSigned };

PeKind InspectExecutable(const std::vector<unsigned char>& file) {
    auto read32 = [&file](size_t offset, DWORD* value) {
        if (offset + 4 > file.size()) return false;
        *value = file[offset] | (file[offset + 1] << 8) | (file[offset + 2] << 16) |
                 (static_cast<DWORD>(file[offset + 3]) << 24);
        return true;
    };
    if (file.size() < 0x40 || file[0] != 'M' || file[1] != 'Z') return PeKind::kNotPe;
    DWORD peOffset = 0, signature = 0;
    if (!read32(0x3C, &peOffset) || !read32(peOffset, &signature) || signature != IMAGE_NT_SIGNATURE) {
        return PeKind::kNotPe;
    }
    const size_t optional = static_cast<size_t>(peOffset) + 4 + sizeof(IMAGE_FILE_HEADER);
    if (optional + 2 > file.size()) return PeKind::kNotPe;
    const unsigned magic = file[optional] | (file[optional + 1] << 8);
    size_t directories = 0;
    if (magic == IMAGE_NT_OPTIONAL_HDR32_MAGIC) directories = optional + 96;
    else if (magic == IMAGE_NT_OPTIONAL_HDR64_MAGIC) directories = optional + 112;
    else return PeKind::kNotPe;
    DWORD count = 0, certificates = 0, certificatesSize = 0;
    if (!read32(directories - 4, &count)) return PeKind::kNotPe;
    if (count <= IMAGE_DIRECTORY_ENTRY_SECURITY) return PeKind::kUnsigned;
    const size_t security = directories + IMAGE_DIRECTORY_ENTRY_SECURITY * 8;
    if (!read32(security, &certificates) || !read32(security + 4, &certificatesSize)) return PeKind::kNotPe;
    return certificates != 0 && certificatesSize != 0 ? PeKind::kSigned : PeKind::kUnsigned;
}

// Checks the input before anything is written; on failure the exit code.
int CheckInput(const std::wstring& path, bool willModify) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return Fail(kExitBadInput, "cannot find '" + ToUtf8(path) + "'");
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return Fail(kExitBadInput, "'" + ToUtf8(path) + "' is a folder");
    std::vector<unsigned char> bytes;
    if (!ReadWholeFile(path, &bytes)) {
        return Fail(kExitBadInput, "cannot read '" + ToUtf8(path) + "' (" + DescribeLastError() + ")");
    }
    const PeKind kind = InspectExecutable(bytes);
    if (kind == PeKind::kNotPe) return Fail(kExitBadInput, "'" + ToUtf8(path) + "' is not a Windows executable");
    if (willModify && kind == PeKind::kSigned) {
        return Fail(kExitSignedInput, "'" + ToUtf8(path) +
                                          "' is signed; change the entries of the unsigned build and sign "
                                          "the result afterwards");
    }
    return kExitOk;
}

// One resource of the executable; a numeric type or name is written "#n".
struct Resource {
    std::wstring type;
    std::wstring name;
    WORD language;
    std::vector<unsigned char> data;
};

struct Collection {
    std::vector<std::wstring> types;
    std::vector<std::wstring> names;
    std::vector<Resource> resources;
};

std::wstring IdText(LPCWSTR id) {
    if (IS_INTRESOURCE(id)) return L"#" + std::to_wstring(reinterpret_cast<ULONG_PTR>(id));
    return id;
}

LPCWSTR IdPointer(const std::wstring& text) {
    if (!text.empty() && text[0] == L'#') return MAKEINTRESOURCEW(_wtoi(text.c_str() + 1));
    return text.c_str();
}

const std::wstring kConfigTypeText = L"#" + std::to_wstring(kConfigEntryType);

BOOL CALLBACK CollectType(HMODULE, LPWSTR type, LONG_PTR context) {
    reinterpret_cast<Collection*>(context)->types.push_back(IdText(type));
    return TRUE;
}

BOOL CALLBACK CollectName(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR context) {
    reinterpret_cast<Collection*>(context)->names.push_back(IdText(name));
    return TRUE;
}

BOOL CALLBACK CollectLanguage(HMODULE module, LPCWSTR type, LPCWSTR name, WORD language, LONG_PTR context) {
    Resource resource{IdText(type), IdText(name), language, {}};
    HRSRC found = FindResourceExW(module, type, name, language);
    HGLOBAL loaded = found != nullptr ? LoadResource(module, found) : nullptr;
    const unsigned char* data = loaded != nullptr ? static_cast<const unsigned char*>(LockResource(loaded)) : nullptr;
    if (data != nullptr) resource.data.assign(data, data + SizeofResource(module, found));
    reinterpret_cast<Collection*>(context)->resources.push_back(resource);
    return TRUE;
}

// Reads every resource of the executable, or only those of one type; false
// when the file has no loadable resource section at all.
bool ReadResources(const std::wstring& path, const std::wstring* onlyType, std::vector<Resource>* resources) {
    UniqueLibrary module(LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    if (!module) return false;
    Collection collection;
    if (onlyType != nullptr) {
        collection.types.push_back(*onlyType);
    } else {
        EnumResourceTypesW(module.get(), CollectType, reinterpret_cast<LONG_PTR>(&collection));
    }
    for (const std::wstring& type : collection.types) {
        collection.names.clear();
        EnumResourceNamesW(module.get(), IdPointer(type), CollectName, reinterpret_cast<LONG_PTR>(&collection));
        for (const std::wstring& name : collection.names) {
            EnumResourceLanguagesW(module.get(), IdPointer(type), IdPointer(name), CollectLanguage,
                                   reinterpret_cast<LONG_PTR>(&collection));
        }
    }
    resources->swap(collection.resources);
    return true;
}

// The value is the text before the first NUL and never runs past the entry's
// data, terminated or not.
std::wstring EntryValue(const Resource& entry) {
    std::wstring value;
    for (size_t i = 0; i + 1 < entry.data.size(); i += 2) {
        const wchar_t unit = static_cast<wchar_t>(entry.data[i] | (entry.data[i + 1] << 8));
        if (unit == L'\0') break;
        value.push_back(unit);
    }
    return value;
}

bool IsEntry(const Resource& resource, const std::wstring& name, WORD language) {
    return resource.type == kConfigTypeText && resource.name == name && resource.language == language;
}

int List(const std::wstring& path) {
    const int checked = CheckInput(path, false);
    if (checked != kExitOk) return checked;
    std::vector<Resource> entries;
    if (!ReadResources(path, &kConfigTypeText, &entries)) {
        return Fail(kExitBadInput, "cannot read the resources of '" + ToUtf8(path) + "' (" + DescribeLastError() + ")");
    }
    std::string out;
    for (const Resource& entry : entries) {
        out += ToUtf8(entry.name) + "\t" + std::to_string(entry.language) + "\t" +
               EscapeValue(ToUtf8(EntryValue(entry))) + "\n";
    }
    WriteOut(out);
    return kExitOk;
}

bool SamePath(const std::wstring& a, const std::wstring& b) {
    wchar_t fullA[MAX_PATH * 4], fullB[MAX_PATH * 4];
    const DWORD lengthA = GetFullPathNameW(a.c_str(), MAX_PATH * 4, fullA, nullptr);
    const DWORD lengthB = GetFullPathNameW(b.c_str(), MAX_PATH * 4, fullB, nullptr);
    if (lengthA == 0 || lengthB == 0 || lengthA >= MAX_PATH * 4 || lengthB >= MAX_PATH * 4) return a == b;
    return CompareStringOrdinal(fullA, -1, fullB, -1, TRUE) == CSTR_EQUAL;
}

// Writes the output as a copy of the input whose resource section is built
// anew from the given resources. Rebuilding the whole section, rather than
// asking the platform to drop one resource in place, gives the same result
// on every platform implementation (Wine's UpdateResource ignores a
// removal). The output is deleted again if any step fails, so a failed run
// leaves no half-changed executable behind.
int WriteExecutable(const std::wstring& input, const std::wstring& output, const std::vector<Resource>& resources) {
    if (!CopyFileW(input.c_str(), output.c_str(), FALSE)) {
        return Fail(kExitWriteFailed, "cannot create '" + ToUtf8(output) + "' (" + DescribeLastError() + ")");
    }
    // A read-only input passes its attribute on to the copy.
    SetFileAttributesW(output.c_str(), FILE_ATTRIBUTE_NORMAL);
    HANDLE update = BeginUpdateResourceW(output.c_str(), TRUE);
    if (update == nullptr) {
        const std::string reason = DescribeLastError();
        DeleteFileW(output.c_str());
        return Fail(kExitWriteFailed, "cannot update '" + ToUtf8(output) + "' (" + reason + ")");
    }
    for (const Resource& resource : resources) {
        // A null pointer would ask for a removal; an empty resource is kept
        // as an empty resource.
        unsigned char none = 0;
        void* data = resource.data.empty() ? &none : const_cast<unsigned char*>(resource.data.data());
        if (!UpdateResourceW(update, IdPointer(resource.type), IdPointer(resource.name), resource.language, data,
                             static_cast<DWORD>(resource.data.size()))) {
            const std::string reason = DescribeLastError();
            EndUpdateResourceW(update, TRUE);
            DeleteFileW(output.c_str());
            return Fail(kExitWriteFailed, "cannot store resource " + ToUtf8(resource.name) + " (" + reason + ")");
        }
    }
    if (!EndUpdateResourceW(update, FALSE)) {
        const std::string reason = DescribeLastError();
        DeleteFileW(output.c_str());
        return Fail(kExitWriteFailed, "cannot write '" + ToUtf8(output) + "' (" + reason + ")");
    }
    return kExitOk;
}

int Change(const std::vector<std::wstring>& args, bool remove) {
    const std::wstring& input = args[2];
    const std::wstring& output = args[3];
    std::wstring name;
    WORD language = 0;
    if (!NormaliseName(args[4], &name)) {
        return Fail(kExitBadArgument, "bad entry name '" + ToUtf8(args[4]) +
                                          "': use 1 to 256 letters, digits and '_'");
    }
    if (!ParseLanguage(args[5], &language)) {
        return Fail(kExitBadArgument, "bad language '" + ToUtf8(args[5]) +
                                          "': give a language id such as 1033 or 0x0409");
    }
    if (SamePath(input, output)) {
        return Fail(kExitBadArgument, "the output must be a new file, not the input");
    }
    const int checked = CheckInput(input, true);
    if (checked != kExitOk) return checked;
    std::vector<Resource> resources;
    if (!ReadResources(input, nullptr, &resources)) {
        return Fail(kExitBadInput, "cannot read the resources of '" + ToUtf8(input) + "' (" + DescribeLastError() + ")");
    }
    std::vector<Resource> kept;
    bool found = false;
    for (Resource& resource : resources) {
        if (IsEntry(resource, name, language)) {
            found = true;
        } else {
            kept.push_back(std::move(resource));
        }
    }
    if (remove && !found) {
        return Fail(kExitNoSuchEntry, "'" + ToUtf8(input) + "' has no entry " + ToUtf8(name) + " in language " +
                                          std::to_string(language));
    }
    if (!remove) {
        const std::wstring& value = args[6];
        Resource entry{kConfigTypeText, name, language, {}};
        for (wchar_t unit : value) {
            entry.data.push_back(static_cast<unsigned char>(unit & 0xFF));
            entry.data.push_back(static_cast<unsigned char>((unit >> 8) & 0xFF));
        }
        entry.data.push_back(0);
        entry.data.push_back(0);
        kept.push_back(std::move(entry));
    }
    return WriteExecutable(input, output, kept);
}

bool ReadArguments(std::vector<std::wstring>* args) {
    // The wide command line keeps every character of a value whatever the
    // ANSI code page; shell32 is loaded from the system folder only.
    UniqueLibrary shell(LoadSystemLibrary("shell32.dll"));
    if (!shell) return false;
    using SplitFunction = LPWSTR*(WINAPI*)(LPCWSTR, int*);
    auto split = reinterpret_cast<SplitFunction>(
        reinterpret_cast<void*>(GetProcAddress(shell.get(), "CommandLineToArgvW")));
    if (split == nullptr) return false;
    int count = 0;
    LPWSTR* list = split(GetCommandLineW(), &count);
    if (list == nullptr) return false;
    UniqueLocal owner(reinterpret_cast<HLOCAL>(list));
    for (int i = 0; i < count; ++i) args->push_back(list[i]);
    return true;
}

}  // namespace

int main() {
    std::vector<std::wstring> args;
    if (!ReadArguments(&args)) return Fail(kExitUsage, "cannot read the command line");
    const std::wstring command = args.size() > 1 ? args[1] : std::wstring();
    if (command == L"list" && args.size() == 3) return List(args[2]);
    if (command == L"set" && args.size() == 7) return Change(args, false);
    if (command == L"remove" && args.size() == 6) return Change(args, true);
    if (command == L"help" || command == L"-h" || command == L"--help" || command == L"/?") {
        WriteOut(kUsage);
        return kExitOk;
    }
    if (command == L"list" || command == L"set" || command == L"remove") {
        WriteErr("cvconfig: wrong number of arguments for '" + ToUtf8(command) + "'\n");
    } else if (!command.empty()) {
        WriteErr("cvconfig: unknown command '" + ToUtf8(command) + "'\n");
    }
    WriteErr(kUsage);
    return kExitUsage;
}
