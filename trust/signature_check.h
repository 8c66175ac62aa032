// Authenticode checks of downloaded files through WinTrust. WinTrust and
// CryptoAPI are loaded at run time from the system directory, so the program
// still starts on a system without them and then gets no verdict.
#pragma once

#include <windows.h>
#include <wincrypt.h>

// Verdict of a signature check.
enum TrustVerdict : int {
    kTrustNoVerdict = 0,    // signature checking is not available here
    kTrustTrusted = 1,      // WinVerifyTrust accepted the signature
    kTrustNotTrusted = 2,   // anything else, including a file without signature
};

// One WinVerifyTrust call on filePath with the generic Authenticode action.
// uiChoice is a WTD_UI_* value; the window reaches WinTrust only when it asks
// for a user interface. isSigned (optional) tells whether the file carries a
// signature, trusted or not. signer (optional) receives a duplicate of the
// signer's certificate when one is found; the caller frees it with
// CertFreeCertificateContext while it keeps crypt32.dll loaded.
TrustVerdict VerifyFileTrust(const wchar_t* filePath, HWND window, DWORD uiChoice,
                             bool* isSigned, PCCERT_CONTEXT* signer);

// Checks the package against the setup program's own signer and gives the
// verdict of a last, silent check of the package.
TrustVerdict VerifyPackageTrust(const char* setupPath, const char* packagePath, HWND window);
