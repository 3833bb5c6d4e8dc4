// What the tray thread does for each choice of the user: one action per
// named event, and the few steps several actions share.
#pragma once

#include <cstddef>

#include "interface/assistant_dir.h"
#include "os/compiler.h"

namespace tray_action {

// Built once when the thread starts.
struct Context {
    // WebAuthTypeTmp in the assistant directory, deleted whenever automatic
    // authentication is cancelled; empty when the path does not fit.
    char web_auth_type_tmp[kPathSize] = "";
};

using Action = void (*)(const Context& context);

// Pages (tray_action_pages.cpp).
void ShowAbout(const Context& context);
void LookCheckResult(const Context& context);
void OpenCheckPage(const Context& context);
void RequestGuestCode(const Context& context);
void OpenNavigation(const Context& context);
void OpenUserSwitch(const Context& context);
void ChangePassword(const Context& context);
void ApplyForSoftwareUse(const Context& context);

// The assistant and the network (tray_action_session.cpp). Exit, ForceExit
// and an accepted Uninstall end the process.
void Exit(const Context& context);
void CutOffNetwork(const Context& context);
void UndoAutoAuth(const Context& context);
void ForceExit(const Context& context);
void Uninstall(const Context& context);

// Shared steps (tray_action_support.cpp).
inline constexpr char kCaption[] = "入网小助手";
void trace(int level, int line, const char* message);
// The question in an on-top OK/Cancel box; true only for OK.
bool confirm(const char* question);
// A plain box with an OK button.
void tell(const char* text, const char* caption);
// The stored text (at most 259 characters); true when present and not empty.
bool read_text(const char* key, char (&value)[kPathSize]);
// True when the stored integer reads non-zero.
bool flag_set(const char* key);
// The formatted text cut to `size` - 1 characters, as the system's
// fixed-size addresses are.
void format_cut(char* text, std::size_t size, const char* format, ...) QUARN_PRINTF(3, 4);
// `web_url`, one "/" when it does not end in one, then the formatted rest,
// cut to `size` - 1 characters. Both stored forms of WebUrl, with and without
// the trailing "/", give the same address.
void web_address(char* address, std::size_t size, const char* web_url, const char* format, ...)
    QUARN_PRINTF(4, 5);
// Opens `url` in the page dialog, shown normally, without a tray icon.
void open_page(const char* title, const char* url, int width, int height);
// Starts "ipconfig.exe -renew", hidden, without waiting.
void renew_ip_lease();
// IsAutoAuth = "No", WebAuthTypeTmp deleted, the menu entry removed.
void cancel_auto_auth(const Context& context);

}  // namespace tray_action
