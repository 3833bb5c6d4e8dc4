// Wall clock and tick count from clock_gettime, behind the fake-clock seam.
#include "os/time.h"

#include <sched.h>
#include <time.h>

#include <cerrno>

#include "os/seams.h"

namespace os {
namespace {

DateTime from_timespec(const timespec& now, bool local) {
    tm fields{};
    if (local) {
        localtime_r(&now.tv_sec, &fields);
    } else {
        gmtime_r(&now.tv_sec, &fields);
    }
    DateTime t;
    t.year = fields.tm_year + 1900;
    t.month = fields.tm_mon + 1;
    t.day_of_week = fields.tm_wday;
    t.day = fields.tm_mday;
    t.hour = fields.tm_hour;
    t.minute = fields.tm_min;
    t.second = fields.tm_sec > 59 ? 59 : fields.tm_sec;  // no leap second in SYSTEMTIME
    t.millisecond = static_cast<int>(now.tv_nsec / 1000000);
    return t;
}

DateTime wall_clock(bool local) {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return from_timespec(now, local);
}

}  // namespace

DateTime local_time() {
    seams::FakeClock fake;
    if (seams::read_fake_clock(&fake)) return fake.local;
    return wall_clock(true);
}

DateTime utc_time() {
    seams::FakeClock fake;
    if (seams::read_fake_clock(&fake)) return fake.utc;
    return wall_clock(false);
}

std::uint32_t tick_count() {
    seams::FakeClock fake;
    if (seams::read_fake_clock(&fake)) return fake.tick;
    // GetTickCount counts time spent suspended too: CLOCK_BOOTTIME.
    timespec now{};
    clock_gettime(CLOCK_BOOTTIME, &now);
    const unsigned long long ms =
        static_cast<unsigned long long>(now.tv_sec) * 1000ULL +
        static_cast<unsigned long long>(now.tv_nsec) / 1000000ULL;
    return static_cast<std::uint32_t>(ms);
}

void sleep_ms(std::uint32_t milliseconds) {
    const seams::FakeClock* fake = seams::fake_clock();
    if (fake != nullptr && fake->instant_sleep) {
        seams::advance_fake_clock(milliseconds);
        return;
    }
    if (milliseconds == 0) {
        sched_yield();
        return;
    }
    timespec left{static_cast<time_t>(milliseconds / 1000),
                  static_cast<long>(milliseconds % 1000) * 1000000L};
    while (nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
}

}  // namespace os
