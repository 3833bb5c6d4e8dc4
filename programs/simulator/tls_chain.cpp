#include "programs/simulator/tls_chain.h"

#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <fstream>
#include <memory>
#include <mutex>

namespace simulator {
namespace {

constexpr long kDay = 24L * 3600L;

struct KeyFree {
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct CertificateFree {
    void operator()(X509* certificate) const { X509_free(certificate); }
};
using Key = std::unique_ptr<EVP_PKEY, KeyFree>;
using Certificate = std::unique_ptr<X509, CertificateFree>;

Key new_key() {
    return Key(EVP_RSA_gen(2048));
}

bool add_extension(X509* certificate, X509* issuer, int nid, const std::string& value) {
    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, issuer, certificate, nullptr, nullptr, 0);
    X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value.c_str());
    if (extension == nullptr) return false;
    const bool added = X509_add_ext(certificate, extension, -1) == 1;
    X509_EXTENSION_free(extension);
    return added;
}

// A certificate for `key` named `name`, signed by `issuer_key` (itself when
// `issuer` is null), valid from `from` to `until` seconds around now.
Certificate issue(EVP_PKEY* key, const std::string& name, X509* issuer, EVP_PKEY* issuer_key,
                  bool authority, const std::string& alt_names, long from, long until) {
    static long serial = 1;
    Certificate certificate(X509_new());
    X509* c = certificate.get();
    X509_NAME* subject = X509_get_subject_name(c);
    bool good =
        c != nullptr && X509_set_version(c, 2) == 1 &&
        ASN1_INTEGER_set(X509_get_serialNumber(c), serial++) == 1 &&
        X509_gmtime_adj(X509_getm_notBefore(c), from) != nullptr &&
        X509_gmtime_adj(X509_getm_notAfter(c), until) != nullptr &&
        X509_NAME_add_entry_by_txt(subject, "O", MBSTRING_ASC,
                                   reinterpret_cast<const unsigned char*>("Quarn test"), -1, -1,
                                   0) == 1 &&
        X509_NAME_add_entry_by_txt(subject, "CN", MBSTRING_ASC,
                                   reinterpret_cast<const unsigned char*>(name.c_str()), -1, -1,
                                   0) == 1 &&
        X509_set_issuer_name(c, issuer != nullptr ? X509_get_subject_name(issuer) : subject) == 1 &&
        X509_set_pubkey(c, key) == 1;
    X509* signer = issuer != nullptr ? issuer : c;
    if (authority) {
        good = good && add_extension(c, signer, NID_basic_constraints, "critical,CA:TRUE") &&
               add_extension(c, signer, NID_key_usage, "critical,keyCertSign,cRLSign");
    } else {
        good =
            good && add_extension(c, signer, NID_basic_constraints, "critical,CA:FALSE") &&
            add_extension(c, signer, NID_key_usage, "critical,digitalSignature,keyEncipherment") &&
            add_extension(c, signer, NID_ext_key_usage, "serverAuth") &&
            add_extension(c, signer, NID_subject_alt_name, alt_names);
    }
    good = good && add_extension(c, signer, NID_subject_key_identifier, "hash") &&
           (issuer == nullptr || add_extension(c, signer, NID_authority_key_identifier, "keyid")) &&
           X509_sign(c, issuer_key, EVP_sha256()) > 0;
    if (!good) certificate.reset();
    return certificate;
}

std::string pem_of(X509* certificate) {
    BIO* bio = BIO_new(BIO_s_mem());
    PEM_write_bio_X509(bio, certificate);
    char* data = nullptr;
    const long size = BIO_get_mem_data(bio, &data);
    std::string text(data, static_cast<std::size_t>(size));
    BIO_free(bio);
    return text;
}

std::string key_pem_of(EVP_PKEY* key) {
    BIO* bio = BIO_new(BIO_s_mem());
    PEM_write_bio_PrivateKey(bio, key, nullptr, nullptr, 0, nullptr, nullptr);
    char* data = nullptr;
    const long size = BIO_get_mem_data(bio, &data);
    std::string text(data, static_cast<std::size_t>(size));
    BIO_free(bio);
    return text;
}

std::string pin_of(X509* certificate) {
    unsigned char* der = nullptr;
    const int size = i2d_X509_PUBKEY(X509_get_X509_PUBKEY(certificate), &der);
    if (size <= 0) return {};
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int digest_size = 0;
    EVP_Digest(der, static_cast<std::size_t>(size), digest, &digest_size, EVP_sha256(), nullptr);
    OPENSSL_free(der);
    unsigned char text[64] = {};
    const int length = EVP_EncodeBlock(text, digest, static_cast<int>(digest_size));
    return std::string(reinterpret_cast<char*>(text), static_cast<std::size_t>(length));
}

// One root and intermediate for the whole process: every server certificate
// made here chains to the same root, which a test trusts once.
struct Authority {
    Key root_key, intermediate_key;
    Certificate root, intermediate;
};

const Authority* authority() {
    static Authority made;
    static std::once_flag once;
    std::call_once(once, [] {
        made.root_key = new_key();
        made.intermediate_key = new_key();
        if (!made.root_key || !made.intermediate_key) return;
        made.root = issue(made.root_key.get(), "Quarn test root", nullptr, made.root_key.get(),
                          true, "", -kDay, 3650 * kDay);
        if (!made.root) return;
        made.intermediate =
            issue(made.intermediate_key.get(), "Quarn test intermediate", made.root.get(),
                  made.root_key.get(), true, "", -kDay, 3650 * kDay);
    });
    return made.intermediate ? &made : nullptr;
}

}  // namespace

