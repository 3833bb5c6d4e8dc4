// The local TCP exchange (127.0.0.1:36588), version 2: before anything
// secret travels, the listener proves that it holds the per-user secret
// (the client checks it), the client proves it too, and the request and its
// answer are sealed with AES-256-GCM under a key drawn from the secret and
// both sides' fresh nonces. docs/wire_formats.md has the byte layout.
//
//   client   hello:     "TARL" 02 01 | client nonce[32]
//   listener challenge: "TARL" 02 02 | listener nonce[32] | listener proof[32]
//   client   request:   "TARL" 02 03 | client proof[32] | L[4] | sealed[L+16]
//   listener answer:    "TARL" 02 04 | L[4] | sealed[L+16]
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "os/crypto.h"
#include "os/socket.h"

namespace communicate {

inline constexpr char kSecretFileName[] = "QuarnAssCommunicate.key";
inline constexpr std::size_t kSecretSize = 32;
inline constexpr std::uint8_t kLocalVersion = 2;

// A fresh secret of random bytes, written to the assistant directory as a
// file only its owner may read (replacing one left by an earlier listener).
bool create_secret(std::string* secret);
// The secret the running listener wrote; false when there is none whole.
bool read_secret(std::string* secret);

enum class LocalRead {
    kOk,
    kFailed,      // closed, timed out, or not a frame of this exchange
    kOldVersion,  // a frame of the first version: lengths and text in clear
    kTooLong,     // a request above the 1 MiB cap
    kNotProven,   // the peer does not hold the secret (proof or seal wrong)
};

// The key of one connection, known to both ends after the handshake.
struct LocalSession {
    std::array<std::uint8_t, os::kAeadKeySize> key{};
};

// The listener's side: the hello, the challenge, the request, all within
// `timeout_ms` from the call, however the client spreads its bytes.
// `proven` (if set) is called once the client has proved the secret.
LocalRead listener_receive(os::Socket socket, const std::string& secret, std::uint32_t timeout_ms,
                           LocalSession* session, std::string* request,
                           const std::function<void()>& proven = nullptr);
bool listener_answer(os::Socket socket, const LocalSession& session, const std::string& answer,
                     std::uint32_t timeout_ms);

// The client's side: the listener must prove itself within `handshake_ms`
// before the request is sent; then the answer within `answer_ms`.
LocalRead client_exchange(os::Socket socket, const std::string& secret, const std::string& request,
                          std::uint32_t handshake_ms, std::uint32_t answer_ms, std::string* answer);

}  // namespace communicate
