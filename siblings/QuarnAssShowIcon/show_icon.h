// The tray module's work behind its exports: the icon, the dynamic menu whose
// entries report their choice by setting a named event, balloons, and the
// event of a mouse message on the icon. Every change is drawn by the
// platform's tray (os/tray.h) and published in the shared tray state.
#pragma once

namespace show_icon {

int init_tray();
int add_tray_icon(const char* tooltip, const char* icon_path);
int del_tray_icon();
int add_dynamic_menu(const char* caption, const char* event_name);
int del_dynamic_menu(const char* caption);
void delete_all_dynamic_menu();
int show_balloon_msg(const char* title, const char* text, int display_ms);
int add_event_notify(int window_message, const char* event_name);

}  // namespace show_icon
