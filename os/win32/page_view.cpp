// The page view on Windows: a top-level window of the dialog's own that hosts
// the system web browser control (page_view_site.h), with an optional
// notification-area icon that brings a hidden window up.
#include "os/page_view.h"

#include <cstdio>
#include <string>

#include "os/tray.h"
#include "os/win32/page_view_site.h"

namespace os {
namespace {

constexpr char kWindowClass[] = "QuarnPageDialog";
constexpr UINT kShowMessage = WM_APP + 1;  // posted by the tray thread
constexpr UINT_PTR kHiddenLimitTimer = 1;
constexpr DWORD kBalloonMs = 10000;

// {25336920-03F9-11cf-8FD0-00AA00686F13}: the browser engine's document.
constexpr CLSID kHtmlDocument = {
    0x25336920, 0x03f9, 0x11cf, {0x8f, 0xd0, 0x00, 0xaa, 0x00, 0x68, 0x6f, 0x13}};

struct Dialog {
    PageViewObserver observer;
    void* context;
    HWND window = nullptr;
    win32::PageSite* site = nullptr;
    bool tray = false;

    void report(PageViewEvent event, const char* text) {
        if (observer != nullptr) observer(context, event, text);
    }
};

LRESULT CALLBACK window_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    auto* dialog = reinterpret_cast<Dialog*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    switch (message) {
        case WM_NCCREATE: {
            auto* create = reinterpret_cast<CREATESTRUCTA*>(lparam);
            SetWindowLongPtrA(window, GWLP_USERDATA,
                              reinterpret_cast<LONG_PTR>(create->lpCreateParams));
            break;
        }
        case WM_SIZE:
            if (dialog != nullptr && dialog->site != nullptr) dialog->site->resize();
            return 0;
        case kShowMessage:
            if (dialog != nullptr && !IsWindowVisible(window)) {
                KillTimer(window, kHiddenLimitTimer);
                ShowWindow(window, SW_SHOWNORMAL);
                dialog->report(PageViewEvent::kShown, "");
            }
            SetForegroundWindow(window);
            return 0;
        case WM_TIMER:
            if (wparam == kHiddenLimitTimer && dialog != nullptr) {
                KillTimer(window, kHiddenLimitTimer);
                dialog->report(PageViewEvent::kHiddenLimit, "");
                DestroyWindow(window);
            }
            return 0;
        case WM_DESTROY:
            // The control goes while its window still exists.
            if (dialog != nullptr && dialog->site != nullptr) dialog->site->stop();
            PostQuitMessage(0);
            return 0;
        default:
            break;
    }
    return DefWindowProcA(window, message, wparam, lparam);
}

// A click on the tray icon or its balloon brings the window up; the tray
// thread only posts, the window's own thread shows.
void on_tray(void* context, TrayNotice notice, int value) {
    auto* dialog = static_cast<Dialog*>(context);
    constexpr int kBalloonClick = WM_USER + 5;  // NIN_BALLOONUSERCLICK
    if (notice == TrayNotice::kMouse &&
        (value == WM_LBUTTONUP || value == WM_LBUTTONDBLCLK || value == kBalloonClick)) {
        PostMessageA(dialog->window, kShowMessage, 0, 0);
    }
}

// The start-up show state the launcher gave (ShellExecuteEx's nShow).
int launcher_show_state() {
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    GetStartupInfoA(&startup);
    return (startup.dwFlags & STARTF_USESHOWWINDOW) != 0 ? startup.wShowWindow : SW_SHOWNORMAL;
}

RECT placement(const PageViewRequest& request) {
    RECT work{0, 0, 1280, 800};
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    const LONG work_width = work.right - work.left;
    const LONG work_height = work.bottom - work.top;
    LONG width = request.width > 0 ? request.width : kPageViewDefaultWidth;
    LONG height = request.height > 0 ? request.height : kPageViewDefaultHeight;
    if (work_width > 0 && width > work_width) width = work_width;
    if (work_height > 0 && height > work_height) height = work_height;
    const LONG left = work.left + (work_width - width) / 2;
    const LONG top = work.top + (work_height - height) / 2;
    return RECT{left, top, left + width, top + height};
}

HWND create_window(const PageViewRequest& request, Dialog* dialog) {
    HINSTANCE instance = GetModuleHandleA(nullptr);
    WNDCLASSEXA window_class{};
    window_class.cbSize = sizeof window_class;
    window_class.lpfnWndProc = window_procedure;
    window_class.hInstance = instance;
    window_class.hCursor = LoadCursor(nullptr, IDC_ARROW);
    window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    window_class.lpszClassName = kWindowClass;
    if (request.icon_path != nullptr && *request.icon_path != '\0') {
        window_class.hIcon = static_cast<HICON>(LoadImageA(nullptr, request.icon_path, IMAGE_ICON,
                                                           0, 0, LR_LOADFROMFILE | LR_DEFAULTSIZE));
    }
    if (RegisterClassExA(&window_class) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
        return nullptr;
    }
    const RECT area = placement(request);
    return CreateWindowExA(0, kWindowClass, request.title, WS_OVERLAPPEDWINDOW, area.left, area.top,
                           area.right - area.left, area.bottom - area.top, nullptr, nullptr,
                           instance, dialog);
}

std::wstring wide_of(const char* text) {
    const int size = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    if (size <= 0) return std::wstring();
    std::wstring wide(static_cast<std::size_t>(size), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text, -1, &wide[0], size);
    wide.resize(static_cast<std::size_t>(size - 1));
    return wide;
}

// Is the browser engine there at all? (Wine without it, a stripped system.)
bool engine_present(char* why, std::size_t why_size) {
    IUnknown* document = nullptr;
    const HRESULT result = CoCreateInstance(kHtmlDocument, nullptr, CLSCTX_INPROC_SERVER,
                                            IID_IUnknown, reinterpret_cast<void**>(&document));
    if (FAILED(result)) {
        std::snprintf(why, why_size, "the browser engine is not available: 0x%08lx",
                      static_cast<unsigned long>(result));
        return false;
    }
    document->Release();
    return true;
}

}  // namespace

