// A plug-in call on a thread of its own, waited for no longer than the check
// may still take: a plug-in that never returns abandons the check, not the
// admission cycle (and every forced check queued behind it).
#pragma once

#include <cstdint>

namespace autocheck::check {

enum class PluginCallEnd {
    kReturned,   // the call's results are in the PluginCall
    kFaulted,    // a processor fault in the plug-in or below it
    kTimedOut,   // still running after the wait: left to end on its own
    kStillHung,  // an earlier call of this module and function (or too many
                 // calls) have not returned: not called
};

// At most this many calls left running; past it no plug-in is called.
inline constexpr int kHungCallsKept = 8;

struct PluginCall {
    const char* module_path;
    const char* argument;
    const char* function;
    // Run on the plug-in's thread just before the call, unless the wait for
    // it is already over; may be null.
    void (*before)(void* context);
    void* before_context;
    // Results: as CallOneModuleFuncCode's; `text` the caller's to free().
    int called = 0;
    int code = -1;
    char* text = nullptr;
};

PluginCallEnd call_plugin_bounded(PluginCall* call, std::uint32_t wait_ms);

}  // namespace autocheck::check
