// The user-visible log (QuarnAssLog.dll): one time-stamped line per call.
#pragma once

#include "os/compiler.h"

// Writes "<local time>          <message>\n": the time as
// "%04d-%02d-%02d %02d:%02d:%02d", ten blanks, the formatted message, the
// line cut to 4094 characters before its "\n". Returns the log module's
// result; 0 when nothing was written (null format, module or export missing).
int Call_TarnLogToFile(const char* format, ...) QUARN_PRINTF(1, 2);
