// harnessprobe: a program with known behaviour for testing the test tools
// themselves (tracerun and windriver), so that a fault in them shows as a
// failure of their own tests rather than as a puzzling product failure.
//
//   harnessprobe.exe exit CODE     ends with CODE (any 32-bit value)
//   harnessprobe.exe echo ...      writes its command line, ANSI code page and
//                                  %HARNESSPROBE_VALUE% as UTF-8 lines into
//                                  the file %HARNESSPROBE_OUT%
//   harnessprobe.exe debug         sends a fixed set of debug-output texts
//   harnessprobe.exe crash         dies of an access violation
//   harnessprobe.exe handled       raises an exception that its own handler
//                                  takes; ends with 0 only if it did
//   harnessprobe.exe sleep MS      sleeps
//   harnessprobe.exe dialog        shows a modal dialog (see ShowProbeDialog)

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int kEditId = 100;
constexpr int kComboId = 101;
constexpr int kCheckId = 102;
constexpr int kAskId = 103;
constexpr int kDisabledId = 104;
constexpr int kNotesId = 105;  // a multi-line edit that keeps Enter for itself
constexpr DWORD kProbeException = 0xE0C0FFEE;

void Trace(const char* format, long long a = 0, long long b = 0) {
    char line[256];
    std::snprintf(line, sizeof line, format, a, b);
    OutputDebugStringA(line);
}

std::string Utf8(const wchar_t* text) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(size > 0 ? size - 1 : 0), '\0');
    if (size > 1) WideCharToMultiByte(CP_UTF8, 0, text, -1, &out[0], size, nullptr, nullptr);
    return out;
}

int Echo() {
    wchar_t path[MAX_PATH] = {};
    if (!GetEnvironmentVariableW(L"HARNESSPROBE_OUT", path, MAX_PATH)) return 2;
    wchar_t value[1024] = {};
    GetEnvironmentVariableW(L"HARNESSPROBE_VALUE", value, 1024);
    const std::string content = Utf8(GetCommandLineW()) + "\n" + std::to_string(GetACP()) + "\n" +
                                Utf8(value) + "\n";
    HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 3;
    DWORD written = 0;
    WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
    CloseHandle(file);
    return 0;
}

int Debug() {
    OutputDebugStringA("[probe] first piece");
    OutputDebugStringA(" second piece\n");
    OutputDebugStringA("[probe] caf\xE9\n");  // one byte in code page 1252
    OutputDebugStringA("");
    OutputDebugStringA("[probe] %s stays as written\n");
    return 0;
}

volatile bool handlerRan = false;

LONG CALLBACK TakeProbeException(EXCEPTION_POINTERS* info) {
    if (info->ExceptionRecord->ExceptionCode != kProbeException) return EXCEPTION_CONTINUE_SEARCH;
    handlerRan = true;
    return EXCEPTION_CONTINUE_EXECUTION;
}

int Handled() {
    PVOID handler = AddVectoredExceptionHandler(1, TakeProbeException);
    RaiseException(kProbeException, 0, 0, nullptr);
    RemoveVectoredExceptionHandler(handler);
    return handlerRan ? 0 : 1;
}

// ------------------------------------------------------------- dialog ----

// An in-memory dialog template: header, then one item per control.
struct TemplateWriter {
    std::vector<WORD> words;
    void Align() {
        if (words.size() % 2) words.push_back(0);
    }
    void Text(const wchar_t* text) {
        for (; *text; ++text) words.push_back(static_cast<WORD>(*text));
        words.push_back(0);
    }
    void Dword(DWORD value) {
        words.push_back(LOWORD(value));
        words.push_back(HIWORD(value));
    }
    void Item(DWORD style, short x, short y, short cx, short cy, WORD id, WORD atom,
              const wchar_t* text) {
        Align();
        Dword(style | WS_CHILD | WS_VISIBLE);
        Dword(0);
        for (short value : {x, y, cx, cy}) words.push_back(static_cast<WORD>(value));
        words.push_back(id);
        words.push_back(0xFFFF);
        words.push_back(atom);
        Text(text);
        words.push_back(0);
    }
};

