#include <cstdio>
#include <cstring>

#include "autocheck/startup.h"
#include "autocheck/threads.h"
#include "cutil/trace.h"
#include "interface/config_access.h"
#include "interface/launch.h"
#include "interface/sibling_abi.h"
#include "os/memory.h"
#include "os/process.h"

namespace {

constexpr char kFunction[] = "Start";
constexpr char kCheckPageTitle[] = "入网小助手-身份认证与安全检查";
constexpr std::size_t kUrlSize = 260;

// Opens the configured check page, marked as opened by the assistant.
void open_check_page() {
    char* value = nullptr;
    if (Call_TarnReadConfig("CheckUrl", &value) == 0 || value == nullptr) return;
    char url[kUrlSize + sizeof "&from=assistant"];
    std::snprintf(url, kUrlSize, "%s", value);  // at most 259 characters are used
    os::global_free(value);
    if (url[0] == '\0') return;
    std::strcat(url, std::strchr(url, '?') != nullptr ? "&from=assistant" : "?from=assistant");
    OpenUrlInTarnHtmlDlg(kCheckPageTitle, "", url, nullptr, 0, 0, 1, 0);
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
    const int assistants = os::process_count_by_name(sibling::kAssistantExe, 2);
    const bool another_runs = assistants >= 2;

    if (std::strstr(command_line, "-install") != nullptr ||
        std::strstr(command_line, "-logon") != nullptr ||
        std::strstr(command_line, "-user") != nullptr) {
        if (std::strstr(command_line, "-install") != nullptr && another_runs) {
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
