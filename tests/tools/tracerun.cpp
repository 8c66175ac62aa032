// tracerun: starts a program as its debugger, records every debug-output
// text it sends and its full 32-bit exit code, and writes both as JSON into a
// file (a file rather than stdout: wine's output can be held open by other
// processes long after the program ended).
//
//   tracerun.exe [options] RESULT_FILE COMMAND_LINE_FILE
//     COMMAND_LINE_FILE  the complete command line, program name included,
//                        as UTF-8 bytes; used verbatim (quotes, tabs, blanks)
//     --app PATH         the program to start, when the command line should
//                        not be used to find it
//     --cwd DIR          the working directory of the program
//     --timeout MS       terminate the program after MS milliseconds
//     --children         also record the programs it starts
//
// While the program runs, RESULT_FILE.pid holds its process id. The result:
//   {"started":true,"pid":N,"exit_code":N,"timed_out":false,
//    "events":[{"pid":N,"text":"...","hex":"..."}],
//    "exceptions":[{"pid":N,"code":N,"first_chance":true,"address":N}]}
// Exit code: 0 when the program ran (whatever its exit code), 2 bad usage,
// 3 when it could not be started (the result file then says why).

#include <windows.h>
#include <shellapi.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "tool_text.h"

namespace {

using tool_text::JsonString;
using tool_text::Utf8;
using tool_text::WideFrom;

std::string Hex(const std::string& bytes) {
    static const char kDigits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        out += kDigits[c >> 4];
        out += kDigits[c & 15];
    }
    return out;
}

bool ReadWholeFile(const std::wstring& path, std::string* content) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                              nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    char chunk[8192];
    DWORD read = 0;
    while (ReadFile(file, chunk, sizeof chunk, &read, nullptr) && read > 0) content->append(chunk, read);
    CloseHandle(file);
    return true;
}

bool WriteWholeFile(const std::wstring& path, const std::string& content) {
    // Written beside and renamed, so a reader never sees half a result.
    const std::wstring temporary = path + L".tmp";
    HANDLE file = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const bool ok = WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written,
                              nullptr) && written == content.size();
    CloseHandle(file);
    return ok && MoveFileExW(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING);
}

struct Options {
    std::wstring resultFile;
    std::wstring commandLineFile;
    std::wstring application;
    std::wstring directory;
    DWORD timeoutMs = INFINITE;
    bool children = false;
};

bool ParseOptions(int count, LPWSTR* argv, Options* options) {
    std::vector<std::wstring> positional;
    for (int i = 1; i < count; ++i) {
        const std::wstring arg = argv[i];
        const bool hasValue = i + 1 < count;
        if (arg == L"--app" && hasValue) {
            options->application = argv[++i];
        } else if (arg == L"--cwd" && hasValue) {
            options->directory = argv[++i];
        } else if (arg == L"--timeout" && hasValue) {
            options->timeoutMs = static_cast<DWORD>(std::wcstoul(argv[++i], nullptr, 10));
        } else if (arg == L"--children") {
            options->children = true;
        } else {
            positional.push_back(arg);
        }
    }
    if (positional.size() != 2) return false;
    options->resultFile = positional[0];
    options->commandLineFile = positional[1];
    return true;
}

struct Record {
    DWORD pid = 0;
    DWORD exitCode = 0;
    bool started = false;
    bool exited = false;
    bool timedOut = false;
    std::string events;      // JSON array members
    std::string exceptions;  // JSON array members
    std::string error;
};

void AddDebugText(Record& record, HANDLE process, DWORD pid, const OUTPUT_DEBUG_STRING_INFO& info) {
    const size_t unitSize = info.fUnicode ? 2 : 1;
    const size_t bytes = static_cast<size_t>(info.nDebugStringLength) * unitSize;
    std::string raw(bytes, '\0');
    SIZE_T read = 0;
    if (bytes == 0 ||
        !ReadProcessMemory(process, info.lpDebugStringData, &raw[0], bytes, &read)) {
        read = 0;
    }
    raw.resize(read);
    std::wstring text;
    if (info.fUnicode) {
        text.assign(reinterpret_cast<const wchar_t*>(raw.data()), raw.size() / 2);
        if (!text.empty() && text.back() == L'\0') text.pop_back();
        raw.assign(reinterpret_cast<const char*>(text.data()), text.size() * 2);
    } else {
        // The length counts the terminator; the text is in the program's
        // ANSI code page, which is this process's too (same environment).
        if (!raw.empty() && raw.back() == '\0') raw.pop_back();
        text = WideFrom(CP_ACP, raw);
    }
    if (!record.events.empty()) record.events += ",";
    record.events += "{\"pid\":" + std::to_string(pid) + ",\"unicode\":" +
                     (info.fUnicode ? "true" : "false") + ",\"text\":" + JsonString(Utf8(text)) +
                     ",\"hex\":\"" + Hex(raw) + "\"}";
}

void AddException(Record& record, DWORD pid, const EXCEPTION_DEBUG_INFO& info) {
    if (!record.exceptions.empty()) record.exceptions += ",";
    record.exceptions +=
        "{\"pid\":" + std::to_string(pid) +
        ",\"code\":" + std::to_string(static_cast<unsigned long>(info.ExceptionRecord.ExceptionCode)) +
        ",\"first_chance\":" + (info.dwFirstChance ? "true" : "false") + ",\"address\":" +
        std::to_string(reinterpret_cast<uintptr_t>(info.ExceptionRecord.ExceptionAddress)) + "}";
}

