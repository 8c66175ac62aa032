// windriver: drives the windows of another program from outside, the way a
// test needs to: finds its dialogs and message boxes, reads every control,
// clicks, types, presses keys, selects combobox items and takes screenshots.
//
// One command per invocation:   windriver.exe COMMAND key=value ...
// Many commands in one process: windriver.exe serve
//   (reads one command per line from stdin: fields separated by TAB, with
//   \t \n \r \\ escaped in values; answers one JSON line per command).
// Every answer is a JSON object with "ok" and either the result or "error".
// Exit code of a single command: 0 ok, 1 the command failed, 2 bad usage.
//
// Actions that can open a modal loop in the target (click, key, close,
// select) are posted, not sent, so that the driver never waits for the
// target's loop to end; they then wait briefly until the target has taken
// the message ("settle"), so that a following read normally sees the result.

#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tool_text.h"

namespace {

using tool_text::JsonString;
using tool_text::Utf8;

constexpr UINT kSendTimeoutMs = 2000;
constexpr DWORD kPollIntervalMs = 40;
constexpr int kMessageBoxTextId = 0xFFFF;
constexpr int kMessageBoxIconId = 0x440;

// ---------------------------------------------------------------- text ----

std::wstring Wide(const std::string& text) { return tool_text::WideFrom(CP_UTF8, text); }

std::string JsonString(const std::wstring& text) { return JsonString(Utf8(text)); }

// A JSON object built field by field; values are already JSON.
struct Json {
    std::string body;
    Json& Raw(const char* key, const std::string& json) {
        if (!body.empty()) body += ",";
        body += JsonString(std::string(key));
        body += ":";
        body += json;
        return *this;
    }
    Json& Str(const char* key, const std::wstring& value) { return Raw(key, JsonString(value)); }
    Json& Str(const char* key, const std::string& value) { return Raw(key, JsonString(value)); }
    Json& Num(const char* key, long long value) { return Raw(key, std::to_string(value)); }
    Json& Bool(const char* key, bool value) { return Raw(key, value ? "true" : "false"); }
    std::string Text() const { return "{" + body + "}"; }
};

std::string JsonRect(const RECT& r) {
    return "[" + std::to_string(r.left) + "," + std::to_string(r.top) + "," +
           std::to_string(r.right) + "," + std::to_string(r.bottom) + "]";
}

long long HandleNumber(HWND window) {
    return static_cast<long long>(reinterpret_cast<uintptr_t>(window));
}

// ----------------------------------------------------------- arguments ----

struct Args {
    std::string command;
    std::vector<std::pair<std::string, std::wstring>> values;

    const std::wstring* Find(const char* key) const {
        for (const auto& value : values) {
            if (value.first == key) return &value.second;
        }
        return nullptr;
    }
    bool Has(const char* key) const { return Find(key) != nullptr; }
    std::wstring Text(const char* key, const wchar_t* fallback = L"") const {
        const std::wstring* value = Find(key);
        return value ? *value : std::wstring(fallback);
    }
    long long Number(const char* key, long long fallback) const {
        const std::wstring* value = Find(key);
        if (!value || value->empty()) return fallback;
        return static_cast<long long>(std::wcstoll(value->c_str(), nullptr, 0));
    }
    HWND Window(const char* key) const {
        return reinterpret_cast<HWND>(static_cast<uintptr_t>(Number(key, 0)));
    }
};

void AddField(Args& args, const std::wstring& field) {
    if (args.command.empty()) {
        args.command = Utf8(field);
        return;
    }
    const size_t equals = field.find(L'=');
    if (equals == std::wstring::npos) {
        args.values.emplace_back(Utf8(field), L"1");
    } else {
        args.values.emplace_back(Utf8(field.substr(0, equals)), field.substr(equals + 1));
    }
}

std::wstring Unescape(const std::wstring& field) {
    std::wstring out;
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] != L'\\' || i + 1 == field.size()) {
            out += field[i];
            continue;
        }
        const wchar_t next = field[++i];
        out += next == L't' ? L'\t' : next == L'n' ? L'\n' : next == L'r' ? L'\r' : next;
    }
    return out;
}

Args ParseLine(const std::string& line) {
    Args args;
    const std::wstring wide = Wide(line);
    size_t begin = 0;
    while (begin <= wide.size()) {
        size_t tab = wide.find(L'\t', begin);
        if (tab == std::wstring::npos) tab = wide.size();
        const std::wstring field = Unescape(wide.substr(begin, tab - begin));
        if (!field.empty()) AddField(args, field);
        begin = tab + 1;
    }
    return args;
}

