// The fault guard: run a function and survive a processor fault inside it.
#pragma once

#include <cstdint>

namespace os {

enum class Fault : std::uint32_t {
    kNone = 0,
    kAccessViolation,
    kDivideByZero,
    kOther,           // another processor fault (illegal instruction, …)
    kCppException,    // a C++ exception left the function
};

// Runs function(context) on the calling thread and returns kNone when it
// returned normally. A fault inside it is caught, the function abandoned and
// its kind returned; the guard may be used again at once, also on other
// threads and nested. No object with a destructor may be live in `function`
// across the faulting instruction (its destructor will not run).
Fault fault_guard(void (*function)(void* context), void* context);

}  // namespace os
