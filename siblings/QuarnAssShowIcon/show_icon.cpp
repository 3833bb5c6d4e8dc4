#include "siblings/QuarnAssShowIcon/show_icon.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "cutil/trace.h"
#include "os/file.h"
#include "os/time.h"
#include "os/tray.h"
#include "siblings/QuarnAssShowIcon/tray_state.h"

namespace show_icon {
namespace {

constexpr char kSource[] = "QuarnAssShowIcon.cpp";

#define TRAY_TRACE(function, level, ...) LogTrace(function, level, kSource, __LINE__, __VA_ARGS__)

const char* text_or_empty(const char* text) {
    return text != nullptr ? text : "";
}

bool is_separator(const tray_state::Entry& entry) {
    return std::strcmp(entry.event_name, tray_state::kSeparatorEvent) == 0;
}

// The platform's popup menu follows the published entries; called with the
// state held, so the two never disagree about what an index means.
void update_menu(const tray_state::State& state) {
    os::TrayMenuItem items[tray_state::kMaxEntries] = {};
    for (int i = 0; i < state.entry_count; ++i) {
        items[i] = os::TrayMenuItem{state.entries[i].caption, is_separator(state.entries[i])};
    }
    os::tray_set_menu(items, state.entry_count);
}

void set_event(const char* function, const char* event_name) {
    if (!tray_state::set_named_event(event_name)) {
        TRAY_TRACE(function, kTraceError, "打开事件%s失败，没有程序在等待它", event_name);
        return;
    }
    TRAY_TRACE(function, kTraceInfo, "设置事件%s", event_name);
}

// On the tray thread: a menu choice or a mouse message sets its event.
void on_tray(void*, os::TrayNotice notice, int value) {
    char event_name[tray_state::kEventNameSize] = "";
    tray_state::with_state([&](tray_state::State& state) {
        if (notice == os::TrayNotice::kMenuChoice && value >= 0 && value < state.entry_count &&
            !is_separator(state.entries[value])) {
            tray_state::put(event_name, sizeof event_name, state.entries[value].event_name);
        } else if (notice == os::TrayNotice::kMouse && value != 0 &&
                   value == state.notify_message) {
            tray_state::put(event_name, sizeof event_name, state.notify_event);
        }
    });
    if (event_name[0] != '\0') set_event("OnTrayNotice", event_name);
}

bool started() {
    static const bool ready = [] {
        if (os::tray_start(on_tray, nullptr)) return true;
        TRAY_TRACE("InitTray", kTraceError, "%s", "创建托盘窗口失败");
        return false;
    }();
    return ready;
}

// A balloon asked for while the icon is away (the agent removes and adds it
// again whenever the status changes, a second apart): held, and shown when
// the icon is back, unless it would have vanished by then. Touched only
// under the state lock.
struct HeldBalloon {
    bool held = false;
    std::string title;
    std::string text;
    std::uint32_t display_ms = 0;
    std::uint32_t since = 0;  // tick count when asked for
};

HeldBalloon& held_balloon() {
    static HeldBalloon* balloon = new HeldBalloon;  // kept for the life of the process
    return *balloon;
}

bool show_balloon_now(tray_state::State& state, const char* title, const char* text,
                      std::uint32_t time_ms) {
    if (!os::tray_balloon(title, text, time_ms)) return false;
    const bool clearing = title[0] == '\0' && text[0] == '\0';
    state.balloon_shown = clearing ? 0 : 1;
    tray_state::put_cut(state.balloon_title, sizeof state.balloon_title, title);
    tray_state::put_cut(state.balloon_text, sizeof state.balloon_text, text);
    state.balloon_ms = static_cast<std::int32_t>(time_ms);
    const os::DateTime now = os::local_time();
    std::snprintf(state.balloon_time, sizeof state.balloon_time, "%04d-%02d-%02d %02d:%02d:%02d",
                  now.year, now.month, now.day, now.hour, now.minute, now.second);
    return true;
}

// Shows the held balloon, if any, now that the icon is back; for the time
// it has left.
void show_held_balloon(tray_state::State& state) {
    HeldBalloon& balloon = held_balloon();
    if (!balloon.held) return;
    balloon.held = false;
    const std::uint32_t waited = os::tick_count() - balloon.since;
    if (waited >= balloon.display_ms) return;
    show_balloon_now(state, balloon.title.c_str(), balloon.text.c_str(),
                     balloon.display_ms - waited);
}

}  // namespace

int init_tray() {
    return started() ? 1 : 0;
}

int add_tray_icon(const char* tooltip, const char* icon_path) {
    constexpr char kFunction[] = "AddTrayIcon";
    if (!started()) return 0;
    // A missing icon file leaves the system's application icon.
    const bool icon_found = icon_path != nullptr && icon_path[0] != '\0' &&
                            std::strlen(icon_path) < tray_state::kPathSize &&
                            os::file_attributes(icon_path) != os::kInvalidFileAttributes;
    if (!icon_found)
        TRAY_TRACE(kFunction, kTraceError, "图标文件%s不存在，使用默认图标",
                   text_or_empty(icon_path));
    return tray_state::with_state([&](tray_state::State& state) {
        if (!os::tray_show(text_or_empty(tooltip), icon_found ? icon_path : nullptr)) {
            TRAY_TRACE(kFunction, kTraceError, "添加托盘图标失败");
            return 0;
        }
        state.icon_shown = 1;
        tray_state::put_cut(state.tooltip, sizeof state.tooltip, text_or_empty(tooltip));
        tray_state::put(state.icon_path, sizeof state.icon_path, icon_found ? icon_path : "");
        show_held_balloon(state);
        return 1;
    });
}

int del_tray_icon() {
    return tray_state::with_state([](tray_state::State& state) {
        const bool removed = os::tray_remove();
        state.icon_shown = 0;
        state.balloon_shown = 0;
        state.tooltip[0] = state.icon_path[0] = '\0';
        return removed ? 1 : 0;
    });
}

int add_dynamic_menu(const char* caption, const char* event_name) {
    constexpr char kFunction[] = "AddDynamicMenu";
    if (caption == nullptr || caption[0] == '\0' || event_name == nullptr ||
        event_name[0] == '\0') {
        TRAY_TRACE(kFunction, kTraceError, "菜单项的名称或事件为空");
        return 0;
    }
    return tray_state::with_state([&](tray_state::State& state) {
        for (int i = 0; i < state.entry_count; ++i) {
            if (std::strcmp(state.entries[i].caption, caption) == 0) {
                TRAY_TRACE(kFunction, kTraceError, "菜单项%s已经存在", caption);
                return 0;
            }
        }
        if (state.entry_count >= tray_state::kMaxEntries) {
            TRAY_TRACE(kFunction, kTraceError, "菜单项太多，不能添加%s", caption);
            return 0;
        }
        // A name cut short would set another event than the one asked for.
        tray_state::Entry& entry = state.entries[state.entry_count];
        if (!tray_state::put(entry.caption, sizeof entry.caption, caption) ||
            !tray_state::put(entry.event_name, sizeof entry.event_name, event_name)) {
            TRAY_TRACE(kFunction, kTraceError, "菜单项%s的名称或事件太长", caption);
            return 0;
        }
        ++state.entry_count;
        update_menu(state);
        return 1;
    });
}

int del_dynamic_menu(const char* caption) {
    if (caption == nullptr) return 0;
    return tray_state::with_state([&](tray_state::State& state) {
        for (int i = 0; i < state.entry_count; ++i) {
            if (std::strcmp(state.entries[i].caption, caption) != 0) continue;
            std::memmove(
                &state.entries[i], &state.entries[i + 1],
                sizeof(tray_state::Entry) * static_cast<std::size_t>(state.entry_count - i - 1));
            --state.entry_count;
            update_menu(state);
            return 1;
        }
        return 0;
    });
}

void delete_all_dynamic_menu() {
    tray_state::with_state([](tray_state::State& state) {
        state.entry_count = 0;
        update_menu(state);
    });
}

int show_balloon_msg(const char* title, const char* text, int display_ms) {
    constexpr char kFunction[] = "ShowBalloonMsg";
    const bool clearing = text_or_empty(title)[0] == '\0' && text_or_empty(text)[0] == '\0';
    const std::uint32_t time_ms = display_ms > 0 ? static_cast<std::uint32_t>(display_ms) : 0;
    return tray_state::with_state([&](tray_state::State& state) {
        if (state.icon_shown == 0) {
            // Held until the icon is back; clearing forgets a held one.
            HeldBalloon& balloon = held_balloon();
            balloon.held = !clearing && time_ms > 0;
            if (balloon.held) {
                TRAY_TRACE(kFunction, kTraceInfo, "没有托盘图标，提示等图标出现后显示");
                balloon.title = text_or_empty(title);
                balloon.text = text_or_empty(text);
                balloon.display_ms = time_ms;
                balloon.since = os::tick_count();
            }
            return 1;
        }
        held_balloon().held = false;
        if (!show_balloon_now(state, text_or_empty(title), text_or_empty(text), time_ms)) {
            TRAY_TRACE(kFunction, kTraceError, "显示托盘提示失败");
            return 0;
        }
        return 1;
    });
}

int add_event_notify(int window_message, const char* event_name) {
    constexpr char kFunction[] = "AddEventNotify";
    if (window_message == 0 || event_name == nullptr || event_name[0] == '\0') {
        TRAY_TRACE(kFunction, kTraceError, "鼠标消息或事件为空");
        return 0;
    }
    if (!started()) return 0;
    return tray_state::with_state([&](tray_state::State& state) {
        if (!tray_state::put(state.notify_event, sizeof state.notify_event, event_name)) {
            TRAY_TRACE(kFunction, kTraceError, "事件名%s太长", event_name);
            state.notify_message = 0;
            return 0;
        }
        state.notify_message = window_message;
        return 1;
    });
}

}  // namespace show_icon
