// Elapsed time counts months as 30 days (DaysSinceTime); elapsed minutes may
// be negative when the clock was set back.
#include "autocheck/runtime/schedule.h"

#include <climits>
#include <cstdint>
#include <cstdlib>

#include "autocheck/trace_sources.h"
#include "cutil/trace.h"
#include "interface/assistant_dir.h"
#include "interface/config_access.h"
#include "interface/system_helpers.h"
#include "interface/user_log.h"
#include "os/time.h"

namespace {

constexpr int kDefaultInterval = 60;
constexpr int kSleepMargin = 3;  // minutes beyond the interval taken for sleep
constexpr int kWeek = 7;
constexpr int kMonth = 30;
constexpr std::size_t kAuthTimeSize = 64;

// The stored text of `key` (at most size - 1 characters); empty when absent.
template <std::size_t size>
const char* stored(const char* key, char (&value)[size]) {
    value[0] = '\0';
    ReadConfigText(key, value, size);
    return value;
}

// The heartbeat's clock: AuthInterval and the minutes since AuthTime. Kept
// in 64 bits: an AuthTime thousands of years away, or an AuthInterval near
// the largest integer, is still only a comparison.
struct HeartbeatClock {
    bool stamped = false;  // AuthTime stored and not empty
    bool dated = false;    // ... and in the date form
    std::int64_t interval = kDefaultInterval;
    std::int64_t minutes = 0;
};

HeartbeatClock heartbeat_clock() {
    HeartbeatClock clock;
    int interval = kDefaultInterval;
    ReadConfigInt("AuthInterval", &interval);
    clock.interval = interval;
    char auth_time[kAuthTimeSize];
    clock.stamped = stored("AuthTime", auth_time)[0] != '\0';
    if (clock.interval < 0) clock.interval = kDefaultInterval;
    // DaysSinceTime leaves the differences alone for a text not in the date
    // form: such an AuthTime is no time at all.
    int hours = INT_MIN;
    int minutes = 0;
    const int days = DaysSinceTime(auth_time, &hours, &minutes);
    clock.dated = clock.stamped && hours != INT_MIN;
    if (clock.dated) {
        clock.minutes = std::int64_t{days} * 1440 + std::int64_t{hours} * 60 + minutes;
    }
    return clock;
}

void trace_info(const char* function, int line, const char* message) {
    LogTrace(function, kTraceInfo, autocheck::kAutoCheckSource, line, "%s", message);
}

}  // namespace

int IsTimeToSecurityCheck() {
    char check_time[kPathSize];
    if (stored("CheckTime", check_time)[0] == '\0') return 1;  // never checked
    int period = 0;
    ReadConfigInt("CheckPeriod", &period);
    if (period <= 0) period = 1;
    if (DaysSinceTime(check_time, nullptr, nullptr) >= period) return 1;

    const os::DateTime now = os::local_time();
    char last[kPathSize];
    if (period == kWeek) {
        // Sunday is 0: a smaller day than the last check's is a new week.
        if (stored("CheckDayOfWeek", last)[0] == '\0' || now.day_of_week >= std::atoi(last)) {
            return 0;
        }
        trace_info("IsTimeToSecurityCheck", __LINE__, "又是一个星期，做一次检查");
        return 1;
    }
    if (period == kMonth) {
        if (stored("CheckMonth", last)[0] == '\0' || now.month == std::atoi(last)) return 0;
        trace_info("IsTimeToSecurityCheck", __LINE__, "又是一个月，做一次检查");
        return 1;
    }
    return 0;
}

int IsTimeToHeartTest() {
    const HeartbeatClock clock = heartbeat_clock();
    // An AuthTime in another form is repaired by the next successful notice.
    if (!clock.dated) return 1;
    return clock.minutes >= clock.interval || clock.minutes + clock.interval <= 0 ? 1 : 0;
}

int IsComputerHaveSleeped() {
    const HeartbeatClock clock = heartbeat_clock();
    if (!clock.dated) return 0;
    const std::int64_t overdue = clock.interval + kSleepMargin;
    if (clock.minutes < overdue && clock.minutes + overdue > 0) return 0;
    constexpr char kMessage[] = "超过正常周期3分钟没有发心跳报文，电脑可能休眠过";
    Call_TarnLogToFile("%s", kMessage);
    trace_info("IsComputerHaveSleeped", __LINE__, kMessage);
    return 1;
}

int IsMonthWithoutCheck() {
    char check_time[kPathSize];
    if (stored("CheckTime", check_time)[0] == '\0') return 0;
    return DaysSinceTime(check_time, nullptr, nullptr) >= kMonth ? 1 : 0;
}
