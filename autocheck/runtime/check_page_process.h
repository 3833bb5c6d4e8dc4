// The check page that the admission cycles open and a forced check closes:
// its dialog process lives in CheckPageProcess. The cycle thread and the
// command thread both end it, so the handle is only ever taken out of the
// variable under one lock and ended by whoever took it, never twice.
#pragma once

#include "os/types.h"

namespace autocheck {

// Takes the page's process out of CheckPageProcess; null when none is kept.
os::Handle take_check_page();
// Ends a page's process (exit code 0) and closes its handle; null does
// nothing.
void end_check_page(os::Handle page);
// Ends the page opened last, then opens `url` in the page dialog (the check
// page's title, default size, shown normally, no tray icon) and keeps its
// process as the one to end next.
void replace_check_page(const char* url);

}  // namespace autocheck
