// The current user's "Root" store, which WinHTTP's chain checks consult
// (Wine's included: its chain engine reads the same store).
// clang-format off
#include <windows.h>
#include <wincrypt.h>
// clang-format on

#include "os/http.h"

namespace os {
namespace {

HCERTSTORE open_roots() {
    return CertOpenStore(CERT_STORE_PROV_SYSTEM_A, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER, "Root");
}

}  // namespace

bool http_trust_root_add(const std::vector<std::uint8_t>& der) {
    HCERTSTORE store = open_roots();
    if (store == nullptr) return false;
    const bool added =
        CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, der.data(),
                                         static_cast<DWORD>(der.size()),
                                         CERT_STORE_ADD_REPLACE_EXISTING, nullptr) != FALSE;
    CertCloseStore(store, 0);
    return added;
}

bool http_trust_root_remove(const std::vector<std::uint8_t>& der) {
    PCCERT_CONTEXT wanted = CertCreateCertificateContext(
        X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, der.data(), static_cast<DWORD>(der.size()));
    HCERTSTORE store = open_roots();
    bool removed = false;
    if (wanted != nullptr && store != nullptr) {
        PCCERT_CONTEXT found = CertFindCertificateInStore(
            store, X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, 0, CERT_FIND_EXISTING, wanted, nullptr);
        // CertDeleteCertificateFromStore frees the context it is given.
        removed = found == nullptr || CertDeleteCertificateFromStore(found) != FALSE;
    }
    if (wanted != nullptr) CertFreeCertificateContext(wanted);
    if (store != nullptr) CertCloseStore(store, 0);
    return removed;
}

}  // namespace os
