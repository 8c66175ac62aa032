// The download's IBindStatusCallback: moves the progress window's bar and
// turns the user's cancel request into an abort of the download.
#pragma once

#include <windows.h>
#include <urlmon.h>

#include <cstdint>

class CProgressWindow;

class CDownloadBindStatusCallback final : public IBindStatusCallback {
public:
    // The creator keeps the object in its own frame for one download and
    // holds the first reference, which it never releases.
    explicit CDownloadBindStatusCallback(CProgressWindow* progressWindow);
    CDownloadBindStatusCallback(const CDownloadBindStatusCallback&) = delete;
    CDownloadBindStatusCallback& operator=(const CDownloadBindStatusCallback&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID interfaceId, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    HRESULT STDMETHODCALLTYPE OnStartBinding(DWORD reserved, IBinding* binding) override;
    HRESULT STDMETHODCALLTYPE GetPriority(LONG* priority) override;
    HRESULT STDMETHODCALLTYPE OnLowResource(DWORD reserved) override;
    HRESULT STDMETHODCALLTYPE OnProgress(ULONG progress, ULONG progressMax, ULONG statusCode,
                                         LPCWSTR statusText) override;
    HRESULT STDMETHODCALLTYPE OnStopBinding(HRESULT result, LPCWSTR error) override;
    HRESULT STDMETHODCALLTYPE GetBindInfo(DWORD* bindFlags, BINDINFO* bindInfo) override;
    HRESULT STDMETHODCALLTYPE OnDataAvailable(DWORD flags, DWORD size, FORMATETC* format,
                                              STGMEDIUM* medium) override;
    HRESULT STDMETHODCALLTYPE OnObjectAvailable(REFIID interfaceId, IUnknown* object) override;

private:
    // Adds the amount that arrived since the last report to the bar.
    void StepTo(ULONG progress);
    void MoveBar(uint32_t delta);
    HRESULT AbortIfCancelled();

    CProgressWindow* window;  // not owned
    LONG refCount;
    ULONG lastProgress;       // amount of the last report taken into account
};
