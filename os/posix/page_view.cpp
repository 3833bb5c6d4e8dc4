// The page view on POSIX: a GTK window holding a WebKitGTK view, when a
// display is present. There is no notification area here: the icon file
// becomes the window's icon and the tray message is reported as a note.
#include "os/page_view.h"

#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <string>

#include "os/ui.h"

namespace os {
namespace {

template <typename Function>
GCallback callback(Function function) {
    return reinterpret_cast<GCallback>(reinterpret_cast<void (*)()>(function));
}

// GBK texts of the command line as the UTF-8 GTK wants; a text that is not
// GBK is taken as it is.
std::string utf8_of(const char* gbk) {
    gsize written = 0;
    gchar* converted = g_convert(gbk, -1, "UTF-8", "GBK", nullptr, &written, nullptr);
    if (converted == nullptr) return gbk;
    std::string text(converted, written);
    g_free(converted);
    return text;
}

// Texts from the view go back to the caller in GBK.
std::string gbk_of(const char* utf8) {
    gsize written = 0;
    gchar* converted = g_convert(utf8, -1, "GBK", "UTF-8", nullptr, &written, nullptr);
    if (converted == nullptr) return utf8;
    std::string text(converted, written);
    g_free(converted);
    return text;
}

// A local file path becomes a file: URI; anything with a scheme stays.
std::string uri_of(const std::string& url) {
    if (url.find("://") != std::string::npos || url.rfind("about:", 0) == 0) return url;
    gchar* absolute = g_canonicalize_filename(url.c_str(), nullptr);
    gchar* uri = g_filename_to_uri(absolute, nullptr, nullptr);
    g_free(absolute);
    if (uri == nullptr) return url;
    std::string text(uri);
    g_free(uri);
    return text;
}

struct View {
    View(PageViewObserver o, void* c) : observer(o), context(c) {}
    PageViewObserver observer;
    void* context;
    GtkWidget* window = nullptr;
    bool view_failed = false;
    std::string failure;
    guint limit_timer = 0;

