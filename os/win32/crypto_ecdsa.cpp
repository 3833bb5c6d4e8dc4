// ECDSA P-256 on Windows: CNG key blobs (a BCRYPT_ECCKEY_BLOB header, then X,
// Y and for a private key the scalar) made from and into the raw numbers.
// clang-format off
#include <windows.h>
#include <bcrypt.h>
// clang-format on

#include <algorithm>
#include <vector>

#include "os/crypto.h"

namespace os {
namespace {

constexpr ULONG kNumber = 32;

class Provider {
  public:
    Provider() {
        if (!BCRYPT_SUCCESS(
                BCryptOpenAlgorithmProvider(&handle_, BCRYPT_ECDSA_P256_ALGORITHM, nullptr, 0)))
            handle_ = nullptr;
    }
    ~Provider() {
        if (handle_ != nullptr) BCryptCloseAlgorithmProvider(handle_, 0);
    }
    Provider(const Provider&) = delete;
    Provider& operator=(const Provider&) = delete;
    BCRYPT_ALG_HANDLE get() const { return handle_; }

  private:
    BCRYPT_ALG_HANDLE handle_ = nullptr;
};

class Key {
  public:
    Key() = default;
    ~Key() {
        if (handle_ != nullptr) BCryptDestroyKey(handle_);
    }
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;
    BCRYPT_KEY_HANDLE* out() { return &handle_; }
    BCRYPT_KEY_HANDLE get() const { return handle_; }

  private:
    BCRYPT_KEY_HANDLE handle_ = nullptr;
};

// Imports X, Y and, for a private key, the scalar as a CNG blob.
bool import_key(const Provider& provider, const std::uint8_t* point, const std::uint8_t* secret,
                Key& key) {
    std::vector<UCHAR> blob(sizeof(BCRYPT_ECCKEY_BLOB) + (secret != nullptr ? 3 : 2) * kNumber);
    BCRYPT_ECCKEY_BLOB header{};
    header.dwMagic =
        secret != nullptr ? BCRYPT_ECDSA_PRIVATE_P256_MAGIC : BCRYPT_ECDSA_PUBLIC_P256_MAGIC;
    header.cbKey = kNumber;
    std::copy_n(reinterpret_cast<const UCHAR*>(&header), sizeof header, blob.begin());
    std::copy_n(point, 2 * kNumber, blob.begin() + sizeof header);
    if (secret != nullptr) std::copy_n(secret, kNumber, blob.begin() + sizeof header + 2 * kNumber);
    const LPCWSTR type = secret != nullptr ? BCRYPT_ECCPRIVATE_BLOB : BCRYPT_ECCPUBLIC_BLOB;
    const bool ok =
        provider.get() != nullptr &&
        BCRYPT_SUCCESS(BCryptImportKeyPair(provider.get(), nullptr, type, key.out(), blob.data(),
                                           static_cast<ULONG>(blob.size()), 0));
    std::fill(blob.begin(), blob.end(), UCHAR{0});
    return ok;
}

}  // namespace

bool ecdsa_generate(EcdsaPrivateKey& key) {
    const Provider provider;
    Key pair;
    if (provider.get() == nullptr ||
        !BCRYPT_SUCCESS(BCryptGenerateKeyPair(provider.get(), pair.out(), 256, 0)) ||
        !BCRYPT_SUCCESS(BCryptFinalizeKeyPair(pair.get(), 0))) {
        return false;
    }
    std::vector<UCHAR> blob(sizeof(BCRYPT_ECCKEY_BLOB) + 3 * kNumber);
    ULONG length = 0;
    if (!BCRYPT_SUCCESS(BCryptExportKey(pair.get(), nullptr, BCRYPT_ECCPRIVATE_BLOB, blob.data(),
                                        static_cast<ULONG>(blob.size()), &length, 0)) ||
        length != blob.size()) {
        return false;
    }
    // CNG: X, Y, scalar; ours: scalar, X, Y.
    const UCHAR* numbers = blob.data() + sizeof(BCRYPT_ECCKEY_BLOB);
    std::copy_n(numbers + 2 * kNumber, kNumber, key.begin());
    std::copy_n(numbers, 2 * kNumber, key.begin() + kNumber);
    std::fill(blob.begin(), blob.end(), UCHAR{0});
    return true;
}

bool ecdsa_sign(const EcdsaPrivateKey& key, std::initializer_list<ByteRange> parts,
                EcdsaSignature& signature) {
    const Provider provider;
    Key pair;
    Sha256Digest digest{};
    ULONG length = 0;
    return sha256(parts, digest) && import_key(provider, key.data() + kNumber, key.data(), pair) &&
           BCRYPT_SUCCESS(BCryptSignHash(pair.get(), nullptr, digest.data(), kSha256Size,
                                         signature.data(), kEcdsaSignatureSize, &length, 0)) &&
           length == kEcdsaSignatureSize;
}

bool ecdsa_verify(const EcdsaPublicKey& key, std::initializer_list<ByteRange> parts,
                  const EcdsaSignature& signature) {
    const Provider provider;
    Key point;
    Sha256Digest digest{};
    // CNG takes non-const buffers; it only reads them.
    auto* bytes = const_cast<PUCHAR>(signature.data());
    return sha256(parts, digest) && import_key(provider, key.data(), nullptr, point) &&
           BCryptVerifySignature(point.get(), nullptr, digest.data(), kSha256Size, bytes,
                                 kEcdsaSignatureSize, 0) == 0;
}

}  // namespace os
