// Wall clock, tick count and sleep, all behind the fake-clock seam (seams.h).
#pragma once

#include <cstdint>

namespace os {

// Field for field SYSTEMTIME.
struct DateTime {
    int year = 0;
    int month = 0;        // 1..12
    int day_of_week = 0;  // 0 = Sunday
    int day = 0;          // 1..31
    int hour = 0;
    int minute = 0;
    int second = 0;
    int millisecond = 0;
};

DateTime local_time();
DateTime utc_time();
// Milliseconds since the system started, wrapping at 2^32 (GetTickCount).
std::uint32_t tick_count();
void sleep_ms(std::uint32_t milliseconds);

}  // namespace os
