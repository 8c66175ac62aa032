// Trusts a test root inside the Wine prefix it runs in: adds a DER-encoded
// certificate to that prefix's local machine Root store (its registry).
//   addroot <certificate.der> [store name, default Root]
// Exit code 0 on success, else the Windows error code.
// crypt32 is loaded at run time so that the tool needs no extra import library.
#include <windows.h>
#include <wincrypt.h>

#include <cstdio>
#include <vector>

namespace {

using CertOpenStoreFn = HCERTSTORE(WINAPI*)(LPCSTR, DWORD, HCRYPTPROV_LEGACY, DWORD, const void*);
using CertAddEncodedCertificateToStoreFn = BOOL(WINAPI*)(HCERTSTORE, DWORD, const BYTE*, DWORD,
                                                         DWORD, PCCERT_CONTEXT*);
using CertCloseStoreFn = BOOL(WINAPI*)(HCERTSTORE, DWORD);

template <typename Function>
Function Find(HMODULE module, const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

bool ReadWholeFile(const char* path, std::vector<BYTE>& contents) {
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    const DWORD size = GetFileSize(file, nullptr);
    bool ok = size != INVALID_FILE_SIZE && size != 0;
    if (ok) {
        contents.resize(size);
        DWORD read = 0;
        ok = ReadFile(file, contents.data(), size, &read, nullptr) && read == size;
    }
    CloseHandle(file);
    return ok;
}

int Fail(const char* what, DWORD error) {
    std::fprintf(stderr, "addroot: %s (0x%lx)\n", what, error);
    return static_cast<int>(error != 0 ? error : ERROR_GEN_FAILURE);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: addroot <certificate.der> [store]\n");
        return ERROR_BAD_ARGUMENTS;
    }
    std::vector<BYTE> der;
    if (!ReadWholeFile(argv[1], der)) return Fail("cannot read the certificate", GetLastError());

    HMODULE crypt32 = LoadLibraryA("crypt32.dll");
    if (crypt32 == nullptr) return Fail("cannot load crypt32.dll", GetLastError());
    auto openStore = Find<CertOpenStoreFn>(crypt32, "CertOpenStore");
    auto addCertificate =
        Find<CertAddEncodedCertificateToStoreFn>(crypt32, "CertAddEncodedCertificateToStore");
    auto closeStore = Find<CertCloseStoreFn>(crypt32, "CertCloseStore");
    if (!openStore || !addCertificate || !closeStore) {
        return Fail("crypt32.dll lacks a store function", ERROR_PROC_NOT_FOUND);
    }

    const char* storeName = argc == 3 ? argv[2] : "Root";
    HCERTSTORE store = openStore(CERT_STORE_PROV_SYSTEM_A, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE,
                                 storeName);
    if (store == nullptr) return Fail("cannot open the store", GetLastError());
    const BOOL added = addCertificate(store, X509_ASN_ENCODING, der.data(),
                                      static_cast<DWORD>(der.size()),
                                      CERT_STORE_ADD_REPLACE_EXISTING, nullptr);
    const DWORD error = added ? 0 : GetLastError();
    closeStore(store, 0);
    FreeLibrary(crypt32);
    if (!added) return Fail("cannot add the certificate", error);
    std::printf("addroot: added to %s\n", storeName);
    return 0;
}
