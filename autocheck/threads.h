// The two long-lived threads that Start launches.
#pragma once

#include <cstdint>

namespace autocheck {

// Waits for the server, keeps registration and policy fresh and runs the
// passes of the schedule.
std::uint32_t WorkingThread(void* unused);
// Waits on the tray's named events and carries out menu choices.
std::uint32_t EventDoingThread(void* unused);

}  // namespace autocheck
