// Hashes, message authentication and random bytes from the platform's own
// cryptography (CNG on Windows, OpenSSL's libcrypto on POSIX): the
// authenticated datagrams, the local frames and the verified module
// downloads all stand on these few calls, and none of it is written here.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>

namespace os {

inline constexpr std::size_t kSha256Size = 32;
using Sha256Digest = std::array<std::uint8_t, kSha256Size>;

// A run of bytes that one call hashes; several are hashed as if joined.
struct ByteRange {
    const void* data;
    std::size_t size;
};

// SHA-256 of the joined ranges. False only when the platform refuses.
bool sha256(std::initializer_list<ByteRange> parts, Sha256Digest& digest);
// HMAC-SHA256 of the joined ranges under `key` (any length, empty allowed).
bool hmac_sha256(ByteRange key, std::initializer_list<ByteRange> parts, Sha256Digest& tag);
// Fills `size` bytes from the system's cryptographic generator.
bool random_bytes(void* out, std::size_t size);
// Compares two tags in time that does not depend on where they differ.
bool tags_equal(const void* a, const void* b, std::size_t size);

// Lower-case hexadecimal of a digest, as manifests and traces write it.
std::string digest_hex(const Sha256Digest& digest);

// AES-256-GCM (os/*/crypto_aead.cpp): a 32-byte key, a 12-byte nonce that
// one key never takes twice, a 16-byte tag over `aad` and the cipher text.
inline constexpr std::size_t kAeadKeySize = 32;
inline constexpr std::size_t kAeadNonceSize = 12;
inline constexpr std::size_t kAeadTagSize = 16;
// *sealed = the cipher text (as long as `plain`) followed by the tag.
bool aead_seal(const std::uint8_t* key, const std::uint8_t* nonce, ByteRange aad, ByteRange plain,
               std::string* sealed);
// *plain = what `sealed` holds; false, and *plain empty, when the tag does
// not verify under `key`, `nonce` and `aad`.
bool aead_open(const std::uint8_t* key, const std::uint8_t* nonce, ByteRange aad, ByteRange sealed,
               std::string* plain);

// ECDSA on the NIST P-256 curve with SHA-256: the server signs module
// manifests, endpoints only verify. Keys and signatures are raw big-endian
// numbers, the same bytes on both platforms: a public key is the point's
// X then Y, a private key the scalar followed by its public key, a
// signature r then s.
inline constexpr std::size_t kEcdsaPublicSize = 64;
inline constexpr std::size_t kEcdsaPrivateSize = 96;
inline constexpr std::size_t kEcdsaSignatureSize = 64;
using EcdsaPublicKey = std::array<std::uint8_t, kEcdsaPublicSize>;
using EcdsaPrivateKey = std::array<std::uint8_t, kEcdsaPrivateSize>;
using EcdsaSignature = std::array<std::uint8_t, kEcdsaSignatureSize>;

// A fresh key pair from the system's generator.
bool ecdsa_generate(EcdsaPrivateKey& key);
// The public half of a private key.
EcdsaPublicKey ecdsa_public_of(const EcdsaPrivateKey& key);
// Signs the SHA-256 of the joined ranges. False when the key is not a P-256 key.
bool ecdsa_sign(const EcdsaPrivateKey& key, std::initializer_list<ByteRange> parts,
                EcdsaSignature& signature);
// True only when `signature` is `key`'s over the joined ranges.
bool ecdsa_verify(const EcdsaPublicKey& key, std::initializer_list<ByteRange> parts,
                  const EcdsaSignature& signature);

}  // namespace os
