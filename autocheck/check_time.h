// The time of the latest check, as the schedule reads it back.
#pragma once

namespace autocheck {

// Writes CheckTime (the local time text), CheckDayOfWeek and CheckMonth from
// one reading of the clock, so the three never straddle midnight; with
// `auth_time_too`, AuthTime first with the same text.
void store_check_time(bool auth_time_too = false);

}  // namespace autocheck
