// A push's body under a key travels sealed: AES-256-GCM under a key derived
// from the device's key, so that a program holding the push port without
// the key learns nothing of it (a SwitchUser push carries a password). The
// message's header is the associated data, so a body opens only under the
// id and header it was sealed for. docs/wire_formats.md has the layout.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "os/crypto.h"
#include "siblings/QuarnAssCommunicate/datagram.h"

namespace communicate {

// The random nonce before the cipher text and the GCM tag after it.
inline constexpr std::size_t kSealOverhead = os::kAeadNonceSize + os::kAeadTagSize;

// The sealed body of push `id` carrying `plain` under the device's `key`:
// a fresh nonce, the cipher text, the tag. False when the body would exceed
// kMaxPayload or the platform refuses.
bool seal_push(const std::string& key, std::uint32_t id, const std::string& plain,
               std::string* body);

enum class Opened {
    kOpened,    // *text holds the push's document text
    kUnsealed,  // a key is configured and the push is not sealed
    kBroken,    // sealed, and it does not open under the key and header
};

// The document text of a whole push whose header is `header` (any of its
// fragments'). A sealed push is opened under `key`; an unsealed one passes
// only without a key or when `unsealed_ok` (SecurityDowngrade).
Opened open_push(const std::string& key, bool unsealed_ok, const Header& header,
                 const std::string& body, std::string* text);

}  // namespace communicate
