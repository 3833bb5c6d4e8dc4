// The working thread's schedule: when a security check, a heartbeat or a
// wake-up notice is due, read from the times the store keeps.
#pragma once

// 1 when a periodic check is due: no check yet, CheckPeriod days elapsed, or
// a new week (period 7) or month (period 30) begun since the last check.
int IsTimeToSecurityCheck();
// 1 when a heartbeat is due: no AuthTime yet, AuthInterval minutes elapsed,
// or the clock set back by at least the interval.
int IsTimeToHeartTest();
// 1 when the heartbeat is overdue by 3 minutes or more (either way of the
// clock): the computer may have slept.
int IsComputerHaveSleeped();
// 1 when 30 or more days passed since the last check.
int IsMonthWithoutCheck();
