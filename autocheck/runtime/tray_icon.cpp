// The tray icon, its tooltip and its menu, rebuilt from the store when a
// writer asks for it (ShowNewIcon) or when no icon is shown yet.
#include "autocheck/runtime/tray_icon.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "autocheck/trace_sources.h"
#include "cutil/text.h"
#include "cutil/trace.h"
#include "interface/assistant_dir.h"
#include "interface/config_access.h"
#include "interface/gateway.h"
#include "os/time.h"

namespace {

constexpr char kFunction[] = "ShowOrUpdateIcon";
constexpr char kSeparator[] = "MF_SEPARATOR";
constexpr char kRiskTooltip[] = "您的电脑存在安全隐患，请及时修复";
constexpr char kPassedTooltip[] = "您的电脑已通过安全检查";
constexpr std::uint32_t kSettleMs = 1000;
constexpr int kAddAttempts = 5;

#define TRAY_TRACE(level, ...) \
    LogTrace(kFunction, level, autocheck::kAutoCheckSource, __LINE__, __VA_ARGS__)

// The result of the last AddTrayIcon; 0 again once the icon is removed.
int g_tray_icon_shown = 0;

enum class Shown { kAlways, kAutoAuth, kNavigation, kSoftwareApply, kUserPassword };

struct MenuEntry {
    const char* caption;
    const char* event_name;  // the tray event thread waits on these names
    Shown shown;
};

// In the order the menu is built; separators only need unique captions.
constexpr MenuEntry kMenu[] = {
    {"退出", "Event_Exit", Shown::kAlways},
    {"关于", "Event_Show_About", Shown::kAlways},
    {"SEPARATOR_1", kSeparator, Shown::kAlways},
    {"卸载小助手", "Event Uninstall", Shown::kAlways},
    {"申请来宾上网码", "Event Request Mask", Shown::kAlways},
    {"停止使用网络", "Event_Cut_Off_Network", Shown::kAlways},
    {"取消自动身份认证", "Event_Undo_Auto_Auth", Shown::kAutoAuth},
    {"SEPARATOR_2", kSeparator, Shown::kAlways},
    {"小秘书", "Event Open Navigation", Shown::kNavigation},
    {"SEPARATOR_3", kSeparator, Shown::kNavigation},
    {"查看安全检查结果", "Event_Look_Check_Result", Shown::kAlways},
    {"身份认证与安全检查", "Event_Start_Check", Shown::kAlways},
    {"SEPARATOR_5", kSeparator, Shown::kSoftwareApply},
    {"软件使用申请", "Event Software Use Apply For", Shown::kSoftwareApply},
    {"SEPARATOR_4", kSeparator, Shown::kAlways},
    {"修改认证用户密码", "Event Change User Password", Shown::kUserPassword},
    {"切换上网用户", "Event Open User Switch Html", Shown::kAlways},
};

// Which of the conditional entries the stored settings ask for.
struct MenuSettings {
    bool auto_auth = false;
    bool navigation = false;
    bool software_apply = false;
    bool user_password = false;

    static MenuSettings read() {
        MenuSettings settings;
        char auto_auth[260] = "No";
        ReadConfigText("IsAutoAuth", auto_auth, sizeof auto_auth);
        settings.auto_auth = cutil_str_iequal(auto_auth, "Yes") != 0;
        settings.navigation = ReadConfigIntOr("ShowNavigationMenu") != 0;
        settings.software_apply = ReadConfigIntOr("EnableSoftuseApplyFor") != 0;
        char auth_type[260] = "";
        settings.user_password = ReadConfigText("LastAuthType", auth_type, sizeof auth_type) != 0 &&
                                 cutil_str_iequal(auth_type, "User") != 0;
        return settings;
    }

    bool allow(Shown shown) const {
        switch (shown) {
            case Shown::kAlways:
                return true;
            case Shown::kAutoAuth:
                return auto_auth;
            case Shown::kNavigation:
                return navigation;
            case Shown::kSoftwareApply:
                return software_apply;
            case Shown::kUserPassword:
                return user_password;
        }
        return false;
    }
};

void build_menu() {
    const MenuSettings settings = MenuSettings::read();
    for (const MenuEntry& entry : kMenu) {
        if (settings.allow(entry.shown)) Call_AddDynamicMenu(entry.caption, entry.event_name);
    }
}

void clear_balloon() {
    Call_ShowBalloonMsg("", "", 0);
}

// Adds the icon for the stored check status, trying a few times: the tray
// may not be ready yet early in a session.
void add_icon() {
    char status[520] = "Failed";
    ReadConfigText("CheckResult", status, sizeof status);
    if (std::strcmp(status, "Failed") == 0) {
        TRAY_TRACE(kTraceError, "没有取到检查结果, 所以就认为认证通过");
        std::snprintf(status, sizeof status, "%s", "success");
    }
    const bool at_risk =
        cutil_str_iequal(status, "fault") != 0 || cutil_str_iequal(status, "false") != 0;
    const char* const first_line = at_risk ? kRiskTooltip : kPassedTooltip;

    // The icon files are named after the status, letter case kept. A status
    // too long for a path leaves it empty: the tray's own icon is shown.
    char icon_name[sizeof status + sizeof ".ico"];
    std::snprintf(icon_name, sizeof icon_name, "%s.ico", status);
    char icon_path[kPathSize];
    gateway::assistant_file_path(icon_name, icon_path);

    char tooltip[256];
    char check_time[64] = "";
    if (ReadConfigText("CheckTime", check_time, sizeof check_time) != 0) {
        std::snprintf(tooltip, sizeof tooltip, "%s\n检查时间:%s", first_line, check_time);
    } else {
        std::snprintf(tooltip, sizeof tooltip, "%s", first_line);
    }

    for (int attempt = 0; attempt < kAddAttempts; ++attempt) {
        g_tray_icon_shown = Call_AddTrayIcon(tooltip, icon_path);
        if (g_tray_icon_shown != 0) return;
        TRAY_TRACE(kTraceError, "添加小右下角图标失败,1秒后重试");
        os::sleep_ms(kSettleMs);
    }
}

}  // namespace

void ShowOrUpdateIcon() {
    if (ReadConfigIntOr("IsHideIcon") != 0) {
        if (g_tray_icon_shown != 0) {
            clear_balloon();
            Call_DelTrayIcon();
            g_tray_icon_shown = 0;
        }
        return;
    }

    const int show_new = ReadConfigIntOr("ShowNewIcon");
    char check_result[260] = "";
    ReadConfigText("CheckResult", check_result, sizeof check_result);
    if (show_new == 0 && (g_tray_icon_shown != 0 || check_result[0] == '\0')) return;

    TRAY_TRACE(kTraceInfo, "显视新的状态图标");
    Call_TarnWriteConfig("ShowNewIcon", "0");

    Call_DeleteAllDynamicMenu();
    clear_balloon();
    Call_DelTrayIcon();
    os::sleep_ms(kSettleMs);

    build_menu();
    add_icon();
}
