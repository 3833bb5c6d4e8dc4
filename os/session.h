// What a program of the product does in the user's session: start when the
// user logs on, a link on the desktop, ending its other running copies, and
// waiting for the session to ask it to end. Windows uses the current user's
// Run key, shell links and Toolhelp; POSIX the XDG autostart and desktop
// folders and /proc (docs/platform.md).
#pragma once

#include <string>

namespace os {

// Starts `program_path` with `arguments` when the current user logs on, as
// the entry `name`: the value `name` of HKCU\...\CurrentVersion\Run on
// Windows, "<config>/autostart/<name>.desktop" on POSIX. Replaces an entry
// of that name. False (last error set) on failure.
bool autostart_register(const char* name, const char* program_path, const char* arguments);
// Removes the entry; true when none is left (also when there was none).
bool autostart_remove(const char* name);
// The command the entry runs ("\"path\" arguments" on Windows, the Exec line
// on POSIX), empty when there is none.
std::string autostart_command(const char* name);

// A link on the user's desktop named `name` (GBK) that starts `program_path`
// with `arguments`, showing `icon_path` (may be empty): "<name>.lnk" on
// Windows, "<name>.desktop" on POSIX. Replaces a link of that name.
bool desktop_link_create(const char* name, const char* program_path, const char* arguments,
                         const char* icon_path);
// Removes the link; true when none is left.
bool desktop_link_remove(const char* name);
// The file the link of `name` lives in (native path).
std::string desktop_link_path(const char* name);

// Ends every running process, other than this one, whose executable file
// name equals `exe_name` without regard to case: TerminateProcess on
// Windows, SIGTERM on POSIX (so it ends cleanly). Returns how many were
// asked to end.
int process_end_others(const char* exe_name);

// Removes `path` and everything under it ("\" read as "/" on POSIX); true
// when nothing is left (also when it did not exist). Used by uninstalling.
bool folder_remove_all(const char* path);

// Turns the session's requests to end the process (POSIX: SIGTERM, SIGINT,
// SIGHUP) into a return of termination_wait instead of a default action.
// Call it before the first thread starts, so every thread inherits it.
void termination_hold();
// Blocks until such a request arrives and returns its signal number. On
// Windows nothing asks: it blocks for good (the library ends the process).
int termination_wait();

}  // namespace os
