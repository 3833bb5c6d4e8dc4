// Runs a step while holding a lock, the step under the fault guard and the
// lock outside it: a processor fault abandons the step, never the lock, so
// the next taker is not left waiting for good.
#pragma once

#include <mutex>

#include "os/fault.h"

namespace autocheck {

// `step` holds nothing that needs a destructor (a fault skips them).
template <typename Lock>
os::Fault run_holding(Lock& lock, void (*step)(void* context), void* context) {
    const std::lock_guard<Lock> hold(lock);
    return os::fault_guard(step, context);
}

}  // namespace autocheck