// ------------------------------------------------------ window reading ----

std::wstring ClassOf(HWND window) {
    wchar_t name[256] = {};
    GetClassNameW(window, name, 256);
    return name;
}

// Reads a window's text through WM_GETTEXT, which the platform marshals
// across processes; a hung target gives an empty text, not a hung driver.
std::wstring TextOf(HWND window) {
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs,
                             &length)) {
        return std::wstring();
    }
    std::vector<wchar_t> buffer(length + 2, L'\0');
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(buffer.data()),
                             SMTO_ABORTIFHUNG, kSendTimeoutMs, &copied)) {
        return std::wstring();
    }
    return std::wstring(buffer.data(), copied);
}

LRESULT Send(HWND window, UINT message, WPARAM wParam, LPARAM lParam, bool* ok = nullptr) {
    DWORD_PTR result = 0;
    const bool sent = SendMessageTimeoutW(window, message, wParam, lParam, SMTO_ABORTIFHUNG,
                                          kSendTimeoutMs, &result) != 0;
    if (ok) *ok = sent;
    return static_cast<LRESULT>(result);
}

std::wstring ExeOf(DWORD pid) {
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    if (!process) return std::wstring();
    wchar_t path[MAX_PATH * 2] = {};
    DWORD size = MAX_PATH * 2;
    std::wstring name;
    if (QueryFullProcessImageNameW(process, 0, path, &size)) {
        name = path;
        const size_t slash = name.find_last_of(L"\\/");
        if (slash != std::wstring::npos) name = name.substr(slash + 1);
    }
    CloseHandle(process);
    return name;
}

bool IsButtonWithCheck(HWND control) {
    const LONG type = GetWindowLongW(control, GWL_STYLE) & BS_TYPEMASK;
    return type == BS_CHECKBOX || type == BS_AUTOCHECKBOX || type == BS_3STATE ||
           type == BS_AUTO3STATE || type == BS_RADIOBUTTON || type == BS_AUTORADIOBUTTON;
}

// Reads the item list of a combobox or listbox; the platform marshals the
// item texts for controls that keep strings.
std::string ItemsJson(HWND control, bool combo, long long* selected) {
    const UINT countMessage = combo ? CB_GETCOUNT : LB_GETCOUNT;
    const UINT lengthMessage = combo ? CB_GETLBTEXTLEN : LB_GETTEXTLEN;
    const UINT textMessage = combo ? CB_GETLBTEXT : LB_GETTEXT;
    const LRESULT count = Send(control, countMessage, 0, 0);
    std::string out = "[";
    for (LRESULT i = 0; i < count && i < 1000; ++i) {
        const LRESULT length = Send(control, lengthMessage, static_cast<WPARAM>(i), 0);
        std::wstring item;
        if (length > 0 && length < 65536) {
            std::vector<wchar_t> buffer(static_cast<size_t>(length) + 2, L'\0');
            Send(control, textMessage, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(buffer.data()));
            item = buffer.data();
        }
        if (i) out += ",";
        out += JsonString(item);
    }
    *selected = Send(control, combo ? CB_GETCURSEL : LB_GETCURSEL, 0, 0);
    return out + "]";
}

std::string ControlJson(HWND control) {
    Json json;
    RECT rect = {};
    GetWindowRect(control, &rect);
    const std::wstring cls = ClassOf(control);
    json.Num("hwnd", HandleNumber(control))
        .Num("id", GetDlgCtrlID(control))
        .Str("class", cls)
        .Str("text", TextOf(control))
        .Num("style", static_cast<uint32_t>(GetWindowLongW(control, GWL_STYLE)))
        .Num("exstyle", static_cast<uint32_t>(GetWindowLongW(control, GWL_EXSTYLE)))
        .Bool("visible", IsWindowVisible(control) != FALSE)
        .Bool("enabled", IsWindowEnabled(control) != FALSE)
        .Raw("rect", JsonRect(rect))
        .Num("parent", HandleNumber(GetParent(control)));
    if (lstrcmpiW(cls.c_str(), L"Button") == 0 && IsButtonWithCheck(control)) {
        json.Num("checked", Send(control, BM_GETCHECK, 0, 0));
    }
    if (lstrcmpiW(cls.c_str(), L"ComboBox") == 0 || lstrcmpiW(cls.c_str(), L"ListBox") == 0) {
        long long selected = -1;
        json.Raw("items", ItemsJson(control, lstrcmpiW(cls.c_str(), L"ComboBox") == 0, &selected));
        json.Num("selected", selected);
    }
    if (lstrcmpiW(cls.c_str(), PROGRESS_CLASSW) == 0) {
        json.Num("pos", Send(control, PBM_GETPOS, 0, 0))
            .Num("low", Send(control, PBM_GETRANGE, TRUE, 0))
            .Num("high", Send(control, PBM_GETRANGE, FALSE, 0));
    }
    return json.Text();
}

