#include "trust/signature_check.h"

#include <wintrust.h>

#include <memory>
#include <new>

#include "support/system_library.h"
#include "support/trace.h"
#include "support/unique_resource.h"
#include "support/library_function.h"

namespace {

using CertCompareCertificateFn = BOOL(WINAPI*)(DWORD, PCERT_INFO, PCERT_INFO);
using CertFreeCertificateContextFn = BOOL(WINAPI*)(PCCERT_CONTEXT);

constexpr DWORD kCertificateEncoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;

// What one package check holds; released in one place whatever step ended it.
struct PackageCheck {
    CertCompareCertificateFn compare = nullptr;
    CertFreeCertificateContextFn freeCertificate = nullptr;
    std::unique_ptr<wchar_t[]> setupPath;
    std::unique_ptr<wchar_t[]> packagePath;
    PCCERT_CONTEXT setupSigner = nullptr;
    PCCERT_CONTEXT packageSigner = nullptr;
};

// WinTrust takes UTF-16 paths; ours are in the system code page.
std::unique_ptr<wchar_t[]> ConvertToWide(const char* text) {
    if (text == nullptr) return nullptr;
    const int length = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    if (length <= 0) return nullptr;
    std::unique_ptr<wchar_t[]> wide(new (std::nothrow) wchar_t[length]);
    if (!wide) return nullptr;
    if (MultiByteToWideChar(CP_ACP, 0, text, -1, wide.get(), length) != length) return nullptr;
    return wide;
}

const char* TrueOrFalse(bool value) { return value ? "TRUE" : "FALSE"; }

bool HaveSameSigner(const PackageCheck& check) {
    if (check.setupSigner == nullptr || check.packageSigner == nullptr) return false;
    return check.compare(kCertificateEncoding, check.setupSigner->pCertInfo,
                         check.packageSigner->pCertInfo) != FALSE;
}

TrustVerdict CheckPackage(const char* setupPath, const char* packagePath, HWND window,
                          PackageCheck& check) {
    check.setupPath = ConvertToWide(setupPath);
    if (!check.setupPath) return kTrustNotTrusted;

    DebugTrace("[WVT] step 1: silently call WinVerifyTrust on szSetupExe, ignoring return value\n");
    bool setupSigned = false;
    if (VerifyFileTrust(check.setupPath.get(), window, WTD_UI_NONE, &setupSigned,
                        &check.setupSigner) == kTrustNoVerdict) {
        return kTrustNoVerdict;
    }
    DebugTrace("[WVT] fSetupExeIsSigned = %s\n", TrueOrFalse(setupSigned));

    check.packagePath = ConvertToWide(packagePath);
    if (!check.packagePath) return kTrustNotTrusted;

    bool packageSigned = false;
    if (setupSigned) {
        DebugTrace("[WVT] step2: silently call WinVerifyTrust on szPackage, ignoring return value\n");
        if (VerifyFileTrust(check.packagePath.get(), window, WTD_UI_NONE, &packageSigned,
                            &check.packageSigner) == kTrustNoVerdict) {
            return kTrustNoVerdict;
        }
        DebugTrace("[WVT] fPackageIsSigned = %s\n", TrueOrFalse(packageSigned));
    }

    // The line marks a package from another signer than the setup program.
    // The last call itself stays silent in every case: a trust dialog would
    // let one click accept a package whose signature is not trusted, and a
    // package with a trusted signature is accepted whoever signed it.
    if (!(setupSigned && packageSigned && HaveSameSigner(check))) {
        DebugTrace("[WVT] step3: last call to WinVerifyTrust using full UI\n");
    }
    return VerifyFileTrust(check.packagePath.get(), window, WTD_UI_NONE, nullptr, nullptr);
}

void FreeSigner(const PackageCheck& check, PCCERT_CONTEXT signer) {
    if (signer != nullptr) check.freeCertificate(signer);
}

}  // namespace

TrustVerdict VerifyPackageTrust(const char* setupPath, const char* packagePath, HWND window) {
    // Held for the whole check: it owns the signer certificates.
    UniqueLibrary crypt32(LoadSystemLibrary("crypt32.dll"));
    if (!crypt32) return kTrustNoVerdict;
    PackageCheck check;
    check.compare = FindLibraryFunction<CertCompareCertificateFn>(crypt32.get(), "CertCompareCertificate");
    check.freeCertificate =
        FindLibraryFunction<CertFreeCertificateContextFn>(crypt32.get(), "CertFreeCertificateContext");
    if (check.compare == nullptr || check.freeCertificate == nullptr) return kTrustNoVerdict;

    const TrustVerdict verdict = CheckPackage(setupPath, packagePath, window, check);

    check.setupPath.reset();
    check.packagePath.reset();
    FreeSigner(check, check.setupSigner);
    FreeSigner(check, check.packageSigner);
    return verdict;
}
