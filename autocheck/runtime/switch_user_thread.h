// The thread that switches the endpoint to another network user, one thread
// per "SwitchUser" request the server command handler receives.
#pragma once

#include <cstddef>
#include <cstdint>

namespace autocheck {

// The request block: two zero-terminated fields of 260 bytes, the user name
// at offset 0 and the password at kSwitchFieldSize (all zero without one).
inline constexpr std::size_t kSwitchFieldSize = 260;
inline constexpr std::size_t kSwitchBlockSize = 2 * kSwitchFieldSize;

}  // namespace autocheck

// Runs one switch. The thread owns `request_block` (kSwitchBlockSize bytes
// from the standard library heap) and releases it with std::free. Exit code 0.
std::uint32_t ThreadSwitchUser(void* request_block);
