// The schedule's four answers from the stored times, now being Monday
// 2 February 2026, 10:00 on the fake clock.
#include "autocheck/runtime/schedule.h"

#include "tests/autocheck/runtime/cycle_fixture.h"

namespace {

using namespace runtime_test;

#define WEEK "trace: 又是一个星期，做一次检查\n"
#define MONTH "trace: 又是一个月，做一次检查\n"
#define SLEPT                                                                         \
    "trace: 超过正常周期3分钟没有发心跳报文，电脑可能休眠过\n" \
    "log: 超过正常周期3分钟没有发心跳报文，电脑可能休眠过\n"

struct ScheduleCase {
    const char* name;
    const char* settings;  // changes to a check yesterday (period 3) and a heartbeat at 9:30 (60)
    const char* answers;   // security check, heartbeat, sleep, month without check
    const char* journal;
};

const ScheduleCase kCases[] = {
    {"NeverChecked", "CheckTime", "1000", ""},
    {"PeriodThreeTwoDaysAgo", "CheckTime=2026-01-31 10:00:00", "0000", ""},
    {"WeekFridayToMonday", "CheckPeriod=7;CheckTime=2026-01-30 10:00:00;CheckDayOfWeek=5", "1000",
     WEEK},
    {"WeekSundayToMonday", "CheckPeriod=7;CheckDayOfWeek=0", "0000", ""},
    {"MonthJanuaryToFebruary", "CheckPeriod=30;CheckTime=2026-01-31 10:00:00;CheckMonth=1", "1000",
     MONTH},
    {"ThirtyDaysWithoutCheck", "CheckTime=2026-01-02 10:00:00", "1001", ""},
    {"NoAuthTime", "AuthTime", "0100", ""},
    {"AuthTimeNotADate", "AuthTime=soon", "0100", ""},
    {"IntervalReached", "AuthTime=2026-02-02 09:00:00", "0100", ""},
    {"IntervalOfADayReached", "AuthInterval=1440;AuthTime=2026-02-01 10:00:00", "0100", ""},
    {"ThreeMinutesOverdue", "AuthTime=2026-02-02 08:57:00", "0110", SLEPT},
    {"IntervalZeroJustSent", "AuthInterval=0;AuthTime=2026-02-02 10:00:00", "0100", ""},
    {"IntervalZeroThreeMinutes", "AuthInterval=0;AuthTime=2026-02-02 09:57:00", "0110", SLEPT},
    {"ClockSetBackTwoHours", "AuthTime=2026-02-02 12:00:00", "0110", SLEPT},
    // Minutes that no 32-bit count holds: a time far away is still only far.
    {"AuthTimeYear9999", "AuthTime=9999-12-31 10:00:00", "0110", SLEPT},
    {"IntervalLargestInteger", "AuthInterval=2147483647", "0000", ""},
};

void PrintTo(const ScheduleCase& c, std::ostream* out) {
    *out << c.name;
}

class Schedule : public CycleFixture, public testing::WithParamInterface<ScheduleCase> {};

TEST_P(Schedule, AnswersFromTheStoredTimes) {
    const ScheduleCase& c = GetParam();
    configure(
        "CheckTime=2026-02-01 10:00:00;CheckPeriod=3;AuthTime=2026-02-02 09:30:00;"
        "AuthInterval=60",
        c.settings);
    const std::string answers =
        std::to_string(IsTimeToSecurityCheck()) + std::to_string(IsTimeToHeartTest()) +
        std::to_string(IsComputerHaveSleeped()) + std::to_string(IsMonthWithoutCheck());
    EXPECT_EQ(c.answers, answers);
    expect_journal(c.journal, {"IsTimeToSecurityCheck", "IsComputerHaveSleeped"}, {"超过正常"});
}

INSTANTIATE_TEST_SUITE_P(EachRule, Schedule, testing::ValuesIn(kCases),
                         [](const auto& param_info) { return std::string(param_info.param.name); });

}  // namespace
