// Cryptography on Windows: CNG (bcrypt.dll) for SHA-256, HMAC-SHA256 and the
// system-preferred random generator.
// windows.h comes first: bcrypt.h relies on its types.
// clang-format off
#include <windows.h>
#include <bcrypt.h>
// clang-format on

#include "os/crypto.h"

namespace os {
namespace {

// The provider is opened per call: these run a few times per datagram, and
// an opened provider shared between threads would need its own lifetime.
class Hash {
  public:
    Hash(ByteRange key, bool keyed) {
        const ULONG flags = keyed ? BCRYPT_ALG_HANDLE_HMAC_FLAG : 0;
        if (!BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&algorithm_, BCRYPT_SHA256_ALGORITHM,
                                                        nullptr, flags))) {
            algorithm_ = nullptr;
            return;
        }
        // CNG takes a non-const key pointer; it only reads it.
        auto* key_bytes = keyed ? static_cast<PUCHAR>(const_cast<void*>(key.data)) : nullptr;
        static UCHAR no_key = 0;
        if (keyed && key.size == 0) key_bytes = &no_key;
        if (!BCRYPT_SUCCESS(BCryptCreateHash(algorithm_, &hash_, nullptr, 0, key_bytes,
                                             keyed ? static_cast<ULONG>(key.size) : 0, 0)))
            hash_ = nullptr;
    }
    ~Hash() {
        if (hash_ != nullptr) BCryptDestroyHash(hash_);
        if (algorithm_ != nullptr) BCryptCloseAlgorithmProvider(algorithm_, 0);
    }
    Hash(const Hash&) = delete;
    Hash& operator=(const Hash&) = delete;

    bool run(std::initializer_list<ByteRange> parts, Sha256Digest& out) {
        if (hash_ == nullptr) return false;
        for (const ByteRange& part : parts) {
            if (part.size == 0) continue;
            auto* bytes = static_cast<PUCHAR>(const_cast<void*>(part.data));
            if (!BCRYPT_SUCCESS(BCryptHashData(hash_, bytes, static_cast<ULONG>(part.size), 0)))
                return false;
        }
        return BCRYPT_SUCCESS(BCryptFinishHash(hash_, out.data(), out.size(), 0));
    }

  private:
    BCRYPT_ALG_HANDLE algorithm_ = nullptr;
    BCRYPT_HASH_HANDLE hash_ = nullptr;
};

}  // namespace

bool sha256(std::initializer_list<ByteRange> parts, Sha256Digest& digest) {
    return Hash({nullptr, 0}, false).run(parts, digest);
}

bool hmac_sha256(ByteRange key, std::initializer_list<ByteRange> parts, Sha256Digest& tag) {
    return Hash(key, true).run(parts, tag);
}

bool random_bytes(void* out, std::size_t size) {
    auto* bytes = static_cast<PUCHAR>(out);
    while (size > 0) {
        const ULONG chunk = size > 0x10000000u ? 0x10000000u : static_cast<ULONG>(size);
        if (!BCRYPT_SUCCESS(
                BCryptGenRandom(nullptr, bytes, chunk, BCRYPT_USE_SYSTEM_PREFERRED_RNG)))
            return false;
        bytes += chunk;
        size -= chunk;
    }
    return true;
}

bool tags_equal(const void* a, const void* b, std::size_t size) {
    const auto* left = static_cast<const volatile unsigned char*>(a);
    const auto* right = static_cast<const volatile unsigned char*>(b);
    unsigned char difference = 0;
    for (std::size_t i = 0; i < size; ++i) difference |= left[i] ^ right[i];
    return difference == 0;
}

}  // namespace os