BOOL CALLBACK CollectChild(HWND child, LPARAM list) {
    reinterpret_cast<std::vector<HWND>*>(list)->push_back(child);
    return TRUE;
}

std::vector<HWND> ChildrenOf(HWND window) {
    std::vector<HWND> children;
    EnumChildWindows(window, CollectChild, reinterpret_cast<LPARAM>(&children));
    return children;
}

std::string WindowJson(HWND window, bool withControls) {
    Json json;
    DWORD pid = 0;
    const DWORD tid = GetWindowThreadProcessId(window, &pid);
    RECT rect = {};
    GetWindowRect(window, &rect);
    RECT client = {};
    GetClientRect(window, &client);
    wchar_t title[1024] = {};
    InternalGetWindowText(window, title, 1024);
    json.Num("hwnd", HandleNumber(window))
        .Num("pid", pid)
        .Num("tid", tid)
        .Str("exe", ExeOf(pid))
        .Str("class", ClassOf(window))
        .Str("title", std::wstring(title))
        .Num("style", static_cast<uint32_t>(GetWindowLongW(window, GWL_STYLE)))
        .Num("exstyle", static_cast<uint32_t>(GetWindowLongW(window, GWL_EXSTYLE)))
        .Bool("visible", IsWindowVisible(window) != FALSE)
        .Bool("enabled", IsWindowEnabled(window) != FALSE)
        .Raw("rect", JsonRect(rect))
        .Raw("client", JsonRect(client))
        .Num("owner", HandleNumber(GetWindow(window, GW_OWNER)));
    if (!withControls) return json.Text();

    GUITHREADINFO gui = {};
    gui.cbSize = sizeof gui;
    if (GetGUIThreadInfo(tid, &gui)) {
        json.Num("focus", HandleNumber(gui.hwndFocus))
            .Num("focus_id", gui.hwndFocus ? GetDlgCtrlID(gui.hwndFocus) : 0)
            .Num("active", HandleNumber(gui.hwndActive));
    }
    if (ClassOf(window) == L"#32770") {
        bool ok = false;
        const LRESULT defId = Send(window, DM_GETDEFID, 0, 0, &ok);
        if (ok && HIWORD(defId) == DC_HASDEFID) json.Num("default_id", LOWORD(defId));
    }
    std::string controls = "[";
    bool first = true;
    for (HWND child : ChildrenOf(window)) {
        if (!first) controls += ",";
        controls += ControlJson(child);
        first = false;
    }
    json.Raw("controls", controls + "]");
    return json.Text();
}

// ---------------------------------------------------------- finding ----

struct Filter {
    std::wstring title;          // exact title
    std::wstring titleContains;  // part of the title
    std::wstring cls;            // exact class name
    std::wstring exe;            // image name of the owning process
    DWORD pid = 0;               // owning process id
    bool visibleOnly = true;
    HWND owner = nullptr;        // owner window, when given
    bool hasOwner = false;
};

Filter FilterFrom(const Args& args) {
    Filter filter;
    filter.title = args.Text("title");
    filter.titleContains = args.Text("title_contains");
    filter.cls = args.Text("class");
    filter.exe = args.Text("exe");
    filter.pid = static_cast<DWORD>(args.Number("pid", 0));
    filter.visibleOnly = args.Number("visible", 1) != 0;
    filter.hasOwner = args.Has("owner");
    filter.owner = args.Window("owner");
    return filter;
}

bool Matches(HWND window, const Filter& filter) {
    if (filter.visibleOnly && !IsWindowVisible(window)) return false;
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid == GetCurrentProcessId()) return false;
    if (filter.pid && pid != filter.pid) return false;
    if (!filter.cls.empty() && ClassOf(window) != filter.cls) return false;
    if (filter.hasOwner && GetWindow(window, GW_OWNER) != filter.owner) return false;
    if (!filter.title.empty() || !filter.titleContains.empty()) {
        wchar_t title[1024] = {};
        InternalGetWindowText(window, title, 1024);
        if (!filter.title.empty() && filter.title != title) return false;
        if (!filter.titleContains.empty() && !std::wcsstr(title, filter.titleContains.c_str())) {
            return false;
        }
    }
    if (!filter.exe.empty() && lstrcmpiW(ExeOf(pid).c_str(), filter.exe.c_str()) != 0) return false;
    return true;
}

