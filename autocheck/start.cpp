#include "autocheck/runtime/check_page.h"
#include "autocheck/startup.h"
#include "autocheck/threads.h"
#include "cutil/trace.h"
#include "interface/command_switches.h"
#include "interface/launch.h"
#include "interface/sibling_abi.h"
#include "os/process.h"
#include "os/process_owner.h"

namespace {

constexpr char kFunction[] = "Start";

// Opens the configured check page, marked as opened by the assistant.
void open_check_page() {
    char url[autocheck::kCheckPageUrlSize];
    if (!autocheck::check_page_url(url)) return;
    OpenUrlInTarnHtmlDlg(autocheck::kCheckPageTitle, "", url, nullptr, 0, 0, 1, 0);
}

void start_thread(os::ThreadFunction function) {
    // A failed creation goes unnoticed, as the threads' handles are not kept.
    const os::Handle thread = os::thread_start(function, nullptr);
    if (thread != nullptr) os::handle_close(thread);
}

}  // namespace

int QUARN_STDCALL Start(std::int32_t, std::int32_t) {
    using autocheck::kTraceSource;
    LogTrace(kFunction, kTraceInfo, kTraceSource, __LINE__, "QuarnAssAutoCheck.dll 启动");
    const char* command_line = os::process_command_line();
    if (command_line == nullptr) command_line = "";
    LogTrace(kFunction, kTraceInfo, kTraceSource, __LINE__, "小助手命令行: %s", command_line);

    // Includes this process: 2 means that another assistant runs.
    const int assistants = os::process_count_own_by_name(sibling::kAssistantExe, 2);
    const bool another_runs = assistants >= 2;

    // Whole switches after the program name: a folder or link name holding
    // "-user" is no switch.
    const bool install = gateway::command_line_has_switch(command_line, "-install");
    if (install || gateway::command_line_has_switch(command_line, "-logon") ||
        gateway::command_line_has_switch(command_line, "-user")) {
        if (install && another_runs) {
            LogTrace(kFunction, kTraceInfo, kTraceSource, __LINE__, "小助手已在运行");
            os::process_exit(0);
        }
    } else {
        LogTrace(kFunction, kTraceInfo, kTraceSource, __LINE__,
                 "用户双击图标， 打开页面做安全检查");
        open_check_page();
        if (another_runs) os::process_exit(0);
    }

    start_thread(autocheck::WorkingThread);
    start_thread(autocheck::EventDoingThread);
    return 1;
}
