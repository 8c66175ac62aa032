// Stand-in for crypt32.dll with the three certificate functions that the
// signature check uses, for the cases Wine's crypt32 cannot give. It works
// on the certificates of the stand-in wintrust.dll only and keeps account of
// every duplicate it hands out, so that a test sees each one freed exactly
// once. To imitate a crypt32.dll without one of these functions, the test
// renames that export in a copy (harness.dll_exports.without_export).

// The functions below are this library's exports, not imports.
#define WINIMPM
#include <windows.h>
#include <wincrypt.h>

#include <cstring>

#include "../testdll_log.h"

namespace {

struct OwnedCertificate {
    bool live = false;
    CERT_CONTEXT context = {};
    CERT_INFO info = {};
    BYTE serial[32] = {};
    BYTE issuer[64] = {};
};

OwnedCertificate owned[16];

unsigned FirstSerialByte(const CERT_INFO* info) {
    if (info == nullptr || info->SerialNumber.cbData == 0) return 0;
    return info->SerialNumber.pbData[0];
}

bool SameBlob(const CRYPT_INTEGER_BLOB& a, const CRYPT_INTEGER_BLOB& b) {
    return a.cbData == b.cbData && std::memcmp(a.pbData, b.pbData, a.cbData) == 0;
}

int LiveCount() {
    int count = 0;
    for (const OwnedCertificate& certificate : owned) count += certificate.live ? 1 : 0;
    return count;
}

}  // namespace

TESTDLL_EXPORT PCCERT_CONTEXT WINAPI CertDuplicateCertificateContext(PCCERT_CONTEXT context) {
    if (context == nullptr || context->pCertInfo == nullptr) {
        TestDllLog("CertDuplicateCertificateContext of null\n");
        return nullptr;
    }
    const CERT_INFO& info = *context->pCertInfo;
    if (info.SerialNumber.cbData > sizeof owned[0].serial || info.Issuer.cbData > sizeof owned[0].issuer) {
        TestDllLog("CertDuplicateCertificateContext of an unexpected certificate\n");
        return nullptr;
    }
    for (OwnedCertificate& copy : owned) {
        if (copy.live) continue;
        copy = OwnedCertificate();
        copy.live = true;
        std::memcpy(copy.serial, info.SerialNumber.pbData, info.SerialNumber.cbData);
        std::memcpy(copy.issuer, info.Issuer.pbData, info.Issuer.cbData);
        copy.info.SerialNumber.cbData = info.SerialNumber.cbData;
        copy.info.SerialNumber.pbData = copy.serial;
        copy.info.Issuer.cbData = info.Issuer.cbData;
        copy.info.Issuer.pbData = copy.issuer;
        copy.context.dwCertEncodingType = context->dwCertEncodingType;
        copy.context.pCertInfo = &copy.info;
        TestDllLog("CertDuplicateCertificateContext serial=%u\n", FirstSerialByte(&copy.info));
        return &copy.context;
    }
    TestDllLog("CertDuplicateCertificateContext out of room\n");
    return nullptr;
}

TESTDLL_EXPORT BOOL WINAPI CertFreeCertificateContext(PCCERT_CONTEXT context) {
    if (context == nullptr) {
        TestDllLog("CertFreeCertificateContext of null\n");
        return TRUE;
    }
    for (OwnedCertificate& copy : owned) {
        if (&copy.context != context) continue;
        if (!copy.live) break;
        copy.live = false;
        TestDllLog("CertFreeCertificateContext serial=%u\n", FirstSerialByte(&copy.info));
        return TRUE;
    }
    TestDllLog("CertFreeCertificateContext of a context that is not live\n");
    return TRUE;
}

TESTDLL_EXPORT BOOL WINAPI CertCompareCertificate(DWORD encoding, PCERT_INFO first, PCERT_INFO second) {
    const bool same = first != nullptr && second != nullptr &&
                      SameBlob(first->Issuer, second->Issuer) &&
                      SameBlob(first->SerialNumber, second->SerialNumber);
    TestDllLog("CertCompareCertificate encoding=0x%lX serials=%u,%u same=%d\n", encoding,
               FirstSerialByte(first), FirstSerialByte(second), same ? 1 : 0);
    return same ? TRUE : FALSE;
}

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_DETACH) {
        TestDllLog("crypt32 unloaded, certificates not freed: %d\n", LiveCount());
    }
    return TRUE;
}
