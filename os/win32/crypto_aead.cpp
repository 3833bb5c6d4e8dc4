// AES-256-GCM on Windows: CNG's AES provider in GCM chaining mode.
// windows.h comes first: bcrypt.h relies on its types.
// clang-format off
#include <windows.h>
#include <bcrypt.h>
// clang-format on

#include <string>

#include "os/crypto.h"

namespace os {
namespace {

class GcmKey {
  public:
    explicit GcmKey(const std::uint8_t* key) {
        if (!BCRYPT_SUCCESS(
                BCryptOpenAlgorithmProvider(&algorithm_, BCRYPT_AES_ALGORITHM, nullptr, 0))) {
            algorithm_ = nullptr;
            return;
        }
        auto* mode = reinterpret_cast<PUCHAR>(const_cast<wchar_t*>(BCRYPT_CHAIN_MODE_GCM));
        if (!BCRYPT_SUCCESS(BCryptSetProperty(algorithm_, BCRYPT_CHAINING_MODE, mode,
                                              sizeof(BCRYPT_CHAIN_MODE_GCM), 0)) ||
            !BCRYPT_SUCCESS(BCryptGenerateSymmetricKey(algorithm_, &key_, nullptr, 0,
                                                       const_cast<PUCHAR>(key), kAeadKeySize, 0))) {
            key_ = nullptr;
        }
    }
    ~GcmKey() {
        if (key_ != nullptr) BCryptDestroyKey(key_);
        if (algorithm_ != nullptr) BCryptCloseAlgorithmProvider(algorithm_, 0);
    }
    GcmKey(const GcmKey&) = delete;
    GcmKey& operator=(const GcmKey&) = delete;

    // Encrypts or decrypts `in` into `out` (same size); `tag` is written when
    // sealing and checked when opening.
    bool run(bool seal, const std::uint8_t* nonce, ByteRange aad, const void* in, std::size_t size,
             unsigned char* out, unsigned char* tag) {
        if (key_ == nullptr) return false;
        BCRYPT_AUTHENTICATED_CIPHER_MODE_INFO info;
        BCRYPT_INIT_AUTH_MODE_INFO(info);
        info.pbNonce = const_cast<PUCHAR>(nonce);
        info.cbNonce = kAeadNonceSize;
        info.pbAuthData = static_cast<PUCHAR>(const_cast<void*>(aad.data));
        info.cbAuthData = static_cast<ULONG>(aad.size);
        info.pbTag = tag;
        info.cbTag = kAeadTagSize;
        ULONG done = 0;
        auto* input = static_cast<PUCHAR>(const_cast<void*>(in));
        const NTSTATUS status =
            seal ? BCryptEncrypt(key_, input, static_cast<ULONG>(size), &info, nullptr, 0, out,
                                 static_cast<ULONG>(size), &done, 0)
                 : BCryptDecrypt(key_, input, static_cast<ULONG>(size), &info, nullptr, 0, out,
                                 static_cast<ULONG>(size), &done, 0);
        return BCRYPT_SUCCESS(status) && done == size;
    }

  private:
    BCRYPT_ALG_HANDLE algorithm_ = nullptr;
    BCRYPT_KEY_HANDLE key_ = nullptr;
};

}  // namespace

bool aead_seal(const std::uint8_t* key, const std::uint8_t* nonce, ByteRange aad, ByteRange plain,
               std::string* sealed) {
    if (plain.size > 0x7fffffff - kAeadTagSize) return false;
    std::string out(plain.size + kAeadTagSize, '\0');
    auto* bytes = reinterpret_cast<unsigned char*>(&out[0]);
    if (!GcmKey(key).run(true, nonce, aad, plain.data, plain.size, bytes, bytes + plain.size)) {
        return false;
    }
    sealed->swap(out);
    return true;
}

bool aead_open(const std::uint8_t* key, const std::uint8_t* nonce, ByteRange aad, ByteRange sealed,
               std::string* plain) {
    plain->clear();
    if (sealed.size < kAeadTagSize || sealed.size > 0x7fffffff) return false;
    const std::size_t size = sealed.size - kAeadTagSize;
    const auto* in = static_cast<const unsigned char*>(sealed.data);
    unsigned char tag[kAeadTagSize];
    for (std::size_t i = 0; i < kAeadTagSize; ++i) tag[i] = in[size + i];
    std::string out(size, '\0');
    // A wrong tag is STATUS_AUTH_TAG_MISMATCH.
    if (!GcmKey(key).run(false, nonce, aad, in, size, reinterpret_cast<unsigned char*>(&out[0]),
                         tag)) {
        return false;
    }
    plain->swap(out);
    return true;
}

}  // namespace os
