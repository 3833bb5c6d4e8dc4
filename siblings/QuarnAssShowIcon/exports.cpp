// QuarnAssShowIcon.dll: the tray icon, its menu and balloons.
#include "interface/sibling_abi.h"
#include "siblings/QuarnAssShowIcon/show_icon.h"

QUARN_EXPORT int QUARN_CDECL InitTray() {
    return show_icon::init_tray();
}
QUARN_EXPORT int QUARN_CDECL AddTrayIcon(const char* tooltip, const char* icon_path) {
    return show_icon::add_tray_icon(tooltip, icon_path);
}
QUARN_EXPORT int QUARN_CDECL DelTrayIcon() {
    return show_icon::del_tray_icon();
}
QUARN_EXPORT int QUARN_CDECL AddDynamicMenu(const char* caption, const char* event_name) {
    return show_icon::add_dynamic_menu(caption, event_name);
}
QUARN_EXPORT int QUARN_CDECL DelDynamicMenu(const char* caption) {
    return show_icon::del_dynamic_menu(caption);
}
QUARN_EXPORT int QUARN_CDECL DeleteAllDynamicMenu() {
    show_icon::delete_all_dynamic_menu();
    return 1;
}
QUARN_EXPORT int QUARN_CDECL ShowBalloonMsg(const char* title, const char* text, int display_ms) {
    return show_icon::show_balloon_msg(title, text, display_ms);
}
QUARN_EXPORT int QUARN_CDECL AddEventNotify(int window_message, const char* event_name) {
    return show_icon::add_event_notify(window_message, event_name);
}

static_assert(sizeof(sibling::InitTrayFunction{&InitTray}) > 0);
static_assert(sizeof(sibling::AddTrayIconFunction{&AddTrayIcon}) > 0);
static_assert(sizeof(sibling::DelTrayIconFunction{&DelTrayIcon}) > 0);
static_assert(sizeof(sibling::AddDynamicMenuFunction{&AddDynamicMenu}) > 0);
static_assert(sizeof(sibling::DelDynamicMenuFunction{&DelDynamicMenu}) > 0);
static_assert(sizeof(sibling::DeleteAllDynamicMenuFunction{&DeleteAllDynamicMenu}) > 0);
static_assert(sizeof(sibling::ShowBalloonMsgFunction{&ShowBalloonMsg}) > 0);
static_assert(sizeof(sibling::AddEventNotifyFunction{&AddEventNotify}) > 0);
