// POSIX has no windows: the title is registered where window lookups search.
#include "os/time.h"
#include "os/ui.h"
#include "tests/fakes/TarnHtmlDlg/window.h"

bool own_window_for(const char* title, std::uint32_t lifetime_ms) {
    if (!os::window_register_title(title)) return false;
    os::sleep_ms(lifetime_ms);
    os::window_unregister_title(title);
    return true;
}
