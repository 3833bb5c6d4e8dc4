// A thread of the module that its owner can stop: the loop polls `stopping()`
// between bounded waits, and stop() waits for the loop to end.
//
// stop() waits on an event the thread sets as its last act, not on the
// thread itself: on Windows a module's unload runs under the loader lock,
// which an ending thread needs, so waiting for the thread there would hang.
// Should the process already be ending (its threads gone), the thread's
// handle is signalled and stop() returns at once.
#pragma once

#include <atomic>
#include <cstdint>

#include "os/types.h"

namespace communicate {

class Worker {
  public:
    Worker() = default;
    ~Worker() { stop(); }
    Worker(const Worker&) = delete;
    Worker& operator=(const Worker&) = delete;

    // Starts `loop(argument)` on a new thread; false when it could not start.
    bool start(void (*loop)(void* argument), void* argument);
    // Asks the loop to end and waits for it (bounded); idempotent.
    void stop();
    bool stopping() const { return stopping_.load(std::memory_order_acquire); }
    bool running() const { return thread_ != nullptr; }

  private:
    static std::uint32_t entry(void* self);

    std::atomic<bool> stopping_{false};
    void (*loop_)(void*) = nullptr;
    void* argument_ = nullptr;
    os::Handle thread_ = nullptr;
    os::Handle finished_ = nullptr;
};

}  // namespace communicate
