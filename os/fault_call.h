// Shared by both fault-guard backends: the guarded call itself.
#pragma once

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

}  // namespace os::detail
