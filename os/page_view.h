// A page shown in the platform's own browser view, in a top-level window of
// its own: the system web browser control on Windows, WebKitGTK on POSIX
// (when a display is present). The caller learns what happened through an
// observer and decides what to do when no view can be made.
#pragma once

#include <cstdint>
#include <string>

namespace os {

// The window size when the caller asks for none (0 x 0), centred.
inline constexpr int kPageViewDefaultWidth = 1024;
inline constexpr int kPageViewDefaultHeight = 700;

struct PageViewRequest {
    const char* url = "";    // an address or a local file path (GBK)
    const char* title = "";  // GBK
    const char* icon_path = "";
    int width = 0;  // 0: the default size; larger than the screen: the screen
    int height = 0;
    bool hidden = false;  // never shown unless the tray icon asks for it
    bool tray_icon = false;
    const char* tray_message = "";  // tooltip and balloon of the tray icon
    // A hidden window that nobody shows ends after this long, so that a
    // caller waiting for it is never stuck (0: no limit).
    std::uint32_t hidden_limit_ms = 0;
};

enum class PageViewEvent {
    kWindowCreated,  // text: the title; POSIX without a view: the title registered
    kNoView,         // text: why; the window (or registration) still exists
    kTrayFailed,     // text: why; the dialog goes on without the icon
    kTrayNote,       // POSIX: what stands in for the tray icon
    kLoadFinished,   // text: the page's address
    kTitle,          // text: the page's title, whenever it changes
    kLoadFailed,     // text: the address and why
    kClosedByPage,   // the page asked to close its window
    kHiddenLimit,    // the hidden window reached its time limit
    kShown,          // the tray icon brought the hidden window up
};

using PageViewObserver = void (*)(void* context, PageViewEvent event, const char* text);

enum class PageViewResult {
    kClosed,    // the window was shown (or hidden) with its view and is closed now
    kNoView,    // no view could be made; kNoView was reported before the window went
    kNoWindow,  // not even the window could be made
};

// Runs the window's message loop until the window closes. The show state the
// launcher gave the process (Windows: 0 hidden, 3 maximised) is honoured.
PageViewResult page_view_run(const PageViewRequest& request, PageViewObserver observer,
                             void* context);

// The page address as this platform opens it: an address with a scheme
// stays; a local file path written with the agent's "\" separators gets the
// platform's own (POSIX: "/"), so neither the view nor a browser sees a
// backslash in a file name.
std::string page_address(const char* url);

// Hands an address or file to the system's default browser (ShellExecute
// "open"; xdg-open on POSIX). False with *why when that could not start.
bool page_open_in_browser(const char* url, std::string* why);

// The process's parameters as one text, the way its launcher wrote them.
// Windows: the raw command line after the program. POSIX: the launcher split
// the text into arguments Windows-style; they are joined with one blank and
// the value of each "Key=value" argument whose key is in `quoted_keys`
// (null-terminated) gets its quotes back.
std::string page_view_parameters(int argc, char** argv, const char* const* quoted_keys);

}  // namespace os
