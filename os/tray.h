// The notification-area (tray) icon of this process: one icon, owned by a
// hidden window on a thread of its own that pumps its messages, pops up the
// menu on a right click and hands the owner what the user did.
//
// POSIX has no notification area: every call succeeds and draws nothing (the
// tray module publishes its state in shared memory, which is the tray there).
#pragma once

#include <cstdint>

namespace os {

enum class TrayNotice {
    kMouse,       // value: the mouse message on the icon (515 = double click)
    kMenuChoice,  // value: index of the chosen item in the menu last set
};
// Called on the tray thread; must not call back into tray_* functions that
// wait for that thread (none does).
using TrayHandler = void (*)(void* context, TrayNotice notice, int value);

struct TrayMenuItem {
    const char* caption;
    bool separator;
};

// Starts the tray thread and its window once; later calls only replace the
// handler. False when the window could not be created.
bool tray_start(TrayHandler handler, void* context);
// Adds the icon, or changes it when shown. `icon_path` is an .ico file; null,
// empty or unreadable gives the system's application icon. The tooltip is cut
// to what the system keeps (127 bytes). False when the shell refuses.
bool tray_show(const char* tooltip, const char* icon_path);
// Removes the icon (and its balloon). True when none is shown.
bool tray_remove();
// Shows a balloon at the icon for `display_ms` (then clears it); an empty
// title and text clear it. False when no icon is shown or the shell refuses.
bool tray_balloon(const char* title, const char* text, std::uint32_t display_ms);
// The items of the popup menu, copied; shown in this order on a right click.
void tray_set_menu(const TrayMenuItem* items, int count);

}  // namespace os
