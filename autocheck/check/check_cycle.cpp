// The check, repair and report cycle: check with the stored policy, check
// again after a pause, repair, report, then mark the endpoint's admission.
#include "autocheck/check/check_cycle.h"

#include <cstdio>
#include <cstring>

#include "autocheck/check/repair_page.h"
#include "autocheck/check/security_check.h"
#include "autocheck/check_time.h"
#include "autocheck/desktop_agent/praxa_network.h"
#include "autocheck/pass_budget.h"
#include "autocheck/policy/security_check_policy.h"
#include "autocheck/request_document.h"
#include "autocheck/trace_sources.h"
#include "cutil/text.h"
#include "cutil/trace.h"
#include "cutil/xml.h"
#include "interface/assistant_dir.h"
#include "interface/config_access.h"
#include "interface/server_address.h"
#include "interface/system_helpers.h"
#include "interface/user_log.h"
#include "os/event.h"
#include "os/process.h"
#include "os/time.h"

namespace {

constexpr char kFunction[] = "DoSecurityCheckAndReportResult";
constexpr char kEnterBanner[] =
    "-------------------------------------进入 DoSecurityCheckAndReportResult"
    "-----------------------------------------";
constexpr char kLeaveBanner[] =
    "-------------------------------------退出 DoSecurityCheckAndReportResult"
    "-------------------------------------------";

#define CYCLE_TRACE(level, ...) \
    LogTrace(kFunction, level, autocheck::kSecurityCheckSource, __LINE__, __VA_ARGS__)

// The hidden automatic repair works unseen: one that never ends would hold
// the cycle, and every check after it, for good. Past this it is ended and
// the cycle goes on as after a repair.
constexpr std::uint32_t kAutoRepairWaitMs = 20 * 60 * 1000;

// Whole seconds of any size, in steps the millisecond sleep can take. The
// pause is the administrator's: not counted against the pass's budget.
void sleep_seconds(int seconds) {
    constexpr int kStep = 3600;
    for (int left = seconds; left > 0; left -= kStep) {
        const std::uint32_t step = static_cast<std::uint32_t>(left < kStep ? left : kStep) * 1000u;
        os::sleep_ms(step);
        autocheck::pass_exclude(step);
    }
}

const char* verdict_of(const XmlNode* result) {
    return cutil_xml_get(result, "TARN/CheckResult");
}

XmlDocument load_policy() {
    char path[kPathSize];
    if (!gateway::assistant_file_path(kSecurityCheckPolicyFile, path)) return nullptr;
    return XmlDocument(
        cutil_xml_import_from_file(path, autocheck::kSecurityCheckSource, kFunction, __LINE__));
}

// One run of the engine; the previous result (if any) is released first.
bool check(XmlNode* policy, XmlDocument* result) {
    result->reset();
    XmlNode* produced = nullptr;
    if (DoSecurityCheck(policy, &produced, nullptr) == 0) return false;
    result->reset(produced);
    return true;
}

bool passed(const XmlDocument& result) {
    return cutil_str_iequal(verdict_of(result.get()), "success");
}

// Ends a repair dialog left over by an earlier cycle, found by its title.
void end_previous_repair(const char* title) {
    if (TerminateProcessByHwndName(title) != 0) {
        CYCLE_TRACE(kTraceInfo, "成功结束了上次的修复进程");
    }
}

void log_and_trace(const char* text) {
    Call_TarnLogToFile("%s", text);
    CYCLE_TRACE(kTraceInfo, "%s", text);
}

// Where the cycle goes after the checks and repairs.
enum class Next { kReport, kFinal, kStopDone };

// Opens the hidden repair dialog, waits for it, checks again.
Next repair_automatically(XmlNode* policy, XmlDocument* result, int disturb) {
    CYCLE_TRACE(kTraceInfo, "已开启自动修复，尝试自动修复");
    end_previous_repair(kAutoRepairTitle);
    Call_TarnLogToFile("%s", "启动自动修复进程");
    os::Handle process = nullptr;
    OpenRepairPage(result->get(), 1, &process);
    if (process == nullptr) {
        log_and_trace("自动修复进程启动失败");
        return Next::kFinal;
    }
    CYCLE_TRACE(kTraceInfo, "等待修复进程退出");
    const std::uint32_t waiting_since = os::tick_count();
    if (!os::handle_wait(process, kAutoRepairWaitMs)) {
        CYCLE_TRACE(kTraceError, "自动修复进程%u分钟没有退出，结束它", kAutoRepairWaitMs / 60000);
        os::process_terminate(process, 0);
    }
    autocheck::pass_exclude(os::tick_count() - waiting_since);
    os::handle_close(process);
    CYCLE_TRACE(kTraceInfo, "修复进程退出");
    Call_TarnLogToFile("%s", "修复进程退出");

    if (!check(policy, result)) {
        // The repair itself ran: the caller is told the cycle went through.
        CYCLE_TRACE(kTraceError, "修复后重新安全检查发生错误");
        return Next::kStopDone;
    }
    if (passed(*result)) {
        log_and_trace("修复后检查通过了, 上报安检结果");
        return Next::kReport;
    }
    if (disturb != 0) {
        const char* text =
            "修复后检查还是没有通过，但当前模式为免打挠，所有就不打开检查页面了，但会上报检查结果";
        CYCLE_TRACE(kTraceInfo, "%s", text);
        Call_TarnLogToFile("%s", text);
        return Next::kReport;
    }
    log_and_trace("修复后检查还是没有通过");
    OpenRepairPage(result->get(), 0, nullptr);
    return Next::kFinal;
}

Next repair_by_hand(const XmlDocument& result, int disturb) {
    if (disturb != 0) {
        const char* text =
            "因为没有开启自动修复功能，但当前模式为免打挠，所有就不打开手动修复页面了，但会上报检查"
            "结果";
        CYCLE_TRACE(kTraceInfo, "%s", text);
        Call_TarnLogToFile("%s", text);
        return Next::kReport;
    }
    log_and_trace("因为没有开启自动修复功能，所以直接打开手动修复页面");
    end_previous_repair(kManualRepairTitle);
    OpenRepairPage(result.get(), 0, nullptr);
    return Next::kFinal;
}

// Sends the result to the server and stores what it says. False when the
// cycle stops here (nothing stored).
bool report(XmlNode* result) {
    const int policy_id = ReadConfigIntOr("PolicyId", 0);
    if (policy_id < 0) {
        CYCLE_TRACE(kTraceInfo, "没有取到PolicyId");
        return false;
    }
    autocheck::append_text(result, "TradeCode", "ReportCheckResult");
    autocheck::append_int(result, "AgentID", ReadConfigIntOr("DeviceId", 0));
    autocheck::append_int(result, "PolicyId", policy_id);

    char web_url[kPathSize];
    char host[kHostSize];
    if (!ReadServerAddress(web_url, host, nullptr)) {
        CYCLE_TRACE(kTraceError, "没有找到检查页面");
        return false;
    }
    const XmlDocument reply = ServerExchange(host, result);
    if (reply == nullptr) {
        CYCLE_TRACE(kTraceInfo, "上报安全检查结果失败");
        return false;
    }
    if (const char* check_id = cutil_xml_get(reply.get(), "TARN/LastCheckId")) {
        Call_TarnWriteConfig("LastCheckTID", check_id);
        char result_url[kPathSize];
        // The address is kept to 259 characters: a longer one is cut.
        const int length =
            std::snprintf(result_url, sizeof result_url,
                          "%s/trade.php?tradecode=checkinfo&tid=%s&is_client=1", web_url, check_id);
        if (length < 0) result_url[0] = '\0';
        Call_TarnWriteConfig("ResultUrl", result_url);
        Call_TarnLogToFile("最后结果查看URL：%s", result_url);
    }

    const char* verdict = verdict_of(result);
    if (verdict == nullptr) verdict = "";
    Call_TarnWriteConfig("CheckResult", verdict);
    // Kept for the administration tool's status screen; nothing reads it here.
    if (const char* score = cutil_xml_get(result, "TARN/CheckScore"))
        Call_TarnWriteConfig("CheckScore", score);
    Call_TarnWriteConfig("ShowNewIcon", "1");
    Call_TarnWriteConfig("HaveRecheck", "1");
    Call_TarnLogToFile("最后检查结果: %s", verdict);
    return true;
}

// The endpoint's marks: TTL 64 for a refused endpoint; TTL 200 and the
// desktop agent's block lifted otherwise.
void mark_admission(const XmlNode* result) {
    const bool refused = cutil_str_iequal(verdict_of(result), "false");
    if (ReadConfigIntOr("SupportNat", 0) != 0) TarnSetIpTTL(refused ? 0 : 1);
    if (!refused && ReadConfigIntOr("SuportPraxa", 0) != 0) ControlNetworkByPraxaTdi(0);
}

}  // namespace

