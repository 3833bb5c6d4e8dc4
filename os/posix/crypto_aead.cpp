// AES-256-GCM on POSIX: OpenSSL's EVP cipher interface.
#include <openssl/evp.h>

#include <algorithm>
#include <climits>
#include <memory>

#include "os/crypto.h"

namespace os {
namespace {

struct CipherContextFree {
    void operator()(EVP_CIPHER_CTX* context) const { EVP_CIPHER_CTX_free(context); }
};
using CipherContext = std::unique_ptr<EVP_CIPHER_CTX, CipherContextFree>;

// A context keyed for one direction; null when libcrypto refuses.
CipherContext start(bool seal, const std::uint8_t* key, const std::uint8_t* nonce, ByteRange aad) {
    CipherContext context(EVP_CIPHER_CTX_new());
    int length = 0;
    if (!context || aad.size > INT_MAX ||
        EVP_CipherInit_ex(context.get(), EVP_aes_256_gcm(), nullptr, nullptr, nullptr,
                          seal ? 1 : 0) != 1 ||
        EVP_CIPHER_CTX_ctrl(context.get(), EVP_CTRL_GCM_SET_IVLEN, kAeadNonceSize, nullptr) != 1 ||
        EVP_CipherInit_ex(context.get(), nullptr, nullptr, key, nonce, -1) != 1 ||
        (aad.size > 0 && EVP_CipherUpdate(context.get(), nullptr, &length,
                                          static_cast<const unsigned char*>(aad.data),
                                          static_cast<int>(aad.size)) != 1)) {
        return nullptr;
    }
    return context;
}

}  // namespace

bool aead_seal(const std::uint8_t* key, const std::uint8_t* nonce, ByteRange aad, ByteRange plain,
               std::string* sealed) {
    const CipherContext context = start(true, key, nonce, aad);
    if (!context || plain.size > INT_MAX - kAeadTagSize) return false;
    std::string out(plain.size + kAeadTagSize, '\0');
    auto* bytes = reinterpret_cast<unsigned char*>(&out[0]);
    int length = 0;
    int last = 0;
    if ((plain.size > 0 && EVP_CipherUpdate(context.get(), bytes, &length,
                                            static_cast<const unsigned char*>(plain.data),
                                            static_cast<int>(plain.size)) != 1) ||
        EVP_CipherFinal_ex(context.get(), bytes + length, &last) != 1 ||
        EVP_CIPHER_CTX_ctrl(context.get(), EVP_CTRL_GCM_GET_TAG, kAeadTagSize,
                            bytes + plain.size) != 1) {
        return false;
    }
    sealed->swap(out);
    return true;
}

bool aead_open(const std::uint8_t* key, const std::uint8_t* nonce, ByteRange aad, ByteRange sealed,
               std::string* plain) {
    plain->clear();
    if (sealed.size < kAeadTagSize || sealed.size > INT_MAX) return false;
    const CipherContext context = start(false, key, nonce, aad);
    if (!context) return false;
    const std::size_t size = sealed.size - kAeadTagSize;
    const auto* in = static_cast<const unsigned char*>(sealed.data);
    std::string out(size, '\0');
    auto* bytes = reinterpret_cast<unsigned char*>(&out[0]);
    unsigned char tag[kAeadTagSize];
    std::copy(in + size, in + sealed.size, tag);
    int length = 0;
    int last = 0;
    if ((size > 0 &&
         EVP_CipherUpdate(context.get(), bytes, &length, in, static_cast<int>(size)) != 1) ||
        EVP_CIPHER_CTX_ctrl(context.get(), EVP_CTRL_GCM_SET_TAG, kAeadTagSize, tag) != 1 ||
        EVP_CipherFinal_ex(context.get(), bytes + length, &last) != 1) {
        return false;  // the tag does not verify
    }
    plain->swap(out);
    return true;
}

}  // namespace os
