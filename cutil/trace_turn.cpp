#include "cutil/trace_turn.h"

#include <cstring>
#include <mutex>

#include "os/event.h"

namespace cutil::trace {
namespace {

// One entry per turn name this process holds; a turn is given back when its
// last holder in the process gives it.
struct HeldTurn {
    const char* name = nullptr;
    os::Handle event = nullptr;
    int holders = 0;
};

std::mutex& turns_mutex() {
    static std::mutex mutex;
    return mutex;
}

HeldTurn* held_turn(const char* name) {
    static HeldTurn turns[2];
    for (HeldTurn& turn : turns) {
        if (turn.name != nullptr && std::strcmp(turn.name, name) == 0) return &turn;
    }
    for (HeldTurn& turn : turns) {
        if (turn.name == nullptr) {
            turn.name = name;
            return &turn;
        }
    }
    return nullptr;
}

}  // namespace

bool turn_take(const char* name, std::uint32_t timeout_ms) {
    std::lock_guard<std::mutex> lock(turns_mutex());
    HeldTurn* turn = held_turn(name);
    if (turn == nullptr) return false;
    if (turn->holders > 0) {
        ++turn->holders;
        return true;
    }
    // Wait in slices, holding the event only while waiting: when a holder
    // died without giving the turn back, the object vanishes with the last
    // handle and the next create finds a fresh, set event.
    // Counted in slices, not read from the clock: a test's fake clock must
    // not stretch or shorten the wait.
    constexpr std::uint32_t kSliceMs = 100;
    std::uint32_t slices_left = timeout_ms / kSliceMs + 1;
    os::Handle event = nullptr;
    for (;;) {
        event = os::event_create(name, os::EventReset::kAuto, true);
        if (event == nullptr) return false;
        const std::uint32_t slice = timeout_ms < kSliceMs ? timeout_ms : kSliceMs;
        if (os::event_wait(event, slice) == 0) break;
        os::event_close(event);
        if (--slices_left == 0) return false;
    }
    turn->event = event;
    turn->holders = 1;
    return true;
}

void turn_give(const char* name) {
    std::lock_guard<std::mutex> lock(turns_mutex());
    HeldTurn* turn = held_turn(name);
    if (turn == nullptr || turn->holders == 0) return;
    if (--turn->holders > 0) return;
    os::event_set(turn->event);
    os::event_close(turn->event);
    turn->event = nullptr;
}

}  // namespace cutil::trace
