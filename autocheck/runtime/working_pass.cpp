// One pass of the working thread, every 5 seconds.
#include "autocheck/runtime/admission_cycle.h"
#include "autocheck/runtime/heartbeat.h"
#include "autocheck/runtime/schedule.h"
#include "autocheck/runtime/server_probe.h"
#include "autocheck/runtime/tray_icon.h"
#include "autocheck/runtime/working_thread.h"
#include "autocheck/trace_sources.h"
#include "cutil/text.h"
#include "cutil/trace.h"
#include "interface/assistant_dir.h"
#include "interface/config_access.h"
#include "interface/user_log.h"
#include "os/fault.h"

namespace {

constexpr char kFunction[] = "WorkingThread";

#define PASS_TRACE(level, ...) \
    LogTrace(kFunction, level, autocheck::kAutoCheckSource, __LINE__, __VA_ARGS__)

// A wake-up notice only follows a check that did not fail.
bool last_check_passed() {
    char result[kPathSize] = "";
    ReadConfigText("CheckResult", result, sizeof result);
    return result[0] != '\0' && !cutil_str_iequal(result, "false");
}

// Guarded: holds nothing that needs a destructor, so a fault anywhere below
// only ends the pass.
void run_pass(void* context) {
    auto* state = static_cast<autocheck::WorkingState*>(context);
    const int slept = IsComputerHaveSleeped();

    if (state->logon_cycle_done == 0 && state->logon_start) {
        constexpr char kMessage[] = "用户登录，做身份认证和安全检查";
        PASS_TRACE(kTraceInfo, kMessage);
        Call_TarnLogToFile("%s", kMessage);
        state->logon_cycle_done = 1;
        AutoAuthAndCheck();
    }

    ShowOrUpdateIcon();

    if (slept == 1) {
        if (last_check_passed()) ComputerWakeup();
    } else if (IsTimeToHeartTest() == 1) {
        HeartTest();
    }

    int periodic = 0;
    ReadConfigInt("IsDoSecurityCheck", &periodic);
    if (periodic != 0 && IsTimeToSecurityCheck() == 1) {
        Call_TarnLogToFile("%s", "到达检查周期");
        if (IsCanConnectToServer() == 1) {
            AutoAuthAndCheck();
        } else {
            // Still due: the next pass tries again.
            PASS_TRACE(kTraceError, "达到身份认证周期，但是和服务器不通，不做安全检查");
        }
    }
}

}  // namespace

namespace autocheck {

void RunWorkingPass(WorkingState* state) {
    if (os::fault_guard(&run_pass, state) != os::Fault::kNone) {
        PASS_TRACE(kTraceError, "发生异常");
    }
}

}  // namespace autocheck
