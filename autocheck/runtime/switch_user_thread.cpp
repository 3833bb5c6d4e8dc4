#include "autocheck/runtime/switch_user_thread.h"

#include <cstdlib>
#include <cstring>

#include "autocheck/runtime/admission_cycle.h"
#include "autocheck/trace_sources.h"
#include "autocheck/users/switch_admission.h"
#include "cutil/trace.h"
#include "interface/gateway.h"
#include "interface/user_log.h"

namespace {

constexpr char kFunction[] = "ThreadSwitchUser";

#define THREAD_TRACE(...) \
    LogTrace(kFunction, kTraceInfo, autocheck::kAutoCheckSource, __LINE__, __VA_ARGS__)

}  // namespace

std::uint32_t ThreadSwitchUser(void* request_block) {
    auto* block = static_cast<char*>(request_block);
    // The fields are zero-terminated by the handler; the last byte is made
    // sure of all the same.
    block[autocheck::kSwitchFieldSize - 1] = '\0';
    block[autocheck::kSwitchBlockSize - 1] = '\0';
    const char* user_name = block;
    const char* password = block + autocheck::kSwitchFieldSize;

    THREAD_TRACE("%s", "进入用户切换线程");
    Call_TarnLogToFile("%s", "进入用户切换线程");
    Call_ShowBalloonMsg("上网用户切换", "正在切换上网用户", 10000);
    if (*user_name == '\0') {
        THREAD_TRACE("%s", "重新做一次认证和安检");
        Call_TarnLogToFile("%s", "重新做一次认证和安检");
        AutoAuthAndCheck();
    } else {
        THREAD_TRACE("尝试切换到用户: %s", user_name);
        Call_TarnLogToFile("尝试切换到用户: %s", user_name);
        AutoAuthAndCheckWithUserPassword(user_name, password);
    }
    THREAD_TRACE("切换过程已完成: %s", user_name);
    std::free(block);
    return 0;
}
