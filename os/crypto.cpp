// The platform-independent part of the cryptography seam.
#include "os/crypto.h"

#include <algorithm>

namespace os {

std::string digest_hex(const Sha256Digest& digest) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    text.reserve(digest.size() * 2);
    for (const std::uint8_t byte : digest) {
        text.push_back(kDigits[byte >> 4]);
        text.push_back(kDigits[byte & 0x0f]);
    }
    return text;
}

EcdsaPublicKey ecdsa_public_of(const EcdsaPrivateKey& key) {
    EcdsaPublicKey point{};
    std::copy(key.begin() + (kEcdsaPrivateSize - kEcdsaPublicSize), key.end(), point.begin());
    return point;
}

}  // namespace os
