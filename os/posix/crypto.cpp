// Cryptography on POSIX: OpenSSL's libcrypto (EVP digests and MACs, the
// DRBG behind RAND_bytes).
#include "os/crypto.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/params.h>
#include <openssl/rand.h>

#include <climits>
#include <memory>

namespace os {
namespace {

struct MdContextFree {
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};
struct MacFree {
    void operator()(EVP_MAC* mac) const { EVP_MAC_free(mac); }
};
struct MacContextFree {
    void operator()(EVP_MAC_CTX* context) const { EVP_MAC_CTX_free(context); }
};

}  // namespace

bool sha256(std::initializer_list<ByteRange> parts, Sha256Digest& digest) {
    std::unique_ptr<EVP_MD_CTX, MdContextFree> context(EVP_MD_CTX_new());
    if (!context || EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) != 1) return false;
    for (const ByteRange& part : parts) {
        if (part.size != 0 && EVP_DigestUpdate(context.get(), part.data, part.size) != 1)
            return false;
    }
    unsigned int length = 0;
    return EVP_DigestFinal_ex(context.get(), digest.data(), &length) == 1 &&
           length == digest.size();
}

bool hmac_sha256(ByteRange key, std::initializer_list<ByteRange> parts, Sha256Digest& tag) {
    std::unique_ptr<EVP_MAC, MacFree> mac(EVP_MAC_fetch(nullptr, "HMAC", nullptr));
    if (!mac) return false;
    std::unique_ptr<EVP_MAC_CTX, MacContextFree> context(EVP_MAC_CTX_new(mac.get()));
    if (!context) return false;
    char digest_name[] = "SHA256";
    const OSSL_PARAM params[] = {
        OSSL_PARAM_construct_utf8_string("digest", digest_name, 0),
        OSSL_PARAM_construct_end(),
    };
    // An empty key is a valid HMAC key; libcrypto wants a non-null pointer for it.
    static const unsigned char kNoKey = 0;
    const auto* key_bytes = key.size == 0 ? &kNoKey : static_cast<const unsigned char*>(key.data);
    if (EVP_MAC_init(context.get(), key_bytes, key.size, params) != 1) return false;
    for (const ByteRange& part : parts) {
        if (part.size != 0 &&
            EVP_MAC_update(context.get(), static_cast<const unsigned char*>(part.data),
                           part.size) != 1)
            return false;
    }
    std::size_t length = 0;
    return EVP_MAC_final(context.get(), tag.data(), &length, tag.size()) == 1 &&
           length == tag.size();
}

bool random_bytes(void* out, std::size_t size) {
    auto* bytes = static_cast<unsigned char*>(out);
    while (size > 0) {
        const int chunk = size > INT_MAX ? INT_MAX : static_cast<int>(size);
        if (RAND_bytes(bytes, chunk) != 1) return false;
        bytes += chunk;
        size -= static_cast<std::size_t>(chunk);
    }
    return true;
}

bool tags_equal(const void* a, const void* b, std::size_t size) {
    return CRYPTO_memcmp(a, b, size) == 0;
}

}  // namespace os
