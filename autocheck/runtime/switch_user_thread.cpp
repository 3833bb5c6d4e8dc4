#include "autocheck/runtime/switch_user_thread.h"

#include <cstdlib>

// Placeholder until the switch itself is built: the thread releases the
// block it owns and ends.
std::uint32_t ThreadSwitchUser(void* request_block) {
    std::free(request_block);
    return 0;
}
