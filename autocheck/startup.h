// The exported entry of the library: TarnAssistant.exe calls Init once, then
// Start. Both use the standard (callee-cleans) calling convention and are
// exported under their plain names.
#pragma once

#include <cstdint>

#include "autocheck/trace_sources.h"
#include "os/compiler.h"

namespace autocheck {
inline constexpr const char* kTraceSource = kAutoCheckSource;
}

// Binds the HTTP client, device-information and certificate modules of the
// assistant directory. 1 when all five entry points were bound; at the first
// failure 0, with what was bound before it left bound.
QUARN_EXPORT int QUARN_STDCALL Init(std::int32_t reserved1, std::int32_t reserved2);

// Keeps a single assistant running, opens the check page when the user
// started the assistant by hand, and starts the working and tray event
// threads. Returns 1, or ends the process with exit code 0.
QUARN_EXPORT int QUARN_STDCALL Start(std::int32_t reserved1, std::int32_t reserved2);
