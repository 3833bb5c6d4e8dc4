// Certificates through CryptoAPI: CertCreateCertificateContext for parsing,
// the current user's "MY" store for the personal certificates.
// clang-format off
#include <windows.h>
#include <wincrypt.h>
#include <ncrypt.h>
// clang-format on

#include "os/certificate.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "os/error.h"

namespace os {
namespace {

constexpr DWORD kEncoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;

struct ContextFree {
    void operator()(const CERT_CONTEXT* context) const { CertFreeCertificateContext(context); }
};
using Context = std::unique_ptr<const CERT_CONTEXT, ContextFree>;

struct StoreClose {
    void operator()(void* store) const { CertCloseStore(store, 0); }
};
using Store = std::unique_ptr<void, StoreClose>;

Context parse(const std::uint8_t* der, std::size_t size) {
    if (der == nullptr || size == 0 || size > 0x7fffffff) return Context();
    return Context(CertCreateCertificateContext(kEncoding, der, static_cast<DWORD>(size)));
}

Store open_personal_store() {
    return Store(
        CertOpenStore(CERT_STORE_PROV_SYSTEM_A, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER, "MY"));
}

std::string common_name(const CERT_CONTEXT* context) {
    char name[1024] = {};
    // The attribute form answers "" rather than another attribute when there is no CN.
    CertGetNameStringA(context, CERT_NAME_ATTR_TYPE, 0, const_cast<char*>(szOID_COMMON_NAME), name,
                       sizeof name);
    return name;
}

// Short names as libcrypto writes them, so that both platforms agree
// (CryptoAPI's own are "S" and "E" where libcrypto has "ST" and "emailAddress").
struct ShortName {
    const char* oid;
    const char* name;
};
constexpr ShortName kShortNames[] = {
    {"2.5.4.3", "CN"},
    {"2.5.4.6", "C"},
    {"2.5.4.7", "L"},
    {"2.5.4.8", "ST"},
    {"2.5.4.9", "street"},
    {"2.5.4.10", "O"},
    {"2.5.4.11", "OU"},
    {"2.5.4.4", "SN"},
    {"2.5.4.42", "GN"},
    {"2.5.4.5", "serialNumber"},
    {"2.5.4.12", "title"},
    {"1.2.840.113549.1.9.1", "emailAddress"},
    {"0.9.2342.19200300.100.1.25", "DC"},
    {"0.9.2342.19200300.100.1.1", "UID"},
};

const char* short_name(const char* oid) {
    for (const ShortName& entry : kShortNames) {
        if (std::strcmp(entry.oid, oid) == 0) return entry.name;
    }
    return oid;
}

// A value holding a separator is quoted, with '"' and '\' escaped inside, as
// libcrypto's one-line form does.
std::string quoted_if_needed(const std::string& value) {
    const bool quote =
        value.find_first_of(",+\"\\<>;") != std::string::npos ||
        (!value.empty() && (value.front() == '#' || value.front() == ' ' || value.back() == ' '));
    if (!quote) return value;
    std::string text = "\"";
    for (const char c : value) {
        if (c == '"' || c == '\\') text += '\\';
        text += c;
    }
    return text + "\"";
}

// "C=CN, O=Quarn, CN=Alice": the encoded order, ", " between entries, " + "
// inside a multi-valued entry.
std::string distinguished_name(const CERT_CONTEXT* context) {
    const CERT_NAME_BLOB& subject = context->pCertInfo->Subject;
    CERT_NAME_INFO* info = nullptr;
    DWORD size = 0;
    if (!CryptDecodeObjectEx(X509_ASN_ENCODING, X509_NAME, subject.pbData, subject.cbData,
                             CRYPT_DECODE_ALLOC_FLAG, nullptr, &info, &size)) {
        return {};
    }
    std::string text;
    for (DWORD r = 0; r < info->cRDN; ++r) {
        const CERT_RDN& rdn = info->rgRDN[r];
        for (DWORD a = 0; a < rdn.cRDNAttr; ++a) {
            const CERT_RDN_ATTR& attribute = rdn.rgRDNAttr[a];
            CERT_RDN_VALUE_BLOB value = attribute.Value;
            const DWORD length = CertRDNValueToStrA(attribute.dwValueType, &value, nullptr, 0);
            std::string value_text(length > 0 ? length : 1, '\0');
            CertRDNValueToStrA(attribute.dwValueType, &value, &value_text[0], length);
            value_text.resize(std::strlen(value_text.c_str()));
            if (!text.empty()) text += a == 0 ? ", " : " + ";
            text += short_name(attribute.pszObjId);
            text += '=';
            text += quoted_if_needed(value_text);
        }
    }
    LocalFree(info);
    return text;
}

// The blob holds the integer's bytes least significant first; a sign byte of
// zero in front is not part of the number as libcrypto shows it either.
std::string serial_hex(const CRYPT_INTEGER_BLOB& serial) {
    DWORD length = serial.cbData;
    while (length > 1 && serial.pbData[length - 1] == 0) --length;
    std::string text;
    for (DWORD i = length; i > 0; --i) {
        char part[3];
        std::snprintf(part, sizeof part, "%02X", serial.pbData[i - 1]);
        text += part;
    }
    return text.empty() ? "00" : text;
}

// The provider's own word on where its keys live: a CryptoAPI provider
// answers PP_IMPTYPE, a CNG key storage provider (type 0) its
// NCRYPT_IMPL_TYPE_PROPERTY. Opened without a key container, so no PIN
// prompt.
bool provider_on_token(const CRYPT_KEY_PROV_INFO& info) {
    if (info.pwszProvName == nullptr) return false;
    DWORD type = 0;
    DWORD size = sizeof type;
    if (info.dwProvType == 0) {
        NCRYPT_PROV_HANDLE provider = 0;
        if (NCryptOpenStorageProvider(&provider, info.pwszProvName, 0) != ERROR_SUCCESS)
            return false;
        const bool read =
            NCryptGetProperty(provider, NCRYPT_IMPL_TYPE_PROPERTY, reinterpret_cast<PBYTE>(&type),
                              sizeof type, &size, 0) == ERROR_SUCCESS;
        NCryptFreeObject(provider);
        return read && (type & (NCRYPT_IMPL_HARDWARE_FLAG | NCRYPT_IMPL_REMOVABLE_FLAG)) != 0;
    }
    HCRYPTPROV provider = 0;
    if (!CryptAcquireContextW(&provider, nullptr, info.pwszProvName, info.dwProvType,
                              CRYPT_VERIFYCONTEXT | CRYPT_SILENT)) {
        return false;
    }
    const bool read =
        CryptGetProvParam(provider, PP_IMPTYPE, reinterpret_cast<BYTE*>(&type), &size, 0) != FALSE;
    CryptReleaseContext(provider, 0);
    return read && (type & (CRYPT_IMPL_HARDWARE | CRYPT_IMPL_REMOVABLE)) != 0;
}

// A USB key is a certificate whose private key lives on a smart card or
// another hardware token; a key in a software container is not one, however
// the certificate came into the store.
bool key_on_token(const CERT_CONTEXT* context) {
    DWORD size = 0;
    if (!CertGetCertificateContextProperty(context, CERT_KEY_PROV_INFO_PROP_ID, nullptr, &size))
        return false;
    std::vector<unsigned char> buffer(size);
    if (!CertGetCertificateContextProperty(context, CERT_KEY_PROV_INFO_PROP_ID, buffer.data(),
                                           &size)) {
        return false;
    }
    return provider_on_token(*reinterpret_cast<const CRYPT_KEY_PROV_INFO*>(buffer.data()));
}

// The wide form of a container name, for CRYPT_KEY_PROV_INFO.
std::wstring wide_of(const char* text) {
    const int size = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    if (size <= 0) return {};
    std::wstring wide(static_cast<std::size_t>(size), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text, -1, &wide[0], size);
    wide.resize(static_cast<std::size_t>(size - 1));
    return wide;
}

bool make_key(const char* container) {
    HCRYPTPROV provider = 0;
    if (!CryptAcquireContextA(&provider, container, MS_ENHANCED_PROV_A, PROV_RSA_FULL,
                              CRYPT_NEWKEYSET) &&
        !CryptAcquireContextA(&provider, container, MS_ENHANCED_PROV_A, PROV_RSA_FULL, 0)) {
        return false;
    }
    HCRYPTKEY key = 0;
    const bool made = CryptGenKey(provider, AT_KEYEXCHANGE, 0, &key) != FALSE;
    if (made) CryptDestroyKey(key);
    CryptReleaseContext(provider, 0);
    return made;
}

}  // namespace

bool certificate_fields(const std::uint8_t* der, std::size_t size, CertificateFields* fields) {
    const Context context = parse(der, size);
    if (!context) {
        set_last_error(GetLastError());
        return false;
    }
    fields->issued_to = common_name(context.get());
    fields->subject = distinguished_name(context.get());
    fields->serial = serial_hex(context->pCertInfo->SerialNumber);
    return true;
}

bool personal_store_certificates(std::vector<CertificateBytes>* certificates) {
    certificates->clear();
    const Store store = open_personal_store();
    if (!store) {
        set_last_error(GetLastError());
        return false;
    }
    const CERT_CONTEXT* context = nullptr;
    while ((context = CertEnumCertificatesInStore(store.get(), context)) != nullptr) {
        if (!key_on_token(context)) continue;
        certificates->emplace_back(context->pbCertEncoded,
                                   context->pbCertEncoded + context->cbCertEncoded);
    }
    return true;
}

bool personal_store_add(const CertificateBytes& der, const char* container) {
    const Store store(
        CertOpenStore(CERT_STORE_PROV_SYSTEM_A, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER, "MY"));
    if (!store) {
        set_last_error(GetLastError());
        return false;
    }
    const CERT_CONTEXT* added = nullptr;
    if (!CertAddEncodedCertificateToStore(store.get(), kEncoding, der.data(),
                                          static_cast<DWORD>(der.size()),
                                          CERT_STORE_ADD_REPLACE_EXISTING, &added)) {
        set_last_error(GetLastError());
        return false;
    }
    const Context context(added);
    if (container == nullptr) return true;
    if (!make_key(container)) {
        set_last_error(GetLastError());
        return false;
    }
    std::wstring wide_container = wide_of(container);
    std::wstring wide_provider = wide_of(MS_ENHANCED_PROV_A);
    CRYPT_KEY_PROV_INFO info = {};
    info.pwszContainerName = &wide_container[0];
    info.pwszProvName = &wide_provider[0];
    info.dwProvType = PROV_RSA_FULL;
    info.dwKeySpec = AT_KEYEXCHANGE;
    if (!CertSetCertificateContextProperty(context.get(), CERT_KEY_PROV_INFO_PROP_ID, 0, &info)) {
        set_last_error(GetLastError());
        return false;
    }
    return true;
}

bool personal_store_remove(const CertificateBytes& der) {
    const Context wanted = parse(der.data(), der.size());
    const Store store(
        CertOpenStore(CERT_STORE_PROV_SYSTEM_A, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER, "MY"));
    if (!wanted || !store) {
        set_last_error(GetLastError());
        return false;
    }
    const CERT_CONTEXT* found = CertFindCertificateInStore(
        store.get(), kEncoding, 0, CERT_FIND_EXISTING, wanted.get(), nullptr);
    if (found == nullptr) return true;
    // The key container goes with it.
    DWORD size = 0;
    if (CertGetCertificateContextProperty(found, CERT_KEY_PROV_INFO_PROP_ID, nullptr, &size)) {
        std::vector<unsigned char> buffer(size);
        if (CertGetCertificateContextProperty(found, CERT_KEY_PROV_INFO_PROP_ID, buffer.data(),
                                              &size)) {
            const auto* info = reinterpret_cast<const CRYPT_KEY_PROV_INFO*>(buffer.data());
            HCRYPTPROV provider = 0;
            CryptAcquireContextW(&provider, info->pwszContainerName, info->pwszProvName,
                                 info->dwProvType, CRYPT_DELETEKEYSET);
        }
    }
    // CertDeleteCertificateFromStore frees the context it is given.
    if (!CertDeleteCertificateFromStore(found)) {
        set_last_error(GetLastError());
        return false;
    }
    return true;
}

}  // namespace os
