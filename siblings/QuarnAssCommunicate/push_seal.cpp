#include "siblings/QuarnAssCommunicate/push_seal.h"

namespace communicate {
namespace {

// Tags and seals stand on one device key; the label keeps their keys apart.
constexpr char kSealLabel[] = "QuarnPushSeal\n";

bool seal_key_of(const std::string& key, os::Sha256Digest& seal_key) {
    return os::hmac_sha256({key.data(), key.size()}, {{kSealLabel, sizeof kSealLabel - 1}},
                           seal_key);
}

// The header every fragment of the message carries, its index as 0.
std::string associated_data(Header header) {
    header.index = 0;
    return header_bytes(header);
}

}  // namespace

bool seal_push(const std::string& key, std::uint32_t id, const std::string& plain,
               std::string* body) {
    if (plain.size() > kMaxPayload - kSealOverhead) return false;
    Header header;
    header.kind = Kind::kPush;
    header.flags = kFlagTagged | kFlagSealed;
    header.id = id;
    header.total = static_cast<std::uint32_t>(plain.size() + kSealOverhead);
    header.count = fragment_count(header.total);
    os::Sha256Digest seal_key;
    std::uint8_t nonce[os::kAeadNonceSize];
    std::string sealed;
    const std::string aad = associated_data(header);
    if (!seal_key_of(key, seal_key) || !os::random_bytes(nonce, sizeof nonce) ||
        !os::aead_seal(seal_key.data(), nonce, {aad.data(), aad.size()},
                       {plain.data(), plain.size()}, &sealed)) {
        return false;
    }
    body->assign(reinterpret_cast<const char*>(nonce), sizeof nonce);
    *body += sealed;
    return true;
}

Opened open_push(const std::string& key, bool unsealed_ok, const Header& header,
                 const std::string& body, std::string* text) {
    if ((header.flags & kFlagSealed) == 0) {
        if (!key.empty() && !unsealed_ok) return Opened::kUnsealed;
        *text = body;
        return Opened::kOpened;
    }
    os::Sha256Digest seal_key;
    const std::string aad = associated_data(header);
    if (key.empty() || body.size() < kSealOverhead || !seal_key_of(key, seal_key)) {
        return Opened::kBroken;
    }
    const auto* nonce = reinterpret_cast<const std::uint8_t*>(body.data());
    if (!os::aead_open(seal_key.data(), nonce, {aad.data(), aad.size()},
                       {body.data() + os::kAeadNonceSize, body.size() - os::kAeadNonceSize},
                       text)) {
        return Opened::kBroken;
    }
    return Opened::kOpened;
}

}  // namespace communicate