struct FindState {
    const Filter* filter;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectTopLevel(HWND window, LPARAM state) {
    FindState* find = reinterpret_cast<FindState*>(state);
    if (Matches(window, *find->filter)) find->found.push_back(window);
    return TRUE;
}

std::vector<HWND> FindWindows(const Filter& filter) {
    FindState state = {&filter, {}};
    EnumWindows(CollectTopLevel, reinterpret_cast<LPARAM>(&state));
    return state.found;
}

// ------------------------------------------------------------ actions ----

// Lets the target take a posted message before the driver reads again: a
// thread handles sent messages only when it looks at its queue, which it
// does after the posted message (or inside the modal loop it opened).
void Settle(HWND window) {
    for (int round = 0; round < 2; ++round) {
        Sleep(15);
        DWORD_PTR ignored = 0;
        SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 300, &ignored);
    }
}

HWND ControlFrom(const Args& args, std::string* error) {
    HWND window = args.Window("hwnd");
    if (!IsWindow(window)) {
        *error = "no such window";
        return nullptr;
    }
    if (!args.Has("id")) return window;
    HWND control = GetDlgItem(window, static_cast<int>(args.Number("id", 0)));
    if (!control) {
        // Controls of nested dialogs are not direct children.
        const int id = static_cast<int>(args.Number("id", 0));
        for (HWND child : ChildrenOf(window)) {
            if (GetDlgCtrlID(child) == id) return child;
        }
        *error = "no control with this id";
    }
    return control;
}

bool CheckUsable(HWND control, const Args& args, std::string* error) {
    if (args.Number("force", 0)) return true;
    if (!IsWindowVisible(control)) {
        *error = "control is not visible";
        return false;
    }
    if (!IsWindowEnabled(control)) {
        *error = "control is disabled";
        return false;
    }
    return true;
}

UINT KeyFromName(const std::wstring& name) {
    struct Named {
        const wchar_t* name;
        UINT key;
    };
    static const Named kKeys[] = {
        {L"esc", VK_ESCAPE}, {L"escape", VK_ESCAPE}, {L"enter", VK_RETURN}, {L"return", VK_RETURN},
        {L"tab", VK_TAB},    {L"space", VK_SPACE},   {L"left", VK_LEFT},    {L"right", VK_RIGHT},
        {L"up", VK_UP},      {L"down", VK_DOWN},     {L"home", VK_HOME},    {L"end", VK_END},
        {L"f1", VK_F1},      {L"f4", VK_F4},         {L"back", VK_BACK},    {L"delete", VK_DELETE},
    };
    for (const Named& key : kKeys) {
        if (lstrcmpiW(key.name, name.c_str()) == 0) return key.key;
    }
    if (name.size() == 1) {
        const SHORT scan = VkKeyScanW(name[0]);
        if (scan != -1) return LOBYTE(scan);
    }
    return static_cast<UINT>(std::wcstoul(name.c_str(), nullptr, 0));
}

// The window that would receive a real key press: the focus of the thread
// that owns the target, when it lies inside the target.
HWND KeyTarget(HWND window) {
    GUITHREADINFO gui = {};
    gui.cbSize = sizeof gui;
    if (GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &gui) && gui.hwndFocus &&
        (gui.hwndFocus == window || IsChild(window, gui.hwndFocus))) {
        return gui.hwndFocus;
    }
    return window;
}

// A key press posted to the focus window: the target's message loop (and
// with it the dialog manager of a modal dialog) sees it like a real one.
void PostKey(HWND target, UINT key, bool alt) {
    const UINT scan = MapVirtualKeyW(key, MAPVK_VK_TO_VSC);
    const LPARAM down = 1 | (static_cast<LPARAM>(scan) << 16) | (alt ? (1 << 29) : 0);
    const LPARAM up = down | (static_cast<LPARAM>(1) << 30) | (static_cast<LPARAM>(1) << 31);
    PostMessageW(target, alt ? WM_SYSKEYDOWN : WM_KEYDOWN, key, down);
    PostMessageW(target, alt ? WM_SYSKEYUP : WM_KEYUP, key, up);
}

// ------------------------------------------------------------ pictures ----

struct Capture {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;  // top-down, 0x00RRGGBB
};

