#include "cutil/trace.h"
#include "interface/sibling_lookup.h"
#include "interface/system_helpers.h"
#include "os/process.h"
#include "os/ui.h"

using gateway::kTraceSource;

int TerminateProcessByHwndName(const char* title) {
    constexpr char kFunction[] = "TerminateProcessByHwndName";
    if (title == nullptr) return 0;
    bool window_found = false;
    const std::uint32_t pid = os::window_find_process(title, &window_found);
    if (!window_found) {
        LogTrace(kFunction, kTraceError, kTraceSource, __LINE__, "没有找到窗口 %s", title);
        return 0;
    }
    if (pid == 0) {
        LogTrace(kFunction, kTraceError, kTraceSource, __LINE__, "取窗口 %s 的进程ID失败", title);
        return 0;
    }
    const os::Handle process = os::process_open_for_terminate(pid);
    if (process == nullptr) {
        LogTrace(kFunction, kTraceError, kTraceSource, __LINE__, "打开进程%d失败",
                 static_cast<int>(pid));
        return 0;
    }
    int ended = 0;
    if (os::process_terminate(process, 0)) {
        LogTrace(kFunction, kTraceInfo, kTraceSource, __LINE__, "成功结束窗口%s所在进程%d", title,
                 static_cast<int>(pid));
        ended = 1;
    } else {
        LogTrace(kFunction, kTraceError, kTraceSource, __LINE__, "没有成功结束窗口%s所在进程%d",
                 title, static_cast<int>(pid));
    }
    os::handle_close(process);
    return ended;
}
