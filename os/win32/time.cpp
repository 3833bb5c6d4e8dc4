// Wall clock, tick count and sleep, behind the fake-clock seam.
#include "os/time.h"

#include <windows.h>

#include "os/seams.h"

namespace os {
namespace {

DateTime from_systemtime(const SYSTEMTIME& s) {
    DateTime t;
    t.year = s.wYear;
    t.month = s.wMonth;
    t.day_of_week = s.wDayOfWeek;
    t.day = s.wDay;
    t.hour = s.wHour;
    t.minute = s.wMinute;
    t.second = s.wSecond;
    t.millisecond = s.wMilliseconds;
    return t;
}

}  // namespace

DateTime local_time() {
    seams::FakeClock fake;
    if (seams::read_fake_clock(&fake)) return fake.local;
    SYSTEMTIME now;
    GetLocalTime(&now);
    return from_systemtime(now);
}

DateTime utc_time() {
    seams::FakeClock fake;
    if (seams::read_fake_clock(&fake)) return fake.utc;
    SYSTEMTIME now;
    GetSystemTime(&now);
    return from_systemtime(now);
}

std::uint32_t tick_count() {
    seams::FakeClock fake;
    if (seams::read_fake_clock(&fake)) return fake.tick;
    return GetTickCount();
}

void sleep_ms(std::uint32_t milliseconds) {
    const seams::FakeClock* fake = seams::fake_clock();
    if (fake != nullptr && fake->instant_sleep) {
        seams::advance_fake_clock(milliseconds);
        return;
    }
    Sleep(milliseconds);
}

}  // namespace os
