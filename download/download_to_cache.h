// Downloads one URL into the internet cache on a worker thread while the main
// thread keeps the progress window responsive. One download at a time.
#pragma once

#include <windows.h>
#include <urlmon.h>

// Parameters for the worker, written before it starts and only read by it.
extern const char* DownloadUrl;
extern char* DownloadFileBuffer;
extern DWORD DownloadFileChars;
extern IBindStatusCallback* DownloadCallback;
extern HANDLE DownloadThread;
// Written by the worker when the platform returns, and by the stall question
// when the user gives up; the value written last is what DownloadToCache
// returns.
extern HRESULT DownloadResult;
// 1 once the worker has stored its result; interlocked access only.
extern volatile LONG DownloadWorkerEnded;
// Counts the progress reports that moved the download on; the wait watches it
// when there is no progress dialog. Interlocked access only.
extern volatile LONG DownloadProgressCount;

// Needs the progress window to have been created (its dialog carries the
// timer of the stall watch). Returns the platform's result, E_FAIL when the
// user ended a stalled download, or a failure when the worker could not
// start. On success fileBuffer holds the path of the file in the cache.
// Afterwards the timer is gone and the progress dialog hidden.
HRESULT DownloadToCache(const char* url, char* fileBuffer, DWORD fileChars,
                        IBindStatusCallback* callback);

// The worker's start routine; the parameter is not used.
DWORD WINAPI DownloadThreadProc(void* unused);