PageViewResult page_view_run(const PageViewRequest& request, PageViewObserver observer,
                             void* context) {
    Dialog dialog{observer, context};
    const HRESULT ole = OleInitialize(nullptr);
    dialog.window = create_window(request, &dialog);
    if (dialog.window == nullptr) {
        if (SUCCEEDED(ole)) OleUninitialize();
        return PageViewResult::kNoWindow;
    }
    dialog.report(PageViewEvent::kWindowCreated, request.title);

    char why[160] = "";
    bool view = false;
    if (FAILED(ole)) {
        std::snprintf(why, sizeof why, "OleInitialize failed: 0x%08lx",
                      static_cast<unsigned long>(ole));
    } else if (engine_present(why, sizeof why)) {
        dialog.site = new win32::PageSite(dialog.window, observer, context);
        view = dialog.site->start(wide_of(request.url).c_str(), why, sizeof why);
    }
    if (!view) {
        // The titled window stays while the caller hands the page over.
        dialog.report(PageViewEvent::kNoView, why);
        DestroyWindow(dialog.window);
        if (dialog.site != nullptr) dialog.site->Release();
        if (SUCCEEDED(ole)) OleUninitialize();
        return PageViewResult::kNoView;
    }

    const int show_state = launcher_show_state();
    const bool hidden = request.hidden || show_state == SW_HIDE;
    if (request.tray_icon) {
        dialog.tray =
            tray_start(on_tray, &dialog) && tray_show(request.tray_message, request.icon_path);
        if (dialog.tray) {
            tray_balloon(request.title, request.tray_message, kBalloonMs);
        } else {
            char text[64];
            std::snprintf(text, sizeof text, "Shell_NotifyIcon failed (error %lu)",
                          static_cast<unsigned long>(GetLastError()));
            dialog.report(PageViewEvent::kTrayFailed, text);
        }
    }
    if (hidden) {
        if (request.hidden_limit_ms != 0) {
            SetTimer(dialog.window, kHiddenLimitTimer, request.hidden_limit_ms, nullptr);
        }
    } else {
        ShowWindow(dialog.window,
                   show_state == SW_SHOWMAXIMIZED ? SW_SHOWMAXIMIZED : SW_SHOWNORMAL);
        UpdateWindow(dialog.window);
    }

    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        if (dialog.site->translate(&message)) continue;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    if (dialog.tray) tray_remove();
    dialog.site->Release();
    OleUninitialize();
    return PageViewResult::kClosed;
}

}  // namespace os
