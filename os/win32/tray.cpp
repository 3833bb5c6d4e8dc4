// The notification-area icon: Shell_NotifyIconA with a hidden window that
// lives on a thread of its own, so the icon answers clicks whatever the
// caller's threads are doing.
#include "os/tray.h"

// clang-format off
#include <windows.h>
#include <shellapi.h>  // needs windows.h first
// clang-format on

#include <cstring>
#include <mutex>
#include <string>
#include <vector>

namespace os {
namespace {

constexpr char kWindowClass[] = "QuarnTrayWindow";
constexpr UINT kIconId = 1;
constexpr UINT kIconMessage = WM_APP + 1;     // the shell's notices about the icon
constexpr UINT kBalloonMessage = WM_APP + 2;  // wparam: display time, set on the window's thread
constexpr UINT_PTR kBalloonTimer = 1;

struct MenuItem {
    std::string caption;
    bool separator;
};

struct Tray {
    std::mutex mutex;
    HWND window = nullptr;
    UINT taskbar_created = 0;
    TrayHandler handler = nullptr;
    void* context = nullptr;
    std::vector<MenuItem> menu;
    bool shown = false;
    NOTIFYICONDATAA data{};  // the icon as shown last: added again when the shell restarts
    HICON file_icon = nullptr;
};
// Never destroyed: the window thread may run while the process ends.
Tray* const g_tray = new Tray;

// Copies a GBK text into a fixed field, cut so that no two-byte character
// is split.
void copy_text(char* out, std::size_t size, const char* text) {
    if (size == 0) return;
    std::size_t length = 0;
    for (std::size_t i = 0; text != nullptr && text[i] != '\0';) {
        const bool pair = static_cast<unsigned char>(text[i]) >= 0x81 && text[i + 1] != '\0';
        const std::size_t next = i + (pair ? 2 : 1);
        if (next > size - 1) break;
        i = length = next;
    }
    if (length != 0) std::memcpy(out, text, length);
    out[length] = '\0';
}

void notify(TrayNotice notice, int value) {
    TrayHandler handler;
    void* context;
    {
        std::lock_guard<std::mutex> lock(g_tray->mutex);
        handler = g_tray->handler;
        context = g_tray->context;
    }
    if (handler != nullptr) handler(context, notice, value);
}

void show_menu(HWND window) {
    HMENU menu = CreatePopupMenu();
    if (menu == nullptr) return;
    {
        std::lock_guard<std::mutex> lock(g_tray->mutex);
        UINT id = 1;
        for (const MenuItem& item : g_tray->menu) {
            if (item.separator) {
                AppendMenuA(menu, MF_SEPARATOR, id, nullptr);
            } else {
                AppendMenuA(menu, MF_STRING, id, item.caption.c_str());
            }
            ++id;
        }
    }
    POINT cursor{};
    GetCursorPos(&cursor);
    // The menu closes when the user clicks elsewhere only if our window is
    // in the foreground; the posted message ends the menu's modal loop.
    SetForegroundWindow(window);
    const UINT chosen =
        static_cast<UINT>(TrackPopupMenu(menu, TPM_RETURNCMD | TPM_NONOTIFY | TPM_RIGHTBUTTON,
                                         cursor.x, cursor.y, 0, window, nullptr));
    PostMessageA(window, WM_NULL, 0, 0);
    DestroyMenu(menu);
    if (chosen != 0) notify(TrayNotice::kMenuChoice, static_cast<int>(chosen - 1));
}

LRESULT CALLBACK window_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == kIconMessage) {
        const UINT mouse = static_cast<UINT>(lparam);
        if (mouse == WM_RBUTTONUP || mouse == WM_CONTEXTMENU) show_menu(window);
        notify(TrayNotice::kMouse, static_cast<int>(mouse));
        return 0;
    }
    if (message == kBalloonMessage) {
        KillTimer(window, kBalloonTimer);
        if (wparam != 0) SetTimer(window, kBalloonTimer, static_cast<UINT>(wparam), nullptr);
        return 0;
    }
    if (message == WM_TIMER && wparam == kBalloonTimer) {
        KillTimer(window, kBalloonTimer);
        tray_balloon("", "", 0);
        return 0;
    }
    if (message == g_tray->taskbar_created && message != 0) {
        std::lock_guard<std::mutex> lock(g_tray->mutex);
        if (g_tray->shown) Shell_NotifyIconA(NIM_ADD, &g_tray->data);
        return 0;
    }
    return DefWindowProcA(window, message, wparam, lparam);
}

struct Start {
    HANDLE created;
    HWND window;
};

