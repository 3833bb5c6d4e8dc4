// Message boxes and window lookup.
#include "os/ui.h"

#include <windows.h>

#include "os/seams.h"

namespace os {

int message_box(const char* text, const char* caption, unsigned flags) {
    if (seams::MessageBoxAnswer answer = seams::message_box_answer()) {
        return answer(text, caption, flags);
    }
    return MessageBoxA(nullptr, text, caption, flags);
}

std::uint32_t window_find_process(const char* title) {
    if (title == nullptr) return 0;
    HWND window = FindWindowA(nullptr, title);
    if (window == nullptr) return 0;
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    return pid;
}

// Real windows are found by FindWindowA: nothing to record.
bool window_register_title(const char* /*title*/) { return true; }

void window_unregister_title(const char* /*title*/) {}

}  // namespace os
