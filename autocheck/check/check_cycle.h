// The check, repair and report cycle: the one routine the agent calls to
// check the endpoint now.
#pragma once

// Checks with the stored policy, re-checks, repairs automatically or opens
// the manual repair page, reports to the server and stores the outcome, then
// marks admission in the IP TTL and the desktop agent. 1 when the cycle ran
// to its end (or no check is wanted), 0 when it stopped on an error.
int DoSecurityCheckAndReportResult();