bool CaptureScreen(const RECT& rect, Capture* capture) {
    capture->width = rect.right - rect.left;
    capture->height = rect.bottom - rect.top;
    if (capture->width <= 0 || capture->height <= 0) return false;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = capture->width;
    info.bmiHeader.biHeight = -capture->height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    bool ok = false;
    if (bitmap) {
        HGDIOBJ old = SelectObject(memory, bitmap);
        ok = BitBlt(memory, 0, 0, capture->width, capture->height, screen, rect.left, rect.top,
                    SRCCOPY) != FALSE;
        GdiFlush();
        const uint32_t* source = static_cast<const uint32_t*>(bits);
        capture->pixels.assign(source, source + capture->width * capture->height);
        for (uint32_t& pixel : capture->pixels) pixel &= 0x00FFFFFF;
        SelectObject(memory, old);
        DeleteObject(bitmap);
    }
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return ok;
}

bool WriteBmp(const std::wstring& path, const Capture& capture) {
    const DWORD rowBytes = static_cast<DWORD>(capture.width) * 3;
    const DWORD stride = (rowBytes + 3) & ~3u;
    const DWORD imageBytes = stride * static_cast<DWORD>(capture.height);
    BITMAPFILEHEADER file = {};
    BITMAPINFOHEADER header = {};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof header;
    file.bfSize = file.bfOffBits + imageBytes;
    header.biSize = sizeof header;
    header.biWidth = capture.width;
    header.biHeight = capture.height;  // bottom-up, the common form
    header.biPlanes = 1;
    header.biBitCount = 24;
    header.biCompression = BI_RGB;
    header.biSizeImage = imageBytes;
    std::vector<unsigned char> image(imageBytes, 0);
    for (int y = 0; y < capture.height; ++y) {
        unsigned char* row = image.data() + static_cast<size_t>(capture.height - 1 - y) * stride;
        for (int x = 0; x < capture.width; ++x) {
            const uint32_t pixel = capture.pixels[static_cast<size_t>(y) * capture.width + x];
            row[x * 3 + 0] = static_cast<unsigned char>(pixel & 0xFF);
            row[x * 3 + 1] = static_cast<unsigned char>((pixel >> 8) & 0xFF);
            row[x * 3 + 2] = static_cast<unsigned char>((pixel >> 16) & 0xFF);
        }
    }
    HANDLE out = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (out == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    bool ok = WriteFile(out, &file, sizeof file, &written, nullptr) &&
              WriteFile(out, &header, sizeof header, &written, nullptr) &&
              WriteFile(out, image.data(), imageBytes, &written, nullptr);
    CloseHandle(out);
    return ok;
}

// Draws a system icon the way an icon static does (DrawIconEx over the
// control's rectangle) onto the given background.
Capture RenderIcon(LPCWSTR iconName, int width, int height, uint32_t background) {
    Capture rendered;
    rendered.width = width;
    rendered.height = height;
    HICON icon = LoadIconW(nullptr, iconName);
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (bitmap && icon) {
        HGDIOBJ old = SelectObject(memory, bitmap);
        uint32_t* pixels = static_cast<uint32_t*>(bits);
        for (int i = 0; i < width * height; ++i) pixels[i] = background;
        DrawIconEx(memory, 0, 0, icon, width, height, 0, nullptr, DI_NORMAL);
        GdiFlush();
        rendered.pixels.assign(pixels, pixels + width * height);
        for (uint32_t& pixel : rendered.pixels) pixel &= 0x00FFFFFF;
        SelectObject(memory, old);
    }
    if (bitmap) DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return rendered;
}

int PixelDistance(uint32_t a, uint32_t b) {
    const int dr = static_cast<int>((a >> 16) & 0xFF) - static_cast<int>((b >> 16) & 0xFF);
    const int dg = static_cast<int>((a >> 8) & 0xFF) - static_cast<int>((b >> 8) & 0xFF);
    const int db = static_cast<int>(a & 0xFF) - static_cast<int>(b & 0xFF);
    return std::abs(dr) + std::abs(dg) + std::abs(db);
}

// A message box keeps its icon only as a picture on screen (the icon handle
// belongs to the box's process), so the kind is found by comparing what the
// icon control shows with each system icon drawn here the same way.
std::string IconKindJson(HWND box) {
    HWND icon = GetDlgItem(box, kMessageBoxIconId);
    Json json;
    if (!icon || !IsWindowVisible(icon)) return json.Str("icon", std::string("none")).Text();
    // The handle's value is readable here even though its picture is not;
    // Wine keeps a box's icon control without an icon (and moves it over the
    // text), so an empty control is told by the handle, not by pixels.
    bool sent = false;
    const LRESULT handle = Send(icon, STM_GETICON, 0, 0, &sent);
    if (sent && handle == 0) return json.Str("icon", std::string("none")).Text();
    RECT rect = {};
    GetWindowRect(icon, &rect);
    // One pixel of the box around the control gives its background colour.
    RECT around = {rect.left - 1, rect.top - 1, rect.right, rect.bottom};
    Capture shown;
    if (!CaptureScreen(around, &shown)) return json.Str("icon", std::string("unknown")).Text();
    const uint32_t background = shown.pixels[0];
    Capture inner;
    inner.width = rect.right - rect.left;
    inner.height = rect.bottom - rect.top;
    for (int y = 1; y < shown.height; ++y) {
        for (int x = 1; x < shown.width; ++x) {
            inner.pixels.push_back(shown.pixels[static_cast<size_t>(y) * shown.width + x]);
        }
    }
    struct Kind {
        const char* name;
        LPCWSTR icon;
    };
    static const Kind kKinds[] = {{"error", MAKEINTRESOURCEW(32513)},        // IDI_HAND
                                  {"warning", MAKEINTRESOURCEW(32515)},      // IDI_EXCLAMATION
                                  {"information", MAKEINTRESOURCEW(32516)},  // IDI_ASTERISK
                                  {"question", MAKEINTRESOURCEW(32514)},     // IDI_QUESTION
                                  {"application", MAKEINTRESOURCEW(32512)},  // IDI_APPLICATION
                                  {"shield", MAKEINTRESOURCEW(32518)}};      // IDI_SHIELD
    const char* best = "unknown";
    double bestShare = 1.0;
    std::string shares = "{";
    size_t differingFromBackground = 0;
    for (uint32_t pixel : inner.pixels) differingFromBackground += pixel != background;
    for (const Kind& kind : kKinds) {
        const Capture rendered = RenderIcon(kind.icon, inner.width, inner.height, background);
        if (rendered.pixels.size() != inner.pixels.size()) continue;
        size_t differing = 0;
        for (size_t i = 0; i < inner.pixels.size(); ++i) {
            differing += PixelDistance(inner.pixels[i], rendered.pixels[i]) > 24;
        }
        const double share = static_cast<double>(differing) / static_cast<double>(inner.pixels.size());
        if (shares.size() > 1) shares += ",";
        shares += JsonString(std::string(kind.name)) + ":" + std::to_string(share);
        if (share < bestShare) {
            bestShare = share;
            best = kind.name;
        }
    }
    // An unpainted control shows only background; never call that a match.
    if (bestShare > 0.02 || differingFromBackground == 0) best = "unknown";

    return json.Str("icon", std::string(best))
        .Raw("differences", shares + "}")
        .Num("painted_pixels", static_cast<long long>(differingFromBackground))
        .Text();
}

// ------------------------------------------------------------ commands ----

std::string Failure(const std::string& error) {
    return Json().Bool("ok", false).Str("error", error).Text();
}

std::string Success(const std::string& fieldsJson = "{}") {
    // fieldsJson is an object; prepend "ok":true to its members.
    if (fieldsJson == "{}") return "{\"ok\":true}";
    return "{\"ok\":true," + fieldsJson.substr(1);
}

std::string WindowsArray(const std::vector<HWND>& windows, bool withControls) {
    std::string out = "[";
    for (size_t i = 0; i < windows.size(); ++i) {
        if (i) out += ",";
        out += WindowJson(windows[i], withControls);
    }
    return out + "]";
}

std::string CommandList(const Args& args) {
    const Filter filter = FilterFrom(args);
    return Success(Json().Raw("windows", WindowsArray(FindWindows(filter), args.Number("controls", 0) != 0)).Text());
}

std::string CommandWait(const Args& args) {
    const Filter filter = FilterFrom(args);
    const DWORD timeout = static_cast<DWORD>(args.Number("timeout", 10000));
    const DWORD start = GetTickCount();
    for (;;) {
        std::vector<HWND> found = FindWindows(filter);
        if (!found.empty()) {
            // Give a new window a moment to finish its initialisation, so that
            // the controls read are the ones the user sees.
            Settle(found.front());
            found = FindWindows(filter);
            if (!found.empty()) {
                return Success(Json()
                                   .Raw("window", WindowJson(found.front(), true))
                                   .Num("count", static_cast<long long>(found.size()))
                                   .Text());
            }
        }
        if (GetTickCount() - start >= timeout) return Failure("timeout waiting for window");
        Sleep(kPollIntervalMs);
    }
}

std::string CommandGone(const Args& args) {
    HWND window = args.Window("hwnd");
    const DWORD timeout = static_cast<DWORD>(args.Number("timeout", 10000));
    const DWORD start = GetTickCount();
    while (IsWindow(window) && IsWindowVisible(window)) {
        if (GetTickCount() - start >= timeout) return Failure("timeout waiting for window to go");
        Sleep(kPollIntervalMs);
    }
    return Success();
}

std::string CommandDump(const Args& args) {
    HWND window = args.Window("hwnd");
    if (!IsWindow(window)) return Failure("no such window");
    return Success(Json().Raw("window", WindowJson(window, true)).Text());
}

std::string CommandClick(const Args& args) {
    std::string error;
    HWND control = ControlFrom(args, &error);
    if (!control) return Failure(error);
    if (!CheckUsable(control, args, &error)) return Failure(error);
    if (args.Text("method") == L"command") {
        // What the button itself would send its parent.
        PostMessageW(GetParent(control), WM_COMMAND,
                     MAKEWPARAM(GetDlgCtrlID(control), BN_CLICKED), reinterpret_cast<LPARAM>(control));
    } else {
        PostMessageW(control, BM_CLICK, 0, 0);
    }
    Settle(control);
    return Success();
}

std::string CommandType(const Args& args) {
    std::string error;
    HWND control = ControlFrom(args, &error);
    if (!control) return Failure(error);
    if (!CheckUsable(control, args, &error)) return Failure(error);
    const std::wstring text = args.Text("text");
    if (args.Text("method") == L"settext") {
        Send(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
        return Success();
    }
    // Typed character by character over the selected old text, so the edit
    // control and its parent see the same notifications as for a user.
    if (args.Number("replace", 1)) Send(control, EM_SETSEL, 0, -1);
    for (wchar_t c : text) Send(control, WM_CHAR, c, 1);
    return Success();
}

std::string CommandKey(const Args& args) {
    HWND window = args.Window("hwnd");
    if (!IsWindow(window)) return Failure("no such window");
    const UINT key = KeyFromName(args.Text("key"));
    if (key == 0) return Failure("unknown key");
    HWND target = args.Has("id") ? GetDlgItem(window, static_cast<int>(args.Number("id", 0)))
                                 : KeyTarget(window);
    if (!target) return Failure("no control with this id");
    PostKey(target, key, args.Number("alt", 0) != 0);
    Settle(window);
    return Success(Json().Num("target", HandleNumber(target)).Text());
}

std::string CommandSelect(const Args& args) {
    std::string error;
    HWND control = ControlFrom(args, &error);
    if (!control) return Failure(error);
    if (!CheckUsable(control, args, &error)) return Failure(error);
    const bool combo = lstrcmpiW(ClassOf(control).c_str(), L"ComboBox") == 0;
    long long selected = -1;
    long long index = args.Number("index", -1);
    if (args.Has("text")) {
        const std::string items = ItemsJson(control, combo, &selected);
        const UINT lengthMessage = combo ? CB_GETLBTEXTLEN : LB_GETTEXTLEN;
        const UINT textMessage = combo ? CB_GETLBTEXT : LB_GETTEXT;
        const LRESULT count = Send(control, combo ? CB_GETCOUNT : LB_GETCOUNT, 0, 0);
        index = -1;
        for (LRESULT i = 0; i < count; ++i) {
            const LRESULT length = Send(control, lengthMessage, static_cast<WPARAM>(i), 0);
            if (length < 0 || length > 65535) continue;
            std::vector<wchar_t> buffer(static_cast<size_t>(length) + 2, L'\0');
            Send(control, textMessage, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(buffer.data()));
            if (args.Text("text") == buffer.data()) {
                index = i;
                break;
            }
        }
        if (index < 0) return Failure("no item with this text: " + items);
    }
    if (index < 0) return Failure("give index= or text=");
    HWND parent = GetParent(control);
    const int id = GetDlgCtrlID(control);
    if (combo) {
        if (Send(control, CB_SETCURSEL, static_cast<WPARAM>(index), 0) == CB_ERR) {
            return Failure("index out of range");
        }
        // A user's choice makes the combobox notify its parent; the message
        // that sets the selection does not, so the notification is added.
        PostMessageW(parent, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), reinterpret_cast<LPARAM>(control));
    } else {
        if (Send(control, LB_SETCURSEL, static_cast<WPARAM>(index), 0) == LB_ERR) {
            return Failure("index out of range");
        }
        if (GetWindowLongW(control, GWL_STYLE) & LBS_NOTIFY) {
            PostMessageW(parent, WM_COMMAND, MAKEWPARAM(id, LBN_SELCHANGE), reinterpret_cast<LPARAM>(control));
        }
    }
    Settle(parent);
    return Success(Json().Num("index", index).Text());
}

std::string CommandClose(const Args& args) {
    HWND window = args.Window("hwnd");
    if (!IsWindow(window)) return Failure("no such window");
    // The title bar's close button goes through the system menu command.
    PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
    Settle(window);
    return Success();
}

std::string CommandScreenshot(const Args& args) {
    HWND window = args.Window("hwnd");
    RECT rect = {};
    if (window) {
        if (!IsWindow(window)) return Failure("no such window");
        GetWindowRect(window, &rect);
    } else {
        rect = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    }
    Capture capture;
    if (!CaptureScreen(rect, &capture)) return Failure("screen capture failed");
    const std::wstring path = args.Text("path");
    if (path.empty() || !WriteBmp(path, capture)) return Failure("cannot write the picture");
    return Success(Json().Num("width", capture.width).Num("height", capture.height).Text());
}

std::string CommandIcon(const Args& args) {
    HWND box = args.Window("hwnd");
    if (!IsWindow(box)) return Failure("no such window");
    // The picture may not be on screen yet right after the box appeared.
    const DWORD start = GetTickCount();
    const DWORD timeout = static_cast<DWORD>(args.Number("timeout", 2000));
    for (;;) {
        const std::string result = IconKindJson(box);
        if (result.find("\"unknown\"") == std::string::npos || GetTickCount() - start >= timeout) {
            return Success(result);
        }
        Sleep(kPollIntervalMs * 2);
    }
}

std::string Execute(const Args& args) {
    struct Command {
        const char* name;
        std::string (*run)(const Args&);
    };
    static const Command kCommands[] = {
        {"list", CommandList},   {"wait", CommandWait},     {"gone", CommandGone},
        {"dump", CommandDump},   {"click", CommandClick},   {"type", CommandType},
        {"key", CommandKey},     {"select", CommandSelect}, {"close", CommandClose},
        {"screenshot", CommandScreenshot}, {"icon", CommandIcon},
    };
    for (const Command& command : kCommands) {
        if (args.command == command.name) return command.run(args);
    }
    return Failure("unknown command: " + args.command);
}

void WriteAll(HANDLE out, const std::string& text) {
    DWORD written = 0;
    size_t offset = 0;
    while (offset < text.size()) {
        if (!WriteFile(out, text.data() + offset, static_cast<DWORD>(text.size() - offset), &written,
                       nullptr) || written == 0) {
            return;
        }
        offset += written;
    }
}

int Serve() {
    HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    std::string pending;
    char chunk[4096];
    WriteAll(out, Success(Json().Str("ready", std::string("windriver")).Text()) + "\n");
    for (;;) {
        size_t newline;
        while ((newline = pending.find('\n')) != std::string::npos) {
            std::string line = pending.substr(0, newline);
            pending.erase(0, newline + 1);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            if (line.empty()) continue;
            const Args args = ParseLine(line);
            if (args.command == "quit") return 0;
            WriteAll(out, Execute(args) + "\n");
        }
        DWORD read = 0;
        if (!ReadFile(in, chunk, sizeof chunk, &read, nullptr) || read == 0) return 0;
        pending.append(chunk, read);
    }
}

}  // namespace

int main() {
    int count = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!argv || count < 2) {
        std::fputs("usage: windriver COMMAND key=value ... | windriver serve\n"
                   "commands: list wait gone dump click type key select close screenshot icon\n",
                   stderr);
        return 2;
    }
    Args args;
    for (int i = 1; i < count; ++i) AddField(args, argv[i]);
    LocalFree(argv);
    if (args.command == "serve") return Serve();
    const std::string result = Execute(args);
    const std::wstring outPath = args.Text("out");
    if (!outPath.empty()) {
        HANDLE out = CreateFileW(outPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        if (out != INVALID_HANDLE_VALUE) {
            WriteAll(out, result + "\n");
            CloseHandle(out);
        }
    } else {
        WriteAll(GetStdHandle(STD_OUTPUT_HANDLE), result + "\n");
    }
    return result.rfind("{\"ok\":true", 0) == 0 ? 0 : 1;
}
