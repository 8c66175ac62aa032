#include "download/bind_status_callback.h"

#include <cstdint>

#include "download/download_to_cache.h"
#include "wizard/progress_window.h"

CDownloadBindStatusCallback::CDownloadBindStatusCallback(CProgressWindow* progressWindow)
    : window(progressWindow), refCount(1), lastProgress(0) {}

HRESULT STDMETHODCALLTYPE CDownloadBindStatusCallback::QueryInterface(REFIID interfaceId,
                                                                      void** object) {
    if (object == nullptr) return E_INVALIDARG;
    if (IsEqualIID(interfaceId, IID_IUnknown) || IsEqualIID(interfaceId, IID_IBindStatusCallback)) {
        *object = static_cast<IBindStatusCallback*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

// The platform calls the object on the download's own thread only.
ULONG STDMETHODCALLTYPE CDownloadBindStatusCallback::AddRef() {
    return static_cast<ULONG>(++refCount);
}

ULONG STDMETHODCALLTYPE CDownloadBindStatusCallback::Release() {
    const LONG count = --refCount;
    if (count == 0) delete this;
    return static_cast<ULONG>(count);
}

HRESULT STDMETHODCALLTYPE CDownloadBindStatusCallback::OnStartBinding(DWORD, IBinding*) {
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CDownloadBindStatusCallback::GetPriority(LONG*) { return S_OK; }

HRESULT STDMETHODCALLTYPE CDownloadBindStatusCallback::OnLowResource(DWORD) { return S_OK; }

void CDownloadBindStatusCallback::StepTo(ULONG progress) {
    // Unsigned 32-bit difference: amounts wrap past 4 GB.
    const uint32_t delta = static_cast<uint32_t>(progress) - static_cast<uint32_t>(lastProgress);
    lastProgress = progress;
    if (delta != 0) MoveBar(delta);
}

void CDownloadBindStatusCallback::MoveBar(uint32_t delta) {
    InterlockedIncrement(&DownloadProgressCount);
    window->Step(static_cast<int32_t>(delta));
}

HRESULT CDownloadBindStatusCallback::AbortIfCancelled() {
    return window->IsCancelled() ? E_ABORT : S_OK;
}

HRESULT STDMETHODCALLTYPE CDownloadBindStatusCallback::OnProgress(ULONG progress,
                                                                  ULONG progressMax,
                                                                  ULONG statusCode, LPCWSTR) {
    switch (statusCode) {
        case BINDSTATUS_BEGINDOWNLOADDATA:
            window->SetRange(static_cast<int32_t>(progressMax));
            lastProgress = 0;
            if (window->IsCancelled()) return E_ABORT;
            // A first report may already carry an amount.
            StepTo(progress);
            return AbortIfCancelled();
        case BINDSTATUS_DOWNLOADINGDATA:
            StepTo(progress);
            return AbortIfCancelled();
        case BINDSTATUS_ENDDOWNLOADDATA: {
            // Fills the bar to its maximum whatever the data reports added up to.
            const uint32_t delta =
                static_cast<uint32_t>(progressMax) - static_cast<uint32_t>(lastProgress);
            if (delta != 0) MoveBar(delta);
            return AbortIfCancelled();
        }
        default:
            return S_OK;
    }
}

HRESULT STDMETHODCALLTYPE CDownloadBindStatusCallback::OnStopBinding(HRESULT, LPCWSTR) {
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CDownloadBindStatusCallback::GetBindInfo(DWORD*, BINDINFO*) {
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CDownloadBindStatusCallback::OnDataAvailable(DWORD, DWORD, FORMATETC*,
                                                                       STGMEDIUM*) {
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CDownloadBindStatusCallback::OnObjectAvailable(REFIID, IUnknown*) {
    return S_OK;
}
