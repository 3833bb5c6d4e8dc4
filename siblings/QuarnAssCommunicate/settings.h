// The two configuration keys the module reads through the configuration
// module, as every part of the product reads keys.
#pragma once

#include <cstdint>
#include <string>

namespace communicate {

inline constexpr std::uint16_t kDefaultListeningPort = 36538;

// CryptKey's bytes; empty when the key is absent or empty (no authentication).
std::string configured_key();
// ListeningPort as a port number; the default when absent or not 1-65535.
std::uint16_t configured_listening_port();

}  // namespace communicate
