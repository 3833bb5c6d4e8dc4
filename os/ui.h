// The few user-interface services the agent needs.
#pragma once

#include <cstdint>

namespace os {

// MessageBoxA without an owner window, through the message-box seam.
// Returns the button id (IDOK 1, IDCANCEL 2, IDYES 6, IDNO 7).
int message_box(const char* text, const char* caption, unsigned flags);

// Process id owning a top-level window whose title is exactly `title`; 0
// when there is none, or when the system cannot tell the window's owner
// (then *window_found, when given, is still true). POSIX has no windows:
// programs that "own a window" register its title in a per-user folder
// (window_register_title) and this looks the title up there, ignoring entries
// of processes that ended.
std::uint32_t window_find_process(const char* title, bool* window_found = nullptr);
// Records that the calling process owns a window titled `title` until it
// exits or calls window_unregister_title. POSIX: an entry in the per-user
// registry folder (docs/platform.md). Windows: a real, hidden top-level window
// with that title on a thread of its own, which FindWindowA finds (a program
// that shows its own window with the title needs no registration).
bool window_register_title(const char* title);
void window_unregister_title(const char* title);

}  // namespace os
