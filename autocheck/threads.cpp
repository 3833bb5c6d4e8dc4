// The bodies of both threads arrive with the schedule and the tray event
// handling; for now each records that it ran.
#include "autocheck/threads.h"

#include "autocheck/startup.h"
#include "cutil/trace.h"

namespace autocheck {

std::uint32_t WorkingThread(void*) {
    LogTrace("WorkingThread", kTraceInfo, kTraceSource, __LINE__, "WorkingThread 开始");
    LogTrace("WorkingThread", kTraceInfo, kTraceSource, __LINE__, "WorkingThread 结束");
    return 0;
}

std::uint32_t EventDoingThread(void*) {
    LogTrace("EventDoingThread", kTraceInfo, kTraceSource, __LINE__, "EventDoingThread 开始");
    LogTrace("EventDoingThread", kTraceInfo, kTraceSource, __LINE__, "EventDoingThread 结束");
    return 0;
}

}  // namespace autocheck
