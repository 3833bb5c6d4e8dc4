// Worker on POSIX: a joined thread. The thread's last instructions run in the
// C and C++ runtimes, not in this module, and join returns once it is gone.
#include "siblings/QuarnAssCommunicate/worker.h"

namespace communicate {

bool Worker::start(void (*loop)(void*), void* argument) {
    if (running() || loop == nullptr) return false;
    stopping_.store(false, std::memory_order_release);
    loop_ = loop;
    argument_ = argument;
    try {
        joinable_ = std::thread([this] { loop_(argument_); });
    } catch (...) {
        return false;
    }
    return true;
}

std::uint32_t Worker::entry(void*) {
    return 0;
}

void Worker::stop() {
    if (!joinable_.joinable()) return;
    stopping_.store(true, std::memory_order_release);
    joinable_.join();
}

}  // namespace communicate
