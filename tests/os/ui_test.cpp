#include "os/ui.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "os/event.h"
#include "os/module.h"
#include "os/process.h"
#include "os/seams.h"
#include "os/shared_memory.h"
#include "os/system.h"
#include "os/time.h"
#include "support/helper_process.h"
#include "tests/os/test_names.h"

namespace {

using quarn::test::spawn_helper;
using quarn::test::unique_name;
using quarn::test::wait_helper;

// argv: title, ready-event name, quit-event name. Owns a window with that
// title until told to quit.
QUARN_TEST_HELPER(own_window) {
    if (!os::window_register_title(argv[0])) return 2;
    os::Handle ready = os::event_open(argv[1]);
    os::Handle quit = os::event_open(argv[2]);
    if (ready == nullptr || quit == nullptr) return 3;
    os::event_set(ready);
    const int waited = os::event_wait(quit, 30000);
    os::window_unregister_title(argv[0]);
    os::event_close(ready);
    os::event_close(quit);
    return waited == 0 ? 0 : 4;
}

struct Asked {
    std::string text;
    std::string caption;
    unsigned flags = 0;
};
Asked g_asked;

int answer_yes(const char* text, const char* caption, unsigned flags) {
    g_asked = {text, caption, flags};
    return 6;  // IDYES
}

TEST(MessageBox, ScriptedAnswerReplacesTheWindow) {
    os::seams::install_message_box_answer(answer_yes);
    EXPECT_EQ(6, os::message_box("确定要退出吗？", "入网小助手", 0x24));
    os::seams::install_message_box_answer(nullptr);
    EXPECT_EQ("确定要退出吗？", g_asked.text);
    EXPECT_EQ("入网小助手", g_asked.caption);
    EXPECT_EQ(0x24u, g_asked.flags);
}

#ifndef _WIN32
TEST(MessageBox, WithoutAnAnswerTheSafeButtonIsTaken) {
    // No display to show a dialog on (the first box decides for the process).
    os::env_set("DISPLAY", nullptr);
    os::env_set("WAYLAND_DISPLAY", nullptr);
    EXPECT_EQ(1, os::message_box("notice", "test", 0x0));     // MB_OK: OK
    EXPECT_EQ(2, os::message_box("proceed?", "test", 0x1));   // MB_OKCANCEL: Cancel
    EXPECT_EQ(7, os::message_box("proceed?", "test", 0x24));  // MB_YESNO: No
}

// The dialog on a display: an idle callback of the dialog's own loop finds
// the window, checks its title (UTF-8 on the display) and presses the button argv[1] names
// (GTK_RESPONSE_OK -5, GTK_RESPONSE_CANCEL -6).
int g_response = 0;
bool g_title_seen = false;

int QUARN_CDECL press(void*) {
    const os::Handle gtk = os::module_find("libgtk-3.so.0");
    if (gtk == nullptr) return 1;  // not loaded yet: again later
    struct List {
        void* data;
        List* next;
    };
    const auto toplevels =
        reinterpret_cast<List* (*)()>(os::module_symbol(gtk, "gtk_window_list_toplevels"));
    const auto title =
        reinterpret_cast<const char* (*)(void*)>(os::module_symbol(gtk, "gtk_window_get_title"));
    const auto respond =
        reinterpret_cast<void (*)(void*, int)>(os::module_symbol(gtk, "gtk_dialog_response"));
    for (List* window = toplevels(); window != nullptr; window = window->next) {
        const char* shown = title(window->data);
        if (shown == nullptr || std::strcmp(shown, u8"入网小助手") != 0) continue;
        g_title_seen = true;
        respond(window->data, g_response);
        return 0;
    }
    return 1;
}

// argv: display, response. Exit code: the box's answer, 90 when the title
// was not seen.
QUARN_TEST_HELPER(answer_dialog) {
    os::env_set("DISPLAY", argv[0]);
    g_response = std::atoi(argv[1]);
    const os::Handle glib = os::module_load("libglib-2.0.so.0");
    const auto idle_add = reinterpret_cast<unsigned (*)(int (*)(void*), void*)>(
        glib != nullptr ? os::module_symbol(glib, "g_idle_add") : nullptr);
    if (idle_add == nullptr) return 91;
    idle_add(&press, nullptr);
    const int answer = os::message_box("确定要退出吗？", "入网小助手", 0x40041);
    // GTK keeps what it set up for the life of the process: ended here
    // without the leak report of the exit.
    std::_Exit(g_title_seen ? answer : 90);
}

TEST(MessageBox, OnADisplayTheUserAnswers) {
    if (!std::filesystem::exists("/usr/bin/Xvfb")) GTEST_SKIP() << "no Xvfb";
    int number = 200;
    while (std::filesystem::exists("/tmp/.X" + std::to_string(number) + "-lock") ||
           std::filesystem::exists("/tmp/.X11-unix/X" + std::to_string(number))) {
        ++number;
    }
    const std::string display = ":" + std::to_string(number);
    const char* const arguments[] = {display.c_str(), "-nolisten", "tcp", nullptr};
    os::Handle xvfb = os::process_spawn("/usr/bin/Xvfb", arguments);
    ASSERT_NE(nullptr, xvfb);
    const std::string socket = "/tmp/.X11-unix/X" + std::to_string(number);
    for (int i = 0; i < 250 && !std::filesystem::exists(socket); ++i) os::sleep_ms(20);
    EXPECT_EQ(1, wait_helper(spawn_helper("answer_dialog", {display.c_str(), "-5"})));  // OK
    EXPECT_EQ(2, wait_helper(spawn_helper("answer_dialog", {display.c_str(), "-6"})));  // Cancel
    os::process_terminate(xvfb, 0);
    os::handle_wait(xvfb, 5000);
    os::handle_close(xvfb);
    std::error_code ignored;
    std::filesystem::remove("/tmp/.X" + std::to_string(number) + "-lock", ignored);
    std::filesystem::remove(socket, ignored);
}
#endif

TEST(Window, FindsTheProcessOwningATitleAndForgetsItWhenItEnds) {
    const std::string title = unique_name("入网小助手-身份认证与安全检查");
    const std::string ready_name = unique_name("window ready");
    const std::string quit_name = unique_name("window quit");
    os::Handle ready = os::event_create(ready_name.c_str(), os::EventReset::kManual, false);
    os::Handle quit = os::event_create(quit_name.c_str(), os::EventReset::kManual, false);
    EXPECT_EQ(0u, os::window_find_process(title.c_str()));

    os::Handle helper =
        spawn_helper("own_window", {title.c_str(), ready_name.c_str(), quit_name.c_str()});
    ASSERT_NE(nullptr, helper);
    ASSERT_EQ(0, os::event_wait(ready, 20000));
    const std::uint32_t owner = os::window_find_process(title.c_str());
    EXPECT_NE(0u, owner);
    EXPECT_NE(os::process_id(), owner);
    EXPECT_EQ(0u, os::window_find_process((title + " other").c_str())) << "exact titles only";

    // Terminated without unregistering: the entry dies with its owner.
    os::Handle opened = os::process_open_for_terminate(owner);
    ASSERT_NE(nullptr, opened);
    EXPECT_TRUE(os::process_terminate(opened, 0));
    os::handle_close(opened);
    EXPECT_TRUE(os::handle_wait(helper, 20000));
    os::handle_close(helper);
    std::uint32_t after = owner;
    for (int i = 0; i < 200 && after != 0; ++i) {
        after = os::window_find_process(title.c_str());
        if (after != 0) os::sleep_ms(10);
    }
    EXPECT_EQ(0u, after);
    os::event_close(ready);
    os::event_close(quit);
}

TEST(Window, UnregisteredTitleIsNotFound) {
    const std::string title = unique_name("own title") + std::string(300, 'x');
    ASSERT_TRUE(os::window_register_title(title.c_str()));
    bool found = false;
    EXPECT_EQ(os::process_id(), os::window_find_process(title.c_str(), &found));
    EXPECT_TRUE(found);
    os::window_unregister_title(title.c_str());
    EXPECT_EQ(0u, os::window_find_process(title.c_str(), &found));
    EXPECT_FALSE(found);
}

}  // namespace
