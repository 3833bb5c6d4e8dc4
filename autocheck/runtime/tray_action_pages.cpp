// The tray choices that show something: the about box and the pages.
#include <cstdio>
#include <cstring>

#include "autocheck/runtime/guest_code.h"
#include "autocheck/runtime/tray_actions.h"
#include "autocheck/trace_sources.h"
#include "cutil/file.h"
#include "cutil/text.h"
#include "cutil/trace.h"
#include "interface/config_access.h"
#include "interface/launch.h"
#include "interface/system_helpers.h"

namespace tray_action {
namespace {

constexpr char kCheckPageTitle[] = "入网小助手-身份认证与安全检查";
constexpr char kUserSwitchPage[] = "QuarnUserSwitch.html";
constexpr int kShowMaximized = 3;

// The user-switch page files that come with the assistant, and the names the
// page reads them under.
constexpr const char* kUserSwitchFiles[][2] = {
    {"QuarnUserSwitch.chg", kUserSwitchPage},
    {"delete.chg", "delete.gif"},
    {"user.chg", "user.gif"},
};

}  // namespace

void ShowAbout(const Context&) {
    trace(kTraceInfo, __LINE__, "显视关于");
    char link_name[kPathSize];
    if (!read_text("LinkName", link_name) || std::strcmp(link_name, "Failed") == 0) {
        std::snprintf(link_name, sizeof link_name, "%s", "\r\n入网小助手！ \r\n");
    }
    char about_message[kPathSize];
    read_text("AboutMessage", about_message);
    char text[520 + kPathSize];
    std::snprintf(text, 520, "\r\n%s\r\n", link_name);  // at most 519 characters
    cutil_str_append(about_message, text, sizeof text);
    tell(text, "关于");
}

void LookCheckResult(const Context&) {
    trace(kTraceInfo, __LINE__, "查看安全检查结果");
    char url[kPathSize];
    if (read_text("ResultUrl", url)) open_page("入网小助手-安全检查结果", url, 0, 0);
}

// The page authenticates and checks by itself.
void OpenCheckPage(const Context&) {
    trace(kTraceInfo, __LINE__, "安全检查");
    char check_url[kPathSize];
    if (!read_text("CheckUrl", check_url)) return;
    // Room for the mark after the longest stored address: it is never cut.
    char url[kPathSize + sizeof "&from=assistant"];
    std::snprintf(url, sizeof url, "%s%s", check_url,
                  std::strchr(check_url, '?') != nullptr ? "&from=assistant" : "?from=assistant");
    open_page(kCheckPageTitle, url, 0, 0);
}

void RequestGuestCode(const Context&) {
    trace(kTraceInfo, __LINE__, "申请来宾上网码");
    if (RequestGuestMask() == 0) tell("申请来宾上网码失败,请重启电脑后重试!", kCaption);
}

void OpenNavigation(const Context&) {
    trace(kTraceInfo, __LINE__, "打开导航页面");
    char web_url[kPathSize];
    if (!read_text("WebUrl", web_url)) return;
    int role_id = 0;
    if (ReadConfigInt("RoleId", &role_id) == 0) {
        trace(kTraceError, __LINE__, "取设备ID失败，是否没有认证通过?");
        return;
    }
    char url[kPathSize];
    web_address(url, sizeof url, web_url, "trade.php?tradecode=apply_nav&roleid=%d", role_id);
    open_page("入网小助手-小秘书", url, 800, 550);
}

void OpenUserSwitch(const Context&) {
    trace(kTraceInfo, __LINE__, "打开上网用户快速切换窗口");
    // A file that fails to copy leaves the one there before.
    for (const auto& file : kUserSwitchFiles) {
        char source[kPathSize];
        char destination[kPathSize];
        if (gateway::assistant_file_path(file[0], source) &&
            gateway::assistant_file_path(file[1], destination)) {
            cutil_file_Copy(destination, source);
        }
    }
    char page[kPathSize];
    if (gateway::assistant_file_path(kUserSwitchPage, page)) {
        open_page("入网小助手-上网用户快速切换", page, 550, 350);
    }
}

// In the user's own browser, not in the page dialog.
void ChangePassword(const Context&) {
    trace(kTraceInfo, __LINE__, "打开认证用户密码修改页面");
    char web_url[kPathSize];
    if (!read_text("WebUrl", web_url)) return;
    char address[kPathSize + sizeof "?username=" + kPathSize];
    web_address(address, kPathSize, web_url, "%s", "mod/client_check/changePass.php");
    char user_name[kPathSize] = "Failed";
    if (ReadConfigText("UserName", user_name, sizeof user_name) != 0) {
        char decoded[kPathSize] = "";
        if (DecodeUrlBase64(user_name, -1, decoded, sizeof decoded) > 0) {
            cutil_str_append("?username=", address, sizeof address);
            cutil_str_append(decoded, address, sizeof address);
        }
    }
    if (LaunchProgram(nullptr, address, nullptr, kShowMaximized) == 0) {
        LogTrace("EventDoingThread", kTraceError, autocheck::kAutoCheckSource, __LINE__,
                 "打开页面%s失败", address);
    }
}

void ApplyForSoftwareUse(const Context&) {
    trace(kTraceInfo, __LINE__, "打开软件使用申请页面");
    char server_ip[kPathSize];
    int role_id = 0;
    int device_id = 0;
    if (!read_text("ServerIp", server_ip) || ReadConfigInt("RoleId", &role_id) == 0 ||
        ReadConfigInt("DeviceId", &device_id) == 0) {
        return;
    }
    char url[kPathSize];
    format_cut(url, sizeof url,
               "http://%s/trade.php?tradecode=soft_management&isopen=1&roleid=%d&deviceid=%d",
               server_ip, role_id, device_id);
    open_page("入网小助手-软件使用申请", url, 800, 600);
}

}  // namespace tray_action