DWORD WINAPI tray_thread(void* data) {
    auto* start = static_cast<Start*>(data);
    WNDCLASSA window_class{};
    window_class.lpfnWndProc = window_procedure;
    window_class.hInstance = GetModuleHandleA(nullptr);
    window_class.lpszClassName = kWindowClass;
    RegisterClassA(&window_class);  // fails harmlessly when already registered
    start->window = CreateWindowExA(0, kWindowClass, "", WS_OVERLAPPED, 0, 0, 0, 0, nullptr,
                                    nullptr, window_class.hInstance, nullptr);
    const bool created = start->window != nullptr;
    SetEvent(start->created);
    if (!created) return 1;
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return 0;
}

HICON load_icon(const char* icon_path, bool* from_file) {
    *from_file = false;
    if (icon_path != nullptr && icon_path[0] != '\0') {
        auto icon = static_cast<HICON>(LoadImageA(nullptr, icon_path, IMAGE_ICON,
                                                  GetSystemMetrics(SM_CXSMICON),
                                                  GetSystemMetrics(SM_CYSMICON), LR_LOADFROMFILE));
        if (icon != nullptr) {
            *from_file = true;
            return icon;
        }
    }
    return LoadIconA(nullptr, IDI_APPLICATION);
}

}  // namespace

bool tray_start(TrayHandler handler, void* context) {
    std::lock_guard<std::mutex> lock(g_tray->mutex);
    g_tray->handler = handler;
    g_tray->context = context;
    if (g_tray->window != nullptr) return true;
    g_tray->taskbar_created = RegisterWindowMessageA("TaskbarCreated");
    Start start{CreateEventA(nullptr, TRUE, FALSE, nullptr), nullptr};
    if (start.created == nullptr) return false;
    HANDLE thread = CreateThread(nullptr, 0, tray_thread, &start, 0, nullptr);
    if (thread == nullptr) {
        CloseHandle(start.created);
        return false;
    }
    WaitForSingleObject(start.created, INFINITE);
    CloseHandle(start.created);
    if (start.window == nullptr) WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);  // the thread pumps the window's messages for the life of the process
    g_tray->window = start.window;
    return g_tray->window != nullptr;
}

bool tray_show(const char* tooltip, const char* icon_path) {
    std::lock_guard<std::mutex> lock(g_tray->mutex);
    if (g_tray->window == nullptr) return false;
    bool from_file = false;
    HICON icon = load_icon(icon_path, &from_file);
    NOTIFYICONDATAA data{};
    data.cbSize = sizeof data;
    data.hWnd = g_tray->window;
    data.uID = kIconId;
    data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    data.uCallbackMessage = kIconMessage;
    data.hIcon = icon;
    copy_text(data.szTip, sizeof data.szTip, tooltip);
    const bool done = Shell_NotifyIconA(g_tray->shown ? NIM_MODIFY : NIM_ADD, &data) != FALSE;
    if (!done) {
        if (from_file) DestroyIcon(icon);
        return false;
    }
    if (g_tray->file_icon != nullptr) DestroyIcon(g_tray->file_icon);
    g_tray->file_icon = from_file ? icon : nullptr;
    g_tray->data = data;
    g_tray->shown = true;
    return true;
}

bool tray_remove() {
    std::lock_guard<std::mutex> lock(g_tray->mutex);
    if (!g_tray->shown) return true;
    const bool done = Shell_NotifyIconA(NIM_DELETE, &g_tray->data) != FALSE;
    g_tray->shown = false;
    if (g_tray->file_icon != nullptr) DestroyIcon(g_tray->file_icon);
    g_tray->file_icon = nullptr;
    return done;
}

bool tray_balloon(const char* title, const char* text, std::uint32_t display_ms) {
    std::lock_guard<std::mutex> lock(g_tray->mutex);
    if (!g_tray->shown) return false;
    NOTIFYICONDATAA data = g_tray->data;
    data.uFlags = NIF_INFO;
    copy_text(data.szInfoTitle, sizeof data.szInfoTitle, title);
    copy_text(data.szInfo, sizeof data.szInfo, text);
    data.uTimeout = display_ms;
    data.dwInfoFlags = NIIF_INFO;
    const bool clearing = data.szInfo[0] == '\0' && data.szInfoTitle[0] == '\0';
    if (!clearing && data.szInfo[0] == '\0') copy_text(data.szInfo, sizeof data.szInfo, " ");
    const bool done = Shell_NotifyIconA(NIM_MODIFY, &data) != FALSE;
    // Newer shells ignore uTimeout: the window clears the balloon itself.
    if (done) PostMessageA(g_tray->window, kBalloonMessage, clearing ? 0 : display_ms, 0);
    return done;
}

void tray_set_menu(const TrayMenuItem* items, int count) {
    std::lock_guard<std::mutex> lock(g_tray->mutex);
    g_tray->menu.clear();
    for (int i = 0; i < count; ++i) {
        g_tray->menu.push_back(
            MenuItem{items[i].caption != nullptr ? items[i].caption : "", items[i].separator});
    }
}

}  // namespace os
