// A thread of the module that its owner can stop: the loop looks at
// `stopping()` whenever its wait ends (the owner raises a signal or wakes a
// condition variable the loop blocks on before calling stop()), and stop()
// waits until the thread has left the module's code, so that the module may
// be unloaded right after.
//
// How that wait is done differs (worker_posix.cpp, worker_win32.cpp): POSIX
// joins the thread. On Windows a module's unload runs under the loader lock,
// which an ending thread needs, so joining there would hang: stop() waits on
// an event the thread sets as its last act instead, and returns at once when
// the process is already ending (its threads gone, their handles signalled).
#pragma once

#include <atomic>
#include <cstdint>
#include <thread>

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
    bool running() const { return thread_ != nullptr || joinable_.joinable(); }

  private:
    static std::uint32_t entry(void* self);

    std::atomic<bool> stopping_{false};
    void (*loop_)(void*) = nullptr;
    void* argument_ = nullptr;
    os::Handle thread_ = nullptr;                     // Windows
    [[maybe_unused]] os::Handle finished_ = nullptr;  // Windows only
    std::thread joinable_;                            // POSIX
};

}  // namespace communicate
