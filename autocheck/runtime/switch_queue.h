// User switches run one after another on one thread, in the order they
// arrived: two switches queued A then B always leave the endpoint as B.
#pragma once

#include <cstddef>

namespace autocheck {

// Requests waiting beyond the one running. A burst beyond it drops the
// oldest waiting request: the last one still wins.
inline constexpr std::size_t kSwitchQueueLimit = 8;

// Queues a request block (kSwitchBlockSize bytes from std::malloc, taken
// over whatever happens). A waiting request for the same user name (letter
// case aside) is dropped: the newer one takes its turn at the end. Starts
// the switch thread when none runs; false (block freed) when it cannot be
// started.
bool queue_switch(char* request_block);

}  // namespace autocheck