bool IsBreakpoint(DWORD code) {
    return code == EXCEPTION_BREAKPOINT || code == 0x4000001F;  // STATUS_WX86_BREAKPOINT
}

std::string ResultJson(const Record& record) {
    std::string out = "{\"started\":";
    out += record.started ? "true" : "false";
    out += ",\"pid\":" + std::to_string(record.pid);
    out += ",\"exit_code\":" + std::to_string(static_cast<unsigned long>(record.exitCode));
    out += ",\"exited\":";
    out += record.exited ? "true" : "false";
    out += ",\"timed_out\":";
    out += record.timedOut ? "true" : "false";
    out += ",\"events\":[" + record.events + "]";
    out += ",\"exceptions\":[" + record.exceptions + "]";
    if (!record.error.empty()) out += ",\"error\":" + JsonString(record.error);
    return out + "}\n";
}

void DebugLoop(const Options& options, const PROCESS_INFORMATION& started, Record& record) {
    std::set<DWORD> running = {started.dwProcessId};
    std::vector<std::pair<DWORD, HANDLE>> processes;  // handles owned by the debug events
    const DWORD begin = GetTickCount();
    bool terminated = false;
    while (!running.empty()) {
        if (!terminated && options.timeoutMs != INFINITE && GetTickCount() - begin >= options.timeoutMs) {
            record.timedOut = true;
            terminated = true;
            TerminateProcess(started.hProcess, 0xDEAD);
        }
        DEBUG_EVENT event = {};
        if (!WaitForDebugEvent(&event, 100)) continue;
        DWORD status = DBG_CONTINUE;
        HANDLE process = nullptr;
        for (const auto& known : processes) {
            if (known.first == event.dwProcessId) process = known.second;
        }
        switch (event.dwDebugEventCode) {
            case CREATE_PROCESS_DEBUG_EVENT:
                if (event.u.CreateProcessInfo.hFile) CloseHandle(event.u.CreateProcessInfo.hFile);
                processes.emplace_back(event.dwProcessId, event.u.CreateProcessInfo.hProcess);
                running.insert(event.dwProcessId);
                break;
            case LOAD_DLL_DEBUG_EVENT:
                if (event.u.LoadDll.hFile) CloseHandle(event.u.LoadDll.hFile);
                break;
            case OUTPUT_DEBUG_STRING_EVENT:
                if (process) AddDebugText(record, process, event.dwProcessId, event.u.DebugString);
                break;
            case EXCEPTION_DEBUG_EVENT: {
                const DWORD code = event.u.Exception.ExceptionRecord.ExceptionCode;
                if (!IsBreakpoint(code)) {
                    AddException(record, event.dwProcessId, event.u.Exception);
                    // Let the program's own handlers see it, as without a debugger.
                    status = DBG_EXCEPTION_NOT_HANDLED;
                }
                break;
            }
            case EXIT_PROCESS_DEBUG_EVENT:
                running.erase(event.dwProcessId);
                if (event.dwProcessId == started.dwProcessId) {
                    record.exitCode = event.u.ExitProcess.dwExitCode;
                    record.exited = true;
                }
                for (auto it = processes.begin(); it != processes.end(); ++it) {
                    if (it->first == event.dwProcessId) {
                        processes.erase(it);
                        break;
                    }
                }
                break;
            default:
                break;
        }
        ContinueDebugEvent(event.dwProcessId, event.dwThreadId, status);
        if (record.exited) break;
    }
    // Programs that outlive the one started (Wine starts its desktop process
    // along with the first window of a prefix) are let go rather than waited
    // for; they go on running without a debugger.
    DebugSetProcessKillOnExit(FALSE);
    for (DWORD pid : running) {
        if (pid != started.dwProcessId) DebugActiveProcessStop(pid);
    }
}

}  // namespace

int main() {
    int count = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &count);
    Options options;
    const bool parsed = argv && ParseOptions(count, argv, &options);
    if (argv) LocalFree(argv);
    if (!parsed) {
        std::fputs("usage: tracerun [--app PATH] [--cwd DIR] [--timeout MS] [--children] "
                   "RESULT_FILE COMMAND_LINE_FILE\n",
                   stderr);
        return 2;
    }
    Record record;
    std::string commandLineBytes;
    if (!ReadWholeFile(options.commandLineFile, &commandLineBytes)) {
        record.error = "cannot read the command-line file";
        WriteWholeFile(options.resultFile, ResultJson(record));
        return 3;
    }
    std::wstring commandLine = WideFrom(CP_UTF8, commandLineBytes);
    std::vector<wchar_t> writable(commandLine.begin(), commandLine.end());
    writable.push_back(L'\0');

    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started = {};
    const DWORD flags = options.children ? DEBUG_PROCESS : DEBUG_ONLY_THIS_PROCESS;
    if (!CreateProcessW(options.application.empty() ? nullptr : options.application.c_str(),
                        writable.data(), nullptr, nullptr, TRUE, flags, nullptr,
                        options.directory.empty() ? nullptr : options.directory.c_str(), &startup,
                        &started)) {
        record.error = "CreateProcess failed with " + std::to_string(GetLastError());
        WriteWholeFile(options.resultFile, ResultJson(record));
        return 3;
    }
    record.started = true;
    record.pid = started.dwProcessId;
    WriteWholeFile(options.resultFile + L".pid", std::to_string(started.dwProcessId) + "\n");

    DebugLoop(options, started, record);

    CloseHandle(started.hThread);
    CloseHandle(started.hProcess);
    if (!WriteWholeFile(options.resultFile, ResultJson(record))) return 3;
    return 0;
}
