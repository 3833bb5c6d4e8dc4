// The two configuration keys the module reads through the configuration
// module, as every part of the product reads keys.
#pragma once

#include <cstdint>
#include <string>

namespace communicate {

inline constexpr std::uint16_t kDefaultListeningPort = 36538;

// CryptKey's bytes; empty when the key is absent or empty (no authentication).
std::string configured_key();
// The key pushes are checked under: CryptKey, or, without one, a key nobody
// holds (drawn once per process), so that an agent without a key refuses
// every push instead of taking it untagged. Only the explicit downgrade
// SecurityDowngrade=1 makes it empty (pushes taken untagged).
std::string configured_push_key();
// ListeningPort as a port number; the default when absent or not 1-65535.
std::uint16_t configured_listening_port();

}  // namespace communicate
