// The page-dialog double's one platform service: owning a top-level window
// with a given title for a while.
#pragma once

#include <cstdint>

// Shows (hidden) a top-level window titled `title` and keeps it until
// `lifetime_ms` passed or the process is ended. False when no window could
// be made.
bool own_window_for(const char* title, std::uint32_t lifetime_ms);
