// Test seams. Each defaults to the real behaviour and costs one pointer test
// in production. Only tests and test doubles install them.
#pragma once

#include <cstdint>

#include "os/time.h"

namespace os::seams {

// Fake clock: when installed, local_time/utc_time/tick_count read it and
// sleep_ms advances it instantly (no real sleep). Not thread-safe to install
// while other threads read the clock.
struct FakeClock {
    DateTime local{};
    DateTime utc{};
    std::uint32_t tick = 0;
    bool instant_sleep = true;  // sleep_ms adds to tick and the clocks
};
void install_fake_clock(FakeClock* clock);  // null restores the real clock
FakeClock* fake_clock();
// Moves the installed fake clock on: tick, local and UTC time (the calendar
// fields and the day of the week carried along). Does nothing without one.
void advance_fake_clock(std::uint32_t milliseconds);
// A consistent copy of the installed clock (false without one); the backends
// read the fake clock through this while sleep_ms may advance it.
bool read_fake_clock(FakeClock* copy);

// Scripted message-box answers: when installed, message_box returns the
// answer function's value instead of showing a window.
using MessageBoxAnswer = int (*)(const char* text, const char* caption, unsigned flags);
void install_message_box_answer(MessageBoxAnswer answer);

// Exit hook: process_exit calls it first; a hook that returns lets the real
// exit happen, one that throws or longjmps lets a test observe the exit.
using ExitHook = void (*)(std::uint32_t exit_code);
void install_exit_hook(ExitHook hook);

// Read by the backends.
MessageBoxAnswer message_box_answer();
ExitHook exit_hook();

}  // namespace os::seams
