#include "os/posix/message_dialog.h"

#include <dlfcn.h>

#include <cstdlib>
#include <mutex>

namespace os::posix {
namespace {

// Win32 answers and the GTK values they map to.
enum : int { kIdOk = 1, kIdCancel = 2, kIdYes = 6, kIdNo = 7 };
enum : int { kGtkResponseOk = -5, kGtkResponseYes = -8 };
enum : int { kGtkButtonsOk = 1, kGtkButtonsYesNo = 4, kGtkButtonsOkCancel = 5 };
enum : int { kGtkInfo = 0, kGtkWarning = 1, kGtkQuestion = 2, kGtkError = 3, kGtkOther = 4 };
constexpr int kGtkDialogModal = 1;

struct Gtk {
    int (*init_check)(int*, char***);
    void* (*message_dialog_new)(void*, int, int, int, const char*, ...);
    void (*window_set_title)(void*, const char*);
    void (*window_set_keep_above)(void*, int);
    int (*dialog_run)(void*);
    void (*widget_destroy)(void*);
    int (*events_pending)();
    int (*main_iteration)();
};

template <typename Function>
bool bind(void* library, const char* name, Function* function) {
    *function = reinterpret_cast<Function>(dlsym(library, name));
    return *function != nullptr;
}

bool display_named() {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != '\0') return true;
    }
    return false;
}

// Loaded and initialised once; null when there is no display or no GTK. The
// library stays loaded for the life of the process, as GTK expects.
const Gtk* gtk() {
    static const Gtk* loaded = []() -> const Gtk* {
        if (!display_named()) return nullptr;
        void* library = dlopen("libgtk-3.so.0", RTLD_NOW | RTLD_LOCAL);
        if (library == nullptr) return nullptr;
        static Gtk g{};
        const bool bound = bind(library, "gtk_init_check", &g.init_check) &&
                           bind(library, "gtk_message_dialog_new", &g.message_dialog_new) &&
                           bind(library, "gtk_window_set_title", &g.window_set_title) &&
                           bind(library, "gtk_window_set_keep_above", &g.window_set_keep_above) &&
                           bind(library, "gtk_dialog_run", &g.dialog_run) &&
                           bind(library, "gtk_widget_destroy", &g.widget_destroy) &&
                           bind(library, "gtk_events_pending", &g.events_pending) &&
                           bind(library, "gtk_main_iteration", &g.main_iteration);
        if (!bound || g.init_check(nullptr, nullptr) == 0) return nullptr;
        return &g;
    }();
    return loaded;
}

int message_type(unsigned flags) {
    switch (flags & 0xF0) {
        case 0x10:
            return kGtkError;
        case 0x20:
            return kGtkQuestion;
        case 0x30:
            return kGtkWarning;
        case 0x40:
            return kGtkInfo;
        default:
            return kGtkOther;
    }
}

}  // namespace

bool message_dialog(const std::string& text, const std::string& caption, unsigned flags,
                    int* answer) {
    int buttons = 0;
    switch (flags & 0xF) {
        case 0:
            buttons = kGtkButtonsOk;
            break;
        case 1:
            buttons = kGtkButtonsOkCancel;
            break;
        case 4:
            buttons = kGtkButtonsYesNo;
            break;
        default:
            return false;
    }
    // GTK is used from one thread at a time: boxes asked for at once are
    // shown one after the other.
    static std::mutex one_at_a_time;
    const std::lock_guard<std::mutex> hold(one_at_a_time);
    const Gtk* g = gtk();
    if (g == nullptr) return false;
    void* dialog = g->message_dialog_new(nullptr, kGtkDialogModal, message_type(flags), buttons,
                                         "%s", text.c_str());
    if (dialog == nullptr) return false;
    g->window_set_title(dialog, caption.c_str());
    if ((flags & 0x40000) != 0) g->window_set_keep_above(dialog, 1);  // MB_TOPMOST
    const int response = g->dialog_run(dialog);
    g->widget_destroy(dialog);
    while (g->events_pending() != 0) g->main_iteration();
    // Closing the window is the answer that does nothing.
    if (buttons == kGtkButtonsOk) {
        *answer = kIdOk;
    } else if (buttons == kGtkButtonsOkCancel) {
        *answer = response == kGtkResponseOk ? kIdOk : kIdCancel;
    } else {
        *answer = response == kGtkResponseYes ? kIdYes : kIdNo;
    }
    return true;
}

}  // namespace os::posix
