// The thin wrappers: look up, call, pass the result back unchanged.
#include "interface/gateway.h"

#include "interface/sibling_lookup.h"

using gateway::find_loaded;
namespace s = sibling;

namespace {

constexpr char kCancelAutoAuthCaption[] = "取消自动身份认证";
constexpr int kLeftButtonDoubleClick = 515;  // WM_LBUTTONDBLCLK
constexpr char kDoubleClickEvent[] = "Event_L_Button_D_Click";

}  // namespace

void Call_InitTray() {
    auto f = find_loaded<s::InitTrayFunction>("Call_InitTray", s::kShowIconDll, s::kInitTrayName);
    if (f != nullptr) f();
}

int Call_AddTrayIcon(const char* tooltip, const char* icon_path) {
    auto f = find_loaded<s::AddTrayIconFunction>("Call_AddTrayIcon", s::kShowIconDll,
                                                 s::kAddTrayIconName);
    return f != nullptr ? f(tooltip, icon_path) : 0;
}

int Call_DelTrayIcon() {
    auto f = find_loaded<s::DelTrayIconFunction>("Call_DelTrayIcon", s::kShowIconDll,
                                                 s::kDelTrayIconName);
    return f != nullptr ? f() : 0;
}

int Call_AddDynamicMenu(const char* caption, const char* event_name) {
    auto f = find_loaded<s::AddDynamicMenuFunction>("Call_AddDynamicMenu", s::kShowIconDll,
                                                    s::kAddDynamicMenuName);
    return f != nullptr ? f(caption, event_name) : 0;
}

int Call_DelDynamicMenu() {
    auto f = find_loaded<s::DelDynamicMenuFunction>("Call_DelDynamicMenu", s::kShowIconDll,
                                                    s::kDelDynamicMenuName);
    return f != nullptr ? f(kCancelAutoAuthCaption) : 0;
}

void Call_DeleteAllDynamicMenu() {
    auto f = find_loaded<s::DeleteAllDynamicMenuFunction>(
        "Call_DeleteAllDynamicMenu", s::kShowIconDll, s::kDeleteAllDynamicMenuName);
    if (f != nullptr) f();
}

int Call_ShowBalloonMsg(const char* title, const char* text, int display_ms) {
    auto f = find_loaded<s::ShowBalloonMsgFunction>("Call_ShowBalloonMsg", s::kShowIconDll,
                                                    s::kShowBalloonMsgName);
    return f != nullptr ? f(title, text, display_ms) : 0;
}

int Call_AddEventNotify() {
    auto f = find_loaded<s::AddEventNotifyFunction>("Call_AddEventNotify", s::kShowIconDll,
                                                    s::kAddEventNotifyName);
    return f != nullptr ? f(kLeftButtonDoubleClick, kDoubleClickEvent) : 0;
}

void Call_SetPacketRecvCallBack(sibling::PacketRecvCallBackFunction callback) {
    auto f = find_loaded<s::SetPacketRecvCallBackFunction>(
        "Call_SetPacketRecvCallBack", s::kCommunicateDll, s::kSetPacketRecvCallBackName);
    if (f != nullptr) f(callback);
}

int Call_GetUdpPacketFrom(const char* server_host, XmlNode* request, XmlNode** reply) {
    auto f = find_loaded<s::GetUdpPacketFromFunction>("Call_GetUdpPacketFrom", s::kCommunicateDll,
                                                      s::kGetUdpPacketFromName);
    return f != nullptr ? f(server_host, s::kServerUdpPort, request, reply) : 0;
}

int Call_GetTcpPacketFrom(XmlNode* request, XmlNode** reply) {
    auto f = find_loaded<s::GetTcpPacketFromFunction>("Call_GetTcpPacketFrom", s::kCommunicateDll,
                                                      s::kGetTcpPacketFromName);
    return f != nullptr ? f(s::kAssistantTcpHost, s::kAssistantTcpPort, request, reply) : 0;
}

int Call_CutOffNetwork() {
    auto f = find_loaded<s::CutOffNetworkFunction>("Call_CutOffNetwork", s::kRuntimeCheckDll,
                                                   s::kCutOffNetworkName);
    return f != nullptr ? f() : 1;
}

int Call_HaveInsertUsbKey() {
    auto f = find_loaded<s::HaveInsertUsbKeyFunction>("Call_HaveInsertUsbKey", s::kRuntimeCheckDll,
                                                      s::kHaveInsertUsbKeyName);
    return f != nullptr ? f() : 1;
}
