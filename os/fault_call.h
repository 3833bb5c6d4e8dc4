// Shared by both fault-guard backends: the guarded call itself.
#pragma once

#include <atomic>

#include "os/fault.h"

namespace os::detail {

// Kept out of line so that the try block and the call stay between the
// fences of fault_guard; a C++ exception leaving the function disarms the
// guard and is reported as such.
__attribute__((noinline)) inline Fault call_catching(void (*function)(void*), void* context) {
    try {
        function(context);
        return Fault::kNone;
    } catch (...) {
        return Fault::kCppException;
    }
}

// Runs the guarded call with the guard's `armed` flag raised. The signal
// fences keep an optimiser from moving the flag's stores across the call,
// which would let a fault escape or be caught outside the guard.
template <typename Flag>
inline Fault armed_call(volatile Flag& armed, void (*function)(void*), void* context) {
    std::atomic_signal_fence(std::memory_order_seq_cst);
    armed = 1;
    std::atomic_signal_fence(std::memory_order_seq_cst);
    const Fault result = call_catching(function, context);
    std::atomic_signal_fence(std::memory_order_seq_cst);
    armed = 0;
    std::atomic_signal_fence(std::memory_order_seq_cst);
    return result;
}

}  // namespace os::detail
