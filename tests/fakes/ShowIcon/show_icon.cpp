// Double of QuarnAssShowIcon.dll: records every tray call; each succeeds
// unless scripted otherwise.
#include "interface/sibling_abi.h"
#include "tests/fakes/core/fake_core.h"

using fake::text;

QUARN_EXPORT int QUARN_CDECL InitTray() {
    fake::record("InitTray", "%s", "");
    return fake::result_or("InitTray", 1);
}
QUARN_EXPORT int QUARN_CDECL AddTrayIcon(const char* tooltip, const char* icon_path) {
    fake::record("AddTrayIcon", "%s|%s", text(tooltip), text(icon_path));
    return fake::result_or("AddTrayIcon", 1);
}
QUARN_EXPORT int QUARN_CDECL DelTrayIcon() {
    fake::record("DelTrayIcon", "%s", "");
    return fake::result_or("DelTrayIcon", 1);
}
QUARN_EXPORT int QUARN_CDECL AddDynamicMenu(const char* caption, const char* event_name) {
    fake::record("AddDynamicMenu", "%s|%s", text(caption), text(event_name));
    return fake::result_or("AddDynamicMenu", 1);
}
QUARN_EXPORT int QUARN_CDECL DelDynamicMenu(const char* caption) {
    fake::record("DelDynamicMenu", "%s", text(caption));
    return fake::result_or("DelDynamicMenu", 1);
}
QUARN_EXPORT int QUARN_CDECL DeleteAllDynamicMenu() {
    fake::record("DeleteAllDynamicMenu", "%s", "");
    return fake::result_or("DeleteAllDynamicMenu", 1);
}
QUARN_EXPORT int QUARN_CDECL ShowBalloonMsg(const char* title, const char* body, int display_ms) {
    fake::record("ShowBalloonMsg", "%s|%s|%d", text(title), text(body), display_ms);
    return fake::result_or("ShowBalloonMsg", 1);
}
QUARN_EXPORT int QUARN_CDECL AddEventNotify(int window_message, const char* event_name) {
    fake::record("AddEventNotify", "%d|%s", window_message, text(event_name));
    return fake::result_or("AddEventNotify", 1);
}

// The export types must agree with the contract.
static_assert(sizeof(sibling::InitTrayFunction{&InitTray}) > 0);
static_assert(sizeof(sibling::AddTrayIconFunction{&AddTrayIcon}) > 0);
static_assert(sizeof(sibling::DelTrayIconFunction{&DelTrayIcon}) > 0);
static_assert(sizeof(sibling::AddDynamicMenuFunction{&AddDynamicMenu}) > 0);
static_assert(sizeof(sibling::DelDynamicMenuFunction{&DelDynamicMenu}) > 0);
static_assert(sizeof(sibling::DeleteAllDynamicMenuFunction{&DeleteAllDynamicMenu}) > 0);
static_assert(sizeof(sibling::ShowBalloonMsgFunction{&ShowBalloonMsg}) > 0);
static_assert(sizeof(sibling::AddEventNotifyFunction{&AddEventNotify}) > 0);
