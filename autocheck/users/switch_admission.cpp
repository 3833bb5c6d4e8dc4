// AutoAuthAndCheckWithUserPassword: the admission cycle for a user switch.
// Unlike the automatic cycle it keeps the stored policy file until the new
// one arrives, tells the user the outcome in a balloon, and renews the lease
// whatever the enforcement, since a new user may mean a new network.
#include "autocheck/users/switch_admission.h"

#include "autocheck/identity/credential_auth.h"
#include "autocheck/pass_budget.h"
#include "autocheck/runtime/admission_cycle.h"
#include "autocheck/runtime/check_page.h"
#include "autocheck/runtime/check_page_process.h"
#include "autocheck/runtime/cycle_lock.h"
#include "autocheck/runtime/guarded_lock.h"
#include "autocheck/trace_sources.h"
#include "cutil/trace.h"
#include "interface/config_access.h"
#include "interface/gateway.h"
#include "interface/launch.h"
#include "interface/system_helpers.h"
#include "interface/user_log.h"
#include "os/fault.h"
#include "os/process.h"

namespace {

constexpr char kFunction[] = "AutoAuthAndCheckWithUserPassword";
constexpr char kBalloonTitle[] = "上网用户切换";
constexpr int kBalloonMs = 10000;

#define SWITCH_TRACE(level, ...) \
    LogTrace(kFunction, level, autocheck::kAutoCheckSource, __LINE__, __VA_ARGS__)

void tell(const char* text) {
    Call_ShowBalloonMsg(kBalloonTitle, text, kBalloonMs);
}

void tell_switched() {
    tell("切换上网用户成功!");
}

// A failed check ends the page opened last before it tells the user.
void tell_check_failed() {
    autocheck::end_check_page(autocheck::take_check_page());
    tell("安检失败，请手动切换上网用户!");
}

struct Switch {
    char url[autocheck::kCheckPageUrlSize];
    bool have_url;
    const char* user_name;
    const char* password;
};

// The whole switch under the fault guard, the cycle lock held around it,
// with nothing that needs a destructor.
void run_switch(void* context) {
    auto* run = static_cast<Switch*>(context);
    autocheck::pass_begin();
    Call_TarnWriteConfig("CheckResult", "");
    Call_TarnWriteConfig("RoleId", "0");
    Call_TarnWriteConfig("AuthTime", "");
    run->have_url = autocheck::check_page_url(run->url);
    if (!run->have_url) return;
    if (UserAuthWithUserPassword(run->user_name, run->password) != 0) {
        autocheck::check_authenticated({kFunction, &tell_switched, &tell_check_failed}, run->url);
        return;
    }
    Call_TarnLogToFile("%s", "身份认证失败");
    SWITCH_TRACE(kTraceError, "身份认证失败");
    tell("身份认证失败,请检查用户名和密码是否正确!");
    autocheck::replace_check_page(run->url);
    int nat = 0;
    if (ReadConfigInt("SupportNat", &nat) != 0 && nat != 0) TarnSetIpTTL(0);
}

}  // namespace

void AutoAuthAndCheckWithUserPassword(const char* user_name, const char* password) {
    Switch run{{}, false, user_name, password};
    const os::Fault fault =
        autocheck::run_holding(autocheck::admission_cycle_lock(), &run_switch, &run);
    autocheck::pass_end();  // this thread's, after a fault too
    if (fault != os::Fault::kNone) {
        SWITCH_TRACE(kTraceError, "发生异常");
    } else if (!run.have_url) {
        SWITCH_TRACE(kTraceError, "没有找到检查页面，退出小助手");
        Call_TarnLogToFile("%s", "没有找到检查页面，退出小助手");
        os::process_exit(0);
    }
    if (!run.have_url) return;
    // Whatever the enforcement: the new user may belong to another network.
    SWITCH_TRACE(kTraceInfo, "刷新IP");
    LaunchProgram(nullptr, "ipconfig.exe", "-renew", 0);
}
