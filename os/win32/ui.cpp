// Message boxes and window lookup.
#include "os/ui.h"

#include <windows.h>

#include <map>
#include <mutex>
#include <string>

#include "os/seams.h"

namespace os {
namespace {

// Titles registered by this process: each is a real, hidden top-level window
// owned by a thread of its own that pumps its messages.
constexpr char kWindowClass[] = "QuarnRegisteredTitle";

struct TitleWindow {
    HANDLE thread = nullptr;
    HWND window = nullptr;
};

std::mutex g_titles_mutex;
std::map<std::string, TitleWindow>* g_titles = new std::map<std::string, TitleWindow>;

struct WindowStart {
    std::string title;
    HANDLE created;  // set once `window` is valid (or creation failed)
    HWND window;
};

LRESULT CALLBACK window_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wparam, lparam);
}

DWORD WINAPI window_thread(void* data) {
    auto* start = static_cast<WindowStart*>(data);
    WNDCLASSA window_class{};
    window_class.lpfnWndProc = window_procedure;
    window_class.hInstance = GetModuleHandleA(nullptr);
    window_class.lpszClassName = kWindowClass;
    RegisterClassA(&window_class);  // fails harmlessly when already registered
    start->window = CreateWindowExA(0, kWindowClass, start->title.c_str(), WS_OVERLAPPED, 0, 0, 0,
                                    0, nullptr, nullptr, window_class.hInstance, nullptr);
    const bool created = start->window != nullptr;
    SetEvent(start->created);
    if (!created) return 1;
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) DispatchMessageA(&message);
    return 0;
}

}  // namespace

int message_box(const char* text, const char* caption, unsigned flags) {
    if (seams::MessageBoxAnswer answer = seams::message_box_answer()) {
        return answer(text, caption, flags);
    }
    return MessageBoxA(nullptr, text, caption, flags);
}

std::uint32_t window_find_process(const char* title, bool* window_found) {
    if (window_found != nullptr) *window_found = false;
    if (title == nullptr) return 0;
    HWND window = FindWindowA(nullptr, title);
    if (window == nullptr) return 0;
    if (window_found != nullptr) *window_found = true;
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    return pid;
}

bool window_register_title(const char* title) {
    if (title == nullptr) return false;
    std::lock_guard<std::mutex> lock(g_titles_mutex);
    if (g_titles->count(title) != 0) return true;
    WindowStart start{title, CreateEventA(nullptr, TRUE, FALSE, nullptr), nullptr};
    if (start.created == nullptr) return false;
    HANDLE thread = CreateThread(nullptr, 0, window_thread, &start, 0, nullptr);
    if (thread == nullptr) {
        CloseHandle(start.created);
        return false;
    }
    WaitForSingleObject(start.created, INFINITE);
    CloseHandle(start.created);
    if (start.window == nullptr) {
        WaitForSingleObject(thread, INFINITE);
        CloseHandle(thread);
        return false;
    }
    (*g_titles)[title] = TitleWindow{thread, start.window};
    return true;
}

void window_unregister_title(const char* title) {
    if (title == nullptr) return;
    TitleWindow entry;
    {
        std::lock_guard<std::mutex> lock(g_titles_mutex);
        const auto found = g_titles->find(title);
        if (found == g_titles->end()) return;
        entry = found->second;
        g_titles->erase(found);
    }
    PostMessageA(entry.window, WM_CLOSE, 0, 0);
    WaitForSingleObject(entry.thread, 5000);
    CloseHandle(entry.thread);
}

}  // namespace os
