// Stand-in for wintrust.dll, for the cases that Wine's WinTrust cannot give:
// WinVerifyTrust answers with results chosen by the test, every request is
// written to the debugger output field by field, and the signer chain holds
// a certificate of the test's choice. The test places this file as
// system32\wintrust.dll of its prefix and runs with WINEDLLOVERRIDES
// wintrust=n. To imitate a wintrust.dll without one of its functions, the
// test renames that export in a copy (harness.dll_exports.without_export).
//
// Environment:
//   CORVANE_TEST_WVT_RESULTS  results of the successive verifying calls, in
//                             hexadecimal, comma-separated; the last repeats.
//                             Without it every call gives 0x800B0001.
//   CORVANE_TEST_WVT_SIGNERS  for the same calls, the serial number (1-255)
//                             of the signer's certificate, or "-" for a
//                             signer whose chain holds no certificate. Without
//                             it the state holds no signer at all.
// A certificate of this chain must only be duplicated by the stand-in
// crypt32.dll: it is not a context that Wine's crypt32 could handle.
#include <windows.h>
#include <wincrypt.h>
#include <softpub.h>
#include <wintrust.h>

#include <cstdlib>
#include <cstring>

#include "../testdll_log.h"

namespace {

// Kept in the environment because the program unloads this DLL between calls.
constexpr char kCallCounter[] = "CORVANE_TEST_WVT_CALLS";
constexpr BYTE kIssuer[] = {'t', 'e', 's', 't', '-', 'i', 's', 's', 'u', 'e', 'r'};

struct VerificationState {
    bool open = false;
    CRYPT_PROVIDER_DATA provider = {};
    CRYPT_PROVIDER_SGNR signer = {};
    CRYPT_PROVIDER_CERT certificate = {};
    CERT_CONTEXT context = {};
    CERT_INFO info = {};
    BYTE serial = 0;
    BYTE issuer[sizeof kIssuer] = {};
};

VerificationState states[16];

unsigned NextCallIndex() {
    char value[16] = {};
    unsigned index = 0;
    if (GetEnvironmentVariableA(kCallCounter, value, sizeof value) > 0) {
        index = static_cast<unsigned>(std::strtoul(value, nullptr, 10));
    }
    char next[16];
    std::snprintf(next, sizeof next, "%u", index + 1);
    SetEnvironmentVariableA(kCallCounter, next);
    return index;
}

// The index-th comma-separated item of an environment variable, or its last
// item when there are fewer. False when the variable is not set.
bool ItemForCall(const char* variable, unsigned index, char* item, size_t size) {
    char value[512] = {};
    const DWORD length = GetEnvironmentVariableA(variable, value, sizeof value);
    if (length == 0 || length >= sizeof value) return false;
    char* position = value;
    for (unsigned i = 0; i < index; ++i) {
        char* comma = std::strchr(position, ',');
        if (comma == nullptr) break;
        position = comma + 1;
    }
    const size_t itemLength = std::strcspn(position, ",");
    if (itemLength + 1 > size) return false;
    std::memcpy(item, position, itemLength);
    item[itemLength] = '\0';
    return true;
}

LONG ResultForCall(unsigned index) {
    char item[32];
    if (!ItemForCall("CORVANE_TEST_WVT_RESULTS", index, item, sizeof item)) {
        return static_cast<LONG>(TRUST_E_PROVIDER_UNKNOWN);
    }
    return static_cast<LONG>(std::strtoul(item, nullptr, 16));
}

void FillSigner(VerificationState& state, unsigned index) {
    state.provider.cbStruct = sizeof state.provider;
    char item[32];
    if (!ItemForCall("CORVANE_TEST_WVT_SIGNERS", index, item, sizeof item)) return;
    state.signer.cbStruct = sizeof state.signer;
    state.provider.csSigners = 1;
    state.provider.pasSigners = &state.signer;
    if (std::strcmp(item, "-") == 0) return;
    state.serial = static_cast<BYTE>(std::strtoul(item, nullptr, 10));
    std::memcpy(state.issuer, kIssuer, sizeof kIssuer);
    state.info.SerialNumber.cbData = 1;
    state.info.SerialNumber.pbData = &state.serial;
    state.info.Issuer.cbData = sizeof state.issuer;
    state.info.Issuer.pbData = state.issuer;
    state.context.dwCertEncodingType = X509_ASN_ENCODING;
    state.context.pCertInfo = &state.info;
    state.certificate.cbStruct = sizeof state.certificate;
    state.certificate.pCert = &state.context;
    state.signer.csCertChain = 1;
    state.signer.pasCertChain = &state.certificate;
}

VerificationState* OpenState(unsigned index) {
    for (VerificationState& state : states) {
        if (state.open) continue;
        state = VerificationState();
        state.open = true;
        FillSigner(state, index);
        return &state;
    }
    return nullptr;
}

VerificationState* FindState(const void* pointer) {
    for (VerificationState& state : states) {
        if (pointer == &state || pointer == &state.provider) return &state;
    }
    return nullptr;
}

int OpenStateCount() {
    int count = 0;
    for (const VerificationState& state : states) count += state.open ? 1 : 0;
    return count;
}

bool IsGenericVerifyV2(const GUID* action) {
    static const GUID expected = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    return action != nullptr && std::memcmp(action, &expected, sizeof expected) == 0;
}

void LogRequest(HWND window, const GUID* action, const WINTRUST_DATA* data, LONG result) {
    const WINTRUST_FILE_INFO* file = data->dwUnionChoice == WTD_CHOICE_FILE ? data->pFile : nullptr;
    TestDllLog("WinVerifyTrust window=%s action=%s size=%lu ui=%lu revocation=%lu choice=%lu "
               "state=%lu statedata=%s policy=%s sip=%s url=%s provflags=%lu uicontext=%lu "
               "filesize=%lu file=%ls filehandle=%s subject=%s result=0x%lX\n",
               PointerState(window), IsGenericVerifyV2(action) ? "generic-verify-v2" : "other",
               data->cbStruct, data->dwUIChoice, data->fdwRevocationChecks, data->dwUnionChoice,
               data->dwStateAction, PointerState(data->hWVTStateData),
               PointerState(data->pPolicyCallbackData), PointerState(data->pSIPClientData),
               PointerState(data->pwszURLReference), data->dwProvFlags, data->dwUIContext,
               file ? file->cbStruct : 0, file && file->pcwszFilePath ? file->pcwszFilePath : L"",
               PointerState(file ? file->hFile : nullptr),
               PointerState(file ? file->pgKnownSubject : nullptr), static_cast<unsigned long>(result));
}

}  // namespace

