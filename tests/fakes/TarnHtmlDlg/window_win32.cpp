// A real top-level window, found by FindWindowA as the dialog would be.
// (A test double: the platform layer has no use for making windows.)
#include <windows.h>

#include "tests/fakes/TarnHtmlDlg/window.h"

bool own_window_for(const char* title, std::uint32_t lifetime_ms) {
    WNDCLASSA window_class{};
    window_class.lpfnWndProc = DefWindowProcA;
    window_class.hInstance = GetModuleHandleA(nullptr);
    window_class.lpszClassName = "QuarnFakeHtmlDlg";
    RegisterClassA(&window_class);
    HWND window = CreateWindowExA(0, "QuarnFakeHtmlDlg", title, WS_OVERLAPPEDWINDOW, 0, 0, 100, 100,
                                  nullptr, nullptr, window_class.hInstance, nullptr);
    if (window == nullptr) return false;
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < lifetime_ms) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT);
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) return true;
            DispatchMessageA(&message);
        }
    }
    DestroyWindow(window);
    return true;
}
