// Named events, shared between processes. Names are taken as given, spaces
// and the "Global\" prefix included ("Global\X" and "X" are distinct objects).
#pragma once

#include <cstdint>

#include "os/types.h"

namespace os {

enum class EventReset { kAuto, kManual };

constexpr std::uint32_t kWaitInfinite = 0xFFFFFFFFu;
constexpr int kWaitTimeout = -1;
constexpr int kWaitFailed = -2;

// Creates the event or opens it when it exists already (then `reset` and
// `initially_set` are ignored, as CreateEventA does). Null name: unnamed.
Handle event_create(const char* name, EventReset reset, bool initially_set);
// Opens an existing event; null when there is none (last error 2).
Handle event_open(const char* name);
bool event_set(Handle event);
bool event_reset(Handle event);
// 0 when signalled (an auto-reset event is consumed), kWaitTimeout, kWaitFailed.
int event_wait(Handle event, std::uint32_t timeout_ms);
// Index of the signalled event; when several are, the lowest index wins.
// kWaitTimeout or kWaitFailed otherwise. At most 64 events.
int event_wait_any(const Handle* events, int count, std::uint32_t timeout_ms);
void event_close(Handle event);

}  // namespace os