INT_PTR CALLBACK ProbeDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    (void)lParam;
    switch (message) {
        case WM_INITDIALOG: {
            HWND combo = GetDlgItem(dialog, kComboId);
            for (const wchar_t* item : {L"alpha", L"beta", L"gamma"}) {
                SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item));
            }
            SendMessageW(combo, CB_SETCURSEL, 0, 0);
            EnableWindow(GetDlgItem(dialog, kDisabledId), FALSE);
            Trace("[probe] dialog ready\n");
            return TRUE;
        }
        case WM_COMMAND: {
            const int id = LOWORD(wParam);
            Trace("[probe] command %lld %lld\n", id, HIWORD(wParam));
            if (id == IDOK || id == IDCANCEL) {
                EndDialog(dialog, id);
            } else if (id == kAskId) {
                // A modal loop inside the click: the driver must not wait for it.
                Trace("[probe] asked %lld\n",
                      MessageBoxW(dialog, L"Go on?", L"Probe question", MB_YESNO | MB_ICONQUESTION));
            }
            return TRUE;
        }
        default:
            return FALSE;
    }
}

int ShowProbeDialog() {
    TemplateWriter t;
    t.Dword(DS_MODALFRAME | DS_SETFONT | DS_CENTER | WS_POPUP | WS_CAPTION | WS_SYSMENU);
    t.Dword(0);
    t.words.push_back(8);  // controls
    for (short value : {0, 0, 200, 110}) t.words.push_back(static_cast<WORD>(value));
    t.words.push_back(0);  // no menu
    t.words.push_back(0);  // standard class
    t.Text(L"Harness probe");
    t.words.push_back(8);
    t.Text(L"MS Shell Dlg");
    t.Item(ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP, 10, 10, 180, 14, kEditId, 0x0081, L"start");
    t.Item(CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, 10, 30, 180, 60, kComboId, 0x0085, L"");
    t.Item(BS_AUTOCHECKBOX | WS_TABSTOP, 10, 50, 100, 12, kCheckId, 0x0080, L"Check");
    t.Item(ES_MULTILINE | ES_WANTRETURN | ES_AUTOVSCROLL | WS_BORDER | WS_TABSTOP, 10, 66, 180,
           18, kNotesId, 0x0081, L"");
    t.Item(BS_PUSHBUTTON | WS_TABSTOP, 10, 88, 40, 14, kAskId, 0x0080, L"Ask");
    t.Item(BS_PUSHBUTTON | WS_TABSTOP, 55, 88, 40, 14, kDisabledId, 0x0080, L"Off");
    t.Item(BS_DEFPUSHBUTTON | WS_TABSTOP, 100, 88, 40, 14, IDOK, 0x0080, L"OK");
    t.Item(BS_PUSHBUTTON | WS_TABSTOP, 150, 88, 40, 14, IDCANCEL, 0x0080, L"Cancel");
    const INT_PTR result = DialogBoxIndirectParamW(
        GetModuleHandleW(nullptr), reinterpret_cast<LPCDLGTEMPLATEW>(t.words.data()), nullptr,
        ProbeDialogProc, 0);
    Trace("[probe] dialog ended %lld\n", result);
    return static_cast<int>(result);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    const std::string command = argv[1];
    if (command == "exit" && argc == 3) {
        ExitProcess(static_cast<UINT>(std::strtoul(argv[2], nullptr, 0)));
    }
    if (command == "echo") return Echo();
    if (command == "debug") return Debug();
    if (command == "crash") {
        volatile int* nowhere = nullptr;
        *nowhere = 1;
        return 1;
    }
    if (command == "handled") return Handled();
    if (command == "sleep" && argc == 3) {
        Sleep(static_cast<DWORD>(std::strtoul(argv[2], nullptr, 0)));
        return 0;
    }
    if (command == "dialog") return ShowProbeDialog();
    return 2;
}
