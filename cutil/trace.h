// The diagnostic trace channel: one fixed record per call into a shared ring
// that an outside reader creates and drains. Without a reader nothing happens.
#pragma once

#include "os/compiler.h"

enum TraceLevel : int {
    kTraceError = 1,
    kTraceInfo = 2,
};

// `function` and `source` are the caller's own names ("UserSwitchAddUser",
// "Cutil_Xml"); a leading ".\" of the source is dropped. Allocates nothing.
void LogTrace(const char* function, int level, const char* source, int line, const char* format,
              ...) QUARN_PRINTF(5, 6);
