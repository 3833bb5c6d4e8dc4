// The automatic authentication-and-check cycle: reset the admission state,
// authenticate, fetch the policy, report, check, then open the network or
// the check page, and renew the DHCP lease under DHCP enforcement.
#include "autocheck/runtime/admission_cycle.h"

#include <mutex>

#include "autocheck/check/check_cycle.h"
#include "autocheck/desktop_agent/praxa_network.h"
#include "autocheck/identity/auth_report.h"
#include "autocheck/identity/identity_dispatch.h"
#include "autocheck/pass_budget.h"
#include "autocheck/policy/security_check_policy.h"
#include "autocheck/runtime/check_page.h"
#include "autocheck/runtime/check_page_process.h"
#include "autocheck/runtime/cycle_lock.h"
#include "autocheck/runtime/guarded_lock.h"
#include "autocheck/trace_sources.h"
#include "cutil/file.h"
#include "cutil/text.h"
#include "cutil/trace.h"
#include "interface/assistant_dir.h"
#include "interface/config_access.h"
#include "interface/launch.h"
#include "interface/system_helpers.h"
#include "interface/user_log.h"
#include "os/fault.h"
#include "os/process.h"

namespace {

constexpr char kFunction[] = "AutoAuthAndCheck";

#define CYCLE_TRACE(level, ...) \
    LogTrace(kFunction, level, autocheck::kAutoCheckSource, __LINE__, __VA_ARGS__)

void reset_admission_state() {
    Call_TarnWriteConfig("CheckResult", "");
    Call_TarnWriteConfig("RoleId", "0");
    Call_TarnWriteConfig("AuthTime", "");
    Call_TarnWriteConfig("HaveRestart", "1");
}

// Only a policy fetched by this cycle is ever checked against.
void delete_stored_policy() {
    CYCLE_TRACE(kTraceInfo, "删除安检策略");
    char path[kPathSize];
    if (gateway::assistant_file_path(kSecurityCheckPolicyFile, path)) cutil_file_Delete(path);
}

void admit(const char* url) {
    int wants_check = 0;
    if (ReadConfigInt("IsDoSecurityCheck", &wants_check) == 0 || wants_check == 0) {
        Call_TarnWriteConfig("CheckResult", "success");
    }
    autocheck::check_authenticated({kFunction, nullptr, nullptr}, url);
}

// Under DHCP enforcement the new admission state takes effect with a new
// lease.
void renew_lease_under_dhcp() {
    char enforce_type[kPathSize] = "";
    if (ReadConfigText("CurrentEnforceType", enforce_type, sizeof enforce_type) != 0 &&
        cutil_str_iequal(enforce_type, "dbridge")) {
        CYCLE_TRACE(kTraceInfo, "Dhcp准入技术，需要刷新IP");
        LaunchProgram(nullptr, "ipconfig.exe", "-renew", 0);
    } else {
        CYCLE_TRACE(kTraceInfo, "不是dhcp准入技术，不能刷新IP");
    }
}

// Steps from authentication on, with nothing of their own that needs a
// destructor.
void authenticate_and_check(const char* url) {
    if (DoIdentityAuth() != 0) {
        admit(url);
    } else {
        Call_TarnLogToFile("%s", "身份认证失败");
        CYCLE_TRACE(kTraceError, "身份认证失败");
        autocheck::replace_check_page(url);
        if (ReadConfigIntOr("SupportNat") != 0) TarnSetIpTTL(0);
    }
    renew_lease_under_dhcp();
}

}  // namespace

namespace autocheck {

void check_authenticated(const CycleVariant& variant, const char* url) {
    const auto trace = [&variant](int level, int line, const char* message) {
        LogTrace(variant.function, level, kAutoCheckSource, line, "%s", message);
    };
    trace(kTraceInfo, __LINE__, "身份认证成功");
    UpdateSecurityCheckPolicy();
    const int disturb = ReadConfigIntOr("IsDisturb");
    ReportIdentityAuthResult();
    if (DoSecurityCheckAndReportResult() != 0) {
        Call_TarnLogToFile("%s", "安全检查已完成");
        trace(kTraceInfo, __LINE__, "安全检查已完成");
        if (variant.on_passed != nullptr) variant.on_passed();
        if (ReadConfigIntOr("SupportNat") != 0) TarnSetIpTTL(1);
        if (ReadConfigIntOr("SuportPraxa") != 0) ControlNetworkByPraxaTdi(0);
        return;
    }
    trace(kTraceInfo, __LINE__, "安全检查没有通过");
    if (disturb != 0) {
        trace(kTraceError, __LINE__, "安全检查没有通过， 但因为是免打挠模式，所有没有打开检查页面");
        return;
    }
    if (variant.before_failed_page != nullptr) variant.before_failed_page();
    replace_check_page(url);
}

}  // namespace autocheck

namespace {

// The whole cycle under the fault guard, the lock held around it: a fault
// in any step, the state reset and the policy deletion included, ends the
// cycle with the lock let go.
struct Cycle {
    char url[autocheck::kCheckPageUrlSize];
    bool have_url;
};

void run_cycle(void* context) {
    auto* cycle = static_cast<Cycle*>(context);
    autocheck::pass_begin();
    reset_admission_state();
    delete_stored_policy();
    cycle->have_url = autocheck::check_page_url(cycle->url);
    if (cycle->have_url) authenticate_and_check(cycle->url);
}

}  // namespace

void AutoAuthAndCheck() {
    Cycle cycle{};
    const os::Fault fault =
        autocheck::run_holding(autocheck::admission_cycle_lock(), &run_cycle, &cycle);
    autocheck::pass_end();  // this thread's, after a fault too
    if (fault != os::Fault::kNone) {
        CYCLE_TRACE(kTraceError, "发生异常");
    } else if (!cycle.have_url) {
        // Outside the guard, so that the exit seam's exception in tests
        // passes through.
        CYCLE_TRACE(kTraceError, "没有找到检查页面，退出小助手");
        Call_TarnLogToFile("%s", "没有找到检查页面，退出小助手");
        os::process_exit(0);
    }
}
