// The test seams' storage. Production never installs anything, so each seam
// costs a single pointer test.
#include "os/seams.h"

#include <atomic>
#include <mutex>

namespace os::seams {
namespace {

std::atomic<FakeClock*> g_fake_clock{nullptr};
std::atomic<MessageBoxAnswer> g_message_box_answer{nullptr};
std::atomic<ExitHook> g_exit_hook{nullptr};

std::mutex& clock_mutex() {
    static std::mutex mutex;
    return mutex;
}

// Days since 1970-01-01 of a civil date (proleptic Gregorian calendar).
long long days_from_civil(long long y, int m, int d) {
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const long long yoe = y - era * 400;
    const long long doy = (153LL * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const long long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void civil_from_days(long long z, DateTime* t) {
    z += 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const long long doe = z - era * 146097;
    const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const long long mp = (5 * doy + 2) / 153;
    const int d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    const int m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    t->year = static_cast<int>(yoe + era * 400 + (m <= 2));
    t->month = m;
    t->day = d;
}

void advance(DateTime* t, std::uint32_t milliseconds) {
    if (t->month < 1 || t->month > 12 || t->day < 1) return;  // not a date: left alone
    const long long days = days_from_civil(t->year, t->month, t->day);
    long long ms = ((days * 24 + t->hour) * 60 + t->minute) * 60000LL + t->second * 1000LL +
                   t->millisecond + milliseconds;
    const long long day_ms = 86400000LL;
    long long new_days = ms / day_ms;
    long long in_day = ms % day_ms;
    if (in_day < 0) {
        in_day += day_ms;
        --new_days;
    }
    civil_from_days(new_days, t);
    t->hour = static_cast<int>(in_day / 3600000);
    t->minute = static_cast<int>(in_day / 60000 % 60);
    t->second = static_cast<int>(in_day / 1000 % 60);
    t->millisecond = static_cast<int>(in_day % 1000);
    // 1970-01-01 was a Thursday.
    t->day_of_week = static_cast<int>(((new_days % 7) + 11) % 7);
}

}  // namespace

void install_fake_clock(FakeClock* clock) { g_fake_clock.store(clock); }
FakeClock* fake_clock() { return g_fake_clock.load(std::memory_order_relaxed); }

void advance_fake_clock(std::uint32_t milliseconds) {
    std::lock_guard<std::mutex> lock(clock_mutex());
    FakeClock* clock = g_fake_clock.load();
    if (clock == nullptr) return;
    clock->tick += milliseconds;
    advance(&clock->local, milliseconds);
    advance(&clock->utc, milliseconds);
}

bool read_fake_clock(FakeClock* copy) {
    FakeClock* clock = g_fake_clock.load(std::memory_order_relaxed);
    if (clock == nullptr) return false;
    std::lock_guard<std::mutex> lock(clock_mutex());
    *copy = *clock;
    return true;
}

void install_message_box_answer(MessageBoxAnswer answer) { g_message_box_answer.store(answer); }
MessageBoxAnswer message_box_answer() { return g_message_box_answer.load(); }

void install_exit_hook(ExitHook hook) { g_exit_hook.store(hook); }
ExitHook exit_hook() { return g_exit_hook.load(); }

}  // namespace os::seams