TESTDLL_EXPORT LONG WINAPI WinVerifyTrust(HWND window, GUID* action, LPVOID request) {
    WINTRUST_DATA* data = static_cast<WINTRUST_DATA*>(request);
    if (data->dwStateAction == WTD_STATEACTION_CLOSE) {
        // Closing without any state is allowed (WinTrust ignores it); closing
        // a state that is not open would be a fault of the caller.
        VerificationState* state = FindState(data->hWVTStateData);
        const bool known = state != nullptr && state->open;
        if (known) state->open = false;
        LogRequest(window, action, data, 0);
        if (!known && data->hWVTStateData != nullptr) {
            TestDllLog("close of a state that is not open\n");
        }
        data->hWVTStateData = nullptr;
        return 0;
    }
    const unsigned index = NextCallIndex();
    const LONG result = ResultForCall(index);
    if (data->dwStateAction == WTD_STATEACTION_VERIFY) {
        data->hWVTStateData = OpenState(index);
    }
    LogRequest(window, action, data, result);
    return result;
}

TESTDLL_EXPORT CRYPT_PROVIDER_DATA* WINAPI WTHelperProvDataFromStateData(HANDLE stateData) {
    VerificationState* state = FindState(stateData);
    TestDllLog("WTHelperProvDataFromStateData state=%s\n", state ? "known" : "unknown");
    return state ? &state->provider : nullptr;
}

TESTDLL_EXPORT CRYPT_PROVIDER_SGNR* WINAPI WTHelperGetProvSignerFromChain(
    CRYPT_PROVIDER_DATA* provider, DWORD signerIndex, BOOL counterSigner, DWORD counterSignerIndex) {
    TestDllLog("WTHelperGetProvSignerFromChain signer=%lu countersigner=%d countersignerindex=%lu\n",
               signerIndex, counterSigner, counterSignerIndex);
    if (provider == nullptr || counterSigner || signerIndex >= provider->csSigners) return nullptr;
    return &provider->pasSigners[signerIndex];
}

TESTDLL_EXPORT CRYPT_PROVIDER_CERT* WINAPI WTHelperGetProvCertFromChain(CRYPT_PROVIDER_SGNR* signer,
                                                                      DWORD certificateIndex) {
    TestDllLog("WTHelperGetProvCertFromChain certificate=%lu\n", certificateIndex);
    if (signer == nullptr || certificateIndex >= signer->csCertChain) return nullptr;
    return &signer->pasCertChain[certificateIndex];
}

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_DETACH) {
        TestDllLog("wintrust unloaded, open states: %d\n", OpenStateCount());
    }
    return TRUE;
}
