// No notification area on POSIX: the tray module's shared state is the tray
// (quarnctl tray shows it and clicks its entries), so nothing is drawn here.
#include "os/tray.h"

namespace os {

bool tray_start(TrayHandler, void*) {
    return true;
}
bool tray_show(const char*, const char*) {
    return true;
}
bool tray_remove() {
    return true;
}
bool tray_balloon(const char*, const char*, std::uint32_t) {
    return true;
}
void tray_set_menu(const TrayMenuItem*, int) {}

}  // namespace os