    void report(PageViewEvent event, const char* text) {
        if (observer != nullptr) observer(context, event, text);
    }
};

void on_load_changed(WebKitWebView* web_view, WebKitLoadEvent load_event, gpointer data) {
    if (load_event != WEBKIT_LOAD_FINISHED) return;
    const gchar* uri = webkit_web_view_get_uri(web_view);
    static_cast<View*>(data)->report(PageViewEvent::kLoadFinished,
                                     gbk_of(uri != nullptr ? uri : "").c_str());
}

// The page's title arrives on its own, after or before the load finishes.
void on_title(WebKitWebView* web_view, GParamSpec*, gpointer data) {
    const gchar* title = webkit_web_view_get_title(web_view);
    if (title == nullptr || *title == '\0') return;
    static_cast<View*>(data)->report(PageViewEvent::kTitle, gbk_of(title).c_str());
}

gboolean on_load_failed(WebKitWebView*, WebKitLoadEvent, gchar* uri, GError* error, gpointer data) {
    const std::string text = std::string(uri) + ": " + (error != nullptr ? error->message : "");
    static_cast<View*>(data)->report(PageViewEvent::kLoadFailed, gbk_of(text.c_str()).c_str());
    return FALSE;  // WebKit shows its own error page
}

// The web process could not start or died: the view is gone, the page with it.
void on_web_process_terminated(WebKitWebView*, WebKitWebProcessTerminationReason reason,
                               gpointer data) {
    auto* view = static_cast<View*>(data);
    view->view_failed = true;
    view->failure = reason == WEBKIT_WEB_PROCESS_CRASHED ? "the web process crashed"
                                                         : "the web process ran out of memory";
    gtk_widget_destroy(view->window);
}

void on_close(WebKitWebView*, gpointer data) {
    auto* view = static_cast<View*>(data);
    view->report(PageViewEvent::kClosedByPage, "");
    gtk_widget_destroy(view->window);
}

void on_destroy(GtkWidget*, gpointer data) {
    auto* view = static_cast<View*>(data);
    if (view->limit_timer != 0) g_source_remove(view->limit_timer);
    view->limit_timer = 0;
    gtk_main_quit();
}

gboolean on_hidden_limit(gpointer data) {
    auto* view = static_cast<View*>(data);
    view->limit_timer = 0;
    view->report(PageViewEvent::kHiddenLimit, "");
    gtk_widget_destroy(view->window);
    return G_SOURCE_REMOVE;
}

bool display_present() {
    const char* x11 = g_getenv("DISPLAY");
    const char* wayland = g_getenv("WAYLAND_DISPLAY");
    return (x11 != nullptr && *x11 != '\0') || (wayland != nullptr && *wayland != '\0');
}

// Without a view the title is still owned, so that the agent finds (and can
// end) the dialog by its title while the page is handed over.
PageViewResult no_view(const PageViewRequest& request, View* view, const char* why) {
    const bool registered = window_register_title(request.title);
    if (registered) view->report(PageViewEvent::kWindowCreated, request.title);
    view->report(PageViewEvent::kNoView, why);
    if (registered) window_unregister_title(request.title);
    return registered ? PageViewResult::kNoView : PageViewResult::kNoWindow;
}

void size_window(const PageViewRequest& request, GtkWindow* window) {
    int width = request.width > 0 ? request.width : kPageViewDefaultWidth;
    int height = request.height > 0 ? request.height : kPageViewDefaultHeight;
    if (GdkDisplay* display = gdk_display_get_default()) {
        if (GdkMonitor* monitor = gdk_display_get_primary_monitor(display)) {
            GdkRectangle area{};
            gdk_monitor_get_workarea(monitor, &area);
            if (area.width > 0 && width > area.width) width = area.width;
            if (area.height > 0 && height > area.height) height = area.height;
        }
    }
    gtk_window_set_default_size(window, width, height);
    gtk_window_set_position(window, GTK_WIN_POS_CENTER);
}

}  // namespace

PageViewResult page_view_run(const PageViewRequest& request, PageViewObserver observer,
                             void* context) {
    View view(observer, context);
    if (!display_present()) return no_view(request, &view, "no display (DISPLAY, WAYLAND_DISPLAY)");
    if (!gtk_init_check(nullptr, nullptr))
        return no_view(request, &view, "GTK cannot open the display");

    const std::string title = utf8_of(request.title);
    view.window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    GtkWindow* window = GTK_WINDOW(view.window);
    gtk_window_set_title(window, title.c_str());
    size_window(request, window);
    if (request.icon_path != nullptr && *request.icon_path != '\0') {
        GError* error = nullptr;
        if (!gtk_window_set_icon_from_file(window, request.icon_path, &error)) {
            view.report(PageViewEvent::kTrayNote, "the icon file cannot be read");
        }
        if (error != nullptr) g_error_free(error);
    }
    if (request.tray_icon) {
        // No notification area: the message stays in the trace.
        view.report(PageViewEvent::kTrayNote, request.tray_message);
    }
    g_signal_connect(view.window, "destroy", callback(on_destroy), &view);

    GtkWidget* web_widget = webkit_web_view_new();
    WebKitWebView* web_view = WEBKIT_WEB_VIEW(web_widget);
    g_signal_connect(web_view, "load-changed", callback(on_load_changed), &view);
    g_signal_connect(web_view, "notify::title", callback(on_title), &view);
    g_signal_connect(web_view, "load-failed", callback(on_load_failed), &view);
    g_signal_connect(web_view, "web-process-terminated", callback(on_web_process_terminated),
                     &view);
    g_signal_connect(web_view, "close", callback(on_close), &view);
    gtk_container_add(GTK_CONTAINER(window), web_widget);
    gtk_widget_show(web_widget);
    view.report(PageViewEvent::kWindowCreated, request.title);
    // A hidden window keeps a window of its own: the view realises and loads
    // the page (and posts its form) without ever being mapped.
    gtk_widget_realize(view.window);
    if (!request.hidden) gtk_widget_show(view.window);
    if (request.hidden && request.hidden_limit_ms != 0) {
        view.limit_timer = g_timeout_add(request.hidden_limit_ms, on_hidden_limit, &view);
    }
    webkit_web_view_load_uri(web_view, uri_of(utf8_of(request.url)).c_str());
    gtk_main();
    if (view.view_failed) {
        // The window is gone; the title is owned for the hand-over instead.
        return no_view(request, &view, view.failure.c_str());
    }
    return PageViewResult::kClosed;
}

}  // namespace os

extern "C" const char* __lsan_default_options() {
    return "print_suppressions=0";
}

// GTK, fontconfig and the JavaScript engine keep process-lifetime caches that
// the leak checker of the sanitizer builds would report at exit.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig\nleak:libjavascriptcoregtk\nleak:libgtk-3\nleak:libgdk-3\n"
           "leak:libglib-2.0\nleak:libgobject-2.0\nleak:libwebkit2gtk\nleak:libcairo\n"
           "leak:libpango\nleak:libharfbuzz\nleak:libgio-2.0\nleak:libdbus-1\n";
}
