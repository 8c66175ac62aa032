// Helpers for the tests of the progress window and the download callback: a
// thread that answers the window's questions as a user would, and a recorder
// of the messages the progress bar receives.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "res/resource.h"

// One question as it was on screen.
struct SeenBox {
    std::wstring caption;
    std::wstring text;
    int answer;
};

// Watches for message boxes owned by one window and answers each with what
// decide returns (IDYES or IDNO). decide runs on the watching thread while the
// box is open, so it may also send messages to the owner, which the box's own
// loop then delivers. A box that comes when none was expected is still
// answered (with No), so a fault shows as an extra entry, not as a hang.
class BoxAnswerer {
public:
    using Decide = std::function<int(HWND box, size_t index)>;

    BoxAnswerer(HWND owner, Decide decide) : owner_(owner), decide_(std::move(decide)) {
        watcher_ = std::thread([this] { Watch(); });
    }
    // Answers the boxes in order from a list; No once the list is used up.
    BoxAnswerer(HWND owner, std::vector<int> answers)
        : BoxAnswerer(owner, [answers](HWND, size_t index) {
              return index < answers.size() ? answers[index] : IDNO;
          }) {}
    ~BoxAnswerer() { Stop(); }

    std::vector<SeenBox> Stop() {
        stop_ = true;
        if (watcher_.joinable()) watcher_.join();
        std::lock_guard<std::mutex> lock(mutex_);
        return seen_;
    }

    size_t Count() {
        std::lock_guard<std::mutex> lock(mutex_);
        return seen_.size();
    }

private:
    struct Search {
        HWND owner;
        std::vector<HWND> found;
    };

    static BOOL CALLBACK Match(HWND window, LPARAM context) {
        Search* search = reinterpret_cast<Search*>(context);
        char className[16] = {};
        GetClassNameA(window, className, sizeof className);
        if (lstrcmpA(className, "#32770") == 0 && GetWindow(window, GW_OWNER) == search->owner &&
            IsWindowVisible(window)) {
            search->found.push_back(window);
        }
        return TRUE;
    }

    static std::wstring TextOf(HWND window) {
        wchar_t text[1024] = {};
        GetWindowTextW(window, text, 1024);
        return text;
    }

    // A box stays on screen while a question nested inside it is open, so
    // every box is answered once and then passed over.
    HWND NextUnanswered(std::vector<HWND>& answered) {
        Search search = {owner_, {}};
        EnumWindows(Match, reinterpret_cast<LPARAM>(&search));
        std::vector<HWND> stillOpen;
        for (HWND box : answered) {
            for (HWND found : search.found) {
                if (found == box) stillOpen.push_back(box);
            }
        }
        answered.swap(stillOpen);
        for (HWND found : search.found) {
            bool done = false;
            for (HWND box : answered) done = done || box == found;
            if (!done) return found;
        }
        return nullptr;
    }

    void Watch() {
        std::vector<HWND> answered;
        while (!stop_) {
            HWND found = NextUnanswered(answered);
            if (found == nullptr) {
                Sleep(10);
                continue;
            }
            SeenBox box;
            box.caption = TextOf(found);
            box.text = TextOf(GetDlgItem(found, 0xFFFF));
            size_t index;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                index = seen_.size();
            }
            box.answer = decide_(found, index);
            {
                std::lock_guard<std::mutex> lock(mutex_);
                seen_.push_back(box);
            }
            PostMessageA(found, WM_COMMAND, MAKEWPARAM(box.answer, BN_CLICKED), 0);
            answered.push_back(found);
        }
    }

    HWND owner_;
    Decide decide_;
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::vector<SeenBox> seen_;
    std::thread watcher_;
};

// A message the progress bar received.
struct BarCall {
    UINT message;
    long long wParam;
    long long lParam;
    bool operator==(const BarCall& other) const {
        return message == other.message && wParam == other.wParam && lParam == other.lParam;
    }
};

inline BarCall SetRangeCall(int high) { return {PBM_SETRANGE32, 0, high}; }
inline BarCall SetPosCall(int position) { return {PBM_SETPOS, position, 0}; }
inline BarCall DeltaCall(int delta) { return {PBM_DELTAPOS, delta, 0}; }

// Records the range, position and delta messages of the bar of a dialog while
// it lives, and passes every message on. Values are read as the control reads
// them: 32-bit signed.
class BarRecorder {
public:
    explicit BarRecorder(HWND dialog) : bar_(GetDlgItem(dialog, IDC_PROGRESS_BAR)) {
        active_ = this;
        original_ = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrA(bar_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(Record)));
    }
    ~BarRecorder() {
        SetWindowLongPtrA(bar_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original_));
        active_ = nullptr;
    }
    BarRecorder(const BarRecorder&) = delete;
    BarRecorder& operator=(const BarRecorder&) = delete;

    std::vector<BarCall> calls;

    int Position() const { return static_cast<int>(SendMessageA(bar_, PBM_GETPOS, 0, 0)); }

private:
    static LRESULT CALLBACK Record(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        if (active_ != nullptr &&
            (message == PBM_SETRANGE32 || message == PBM_SETPOS || message == PBM_DELTAPOS)) {
            active_->calls.push_back({message, static_cast<int>(wParam), static_cast<int>(lParam)});
        }
        return CallWindowProcA(original_, window, message, wParam, lParam);
    }

    HWND bar_;
    static inline WNDPROC original_ = nullptr;
    static inline BarRecorder* active_ = nullptr;
};
