// Events: named ones in shared memory (named_object.cpp), unnamed ones in the
// process. Setting an event bumps the per-user hub word; waiters check their
// events and sleep on that word, so one wait covers events of any process.
#include "os/event.h"

#include <time.h>

#include <new>

#include "os/error.h"
#include "os/posix/internal.h"

namespace os {
namespace {

struct EventObject : posix::KernelObject {
    EventObject() : KernelObject(posix::ObjectKind::kEvent) {}
    posix::NamedSegment segment;             // named events only
    std::atomic<std::uint32_t> local{0};     // the state of an unnamed event
    std::atomic<std::uint32_t>* signalled = &local;
    bool manual = false;
};

struct InitialState {
    EventReset reset;
    bool initially_set;
};

void init_event(posix::NamedHeader* header, const void* context) {
    const auto* state = static_cast<const InitialState*>(context);
    header->manual_reset = state->reset == EventReset::kManual ? 1 : 0;
    header->signalled.store(state->initially_set ? 1 : 0);
}

Handle make_named(const char* name, bool create, const InitialState& state) {
    auto* event = new (std::nothrow) EventObject;
    if (event == nullptr) {
        set_last_error(kErrorNotEnoughMemory);
        return nullptr;
    }
    const posix::NamedResult result = posix::named_create(
        name, posix::NamedKind::kEvent, 0, create, init_event, &state, &event->segment);
    if (result == posix::NamedResult::kFailed) {
        const std::uint32_t error = last_error();
        delete event;
        set_last_error(error);
        return nullptr;
    }
    posix::NamedHeader* header = event->segment.header();
    event->signalled = &header->signalled;
    event->manual = header->manual_reset != 0;
    if (result == posix::NamedResult::kCreated && state.initially_set) posix::hub_wake();
    return event;
}

EventObject* event_of(Handle handle) {
    return static_cast<EventObject*>(posix::object_of(handle, posix::ObjectKind::kEvent));
}

// Takes the event when it is signalled (an auto-reset one atomically).
bool try_take(EventObject* event) {
    if (event->manual) return event->signalled->load(std::memory_order_acquire) != 0;
    std::uint32_t expected = 1;
    return event->signalled->compare_exchange_strong(expected, 0, std::memory_order_acq_rel);
}

std::uint64_t now_ms() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::uint64_t>(now.tv_sec) * 1000u +
           static_cast<std::uint64_t>(now.tv_nsec) / 1000000u;
}

}  // namespace

Handle event_create(const char* name, EventReset reset, bool initially_set) {
    const InitialState state{reset, initially_set};
    if (name != nullptr) return make_named(name, true, state);
    auto* event = new (std::nothrow) EventObject;
    if (event == nullptr) {
        set_last_error(kErrorNotEnoughMemory);
        return nullptr;
    }
    event->manual = reset == EventReset::kManual;
    event->local.store(initially_set ? 1 : 0);
    set_last_error(kErrorSuccess);
    return event;
}

Handle event_open(const char* name) {
    if (name == nullptr) {
        set_last_error(kErrorInvalidParameter);
        return nullptr;
    }
    return make_named(name, false, InitialState{EventReset::kAuto, false});
}

bool event_set(Handle handle) {
    EventObject* event = event_of(handle);
    if (event == nullptr) {
        set_last_error(kErrorInvalidHandle);
        return false;
    }
    event->signalled->store(1, std::memory_order_release);
    posix::hub_wake();
    return true;
}

bool event_reset(Handle handle) {
    EventObject* event = event_of(handle);
    if (event == nullptr) {
        set_last_error(kErrorInvalidHandle);
        return false;
    }
    event->signalled->store(0, std::memory_order_release);
    return true;
}

int event_wait(Handle event, std::uint32_t timeout_ms) {
    return event_wait_any(&event, 1, timeout_ms);
}

int event_wait_any(const Handle* handles, int count, std::uint32_t timeout_ms) {
    if (handles == nullptr || count < 1 || count > 64) {
        set_last_error(kErrorInvalidParameter);
        return kWaitFailed;
    }
    EventObject* events[64];
    for (int i = 0; i < count; ++i) {
        events[i] = event_of(handles[i]);
        if (events[i] == nullptr) {
            set_last_error(kErrorInvalidHandle);
            return kWaitFailed;
        }
    }
    std::atomic<std::uint32_t>* hub = posix::hub_word();
    const std::uint64_t start = now_ms();
    for (;;) {
        // Read the hub before the states: a set after the check changes it,
        // so the futex wait below returns at once instead of missing it.
        const std::uint32_t seen = hub->load(std::memory_order_acquire);
        for (int i = 0; i < count; ++i) {
            if (try_take(events[i])) return i;
        }
        std::uint32_t remaining = kWaitInfinite;
        if (timeout_ms != kWaitInfinite) {
            const std::uint64_t elapsed = now_ms() - start;
            if (elapsed >= timeout_ms) return kWaitTimeout;
            remaining = static_cast<std::uint32_t>(timeout_ms - elapsed);
        }
        posix::hub_wait(seen, remaining);
    }
}

void event_close(Handle handle) {
    EventObject* event = event_of(handle);
    if (event == nullptr) return;
    posix::named_close(&event->segment);
    event->kind = posix::ObjectKind{0};  // a stale handle is recognisably dead
    delete event;
}

namespace posix {

int event_wait_object(Handle event, std::uint32_t timeout_ms) {
    return event_wait(event, timeout_ms);
}

void event_close_object(Handle event) { event_close(event); }

}  // namespace posix
}  // namespace os
