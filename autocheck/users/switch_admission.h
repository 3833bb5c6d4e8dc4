// The admission cycle with explicit credentials: the twin of AutoAuthAndCheck
// that a user switch runs.
#pragma once

// Under the one cycle lock: resets the admission state, authenticates
// `user_name` with `password`, then fetches the policy, reports and checks
// as the automatic cycle does, shows the outcome in a balloon, and renews
// the IP lease whatever the enforcement. Ends the process (code 0) when no
// check page is configured.
void AutoAuthAndCheckWithUserPassword(const char* user_name, const char* password);
