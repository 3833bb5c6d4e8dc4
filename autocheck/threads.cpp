// The working thread's body arrives with the schedule; for now it records
// that it ran. The tray event thread lives in runtime/event_thread.cpp.
#include "autocheck/threads.h"

#include "autocheck/startup.h"
#include "cutil/trace.h"

namespace autocheck {

std::uint32_t WorkingThread(void*) {
    LogTrace("WorkingThread", kTraceInfo, kTraceSource, __LINE__, "WorkingThread 开始");
    LogTrace("WorkingThread", kTraceInfo, kTraceSource, __LINE__, "WorkingThread 结束");
    return 0;
}

}  // namespace autocheck
