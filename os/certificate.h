// X.509 certificates as the platform reads them (libcrypto on POSIX,
// CryptoAPI on Windows), and the user's personal certificate store
// (Windows "MY"; POSIX has none).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace os {

struct CertificateFields {
    std::string issued_to;  // the subject's common name, "" when it has none
    std::string serial;     // upper-case hexadecimal of the serial number's bytes, "1A2B3C"
    std::string subject;  // the distinguished name in its encoded order, "C=CN, O=Quarn, CN=Alice"
};
// Texts are in the system code page (GBK). False when `der` is not a certificate.
bool certificate_fields(const std::uint8_t* der, std::size_t size, CertificateFields* fields);

using CertificateBytes = std::vector<std::uint8_t>;

// The DER of each certificate in the current user's personal store whose
// private key lives on a smart card or other hardware token (its key
// provider says so); a certificate with a key in software is left out.
// False where there is no such store.
bool personal_store_certificates(std::vector<CertificateBytes>* certificates);

// Adds a certificate to the personal store, associated with a new key in a
// key container of `container`'s name (made for provisioning and tests);
// without a container the certificate goes in without a key. Removing takes
// it and its key container out again. False on POSIX.
bool personal_store_add(const CertificateBytes& der, const char* container);
bool personal_store_remove(const CertificateBytes& der);

}  // namespace os
