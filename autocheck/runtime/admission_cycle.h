// The automatic authentication-and-check cycle: one full admission pass.
#pragma once

// Authenticates, fetches the policy, reports, checks, then opens the network
// or the check page. Cycles never overlap: one process-wide lock is held for
// the whole pass.
void AutoAuthAndCheck();
