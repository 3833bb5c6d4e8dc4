// The tray choices that change the assistant or the network: exit, forced
// exit, uninstall, stopping network use and cancelling automatic
// authentication.
#include <cstdio>

#include "autocheck/bound_modules.h"
#include "autocheck/desktop_agent/praxa_network.h"
#include "autocheck/runtime/tray_actions.h"
#include "autocheck/trace_sources.h"
#include "cutil/trace.h"
#include "interface/config_access.h"
#include "interface/gateway.h"
#include "interface/launch.h"
#include "interface/system_helpers.h"
#include "interface/user_log.h"
#include "os/memory.h"
#include "os/process.h"

namespace tray_action {
namespace {

constexpr int kShowMaximized = 3;

// Asks the server to forget this device before the assistant goes.
void delete_device_record() {
    char web_url[kPathSize];
    if (!read_text("WebUrl", web_url)) return;
    trace(kTraceInfo, __LINE__, "删除设备信息");
    int device_id = 0;
    if (ReadConfigInt("DeviceId", &device_id) == 0) {
        trace(kTraceError, __LINE__, "取设备ID失败");
        return;
    }
    char url[kPathSize];
    web_address(url, sizeof url, web_url, "trade.php?tradecode=client_dev_delete&device_id=%d",
                device_id);
    char* answer = nullptr;
    if (HttpGet != nullptr) HttpGet(url, &answer);
    if (answer == nullptr) return;
    LogTrace("EventDoingThread", kTraceInfo, autocheck::kAutoCheckSource, __LINE__,
             "删除设备信息应答: %s", answer);
    os::global_free(answer);
}

}  // namespace

// The tray icon stays: the process ends without removing it.
void Exit(const Context&) {
    if (!confirm("关闭入网小助手可能导致无法上网,您确定要关闭入网小助手吗？")) {
        trace(kTraceInfo, __LINE__, "用户取消了退出");
        return;
    }
    trace(kTraceInfo, __LINE__, "用户选择退出，进程结束");
    os::process_exit(0);
}

void CutOffNetwork(const Context& context) {
    trace(kTraceInfo, __LINE__, "断开网络连接");
    Call_TarnLogToFile("%s", "用户选择断开网络连接");
    if (!confirm("停止使用网络后会取消自动身份认证功能，您确定要停止使用网络吗？")) {
        trace(kTraceInfo, __LINE__, "用户取消了断开网络连接");
        return;
    }
    if (Call_CutOffNetwork() != 0) {
        Call_ShowBalloonMsg("提示", "本电脑网络访问稍后将会受到限制...", 20000);
        renew_ip_lease();
    }
    if (flag_set("SupportNat")) TarnSetIpTTL(0);
    cancel_auto_auth(context);
    if (flag_set("SuportPraxa")) ControlNetworkByPraxaTdi(1);
}

void UndoAutoAuth(const Context& context) {
    trace(kTraceInfo, __LINE__, "取消自动身份认证");
    if (!confirm("您确定要取消自动身份认证吗？")) {
        trace(kTraceInfo, __LINE__, "用户放弃了取消自动身份认证");
        return;
    }
    cancel_auto_auth(context);
}

// Asked by another program of the product: no question.
void ForceExit(const Context&) {
    trace(kTraceInfo, __LINE__, "Force Exit");
    Call_DelTrayIcon();
    os::process_exit(0);
}

void Uninstall(const Context&) {
    trace(kTraceInfo, __LINE__, "卸载小助手");
    if (!confirm("卸载入网小助手可能导致无法上网,您确定要卸载小助手吗？")) {
        trace(kTraceInfo, __LINE__, "用户取消了卸载小助手");
        return;
    }
    trace(kTraceInfo, __LINE__, "用户选择卸载小助手");
    delete_device_record();
    renew_ip_lease();
    if (flag_set("SupportNat")) TarnSetIpTTL(0);
    char assistant[kPathSize];
    if (gateway::assistant_file_path(sibling::kAssistantExe, assistant)) {
        LaunchProgram(nullptr, assistant, "-u", kShowMaximized);
    }
    os::process_exit(0);
}

}  // namespace tray_action
