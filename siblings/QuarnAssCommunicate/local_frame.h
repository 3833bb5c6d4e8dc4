// The frame of the local TCP exchange (127.0.0.1:36588) and the per-user
// secret that tags it: a 4-byte little-endian length, the document's text
// form, and HMAC-SHA256 under the secret over a direction byte (1 request,
// 2 answer), for an answer the request's tag, the length and the text.
// docs/wire_formats.md has the byte layout.
#pragma once

#include <cstdint>
#include <string>

#include "os/crypto.h"
#include "os/socket.h"

namespace communicate {

inline constexpr char kSecretFileName[] = "QuarnAssCommunicate.key";
inline constexpr std::size_t kSecretSize = 32;

enum class Direction : std::uint8_t { kRequest = 1, kAnswer = 2 };

// A fresh secret of random bytes, written to the assistant directory as a
// file only its owner may read (replacing one left by an earlier listener).
bool create_secret(std::string* secret);
// The secret the running listener wrote; false when there is none whole.
bool read_secret(std::string* secret);

// The whole frame carrying `text`; *tag receives its tag. `request_tag` is
// the tag of the request an answer belongs to (null for a request).
// Empty when the text is longer than the 1 MiB cap or tagging failed.
std::string make_frame(Direction direction, const std::string& secret, const std::string& text,
                       const os::Sha256Digest* request_tag, os::Sha256Digest* tag);

enum class FrameRead { kOk, kFailed, kTooLong, kBadTag };
// Receives one frame, each wait bounded by `timeout_ms`, and checks its tag.
FrameRead receive_frame(os::Socket socket, Direction direction, const std::string& secret,
                        const os::Sha256Digest* request_tag, std::uint32_t timeout_ms,
                        std::string* text, os::Sha256Digest* tag);

}  // namespace communicate
