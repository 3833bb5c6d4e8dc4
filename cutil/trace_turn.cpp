#include "cutil/trace_turn.h"

#include <cstring>
#include <mutex>

#include "os/event.h"
#include "os/process.h"

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
    // Wait in slices and hold the event only while waiting: when a holder
    // died without giving the turn back, the object vanishes once no waiter
    // holds a handle, and the next create finds a fresh, set event. The
    // pause between slices differs between processes so that the waiters'
    // handles do not overlap forever. Time is counted in slices, not read
    // from the clock: a test's fake clock must not stretch the wait.
    constexpr std::uint32_t kSliceMs = 100;
    os::Handle pause = os::event_create(nullptr, os::EventReset::kManual, false);
    if (pause == nullptr) return false;
    os::Handle event = nullptr;
    std::uint32_t spent = 0;
    for (std::uint32_t round = 0;; ++round) {
        event = os::event_create(name, os::EventReset::kAuto, true);
        if (event == nullptr) break;
        const std::uint32_t slice = timeout_ms < kSliceMs ? timeout_ms : kSliceMs;
        if (os::event_wait(event, slice) == 0) break;
        os::event_close(event);
        event = nullptr;
        const std::uint32_t gap = 20 + (os::process_id() * 7919u + round * 104729u) % 80;
        spent += slice + gap;
        if (spent >= timeout_ms) break;
        os::event_wait(pause, gap);  // a real pause, whatever the clock
    }
    os::event_close(pause);
    if (event == nullptr) return false;
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
