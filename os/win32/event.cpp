// Named events: the kernel's own.
#include "os/event.h"

#include <windows.h>

#include "os/error.h"

namespace os {

Handle event_create(const char* name, EventReset reset, bool initially_set) {
    return CreateEventA(nullptr, reset == EventReset::kManual ? TRUE : FALSE,
                        initially_set ? TRUE : FALSE, name);
}

Handle event_open(const char* name) { return OpenEventA(EVENT_ALL_ACCESS, FALSE, name); }

bool event_set(Handle event) { return SetEvent(event) != FALSE; }

bool event_reset(Handle event) { return ResetEvent(event) != FALSE; }

int event_wait(Handle event, std::uint32_t timeout_ms) {
    return event_wait_any(&event, 1, timeout_ms);
}

int event_wait_any(const Handle* events, int count, std::uint32_t timeout_ms) {
    if (events == nullptr || count < 1 || count > MAXIMUM_WAIT_OBJECTS) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return kWaitFailed;
    }
    const DWORD result = WaitForMultipleObjects(static_cast<DWORD>(count),
                                                const_cast<HANDLE*>(events), FALSE, timeout_ms);
    if (result < WAIT_OBJECT_0 + static_cast<DWORD>(count)) return static_cast<int>(result);
    if (result == WAIT_TIMEOUT) return kWaitTimeout;
    if (result >= WAIT_ABANDONED_0 && result < WAIT_ABANDONED_0 + static_cast<DWORD>(count)) {
        return static_cast<int>(result - WAIT_ABANDONED_0);  // only mutexes; never events
    }
    return kWaitFailed;
}

void event_close(Handle event) {
    if (event != nullptr) CloseHandle(event);
}

}  // namespace os