int DoSecurityCheckAndReportResult() {
    Call_TarnLogToFile("%s", kEnterBanner);
    autocheck::store_check_time();

    if (ReadConfigIntOr("DeviceId", 0) == 0) {
        CYCLE_TRACE(kTraceInfo, "没有取到DeviceId");
        return 0;
    }
    if (ReadConfigIntOr("IsForbid", 0) != 0) {
        CYCLE_TRACE(kTraceError, "此设备已被隔离，不做自动身份认证");
        return 0;
    }
    if (ReadConfigIntOr("RoleId", 0) == 0) {
        CYCLE_TRACE(kTraceError, "没有取到角色ID，身份认证可能没通过");
        return 0;
    }
    if (ReadConfigIntOr("IsDoSecurityCheck", 0) <= 0) {
        Call_TarnLogToFile("%s", "策略要求不做安全检查");
        CYCLE_TRACE(kTraceInfo, "不用做安全检查");
        return 1;
    }
    const int disturb = ReadConfigIntOr("IsDisturb", 0);
    const int recheck_seconds = ReadConfigIntOr("CheckFailRecheckTime", 0);

    const XmlDocument policy = load_policy();
    if (policy == nullptr) {
        CYCLE_TRACE(kTraceError, "没有找到安全检查策略");
        return 0;
    }

    XmlDocument result;
    if (!check(policy.get(), &result)) {
        Call_TarnLogToFile("%s", "安全检查发生错误, 检查失败");
        CYCLE_TRACE(kTraceError, "安全检查发生错误");
        return 0;
    }
    Next next = Next::kReport;
    if (!passed(result) && recheck_seconds > 0) {
        Call_TarnLogToFile("睡眠%d秒后重新检查", recheck_seconds);
        CYCLE_TRACE(kTraceInfo, "睡眠%d秒后重新检查", recheck_seconds);
        sleep_seconds(recheck_seconds);
        if (!check(policy.get(), &result)) {
            Call_TarnLogToFile("%s", "安全检查发生错误, 检查失败");
            CYCLE_TRACE(kTraceError, "安全检查发生错误");
            return 0;
        }
    }
    if (!passed(result)) {
        CYCLE_TRACE(kTraceInfo, "安全检查没有完全通过");
        next = ReadConfigIntOr("IsAutoRepair", 0) != 0
                   ? repair_automatically(policy.get(), &result, disturb)
                   : repair_by_hand(result, disturb);
    }
    if (next == Next::kStopDone) return 1;
    if (next == Next::kReport && !report(result.get())) return 0;

    mark_admission(result.get());
    Call_TarnLogToFile("%s", kLeaveBanner);
    return 1;
}
