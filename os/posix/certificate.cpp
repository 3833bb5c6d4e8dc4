// Certificates through libcrypto: d2i_X509 and the name and serial readers.
#include "os/certificate.h"

#include <openssl/asn1.h>
#include <openssl/bio.h>
#include <openssl/objects.h>
#include <openssl/x509.h>

#include <cstdio>
#include <memory>

#include "os/error.h"
#include "os/text.h"
#include "os/types.h"

namespace os {
namespace {

constexpr std::uint32_t kErrorNotSupported = 50;  // ERROR_NOT_SUPPORTED

struct X509Free {
    void operator()(X509* certificate) const { X509_free(certificate); }
};
struct BioFree {
    void operator()(BIO* bio) const { BIO_free(bio); }
};

std::string gbk_of(const unsigned char* utf8, int length) {
    if (utf8 == nullptr || length <= 0) return {};
    return utf8_to_gbk(reinterpret_cast<const char*>(utf8), static_cast<std::size_t>(length));
}

std::string common_name(const X509_NAME* name) {
    const int index = X509_NAME_get_index_by_NID(name, NID_commonName, -1);
    if (index < 0) return {};
    const ASN1_STRING* data = X509_NAME_ENTRY_get_data(X509_NAME_get_entry(name, index));
    unsigned char* utf8 = nullptr;
    const int length = ASN1_STRING_to_UTF8(&utf8, data);
    std::string text = gbk_of(utf8, length);
    OPENSSL_free(utf8);
    return text;
}

// "C=CN, O=Quarn, CN=Alice": short names, ", " between entries, values in UTF-8.
std::string distinguished_name(const X509_NAME* name) {
    const std::unique_ptr<BIO, BioFree> bio(BIO_new(BIO_s_mem()));
    if (!bio) return {};
    const unsigned long flags =
        (XN_FLAG_ONELINE & ~XN_FLAG_SPC_EQ & ~ASN1_STRFLGS_ESC_MSB) | ASN1_STRFLGS_UTF8_CONVERT;
    if (X509_NAME_print_ex(bio.get(), name, 0, flags) < 0) return {};
    const char* data = nullptr;
    const long length = BIO_get_mem_data(bio.get(), &data);
    return gbk_of(reinterpret_cast<const unsigned char*>(data), static_cast<int>(length));
}

std::string serial_hex(const ASN1_INTEGER* serial) {
    std::string text;
    const unsigned char* bytes = ASN1_STRING_get0_data(serial);
    const int length = ASN1_STRING_length(serial);
    for (int i = 0; i < length; ++i) {
        char part[3];
        std::snprintf(part, sizeof part, "%02X", bytes[i]);
        text += part;
    }
    return text.empty() ? "00" : text;
}

}  // namespace

bool certificate_fields(const std::uint8_t* der, std::size_t size, CertificateFields* fields) {
    if (der == nullptr || size == 0 || size > 0x7fffffff) {
        set_last_error(kErrorInvalidParameter);
        return false;
    }
    const unsigned char* cursor = der;
    const std::unique_ptr<X509, X509Free> certificate(
        d2i_X509(nullptr, &cursor, static_cast<long>(size)));
    if (!certificate) {
        set_last_error(kErrorInvalidParameter);
        return false;
    }
    const X509_NAME* subject = X509_get_subject_name(certificate.get());
    fields->issued_to = common_name(subject);
    fields->subject = distinguished_name(subject);
    fields->serial = serial_hex(X509_get0_serialNumber(certificate.get()));
    return true;
}

bool personal_store_certificates(std::vector<CertificateBytes>* certificates) {
    certificates->clear();
    set_last_error(kErrorNotSupported);
    return false;
}

bool personal_store_add(const CertificateBytes&, const char*) {
    set_last_error(kErrorNotSupported);
    return false;
}

bool personal_store_remove(const CertificateBytes&) {
    set_last_error(kErrorNotSupported);
    return false;
}

}  // namespace os