bool make_tls_chain(ServerCertificate kind, const std::string& host, const std::string& address,
                    TlsChain* chain, std::string* error) {
    const Authority* ca = authority();
    Key key = new_key();
    if (ca == nullptr || !key) {
        *error = "cannot make keys";
        return false;
    }
    std::string names = "DNS:" + host;
    if (!address.empty()) names += ",IP:" + address;
    long from = -kDay, until = 825 * kDay;
    X509* issuer = ca->intermediate.get();
    EVP_PKEY* issuer_key = ca->intermediate_key.get();
    switch (kind) {
        case ServerCertificate::kGood:
            break;
        case ServerCertificate::kWrongHost:
            names = "DNS:other.invalid";
            break;
        case ServerCertificate::kExpired:
            from = -30 * kDay;
            until = -kDay;
            break;
        case ServerCertificate::kSelfSigned:
            issuer = nullptr;
            issuer_key = key.get();
            break;
    }
    const Certificate server =
        issue(key.get(), kind == ServerCertificate::kWrongHost ? "other.invalid" : host, issuer,
              issuer_key, false, names, from, until);
    if (!server) {
        *error = "cannot issue the server certificate";
        return false;
    }
    chain->server_pem = pem_of(server.get());
    if (issuer != nullptr) chain->server_pem += pem_of(ca->intermediate.get());
    chain->key_pem = key_pem_of(key.get());
    chain->root_pem = pem_of(ca->root.get());
    unsigned char* der = nullptr;
    const int size = i2d_X509(ca->root.get(), &der);
    chain->root_der.assign(der, der + (size > 0 ? size : 0));
    OPENSSL_free(der);
    chain->pin = pin_of(server.get());
    return true;
}

bool write_tls_chain(const TlsChain& chain, const std::string& folder) {
    const std::pair<const char*, std::string> files[] = {
        {"server.pem", chain.server_pem},
        {"server.key", chain.key_pem},
        {"root.pem", chain.root_pem},
        {"root.der", std::string(chain.root_der.begin(), chain.root_der.end())},
        {"pin", chain.pin},
    };
    for (const auto& [name, bytes] : files) {
        std::ofstream out(folder + "/" + name, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        if (!out) return false;
    }
    return true;
}

std::string server_key_pin(const std::string& chain_file) {
    BIO* bio = BIO_new_file(chain_file.c_str(), "r");
    if (bio == nullptr) return {};
    const Certificate server(PEM_read_bio_X509(bio, nullptr, nullptr, nullptr));
    BIO_free(bio);
    return server ? pin_of(server.get()) : std::string();
}

}  // namespace simulator
