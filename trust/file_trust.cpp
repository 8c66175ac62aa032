#include "trust/signature_check.h"

#include <softpub.h>
#include <wintrust.h>

#include "support/system_library.h"
#include "support/trace.h"
#include "support/unique_resource.h"
#include "support/library_function.h"

// The request keeps the layout that every WinTrust version accepts: the
// 48-byte WINTRUST_DATA of the 32-bit program, without the signature settings
// of later versions.
static_assert(sizeof(void*) != 4 || sizeof(WINTRUST_DATA) == 48, "WINTRUST_DATA grew");
static_assert(sizeof(void*) != 4 || sizeof(WINTRUST_FILE_INFO) == 16, "WINTRUST_FILE_INFO grew");

namespace {

using WinVerifyTrustFn = LONG(WINAPI*)(HWND, GUID*, LPVOID);
using ProvDataFromStateDataFn = CRYPT_PROVIDER_DATA*(WINAPI*)(HANDLE);
using ProvSignerFromChainFn = CRYPT_PROVIDER_SGNR*(WINAPI*)(CRYPT_PROVIDER_DATA*, DWORD, BOOL, DWORD);
using ProvCertFromChainFn = CRYPT_PROVIDER_CERT*(WINAPI*)(CRYPT_PROVIDER_SGNR*, DWORD);
using CertDuplicateCertificateContextFn = PCCERT_CONTEXT(WINAPI*)(PCCERT_CONTEXT);

struct WinTrustFunctions {
    WinVerifyTrustFn verify = nullptr;
    ProvDataFromStateDataFn providerData = nullptr;
    ProvSignerFromChainFn signerFromChain = nullptr;
    ProvCertFromChainFn certificateFromChain = nullptr;
};

// The structures of one WinVerifyTrust call; the closing call reuses them.
struct TrustRequest {
    GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    WINTRUST_FILE_INFO file = {};
    WINTRUST_DATA data = {};
};

HWND NoWindow() { return static_cast<HWND>(INVALID_HANDLE_VALUE); }

bool FindWinTrustFunctions(HMODULE wintrust, WinTrustFunctions& functions) {
    functions.verify = FindLibraryFunction<WinVerifyTrustFn>(wintrust, "WinVerifyTrust");
    functions.providerData =
        FindLibraryFunction<ProvDataFromStateDataFn>(wintrust, "WTHelperProvDataFromStateData");
    functions.signerFromChain =
        FindLibraryFunction<ProvSignerFromChainFn>(wintrust, "WTHelperGetProvSignerFromChain");
    functions.certificateFromChain =
        FindLibraryFunction<ProvCertFromChainFn>(wintrust, "WTHelperGetProvCertFromChain");
    return functions.verify && functions.providerData && functions.signerFromChain &&
           functions.certificateFromChain;
}

void BuildRequest(TrustRequest& request, const wchar_t* filePath, DWORD uiChoice, bool keepState) {
    request.file.cbStruct = sizeof request.file;
    request.file.pcwszFilePath = filePath;
    request.data.cbStruct = sizeof request.data;
    request.data.dwUIChoice = uiChoice;
    request.data.fdwRevocationChecks = WTD_REVOKE_NONE;
    request.data.dwUnionChoice = WTD_CHOICE_FILE;
    request.data.pFile = &request.file;
    // The state is kept only when the signer is wanted; it must then be closed.
    request.data.dwStateAction = keepState ? WTD_STATEACTION_VERIFY : WTD_STATEACTION_IGNORE;
}

void CloseTrustState(const WinTrustFunctions& functions, TrustRequest& request) {
    request.data.dwUIChoice = WTD_UI_NONE;
    request.data.dwStateAction = WTD_STATEACTION_CLOSE;
    functions.verify(NoWindow(), &request.action, &request.data);
}

// The signer's own certificate from the state of a verifying call, as a
// duplicate that outlives the state.
PCCERT_CONTEXT DuplicateSignerCertificate(const WinTrustFunctions& functions, HANDLE state) {
    CRYPT_PROVIDER_DATA* provider = functions.providerData(state);
    if (provider == nullptr) return nullptr;
    CRYPT_PROVIDER_SGNR* signer = functions.signerFromChain(provider, 0, FALSE, 0);
    if (signer == nullptr) return nullptr;
    CRYPT_PROVIDER_CERT* certificate = functions.certificateFromChain(signer, 0);
    if (certificate == nullptr || certificate->pCert == nullptr) return nullptr;

    UniqueLibrary crypt32(LoadSystemLibrary("crypt32.dll"));
    if (!crypt32) return nullptr;
    auto duplicate = FindLibraryFunction<CertDuplicateCertificateContextFn>(
        crypt32.get(), "CertDuplicateCertificateContext");
    if (duplicate == nullptr) return nullptr;
    return duplicate(certificate->pCert);
}

}  // namespace

TrustVerdict VerifyFileTrust(const wchar_t* filePath, HWND window, DWORD uiChoice,
                             bool* isSigned, PCCERT_CONTEXT* signer) {
    if (isSigned) *isSigned = false;
    if (signer) *signer = nullptr;
    TrustRequest request;
    BuildRequest(request, filePath, uiChoice, signer != nullptr);

    UniqueLibrary wintrust(LoadSystemLibrary("wintrust.dll"));
    if (!wintrust) return kTrustNoVerdict;
    WinTrustFunctions functions;
    if (!FindWinTrustFunctions(wintrust.get(), functions)) return kTrustNoVerdict;

    const HWND trustWindow = uiChoice == WTD_UI_NONE ? NoWindow() : window;
    const LONG result = functions.verify(trustWindow, &request.action, &request.data);
    DebugTraceNumber("[WVT] WVT returned 0x%X\n", result);

    if (result == TRUST_E_PROVIDER_UNKNOWN) {
        CloseTrustState(functions, request);
        return kTrustNoVerdict;
    }
    const TrustVerdict verdict = result == 0 ? kTrustTrusted : kTrustNotTrusted;
    // A signature that is present but not trusted still counts as a signature.
    if (isSigned) *isSigned = result != TRUST_E_NOSIGNATURE;
    if (result == TRUST_E_NOSIGNATURE) {
        CloseTrustState(functions, request);
        return verdict;
    }
    if (signer == nullptr) return verdict;

    *signer = DuplicateSignerCertificate(functions, request.data.hWVTStateData);
    CloseTrustState(functions, request);
    return verdict;
}
