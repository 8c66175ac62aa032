// Collects this process's debug-output lines while it lives. OutputDebugStringA
// raises DBG_PRINTEXCEPTION_C before anything else sees the text, so a
// vectored handler can read it in-process.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "support/trace.h"

class TraceCapture {
public:
    TraceCapture() {
        lines_ = new std::vector<std::string>();
        current_ = lines_;
        handler_ = AddVectoredExceptionHandler(1, &TraceCapture::Handler);
    }
    ~TraceCapture() {
        RemoveVectoredExceptionHandler(handler_);
        current_ = nullptr;
        delete lines_;
    }
    TraceCapture(const TraceCapture&) = delete;
    TraceCapture& operator=(const TraceCapture&) = delete;

    const std::vector<std::string>& lines() const { return *lines_; }
    std::string joined() const {
        std::string all;
        for (const std::string& line : *lines_) all += line;
        return all;
    }

private:
    static LONG CALLBACK Handler(EXCEPTION_POINTERS* info) {
        const EXCEPTION_RECORD* record = info->ExceptionRecord;
        if (record->ExceptionCode == DBG_PRINTEXCEPTION_C && record->NumberParameters >= 2 &&
            current_ != nullptr) {
            current_->emplace_back(reinterpret_cast<const char*>(record->ExceptionInformation[1]));
        }
        return EXCEPTION_CONTINUE_SEARCH;
    }

    static inline std::vector<std::string>* current_ = nullptr;
    std::vector<std::string>* lines_;
    PVOID handler_;
};

// Sets the trace switch for the life of a test and restores it afterwards.
class ScopedTraceSwitch {
public:
    explicit ScopedTraceSwitch(int32_t value) : saved_(TraceSwitch) { TraceSwitch = value; }
    ~ScopedTraceSwitch() { TraceSwitch = saved_; }
    ScopedTraceSwitch(const ScopedTraceSwitch&) = delete;
    ScopedTraceSwitch& operator=(const ScopedTraceSwitch&) = delete;

private:
    int32_t saved_;
};
